#include "xmf/xmf_extract.h"

#include <algorithm>
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

// The index words that the parts reach: [first, end) counted from the IB
// resource's words, and each part's declaration.
struct IndexWords {
  std::vector<uint32_t> partDeclaration;  // position in `declarations`, per part
  uint64_t first = UINT64_MAX;            // lowest start index of any part
  uint64_t end = 0;                       // highest end of any part's range
  std::vector<uint16_t> words;            // the words [first, end), as read
  uint16_t smallest = 0;                  // the smallest of them, gaps included
};

// The vertices that the parts reach through one declaration.
struct VertexRange {
  bool used = false;
  int64_t lowest = 0;
  int64_t highest = 0;
};

// The object's instance and object records, refused when the copy cannot carry them.
bool CopyObjectRecords(const XmfContainer& source, const char* name, ExtractedObject& extracted,
                       std::string& errorText) {
  const int found = FindObject(source, NameWord(name));
  if (found < 0) return Fail(errorText, kMsgNoSuchObject);
  const uint64_t index = static_cast<uint64_t>(found);
  const uint64_t objectAt = RecordAt(kObjectSize, index);
  if (!Ixmf(source).Copy(RecordAt(kInstanceSize, index), extracted.instance))
    return Fail(errorText, kMsgInstanceOutside);
  if (!Oxmf(source).Copy(objectAt, extracted.object)) return Fail(errorText, kMsgObjectOutside);
  if (RecordU32<kInstanceObjectAt>(extracted.instance) != objectAt) return Fail(errorText, kMsgInstanceMismatch);
  if (RecordU16<kObjectSkinningAt>(extracted.object) != 0) return Fail(errorText, kMsgSkinned);
  return true;
}

// The part and declaration records and the IB resource that the object record names.
bool CopyObjectArrays(const Section& oxmf, ExtractedObject& extracted, std::string& errorText) {
  const ObjectLayout layout = LayoutOf(extracted.object);
  if (layout.partCount == 0 || layout.declarationCount == 0) return Fail(errorText, kMsgNoPartsOrDeclarations);
  if (!oxmf.Has(layout.parts, kPartSize * layout.partCount)) return Fail(errorText, kMsgPartOutside);
  if (!oxmf.Has(layout.declarations, kDeclarationSize * layout.declarationCount))
    return Fail(errorText, kMsgDeclarationOutside);
  if (!oxmf.Has(layout.ib, kResourceSize)) return Fail(errorText, kMsgIbOutside);
  extracted.parts.resize(layout.partCount);
  for (uint64_t k = 0; k < layout.partCount; ++k)
    if (!oxmf.Copy(layout.parts + kPartSize * k, extracted.parts[k])) return Fail(errorText, kMsgPartOutside);
  extracted.declarations.resize(layout.declarationCount);
  for (uint64_t j = 0; j < layout.declarationCount; ++j) {
    const uint64_t declarationAt = layout.declarations + kDeclarationSize * j;
    if (!oxmf.Copy(declarationAt, extracted.declarations[j])) return Fail(errorText, kMsgDeclarationOutside);
    extracted.declarationIndex[static_cast<uint32_t>(declarationAt)] = static_cast<uint32_t>(j);
  }
  if (!oxmf.Copy(layout.ib, extracted.ibResource)) return Fail(errorText, kMsgIbOutside);
  return true;
}

// Each part's declaration, and the range of index words that all parts reach.
bool MapParts(const ExtractedObject& extracted, IndexWords& index, std::string& errorText) {
  index.partDeclaration.resize(extracted.parts.size());
  for (size_t k = 0; k < extracted.parts.size(); ++k) {
    const PartRecord& part = extracted.parts[k];
    auto declaration = extracted.declarationIndex.find(RecordU32<kPartDeclarationAt>(part));
    if (declaration == extracted.declarationIndex.end()) return Fail(errorText, kMsgForeignDescriptor);
    if (RecordU16<kPartIndexedAt>(part) == 0) return Fail(errorText, kMsgNonIndexed);
    index.partDeclaration[k] = declaration->second;
    const uint64_t start = RecordU32<kPartStartIndexAt>(part);
    index.first = std::min(index.first, start);
    index.end = std::max(index.end, IndexCount(part) + start);
  }
  return true;
}

