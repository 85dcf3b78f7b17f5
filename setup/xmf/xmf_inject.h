#pragma once
// Building a new container file: a target with one more object, taken from an extraction.
#include <cstdint>
#include <string>
#include <vector>

#include "xmf/xmf_container.h"
#include "xmf/xmf_extract.h"

namespace tf::xmf {

bool InjectObject(const XmfContainer& target, const ExtractedObject& object, const std::string& newName,
                  std::vector<uint8_t>& out, std::string& errorText);

}  // namespace tf::xmf
