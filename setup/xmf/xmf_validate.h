#pragma once
// Structural check of a parsed container: every offset points where the format allows.
#include <string>

#include "xmf/xmf_container.h"

namespace tf::xmf {

bool ValidateXmf(const XmfContainer& c, std::string& errorText);

}  // namespace tf::xmf
