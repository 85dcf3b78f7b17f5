#pragma once
// The files the build embedded as the runtime payload, in table order, with
// the install-folder name each is written under: the rows of
// common/payload_ids.h, with where each embedded file came from
// (TF_PAYLOAD_SOURCE_<id>, from payload/tests/CMakeLists.txt; "" for an
// optional file this build does not carry).
#include <string_view>
#include <vector>

#include "common/payload_ids.h"

#define TF_PAYLOAD_SOURCE_OF(id) TF_PAYLOAD_SOURCE_OF_(id)
#define TF_PAYLOAD_SOURCE_OF_(id) TF_PAYLOAD_SOURCE_##id

namespace tf::test {

struct PayloadSource {
  const wchar_t* name;
  const char* source;  // Unix path of the embedded file
};

// The carried files only.
inline const std::vector<PayloadSource> kPayloadSources = [] {
  const PayloadSource rows[] = {
#define TF_PAYLOAD_SOURCE_ROW(id, fileName, optional) {L"" fileName, TF_PAYLOAD_SOURCE_OF(id)},
      TF_PAYLOAD_ROWS(TF_PAYLOAD_SOURCE_ROW)
#undef TF_PAYLOAD_SOURCE_ROW
  };
  std::vector<PayloadSource> carried;
  for (const PayloadSource& row : rows)
    if (!std::string_view(row.source).empty()) carried.push_back(row);
  return carried;
}();

inline constexpr char kDefaultIni[] = "[Display]\r\nWidth=1280\r\nHeight=720\r\nMode=0\r\n";

}  // namespace tf::test