bool ReadIndexWords(const Section& oxmf, const ExtractedObject& extracted, IndexWords& index, std::string& errorText) {
  if (index.end <= index.first) return Fail(errorText, kMsgNoIndexWords);
  const uint64_t wordsAt = RecordU32<kResourceOffsetAt>(extracted.ibResource);
  if (!oxmf.Has(wordsAt + 2 * index.first, 2 * (index.end - index.first)))
    return Fail(errorText, kMsgIndexWordsOutside);
  index.words.resize(static_cast<size_t>(index.end - index.first));
  for (size_t w = 0; w < index.words.size(); ++w)
    if (!oxmf.U16(wordsAt + 2 * (index.first + w), index.words[w])) return Fail(errorText, kMsgIndexWordsOutside);
  return true;
}

// The lowest and highest vertex that the parts reach through each declaration.
bool MeasureVertexRanges(const ExtractedObject& extracted, const IndexWords& index, const WordRanges& ranges,
                         std::vector<VertexRange>& vertices, std::string& errorText) {
  vertices.assign(extracted.declarations.size(), VertexRange{});
  for (size_t k = 0; k < extracted.parts.size(); ++k) {
    const PartRecord& part = extracted.parts[k];
    const uint64_t count = IndexCount(part);
    const uint64_t first = RecordU32<kPartStartIndexAt>(part) - index.first;
    if (count == 0) return Fail(errorText, kMsgPartWithoutIndices);
    if (first + count > index.words.size()) return Fail(errorText, kMsgIndexRangePastBuffer);
    uint16_t lowWord = 0, highWord = 0;
    ranges.Query(static_cast<size_t>(first), static_cast<size_t>(first + count), lowWord, highWord);
    VertexRange& range = vertices[index.partDeclaration[k]];
    const int64_t base = BaseVertex(part);
    if (!range.used) {
      range = {true, lowWord + base, highWord + base};
    } else {
      range.lowest = std::min(range.lowest, lowWord + base);
      range.highest = std::max(range.highest, highWord + base);
    }
  }
  return true;
}

// The vertices [range.lowest, range.highest] of one declaration's vertex data.
bool CopyVertexWindow(const XmfContainer& source, const DeclarationRecord& declaration, const VertexRange& range,
                      uint32_t stride, uint64_t& windowBytes, std::vector<uint8_t>& window, std::string& errorText) {
  const uint32_t vb = RecordU32<kDeclarationVbAt>(declaration);
  const Section oxmf = Oxmf(source);
  uint32_t data = 0;
  if (!oxmf.Has(vb, kResourceSize) || !oxmf.U32(uint64_t{vb} + kResourceOffsetAt, data))
    return Fail(errorText, kMsgVbOutside);
  const int64_t start = int64_t{source.fxmfOffset} + data + range.lowest * stride;
  const int64_t length = (range.highest - range.lowest + 1) * stride;
  if (start < 0 || start + length > static_cast<int64_t>(source.bytes.size()))
    return Fail(errorText, kMsgWindowPastEnd);
  if (start < int64_t{source.fxmfOffset}) return Fail(errorText, kMsgWindowBeforeFxmf);
  windowBytes += static_cast<uint64_t>(length);
  if (windowBytes > kMaxWindowBytes) return Fail(errorText, kMsgObjectTooLarge);
  std::span<const uint8_t> bytes;
  if (!ByteReader(source.bytes).Sub(static_cast<uint64_t>(start), static_cast<uint64_t>(length), bytes))
    return Fail(errorText, kMsgWindowPastEnd);
  window.assign(bytes.begin(), bytes.end());
  return true;
}

// Each declaration's stride, and the window of its vertices that the parts use.
bool CopyVertexWindows(const XmfContainer& source, const std::vector<VertexRange>& vertices,
                       ExtractedObject& extracted, std::string& errorText) {
  const size_t count = extracted.declarations.size();
  uint64_t windowBytes = 0;
  extracted.strides.resize(count);
  extracted.vertexWindows.resize(count);
  for (size_t j = 0; j < count; ++j) {
    const uint32_t stride = DeclarationStride(extracted.declarations[j]);
    if (stride == 0) return Fail(errorText, kMsgZeroStride);
    extracted.strides[j] = stride;
    if (!vertices[j].used) continue;
    if (!CopyVertexWindow(source, extracted.declarations[j], vertices[j], stride, windowBytes,
                          extracted.vertexWindows[j], errorText))
      return false;
  }
  return true;
}

