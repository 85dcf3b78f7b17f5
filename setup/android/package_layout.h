#pragma once
// Whether a whole package fits the zip fields, asked before its file exists:
// the template entries, the game pack, the three META-INF files and the
// central directory with the end record.
#include <cstdint>
#include <string>
#include <vector>

#include "android/apk_template.h"

namespace tf::android {

// The signature block's size is not known before signing; `signatureBlockBound`
// is its largest. The manifest and the signature file are measured exactly
// (every digest has the same length). False with zip::kMsgPackageTooLarge.
[[nodiscard]] bool PackageFitsZip(const std::vector<TemplateEntry>& entries, uint64_t pakLength,
                                  uint64_t signatureBlockBound, std::string& errorText);

}  // namespace tf::android
