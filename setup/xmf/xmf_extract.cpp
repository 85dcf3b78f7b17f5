#include "xmf/xmf_extract.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <set>

#include "xmf/xmf_section.h"

namespace tf::xmf {
namespace {

// Vertex windows copied for one object stay below this; real objects use a few KiB.
constexpr uint64_t kMaxWindowBytes = 256ull << 20;

// Smallest and largest word of any range in O(log n), so that many parts over
// the same words cost no more than their number.
class WordRanges {
 public:
  explicit WordRanges(const std::vector<uint16_t>& words) : n_(words.size()), min_(2 * n_), max_(2 * n_) {
    for (size_t i = 0; i < n_; ++i) min_[n_ + i] = max_[n_ + i] = words[i];
    for (size_t i = n_; i-- > 1;) {
      min_[i] = std::min(min_[2 * i], min_[2 * i + 1]);
      max_[i] = std::max(max_[2 * i], max_[2 * i + 1]);
    }
  }
  // [first, last), not empty.
  void Query(size_t first, size_t last, uint16_t& lo, uint16_t& hi) const {
    lo = 0xFFFF;
    hi = 0;
    for (first += n_, last += n_; first < last; first >>= 1, last >>= 1) {
      if (first & 1) Take(first++, lo, hi);
      if (last & 1) Take(--last, lo, hi);
    }
  }

