// Arbitrary bytes through parse, validate, extract (by "WPH2" and by the first
// instance's name) and inject into the input itself; then the result must parse.
#include <cstdint>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "xmf/xmf_container.h"
#include "xmf/xmf_extract.h"
#include "xmf/xmf_inject.h"
#include "xmf/xmf_validate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tf::xmf;
  XmfContainer c;
  c.bytes.assign(data, data + size);
  std::string error;
  if (!Parse(c, error)) return 0;
  ValidateXmf(c, error);

  std::vector<std::string> names = {"WPH2"};
  uint32_t word = 0;
  if (c.instanceCount > 0 &&
      tf::ByteReader(c.bytes).U32(uint64_t{c.ixmfOffset} + RecordAt(kInstanceSize, 0) + kInstanceNameAt, word)) {
    std::string first = NameText(word);
    if (first.find('\0') == std::string::npos) names.push_back(first);
  }
  for (const std::string& name : names) {
    ExtractedObject x;
    if (!ExtractObject(c, name.c_str(), x, error)) continue;
    std::vector<uint8_t> out;
    if (!InjectObject(c, x, "MEAT", out, error)) continue;
    XmfContainer result;
    result.bytes = std::move(out);
    if (Parse(result, error)) ValidateXmf(result, error);
  }
  return 0;
}