// Index words from 0 and windows from their lowest vertex: each part's start
// index and base vertex index move to match.
bool Rebase(const IndexWords& index, const std::vector<VertexRange>& vertices, ExtractedObject& extracted,
            std::string& errorText) {
  extracted.indexWords.resize(index.words.size());
  for (size_t w = 0; w < index.words.size(); ++w)
    extracted.indexWords[w] = static_cast<uint16_t>(index.words[w] - index.smallest);
  for (size_t k = 0; k < extracted.parts.size(); ++k) {
    PartRecord& part = extracted.parts[k];
    const int64_t rebased = BaseVertex(part) - vertices[index.partDeclaration[k]].lowest + index.smallest;
    if (rebased < 0) return Fail(errorText, kMsgNegativeBaseVertex);
    PutRecordU32<kPartBaseVertexAt>(part, static_cast<uint32_t>(rebased));  // below the window size, so it fits
    PutRecordU32<kPartStartIndexAt>(part, static_cast<uint32_t>(RecordU32<kPartStartIndexAt>(part) - index.first));
  }
  return true;
}

// The materials of the parts, each once, in order of first use.
bool CopyMaterials(const Section& rxmf, ExtractedObject& extracted, std::string& errorText) {
  std::set<uint32_t> taken;
  for (const PartRecord& part : extracted.parts) {
    const uint32_t materialAt = RecordU32<kPartMaterialAt>(part);
    if (!taken.insert(materialAt).second) continue;
    MaterialCopy copy;
    copy.sourceOffset = materialAt;
    if (!rxmf.Copy(materialAt, copy.bytes)) return Fail(errorText, kMsgMaterialOutside);
    extracted.materials.push_back(copy);
  }
  return true;
}

// One texture record with its header and, the first time it is named, its palette.
bool CopyTexture(const FxmfResourceMap& resources, uint32_t textureAt, std::set<uint32_t>& takenPalettes,
                 ExtractedObject& extracted, TextureCopy& texture, std::string& errorText) {
  const XmfContainer& source = *extracted.source;
  const Section txmf = Txmf(source);
  texture.sourceOffset = textureAt;
  if (!txmf.Copy(textureAt, texture.record)) return Fail(errorText, kMsgTextureRecordOutside);
  const uint32_t headerAt = RecordU32<kTextureHeaderAt>(texture.record);
  const uint32_t paletteAt = RecordU32<kTexturePaletteAt>(texture.record);
  if (headerAt != kNone) {
    std::span<const uint8_t> header;
    if (!txmf.Sub(headerAt, kTextureHeaderSize, header)) return Fail(errorText, kMsgHeaderOutside);
    texture.hasHeader = true;
    texture.header.assign(header.begin(), header.end());
    if (!TakeFxmfResource(extracted, source.txmfOffset + headerAt, resources, texture.pixelOffset, errorText))
      return false;
  }
  if (paletteAt == kNone) return true;
  texture.hasPalette = true;
  texture.paletteOffset = paletteAt;
  if (!takenPalettes.insert(paletteAt).second) return true;
  PaletteCopy palette;
  palette.sourceOffset = paletteAt;
  if (!txmf.Copy(paletteAt, palette.bytes)) return Fail(errorText, kMsgPaletteOutside);
  if (!TakeFxmfResource(extracted, source.txmfOffset + paletteAt, resources, palette.dataOffset, errorText))
    return false;
  extracted.palettes.push_back(palette);
  return true;
}

// The textures of the materials' slots, each once, in order of first use.
bool CopyTextures(const FxmfResourceMap& resources, ExtractedObject& extracted, std::string& errorText) {
  std::set<uint32_t> takenTextures, takenPalettes;
  for (const MaterialCopy& material : extracted.materials) {
    const ByteReader slots(material.bytes);
    for (uint32_t s = 0; s < kMaterialSlotCount; ++s) {
      uint32_t textureAt = 0;
      if (!slots.U32(kMaterialSlotsAt + 4 * s, textureAt)) return Fail(errorText, kMsgMaterialOutside);
      if (textureAt == kNone || takenTextures.count(textureAt) != 0) continue;
      TextureCopy texture;
      if (!CopyTexture(resources, textureAt, takenPalettes, extracted, texture, errorText)) return false;
      takenTextures.insert(textureAt);
      extracted.textures.push_back(std::move(texture));
    }
  }
  return true;
}