 private:
  void Take(size_t node, uint16_t& lo, uint16_t& hi) const {
    lo = std::min(lo, min_[node]);
    hi = std::max(hi, max_[node]);
  }
  size_t n_;
  std::vector<uint16_t> min_, max_;
};

template <size_t N>
void CopyInto(std::array<uint8_t, N>& out, const uint8_t* p) {
  std::memcpy(out.data(), p, N);
}

bool Extract(const XmfContainer& src, const char* name, ExtractedObject& x, std::string& e) {
  const Section ix = Ixmf(src), ox = Oxmf(src), rx = Rxmf(src), tx = Txmf(src);
  x.source = &src;

  const int found = FindObject(src, NameWord(name));
  if (found < 0) return Fail(e, "the source container has no object with that name");
  const uint64_t i = static_cast<uint64_t>(found);
  const uint64_t instanceAt = 4 + kInstanceSize * i, objectAt = 4 + kObjectSize * i;
  if (!ix.Has(instanceAt, kInstanceSize)) return Fail(e, kInstanceOutside);
  if (!ox.Has(objectAt, kObjectSize)) return Fail(e, kObjectOutside);
  CopyInto(x.instance, ix.At(instanceAt));
  CopyInto(x.object, ox.At(objectAt));

  if (Get32(x.instance.data() + 68) != objectAt) return Fail(e, "instance does not point at its own object record");
  if (Get16(x.object.data() + 28) != 0) return Fail(e, "skinned objects are not supported");
  const uint32_t partsAt = Get32(x.object.data()), ibAt = Get32(x.object.data() + 8);
  const uint32_t declsAt = Get32(x.object.data() + 16);
  const uint32_t partCount = Get16(x.object.data() + 4), declCount = Get16(x.object.data() + 20);
  if (partCount == 0 || declCount == 0) return Fail(e, "object has no parts or no vertex declarations");

  if (!ox.Has(partsAt, uint64_t{kPartSize} * partCount)) return Fail(e, kPartOutside);
  if (!ox.Has(declsAt, uint64_t{kDeclarationSize} * declCount)) return Fail(e, kDeclarationOutside);
  if (!ox.Has(ibAt, kResourceSize)) return Fail(e, kIbOutside);
  x.parts.resize(partCount);
  for (uint32_t k = 0; k < partCount; ++k) CopyInto(x.parts[k], ox.At(partsAt + uint64_t{kPartSize} * k));
  x.declarations.resize(declCount);
  for (uint32_t j = 0; j < declCount; ++j) {
    CopyInto(x.declarations[j], ox.At(declsAt + uint64_t{kDeclarationSize} * j));
    x.declarationIndex[declsAt + kDeclarationSize * j] = j;
  }
  CopyInto(x.ibResource, ox.At(ibAt));
  const uint32_t wordsAt = Get32(x.ibResource.data() + 4);

  std::vector<uint32_t> partDecl(partCount);
  uint64_t lo = UINT64_MAX, hi = 0;
  for (uint32_t k = 0; k < partCount; ++k) {
    const uint8_t* part = x.parts[k].data();
    auto d = x.declarationIndex.find(Get32(part + 64));
    if (d == x.declarationIndex.end()) return Fail(e, "a part uses a descriptor outside the object array");
    if (Get16(part + 20) == 0) return Fail(e, "non-indexed parts are not supported");
    partDecl[k] = d->second;
    const uint64_t start = Get32(part + 16);
    lo = std::min(lo, start);
    hi = std::max(hi, uint64_t{Get32(part + 8)} + Get32(part + 12) + start);
  }

  if (hi <= lo) return Fail(e, "the object references no index words");
  if (!ox.Has(uint64_t{wordsAt} + 2 * lo, 2 * (hi - lo))) return Fail(e, kIndexWordsOutside);
  const size_t count = static_cast<size_t>(hi - lo);
  std::vector<uint16_t> words(count);
  for (size_t w = 0; w < count; ++w) words[w] = Get16(ox.At(uint64_t{wordsAt} + 2 * (lo + w)));
  const WordRanges ranges(words);

  std::vector<int64_t> lowest(declCount), highest(declCount);
  std::vector<bool> used(declCount, false);
  for (uint32_t k = 0; k < partCount; ++k) {
    const uint8_t* part = x.parts[k].data();
    const uint64_t n = uint64_t{Get32(part + 8)} + Get32(part + 12);
    const uint64_t first = Get32(part + 16) - lo;
    if (n == 0) return Fail(e, "a part has no indices");
    if (first + n > count) return Fail(e, "a part's index range runs past the buffer");
    uint16_t a = 0, z = 0;
    ranges.Query(static_cast<size_t>(first), static_cast<size_t>(first + n), a, z);
    const uint32_t d = partDecl[k];
    const int64_t base = static_cast<int32_t>(Get32(part + 68));
    if (!used[d]) {
      used[d] = true;
      lowest[d] = a + base;
      highest[d] = z + base;
    } else {
      lowest[d] = std::min(lowest[d], a + base);
      highest[d] = std::max(highest[d], z + base);
    }
  }
  uint16_t smallest = 0, largest = 0;
  ranges.Query(0, count, smallest, largest);

  const int64_t fileSize = static_cast<int64_t>(src.bytes.size());
  uint64_t windowBytes = 0;
  x.strides.resize(declCount);
  x.vertexWindows.resize(declCount);
  for (uint32_t j = 0; j < declCount; ++j) {
    const uint32_t stride = DeclarationStride(x.declarations[j].data());
    if (stride == 0) return Fail(e, "vertex declaration has zero stride");
    x.strides[j] = stride;
    if (!used[j]) continue;
    const uint32_t vb = Get32(x.declarations[j].data() + 4);
    uint32_t data = 0;
    if (!ox.Has(vb, kResourceSize) || !ox.U32(uint64_t{vb} + 4, data)) return Fail(e, kVbOutside);
    const int64_t start = int64_t{src.fxmfOffset} + data + lowest[j] * stride;
    const int64_t length = (highest[j] - lowest[j] + 1) * stride;
    if (start < 0 || start + length > fileSize) return Fail(e, "vertex window runs past the end of the file");
    if (start < int64_t{src.fxmfOffset}) return Fail(e, kWindowBeforeFxmf);
    windowBytes += static_cast<uint64_t>(length);
    if (windowBytes > kMaxWindowBytes) return Fail(e, kObjectTooLarge);
    x.vertexWindows[j].assign(src.bytes.begin() + start, src.bytes.begin() + start + length);
  }

  x.indexWords.resize(count);
  for (size_t w = 0; w < count; ++w) x.indexWords[w] = static_cast<uint16_t>(words[w] - smallest);

  for (uint32_t k = 0; k < partCount; ++k) {
    uint8_t* part = x.parts[k].data();
    const int64_t base = static_cast<int32_t>(Get32(part + 68));
    const int64_t rebased = base - lowest[partDecl[k]] + smallest;
    if (rebased < 0) return Fail(e, "rebased BaseVertexIndex would be negative");
    PutU32(part + 68, static_cast<uint32_t>(rebased));  // below the window size, so it fits
    PutU32(part + 16, static_cast<uint32_t>(Get32(part + 16) - lo));
  }

  FxmfResourceMap resources;
  if (!CollectFxmfResources(src, resources, e)) return false;

  std::set<uint32_t> takenMaterials;
  for (const auto& part : x.parts) {
    const uint32_t m = Get32(part.data() + 24);
    if (!takenMaterials.insert(m).second) continue;
    if (!rx.Has(m, kMaterialSize)) return Fail(e, kMaterialOutside);
    MaterialCopy copy;
    copy.sourceOffset = m;
    CopyInto(copy.bytes, rx.At(m));
    x.materials.push_back(copy);
  }

  std::set<uint32_t> takenTextures, takenPalettes;
  for (const MaterialCopy& material : x.materials) {
    for (int s = 0; s < 4; ++s) {
      const uint32_t t = Get32(material.bytes.data() + 8 + 4 * s);
      if (t == kNone || takenTextures.count(t) != 0) continue;
      if (!tx.Has(t, kTextureSize)) return Fail(e, kTextureRecordOutside);
      TextureCopy texture;
      texture.sourceOffset = t;
      CopyInto(texture.record, tx.At(t));
      const uint32_t h = Get32(texture.record.data() + 4), p = Get32(texture.record.data() + 8);
      if (h != kNone) {
        if (!tx.Has(h, kTextureHeaderSize)) return Fail(e, kHeaderOutside);
        texture.hasHeader = true;
        texture.header.assign(tx.At(h), tx.At(h) + kTextureHeaderSize);
        if (!TakeFxmfResource(x, src.txmfOffset + h, resources, texture.pixelOffset, e)) return false;
      }
      if (p != kNone) {
        texture.hasPalette = true;
        texture.paletteOffset = p;
        if (takenPalettes.insert(p).second) {
          if (!tx.Has(p, kResourceSize)) return Fail(e, kPaletteOutside);
          PaletteCopy palette;
          palette.sourceOffset = p;
          CopyInto(palette.bytes, tx.At(p));
          if (!TakeFxmfResource(x, src.txmfOffset + p, resources, palette.dataOffset, e)) return false;
          x.palettes.push_back(palette);
        }
      }
      takenTextures.insert(t);
      x.textures.push_back(std::move(texture));
    }
  }
  return true;
}

}  // namespace

bool ExtractObject(const XmfContainer& source, const char* name, ExtractedObject& out, std::string& errorText) {
  try {
    return Extract(source, name, out, errorText);
  } catch (const std::bad_alloc&) {
    return Fail(errorText, kNoMemory);
  }
}

bool CollectFxmfResources(const XmfContainer& c, FxmfResourceMap& resources, std::string& errorText) {
  uint64_t tail = 0;
  if (!TailStart64(c, tail, errorText)) return false;
  const Section ox = Oxmf(c), tx = Txmf(c);
  std::vector<uint32_t> offsets;
  try {
    for (uint64_t k = tail; k + kResourceSize <= c.oxmfSize; k += kResourceSize) {
      uint32_t data = 0;
      if (!ox.U32(k + 4, data)) return Fail(errorText, kVbOutside);
      offsets.push_back(data);
    }
    for (uint64_t j = 0; j < c.textureCount; ++j) {
      const uint64_t r = 4 + kTextureSize * j;
      if (!tx.Has(r, kTextureSize)) return Fail(errorText, kTextureRecordOutside);
      const uint32_t h = Get32(tx.At(r + 4)), p = Get32(tx.At(r + 8));
      if (h != kNone) {
        if (!tx.Has(h, kTextureHeaderSize)) return Fail(errorText, kHeaderOutside);
        offsets.push_back(Get32(tx.At(uint64_t{h} + 4)));
      }
      if (p != kNone) {
        if (!tx.Has(p, kResourceSize)) return Fail(errorText, kPaletteOutside);
        offsets.push_back(Get32(tx.At(uint64_t{p} + 4)));
      }
    }
    std::sort(offsets.begin(), offsets.end());
    offsets.erase(std::unique(offsets.begin(), offsets.end()), offsets.end());
    resources.clear();
    for (size_t i = 0; i < offsets.size(); ++i) {
      const uint32_t o = offsets[i];
      // A resource never reaches past FXMF, even when a later offset does.
      const uint32_t end = i + 1 < offsets.size() ? std::min(offsets[i + 1], c.fxmfSize) : c.fxmfSize;
      resources.emplace_hint(resources.end(), o, o < end ? end - o : 0);
    }
  } catch (const std::bad_alloc&) {
    return Fail(errorText, kNoMemory);
  }
  return true;
}

bool TakeFxmfResource(ExtractedObject& x, uint32_t recordFileOffset, const FxmfResourceMap& resources,
                      uint32_t& fxmfOffset, std::string& errorText) {
  const XmfContainer& src = *x.source;
  uint32_t o = 0;
  if (!ByteReader(src.bytes).U32(uint64_t{recordFileOffset} + 4, o)) return Fail(errorText, kFxmfResourceOutside);
  auto found = resources.find(o);
  if (found == resources.end()) return Fail(errorText, "an FXMF offset is not a known resource");
  std::span<const uint8_t> data;
  if (found->second == 0 || !Fxmf(src).Has(o, found->second) ||
      !ByteReader(src.bytes).Sub(uint64_t{src.fxmfOffset} + o, found->second, data))
    return Fail(errorText, kFxmfResourceOutside);
  if (x.fxmfData.find(o) == x.fxmfData.end()) {
    x.fxmfOrder.push_back(o);
    x.fxmfData[o].assign(data.begin(), data.end());
  }
  fxmfOffset = o;
  return true;
}

}  // namespace tf::xmf
