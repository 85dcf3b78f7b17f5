#pragma once
// The APK template: the finished Android application without its game data
// and signature, a zip of stored entries carried as resource 111. Read in
// place; nothing is inflated or copied.
#include <cstdint>
#include <string>
#include <vector>

namespace tf::android {

// One entry that goes into the package unchanged. `data` points into the
// template bytes, which the caller keeps alive for the whole build.
struct TemplateEntry {
  std::string name;  // exactly as the central directory stores it
  const uint8_t* data = nullptr;
  uint32_t size = 0;  // stored, so the compressed size is the data length
};

// The end record lies within the last 22 + 65,535 comment bytes; the search
// window is a little wider.
inline constexpr uint32_t kEndRecordSearchWindow = 66000;

inline constexpr char kMsgTemplateCorrupt[] = "The bundled Android template is corrupt.";
inline constexpr char kMsgTemplateNotArchive[] = "The bundled Android template is not a valid archive.";
inline constexpr char kMsgTemplateBadDirectory[] = "Android template: bad directory.";
inline constexpr char kMsgTemplateBadOffset[] = "Android template: bad entry offset.";
inline constexpr char kMsgTemplatePastEnd[] = "Android template: entry runs past the file.";
inline constexpr char kMsgTemplateEmpty[] = "The bundled Android template holds no files.";
// "The bundled Android template has a compressed entry (<name>); ..."
std::string CompressedEntryMessage(const std::string& name);

// Lists every entry that is neither a directory nor under "META-INF/", in
// central-directory order, appending to `entries`. Every kept entry must be
// stored. False with one message in errorText on the first fault, or when no
// entry was kept; entries appended before a fault stay in the list.
bool ReadApkTemplate(const uint8_t* templateBytes, uint32_t templateLength, std::vector<TemplateEntry>& entries,
                     std::string& errorText);

}  // namespace tf::android