bool Extract(const XmfContainer& source, const char* name, ExtractedObject& extracted, std::string& errorText) {
  extracted.source = &source;
  const Section oxmf = Oxmf(source);
  if (!CopyObjectRecords(source, name, extracted, errorText)) return false;
  if (!CopyObjectArrays(oxmf, extracted, errorText)) return false;

  IndexWords index;
  if (!MapParts(extracted, index, errorText) || !ReadIndexWords(oxmf, extracted, index, errorText)) return false;
  const WordRanges ranges(index.words);
  std::vector<VertexRange> vertices;
  if (!MeasureVertexRanges(extracted, index, ranges, vertices, errorText)) return false;
  uint16_t largest = 0;
  ranges.Query(0, index.words.size(), index.smallest, largest);
  if (!CopyVertexWindows(source, vertices, extracted, errorText)) return false;
  if (!Rebase(index, vertices, extracted, errorText)) return false;

  FxmfResourceMap resources;
  if (!CollectFxmfResources(source, resources, errorText)) return false;
  return CopyMaterials(Rxmf(source), extracted, errorText) && CopyTextures(resources, extracted, errorText);
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
  const Section oxmf = Oxmf(c), txmf = Txmf(c);
  std::vector<uint32_t> offsets;
  try {
    for (uint64_t vbAt = tail; vbAt + kResourceSize <= c.oxmfSize; vbAt += kResourceSize) {
      uint32_t data = 0;
      if (!oxmf.U32(vbAt + kResourceOffsetAt, data)) return Fail(errorText, kMsgVbOutside);
      offsets.push_back(data);
    }
    for (uint64_t j = 0; j < c.textureCount; ++j) {
      TextureRecord texture;
      if (!txmf.Copy(RecordAt(kTextureSize, j), texture)) return Fail(errorText, kMsgTextureRecordOutside);
      const uint32_t headerAt = RecordU32<kTextureHeaderAt>(texture);
      const uint32_t paletteAt = RecordU32<kTexturePaletteAt>(texture);
      uint32_t data = 0;
      if (headerAt != kNone) {
        if (!txmf.Has(headerAt, kTextureHeaderSize) || !txmf.U32(uint64_t{headerAt} + kTextureHeaderPixelsAt, data))
          return Fail(errorText, kMsgHeaderOutside);
        offsets.push_back(data);
      }
      if (paletteAt != kNone) {
        if (!txmf.Has(paletteAt, kResourceSize) || !txmf.U32(uint64_t{paletteAt} + kResourceOffsetAt, data))
          return Fail(errorText, kMsgPaletteOutside);
        offsets.push_back(data);
      }
    }
    std::sort(offsets.begin(), offsets.end());
    offsets.erase(std::unique(offsets.begin(), offsets.end()), offsets.end());
    resources.clear();
    for (size_t i = 0; i < offsets.size(); ++i) {
      const uint32_t offset = offsets[i];
      // A resource never reaches past FXMF, even when a later offset does.
      const uint32_t end = i + 1 < offsets.size() ? std::min(offsets[i + 1], c.fxmfSize) : c.fxmfSize;
      resources.emplace_hint(resources.end(), offset, offset < end ? end - offset : 0);
    }
  } catch (const std::bad_alloc&) {
    return Fail(errorText, kMsgNoMemory);
  }
  return true;
}

bool TakeFxmfResource(ExtractedObject& extracted, uint32_t recordFileOffset, const FxmfResourceMap& resources,
                      uint32_t& fxmfOffset, std::string& errorText) {
  const XmfContainer& source = *extracted.source;
  // Texture headers and palette resources both hold their FXMF offset here.
  static_assert(kTextureHeaderPixelsAt == kResourceOffsetAt);
  uint32_t offset = 0;
  if (!ByteReader(source.bytes).U32(uint64_t{recordFileOffset} + kResourceOffsetAt, offset))
    return Fail(errorText, kMsgFxmfResourceOutside);
  auto found = resources.find(offset);
  if (found == resources.end()) return Fail(errorText, kMsgUnknownFxmfOffset);
  std::span<const uint8_t> data;
  if (found->second == 0 || !Fxmf(source).Sub(offset, found->second, data))
    return Fail(errorText, kMsgFxmfResourceOutside);
  if (extracted.fxmfData.find(offset) == extracted.fxmfData.end()) {
    extracted.fxmfOrder.push_back(offset);
    extracted.fxmfData[offset].assign(data.begin(), data.end());
  }
  fxmfOffset = offset;
  return true;
}

}  // namespace tf::xmf
