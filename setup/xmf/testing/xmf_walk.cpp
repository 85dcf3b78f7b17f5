#include "xmf/testing/xmf_walk.h"

#include "common/bytes.h"
#include "xmf/xmf_container.h"

namespace tf::xmf::testing {
namespace {


// Reads that mark the walk failed, and give 0, outside the file.
struct Reader {
  ByteReader bytes;
  bool ok = true;
  uint32_t U32(uint64_t at) {
    uint32_t v = 0;
    ok = bytes.U32(at, v) && ok;
    return v;
  }
  uint16_t U16(uint64_t at) {
    uint16_t v = 0;
    ok = bytes.U16(at, v) && ok;
    return v;
  }
};

}  // namespace

bool WalkFile(const std::vector<uint8_t>& file, FileView& view, std::string& why) {
  Reader r{ByteReader(file)};
  if (file.size() < 48) {
    why = "short file";
    return false;
  }
  view = FileView{};
  view.instanceCount = r.U32(4);
  view.objectCount = r.U32(8);
  const uint32_t idsf = r.U32(20) == 0xABCD ? 0 : r.U32(24);
  const uint64_t ixmf = 48, oxmf = ixmf + r.U32(28), rxmf = oxmf + r.U32(32), txmf = rxmf + r.U32(36);
  const uint64_t fxmf = txmf + r.U32(40) + idsf;
  view.fxmfOffset = static_cast<uint32_t>(fxmf);

  for (uint32_t i = 0; i < view.objectCount && r.ok; ++i) {
    ObjectView object;
    const uint64_t rec = oxmf + 4 + 76 * uint64_t{i};
    object.name = r.U32(rec + 32);
    const uint32_t parts = r.U32(rec), partCount = r.U16(rec + 4), ib = r.U32(rec + 8);
    const uint64_t words = oxmf + r.U32(oxmf + ib + 4);
    for (uint32_t k = 0; k < partCount && r.ok; ++k) {
      PartView pv;
      const uint64_t part = oxmf + parts + 84 * uint64_t{k};
      const uint64_t decl = oxmf + r.U32(part + 64);
      for (int c = 0; c < 16; ++c) {
        const uint32_t code = r.U32(decl + 16 + 4 * c);
        if (code == 11) break;
        if (code < kElementSizes.size()) pv.stride += kElementSizes[code];
      }
      pv.windowFxmf = r.U32(oxmf + r.U32(decl + 4) + 4);
      const uint64_t vertexData = fxmf + pv.windowFxmf;
      const int64_t base = static_cast<int32_t>(r.U32(part + 68));
      const uint64_t start = r.U32(part + 16), n = uint64_t{r.U32(part + 8)} + r.U32(part + 12);
      for (uint64_t q = 0; q < n && r.ok; ++q) {
        const int64_t vertex = base + r.U16(words + 2 * (start + q));
        const int64_t at = static_cast<int64_t>(vertexData) + vertex * pv.stride;
        if (at < 0 || static_cast<uint64_t>(at) + pv.stride > file.size()) r.ok = false;
        pv.vertexAt.push_back(at);
      }
      const uint64_t material = rxmf + r.U32(part + 24);
      for (int s = 0; s < 4; ++s) {
        const uint32_t texture = r.U32(material + 8 + 4 * s);
        if (texture == kNone) continue;
        TextureView& tv = pv.slots[s];
        tv.present = true;
        const uint32_t header = r.U32(txmf + texture + 4), palette = r.U32(txmf + texture + 8);
        if (header != kNone) {
          tv.pixelsFxmf = r.U32(txmf + header + 4);
          tv.pixelsAt = static_cast<int64_t>(fxmf + tv.pixelsFxmf);
        }
        if (palette != kNone) {
          tv.paletteFxmf = r.U32(txmf + palette + 4);
          tv.paletteAt = static_cast<int64_t>(fxmf + tv.paletteFxmf);
        }
      }
      object.parts.push_back(std::move(pv));
    }
    view.objects.push_back(std::move(object));
  }
  if (!r.ok) why = "a record of the walk lies outside the file";
  return r.ok;
}

int CountInstancesNamed(const std::vector<uint8_t>& file, const char* name) {
  Reader r{ByteReader(file)};
  const uint32_t word = NameWord(name);
  const uint32_t instances = r.U32(4);
  int count = 0;
  for (uint64_t i = 0; i < instances && r.ok; ++i) count += r.U32(48 + 4 + 84 * i + 72) == word;
  return r.ok ? count : -1;
}

}  // namespace tf::xmf::testing
