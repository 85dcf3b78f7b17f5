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

uint64_t IndexCount(const PartRecord& part) {
  return uint64_t{RecordU32<kPartFirstCountAt>(part)} + RecordU32<kPartSecondCountAt>(part);
}
int64_t BaseVertex(const PartRecord& part) { return static_cast<int32_t>(RecordU32<kPartBaseVertexAt>(part)); }

bool Extract(const XmfContainer& src, const char* name, ExtractedObject& x, std::string& e) {
  const Section ix = Ixmf(src), ox = Oxmf(src), rx = Rxmf(src), tx = Txmf(src);
  x.source = &src;

  const int found = FindObject(src, NameWord(name));
  if (found < 0) return Fail(e, kMsgNoSuchObject);
  const uint64_t i = static_cast<uint64_t>(found);
  const uint64_t objectAt = RecordAt(kObjectSize, i);
  if (!ix.Copy(RecordAt(kInstanceSize, i), x.instance)) return Fail(e, kMsgInstanceOutside);
  if (!ox.Copy(objectAt, x.object)) return Fail(e, kMsgObjectOutside);

  if (RecordU32<kInstanceObjectAt>(x.instance) != objectAt) return Fail(e, kMsgInstanceMismatch);
  if (RecordU16<kObjectSkinningAt>(x.object) != 0) return Fail(e, kMsgSkinned);
  const ObjectLayout o = LayoutOf(x.object);
  const uint32_t partsAt = static_cast<uint32_t>(o.parts), ibAt = static_cast<uint32_t>(o.ib);
  const uint32_t declsAt = static_cast<uint32_t>(o.declarations);
  const uint32_t partCount = static_cast<uint32_t>(o.partCount), declCount = static_cast<uint32_t>(o.declarationCount);
  if (partCount == 0 || declCount == 0) return Fail(e, kMsgNoPartsOrDeclarations);

  if (!ox.Has(partsAt, uint64_t{kPartSize} * partCount)) return Fail(e, kMsgPartOutside);
  if (!ox.Has(declsAt, uint64_t{kDeclarationSize} * declCount)) return Fail(e, kMsgDeclarationOutside);
  if (!ox.Has(ibAt, kResourceSize)) return Fail(e, kMsgIbOutside);
  x.parts.resize(partCount);
  for (uint32_t k = 0; k < partCount; ++k)
    if (!ox.Copy(partsAt + uint64_t{kPartSize} * k, x.parts[k])) return Fail(e, kMsgPartOutside);
  x.declarations.resize(declCount);
  for (uint32_t j = 0; j < declCount; ++j) {
    if (!ox.Copy(declsAt + uint64_t{kDeclarationSize} * j, x.declarations[j])) return Fail(e, kMsgDeclarationOutside);
    x.declarationIndex[declsAt + kDeclarationSize * j] = j;
  }
  if (!ox.Copy(ibAt, x.ibResource)) return Fail(e, kMsgIbOutside);
  const uint32_t wordsAt = RecordU32<kResourceOffsetAt>(x.ibResource);

  std::vector<uint32_t> partDecl(partCount);
  uint64_t lo = UINT64_MAX, hi = 0;
  for (uint32_t k = 0; k < partCount; ++k) {
    const PartRecord& part = x.parts[k];
    auto d = x.declarationIndex.find(RecordU32<kPartDeclarationAt>(part));
    if (d == x.declarationIndex.end()) return Fail(e, kMsgForeignDescriptor);
    if (RecordU16<kPartIndexedAt>(part) == 0) return Fail(e, kMsgNonIndexed);
    partDecl[k] = d->second;
    const uint64_t start = RecordU32<kPartStartIndexAt>(part);
    lo = std::min(lo, start);
    hi = std::max(hi, IndexCount(part) + start);
  }

  if (hi <= lo) return Fail(e, kMsgNoIndexWords);
  if (!ox.Has(uint64_t{wordsAt} + 2 * lo, 2 * (hi - lo))) return Fail(e, kMsgIndexWordsOutside);
  const size_t count = static_cast<size_t>(hi - lo);
  std::vector<uint16_t> words(count);
  for (size_t w = 0; w < count; ++w)
    if (!ox.U16(uint64_t{wordsAt} + 2 * (lo + w), words[w])) return Fail(e, kMsgIndexWordsOutside);
  const WordRanges ranges(words);

  std::vector<int64_t> lowest(declCount), highest(declCount);
  std::vector<bool> used(declCount, false);
  for (uint32_t k = 0; k < partCount; ++k) {
    const PartRecord& part = x.parts[k];
    const uint64_t n = IndexCount(part);
    const uint64_t first = RecordU32<kPartStartIndexAt>(part) - lo;
    if (n == 0) return Fail(e, kMsgPartWithoutIndices);
    if (first + n > count) return Fail(e, kMsgIndexRangePastBuffer);
    uint16_t a = 0, z = 0;
    ranges.Query(static_cast<size_t>(first), static_cast<size_t>(first + n), a, z);
    const uint32_t d = partDecl[k];
    const int64_t base = BaseVertex(part);
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
    const uint32_t stride = DeclarationStride(x.declarations[j]);
    if (stride == 0) return Fail(e, kMsgZeroStride);
    x.strides[j] = stride;
    if (!used[j]) continue;
    const uint32_t vb = RecordU32<kDeclarationVbAt>(x.declarations[j]);
    uint32_t data = 0;
    if (!ox.Has(vb, kResourceSize) || !ox.U32(uint64_t{vb} + kResourceOffsetAt, data)) return Fail(e, kMsgVbOutside);
    const int64_t start = int64_t{src.fxmfOffset} + data + lowest[j] * stride;
    const int64_t length = (highest[j] - lowest[j] + 1) * stride;
    if (start < 0 || start + length > fileSize) return Fail(e, kMsgWindowPastEnd);
    if (start < int64_t{src.fxmfOffset}) return Fail(e, kMsgWindowBeforeFxmf);
    windowBytes += static_cast<uint64_t>(length);
    if (windowBytes > kMaxWindowBytes) return Fail(e, kMsgObjectTooLarge);
    std::span<const uint8_t> window;
    if (!ByteReader(src.bytes).Sub(static_cast<uint64_t>(start), static_cast<uint64_t>(length), window))
      return Fail(e, kMsgWindowPastEnd);
    x.vertexWindows[j].assign(window.begin(), window.end());
  }

  x.indexWords.resize(count);
  for (size_t w = 0; w < count; ++w) x.indexWords[w] = static_cast<uint16_t>(words[w] - smallest);

  for (uint32_t k = 0; k < partCount; ++k) {
    PartRecord& part = x.parts[k];
    const int64_t rebased = BaseVertex(part) - lowest[partDecl[k]] + smallest;
    if (rebased < 0) return Fail(e, kMsgNegativeBaseVertex);
    PutRecordU32<kPartBaseVertexAt>(part, static_cast<uint32_t>(rebased));  // below the window size, so it fits
    PutRecordU32<kPartStartIndexAt>(part, static_cast<uint32_t>(RecordU32<kPartStartIndexAt>(part) - lo));
  }

  FxmfResourceMap resources;
  if (!CollectFxmfResources(src, resources, e)) return false;

  std::set<uint32_t> takenMaterials;
  for (const PartRecord& part : x.parts) {
    const uint32_t m = RecordU32<kPartMaterialAt>(part);
    if (!takenMaterials.insert(m).second) continue;
    MaterialCopy copy;
    copy.sourceOffset = m;
    if (!rx.Copy(m, copy.bytes)) return Fail(e, kMsgMaterialOutside);
    x.materials.push_back(copy);
  }

  std::set<uint32_t> takenTextures, takenPalettes;
  for (const MaterialCopy& material : x.materials) {
    const ByteReader slots(material.bytes);
    for (uint32_t s = 0; s < kMaterialSlotCount; ++s) {
      uint32_t t = 0;
      if (!slots.U32(kMaterialSlotsAt + 4 * s, t)) return Fail(e, kMsgMaterialOutside);
      if (t == kNone || takenTextures.count(t) != 0) continue;
      TextureCopy texture;
      texture.sourceOffset = t;
      if (!tx.Copy(t, texture.record)) return Fail(e, kMsgTextureRecordOutside);
      const uint32_t h = RecordU32<kTextureHeaderAt>(texture.record), p = RecordU32<kTexturePaletteAt>(texture.record);
      if (h != kNone) {
        std::span<const uint8_t> header;
        if (!tx.Sub(h, kTextureHeaderSize, header)) return Fail(e, kMsgHeaderOutside);
        texture.hasHeader = true;
        texture.header.assign(header.begin(), header.end());
        if (!TakeFxmfResource(x, src.txmfOffset + h, resources, texture.pixelOffset, e)) return false;
      }
      if (p != kNone) {
        texture.hasPalette = true;
        texture.paletteOffset = p;
        if (takenPalettes.insert(p).second) {
          PaletteCopy palette;
          palette.sourceOffset = p;
          if (!tx.Copy(p, palette.bytes)) return Fail(e, kMsgPaletteOutside);
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
    return Fail(errorText, kMsgNoMemory);
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
      if (!ox.U32(k + kResourceOffsetAt, data)) return Fail(errorText, kMsgVbOutside);
      offsets.push_back(data);
    }
    for (uint64_t j = 0; j < c.textureCount; ++j) {
      TextureRecord texture;
      if (!tx.Copy(RecordAt(kTextureSize, j), texture)) return Fail(errorText, kMsgTextureRecordOutside);
      const uint32_t h = RecordU32<kTextureHeaderAt>(texture), p = RecordU32<kTexturePaletteAt>(texture);
      uint32_t data = 0;
      if (h != kNone) {
        if (!tx.Has(h, kTextureHeaderSize) || !tx.U32(uint64_t{h} + kTextureHeaderPixelsAt, data))
          return Fail(errorText, kMsgHeaderOutside);
        offsets.push_back(data);
      }
      if (p != kNone) {
        if (!tx.Has(p, kResourceSize) || !tx.U32(uint64_t{p} + kResourceOffsetAt, data))
          return Fail(errorText, kMsgPaletteOutside);
        offsets.push_back(data);
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
    return Fail(errorText, kMsgNoMemory);
  }
  return true;
}

bool TakeFxmfResource(ExtractedObject& x, uint32_t recordFileOffset, const FxmfResourceMap& resources,
                      uint32_t& fxmfOffset, std::string& errorText) {
  const XmfContainer& src = *x.source;
  // Texture headers and palette resources both hold their FXMF offset here.
  static_assert(kTextureHeaderPixelsAt == kResourceOffsetAt);
  uint32_t o = 0;
  if (!ByteReader(src.bytes).U32(uint64_t{recordFileOffset} + kResourceOffsetAt, o))
    return Fail(errorText, kMsgFxmfResourceOutside);
  auto found = resources.find(o);
  if (found == resources.end()) return Fail(errorText, kMsgUnknownFxmfOffset);
  std::span<const uint8_t> data;
  if (found->second == 0 || !Fxmf(src).Sub(o, found->second, data)) return Fail(errorText, kMsgFxmfResourceOutside);
  if (x.fxmfData.find(o) == x.fxmfData.end()) {
    x.fxmfOrder.push_back(o);
    x.fxmfData[o].assign(data.begin(), data.end());
  }
  fxmfOffset = o;
  return true;
}

}  // namespace tf::xmf
