#include "xmf/xmf_inject.h"

#include <algorithm>
#include <array>
#include <map>
#include <new>
#include <span>

#include "xmf/xmf_section.h"

namespace tf::xmf {
namespace {

constexpr uint64_t kMax32 = 0xFFFFFFFFull;

uint64_t RoundUp(uint64_t value, uint64_t step) { return (value + step - 1) / step * step; }

void Append(std::vector<uint8_t>& out, std::span<const uint8_t> bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}

// Appends [at, at + length) of a section; false when that range is not inside it.
bool AppendFrom(std::vector<uint8_t>& out, const Section& section, uint64_t at, uint64_t length) {
  std::span<const uint8_t> bytes;
  if (!section.Sub(at, length, bytes)) return false;
  Append(out, bytes);
  return true;
}

// Replaces the word at out[at] by change(word); false when it is not inside out.
template <typename Change>
bool Rewrite32(std::vector<uint8_t>& out, uint64_t at, Change change) {
  uint32_t word = 0;
  return ByteReader(out).U32(at, word) && ByteWriter(out).U32(at, change(word));
}

template <typename Map>
bool Lookup(const Map& map, uint32_t key, uint32_t& value) {
  auto found = map.find(key);
  if (found == map.end()) return false;
  value = found->second;
  return true;
}

// The target's OXMF regions, and the block of the new object that joins the
// middle region: its parts, declarations, IB resource and index words.
struct OxmfPlan {
  uint64_t middle = 0;     // end of the object records, start of the middle region
  uint64_t tail = 0;       // start of the VB-resource array
  uint64_t partsEnd = 0;   // block offset of the declarations
  uint64_t ibPos = 0;      // block offset of the IB resource
  uint64_t wordsPos = 0;   // block offset of the index words
  uint64_t blockSize = 0;  // a multiple of 4
  uint64_t grow = 0;       // how far the tail array moves; the middle region moves by one object record
  uint64_t blockBase = 0;  // OXMF offset of the block in the new file
};

// The target's TXMF regions, and where the new records go.
struct TxmfPlan {
  uint64_t textureCount = 0;     // the target's texture records
  uint64_t headerSlots = 0;      // the target's headers, counted as the palette-region rule counts them
  uint64_t headerStart = 0;      // the target's header region
  uint64_t paletteStart = 0;     // the target's palette region
  uint64_t oldPalettes = 0;      // the target's palette resources
  uint64_t added = 0;            // new texture records
  uint64_t newHeaderStart = 0;   // the new file's header region
  uint32_t headerShift = 0;      // the target's headers move behind the new texture records by this much
  uint64_t newPaletteStart = 0;  // the new file's palette region, once the new headers are placed
};

// What FXMF gains: texture and palette data on 128-byte steps, then the vertex windows on 32.
struct Appendix {
  std::vector<uint8_t> bytes;
  std::map<uint32_t, uint32_t> fxmfMap;  // source FXMF offset -> new FXMF offset
  std::vector<uint64_t> windowAt;        // new FXMF offset of each vertex window; 0 when empty
};

// The new object's materials and texture records, headers and palettes, and
// the maps from their source offsets to their new ones.
struct TextureAdditions {
  std::map<uint32_t, uint32_t> materialMap, textureMap, paletteMap;
  std::vector<uint32_t> headerOffsets;  // per new texture record: its header, or kNone
  std::vector<uint8_t> materials, textureRecords, headers, palettes;
};

// The new object's own records: its instance, its object record, its block and
// the VB resources that join the tail array.
struct NewObject {
  InstanceRecord instance{};
  ObjectRecord object{};
  std::vector<uint8_t> block;
  std::vector<uint8_t> vbResources;
};

struct NewSizes {
  uint64_t ixmf = 0, oxmf = 0, rxmf = 0, txmf = 0, fxmf = 0;
  uint64_t total = 0;
};

uint32_t Relocate(const OxmfPlan& plan, uint32_t offset) {
  return RelocateOxmf(offset, static_cast<uint32_t>(plan.middle), static_cast<uint32_t>(plan.tail),
                      static_cast<uint32_t>(plan.grow));
}

bool SectionsInsideFile(const XmfContainer& container) {
  const Section sections[] = {Ixmf(container), Oxmf(container), Rxmf(container),
                              Txmf(container), Fxmf(container), Idsf(container)};
  for (const Section& section : sections)
    if (!section.Has(0, section.size)) return false;
  return true;
}

// The name, the target's OXMF layout and an extraction that is whole.
bool CheckInputs(const XmfContainer& target, const ExtractedObject& extracted, const std::string& newName,
                 OxmfPlan& plan, std::string& errorText) {
  if (newName.size() != 4) return Fail(errorText, kMsgNameNotFourCharacters);
  if (!TailStart64(target, plan.tail, errorText)) return false;
  plan.middle = RecordAt(kObjectSize, target.objectCount);
  if (plan.middle > plan.tail || plan.tail > target.oxmfSize) return Fail(errorText, kMsgTailNotAtEnd);
  const size_t declarations = extracted.declarations.size();
  if (extracted.source == nullptr || extracted.strides.size() != declarations ||
      extracted.vertexWindows.size() != declarations)
    return Fail(errorText, kMsgIncomplete);
  // Callers pass parsed containers; the sections are then inside the files.
  if (!SectionsInsideFile(target) || !SectionsInsideFile(*extracted.source)) return Fail(errorText, kMsgNotXmf);
  return true;
}

void PlanBlock(const ExtractedObject& extracted, OxmfPlan& plan) {
  plan.partsEnd = uint64_t{kPartSize} * extracted.parts.size();
  plan.ibPos = plan.partsEnd + uint64_t{kDeclarationSize} * extracted.declarations.size();
  plan.wordsPos = RoundUp(plan.ibPos + kResourceSize, 4);
  plan.blockSize = RoundUp(plan.wordsPos + 2 * uint64_t{extracted.indexWords.size()}, 4);
  plan.grow = plan.blockSize + kObjectSize;
  plan.blockBase = plan.tail + kObjectSize;
}

bool PlanTxmf(const XmfContainer& target, const ExtractedObject& extracted, TxmfPlan& plan, std::string& errorText) {
  plan.textureCount = target.textureCount;
  if (RecordAt(kTextureSize, plan.textureCount) > target.txmfSize) return Fail(errorText, kMsgTextureRecordOutside);
  plan.headerSlots = plan.textureCount - SharedHeaderCount(target);
  plan.headerStart = RecordAt(kTextureSize, plan.textureCount);
  plan.paletteStart = PaletteStart64(target);
  if (plan.paletteStart > target.txmfSize) return Fail(errorText, kMsgPaletteRegion);
  plan.added = extracted.textures.size();
  plan.oldPalettes = (target.txmfSize - plan.paletteStart) / kResourceSize;
  plan.newHeaderStart = RecordAt(kTextureSize, plan.textureCount + plan.added);
  plan.headerShift = static_cast<uint32_t>(uint64_t{kTextureSize} * plan.added);
  return true;
}

bool BuildAppendix(const XmfContainer& target, const ExtractedObject& extracted, Appendix& appendix,
                   std::string& errorText) {
  std::vector<uint8_t>& bytes = appendix.bytes;
  for (uint32_t offset : extracted.fxmfOrder) {
    auto data = extracted.fxmfData.find(offset);
    if (data == extracted.fxmfData.end()) return Fail(errorText, kMsgIncomplete);
    bytes.resize(RoundUp(target.fxmfSize + bytes.size(), 128) - target.fxmfSize, 0);
    appendix.fxmfMap[offset] = static_cast<uint32_t>(target.fxmfSize + bytes.size());
    Append(bytes, data->second);
    if (target.fxmfSize + bytes.size() > kMax32) return Fail(errorText, kMsgResultTooLarge);
  }
  appendix.windowAt.assign(extracted.vertexWindows.size(), 0);
  for (size_t j = 0; j < extracted.vertexWindows.size(); ++j) {
    if (extracted.vertexWindows[j].empty()) continue;
    bytes.resize(RoundUp(target.fxmfSize + bytes.size(), 32) - target.fxmfSize, 0);
    appendix.windowAt[j] = target.fxmfSize + bytes.size();
    Append(bytes, extracted.vertexWindows[j]);
    if (target.fxmfSize + bytes.size() > kMax32) return Fail(errorText, kMsgResultTooLarge);
  }
  return true;
}

// The new headers. A header slot is reserved wherever the palette-region rule
// counts one: for every header, and for a record without header that follows a
// record with one (its slot stays zero), so that the new file's palette region
// starts where its palettes lie.
bool PlaceHeaders(const XmfContainer& target, const ExtractedObject& extracted, const Appendix& appendix,
                  TxmfPlan& plan, TextureAdditions& additions, std::string& errorText) {
  additions.headerOffsets.assign(plan.added, kNone);
  uint64_t slot = plan.headerSlots;
  bool havePrevious = plan.textureCount > 0;
  uint32_t previous = 0;
  if (havePrevious) {
    if (!Txmf(target).U32(RecordAt(kTextureSize, plan.textureCount - 1) + kTextureHeaderAt, previous))
      return Fail(errorText, kMsgTextureRecordOutside);
    if (previous != kNone) previous += plan.headerShift;
  }
  for (size_t i = 0; i < plan.added; ++i) {
    const TextureCopy& texture = extracted.textures[i];
    if (texture.hasHeader) {
      if (texture.header.size() != kTextureHeaderSize) return Fail(errorText, kMsgIncomplete);
      additions.headerOffsets[i] = static_cast<uint32_t>(plan.newHeaderStart + kTextureHeaderSize * slot++);
      TextureHeaderRecord header;
      std::copy(texture.header.begin(), texture.header.end(), header.begin());
      uint32_t pixels = 0;
      if (!Lookup(appendix.fxmfMap, texture.pixelOffset, pixels)) return Fail(errorText, kMsgIncomplete);
      PutRecordU32<kTextureHeaderPixelsAt>(header, pixels);
      Append(additions.headers, header);
    } else if (!havePrevious || previous != kNone) {
      ++slot;
      additions.headers.resize(additions.headers.size() + kTextureHeaderSize, 0);
    }
    havePrevious = true;
    previous = additions.headerOffsets[i];
  }
  plan.newPaletteStart = plan.newHeaderStart + kTextureHeaderSize * slot;
  return true;
}

// The new texture records, pointing at their new headers and palettes.
bool BuildTextureRecords(const ExtractedObject& extracted, TextureAdditions& additions, std::string& errorText) {
  for (size_t i = 0; i < extracted.textures.size(); ++i) {
    const TextureCopy& texture = extracted.textures[i];
    TextureRecord record = texture.record;
    uint32_t palette = kNone;
    if (texture.hasPalette && !Lookup(additions.paletteMap, texture.paletteOffset, palette))
      return Fail(errorText, kMsgIncomplete);
    PutRecordU32<kTextureHeaderAt>(record, additions.headerOffsets[i]);
    PutRecordU32<kTexturePaletteAt>(record, palette);
    Append(additions.textureRecords, record);
  }
  return true;
}

// The new palettes, pointing at their data in the appendix.
bool BuildPalettes(const ExtractedObject& extracted, const Appendix& appendix, TextureAdditions& additions,
                   std::string& errorText) {
  for (const PaletteCopy& palette : extracted.palettes) {
    ResourceRecord bytes = palette.bytes;
    uint32_t data = 0;
    if (!Lookup(appendix.fxmfMap, palette.dataOffset, data)) return Fail(errorText, kMsgIncomplete);
    PutRecordU32<kResourceOffsetAt>(bytes, data);
    Append(additions.palettes, bytes);
  }
  return true;
}

// The new materials, their texture slots pointing at the new texture records.
bool BuildMaterials(const ExtractedObject& extracted, TextureAdditions& additions, std::string& errorText) {
  for (const MaterialCopy& material : extracted.materials) {
    MaterialRecord bytes = material.bytes;
    const ByteReader slots(material.bytes);
    ByteWriter newSlots(bytes);
    for (uint32_t s = 0; s < kMaterialSlotCount; ++s) {
      uint32_t slotValue = 0, mapped = 0;
      if (!slots.U32(kMaterialSlotsAt + 4 * s, slotValue)) return Fail(errorText, kMsgIncomplete);
      if (slotValue == kNone) continue;
      if (!Lookup(additions.textureMap, slotValue, mapped) || !newSlots.U32(kMaterialSlotsAt + 4 * s, mapped))
        return Fail(errorText, kMsgIncomplete);
    }
    Append(additions.materials, bytes);
  }
  return true;
}

bool BuildTextureAdditions(const XmfContainer& target, const ExtractedObject& extracted, const Appendix& appendix,
                           TxmfPlan& plan, TextureAdditions& additions, std::string& errorText) {
  for (size_t i = 0; i < extracted.materials.size(); ++i)
    additions.materialMap[extracted.materials[i].sourceOffset] =
        static_cast<uint32_t>(RecordAt(kMaterialSize, target.materialCount + i));
  for (size_t i = 0; i < extracted.textures.size(); ++i)
    additions.textureMap[extracted.textures[i].sourceOffset] =
        static_cast<uint32_t>(RecordAt(kTextureSize, plan.textureCount + i));
  if (!PlaceHeaders(target, extracted, appendix, plan, additions, errorText)) return false;
  for (size_t i = 0; i < extracted.palettes.size(); ++i)
    additions.paletteMap[extracted.palettes[i].sourceOffset] =
        static_cast<uint32_t>(plan.newPaletteStart + kResourceSize * (plan.oldPalettes + i));
  return BuildTextureRecords(extracted, additions, errorText) &&
         BuildPalettes(extracted, appendix, additions, errorText) && BuildMaterials(extracted, additions, errorText);
}

// The instance and object records of the new object, under its new name.
bool BuildRecords(const XmfContainer& target, const ExtractedObject& extracted, uint32_t name,
                  const OxmfPlan& plan, NewObject& object, std::string& errorText) {
  object.instance = extracted.instance;
  PutRecordU32<kInstanceNameAt>(object.instance, name);
  PutRecordU32<kInstanceObjectAt>(object.instance, static_cast<uint32_t>(plan.middle));
  if (target.instanceCount > 0) {
    InstanceRecord first;
    if (!Ixmf(target).Copy(RecordAt(kInstanceSize, 0), first)) return Fail(errorText, kMsgInstanceOutside);
    PutRecordU32<kInstanceInheritedAt>(object.instance, RecordU32<kInstanceInheritedAt>(first));
  }  // else the source's own value stays
  ObjectRecord object0;
  if (!Oxmf(target).Copy(RecordAt(kObjectSize, 0), object0)) return Fail(errorText, kMsgObjectZeroOutside);
  ObjectRecord& record = object.object;
  record = extracted.object;
  PutRecordU32<kObjectNameAt>(record, name);
  PutRecordU32<kObjectPartsAt>(record, static_cast<uint32_t>(plan.blockBase));
  PutRecordU32<kObjectIbAt>(record, static_cast<uint32_t>(plan.blockBase + plan.ibPos));
  PutRecordU32<kObjectDeclarationsAt>(record, static_cast<uint32_t>(plan.blockBase + plan.partsEnd));
  PutRecordU32<kObjectClearedAt>(record, 0);
  PutRecordU16<kObjectInheritedAt[0]>(record, RecordU16<kObjectInheritedAt[0]>(object0));
  PutRecordU16<kObjectInheritedAt[1]>(record, RecordU16<kObjectInheritedAt[1]>(object0));
  return true;
}

// The block's part records, owned by the new object record.
bool PlaceParts(const ExtractedObject& extracted, const OxmfPlan& plan, const TextureAdditions& additions,
                std::vector<uint8_t>& block, std::string& errorText) {
  for (size_t p = 0; p < extracted.parts.size(); ++p) {
    PartRecord part = extracted.parts[p];
    uint32_t material = 0, declaration = 0;
    if (!Lookup(additions.materialMap, RecordU32<kPartMaterialAt>(part), material) ||
        !Lookup(extracted.declarationIndex, RecordU32<kPartDeclarationAt>(part), declaration) ||
        declaration >= extracted.declarations.size())
      return Fail(errorText, kMsgIncomplete);
    PutRecordU32<kPartOwnerAt>(part, static_cast<uint32_t>(plan.middle));
    PutRecordU32<kPartMaterialAt>(part, material);
    PutRecordU32<kPartDeclarationAt>(
        part, static_cast<uint32_t>(plan.blockBase + plan.partsEnd + uint64_t{kDeclarationSize} * declaration));
    std::copy(part.begin(), part.end(), block.begin() + kPartSize * p);
  }
  return true;
}

// The block's declaration records, each with a new VB resource for its vertex
// window (VB offset 0 when it has none).
bool PlaceDeclarations(const XmfContainer& target, const ExtractedObject& extracted, const OxmfPlan& plan,
                       const Appendix& appendix, NewObject& object, std::string& errorText) {
  const Section sourceOxmf = Oxmf(*extracted.source);
  const uint64_t firstNewVb = uint64_t{target.oxmfSize} + plan.grow;
  for (size_t j = 0; j < extracted.declarations.size(); ++j) {
    DeclarationRecord declaration = extracted.declarations[j];
    if (extracted.vertexWindows[j].empty()) {
      PutRecordU32<kDeclarationVbAt>(declaration, 0);
    } else {
      ResourceRecord resource;
      if (!sourceOxmf.Copy(RecordU32<kDeclarationVbAt>(declaration), resource)) return Fail(errorText, kMsgVbOutside);
      PutRecordU32<kResourceOffsetAt>(resource, static_cast<uint32_t>(appendix.windowAt[j]));
      PutRecordU32<kDeclarationVbAt>(declaration, static_cast<uint32_t>(firstNewVb + object.vbResources.size()));
      Append(object.vbResources, resource);
    }
    std::copy(declaration.begin(), declaration.end(), object.block.begin() + plan.partsEnd + kDeclarationSize * j);
  }
  return true;
}

// The block of the new object: parts, declarations, IB resource, index words.
bool BuildBlock(const XmfContainer& target, const ExtractedObject& extracted, const OxmfPlan& plan,
                const Appendix& appendix, const TextureAdditions& additions, NewObject& object,
                std::string& errorText) {
  std::vector<uint8_t>& block = object.block;
  block.assign(plan.blockSize, 0);
  if (!PlaceParts(extracted, plan, additions, block, errorText) ||
      !PlaceDeclarations(target, extracted, plan, appendix, object, errorText))
    return false;
  ResourceRecord ib = extracted.ibResource;
  PutRecordU32<kResourceOffsetAt>(ib, static_cast<uint32_t>(plan.blockBase + plan.wordsPos));
  std::copy(ib.begin(), ib.end(), block.begin() + plan.ibPos);
  ByteWriter words(block);
  for (size_t w = 0; w < extracted.indexWords.size(); ++w)
    if (!words.U16(plan.wordsPos + 2 * w, extracted.indexWords[w])) return Fail(errorText, kMsgIncomplete);
  return true;
}

// Every OXMF field of the target that holds an OXMF offset, each once, in
// ascending order. The bitmap keeps each site once, so objects that share
// arrays cost no memory per repeat.
bool GatherPointerSites(const XmfContainer& target, std::vector<uint32_t>& sites, std::string& errorText) {
  std::vector<bool> marked(target.oxmfSize, false);
  auto mark = [&](uint64_t at) {
    if (at + 4 > target.oxmfSize) return false;
    if (!marked[at]) sites.push_back(static_cast<uint32_t>(at));
    marked[at] = true;
    return true;
  };
  const Section oxmf = Oxmf(target);
  for (uint64_t i = 0; i < target.objectCount; ++i) {
    const uint64_t recordAt = RecordAt(kObjectSize, i);
    ObjectRecord record;
    if (!oxmf.Copy(recordAt, record)) return Fail(errorText, kMsgObjectOutside);
    const ObjectLayout layout = LayoutOf(record);
    if (!mark(recordAt + kObjectPartsAt) || !mark(recordAt + kObjectIbAt) || !mark(recordAt + kObjectDeclarationsAt))
      return Fail(errorText, kMsgPointerSiteOutside);
    for (uint64_t p = 0; p < layout.partCount; ++p)
      if (!mark(layout.parts + kPartSize * p + kPartDeclarationAt)) return Fail(errorText, kMsgPointerSiteOutside);
    if (!mark(layout.ib + kResourceOffsetAt)) return Fail(errorText, kMsgPointerSiteOutside);
    for (uint64_t j = 0; j < layout.declarationCount; ++j)
      if (!mark(layout.declarations + kDeclarationSize * j + kDeclarationVbAt))
        return Fail(errorText, kMsgPointerSiteOutside);
  }
  std::sort(sites.begin(), sites.end());
  return true;
}

bool SizeNewFile(const XmfContainer& target, const ExtractedObject& extracted, const OxmfPlan& plan,
                 const TextureAdditions& additions, const NewObject& object, const Appendix& appendix,
                 NewSizes& sizes, std::string& errorText) {
  sizes.ixmf = uint64_t{target.ixmfSize} + kInstanceSize;
  sizes.oxmf = uint64_t{target.oxmfSize} + plan.grow + object.vbResources.size();
  sizes.rxmf = uint64_t{target.rxmfSize} + additions.materials.size();
  sizes.txmf = uint64_t{target.txmfSize} + additions.textureRecords.size() + additions.headers.size() +
               additions.palettes.size();
  sizes.fxmf = uint64_t{target.fxmfSize} + appendix.bytes.size();
  sizes.total = kHeaderSize + sizes.ixmf + sizes.oxmf + sizes.rxmf + sizes.txmf + target.idsfSize + sizes.fxmf;
  if (sizes.total > kMax32 || target.instanceCount == kMax32 || target.objectCount == kMax32 ||
      uint64_t{target.materialCount} + extracted.materials.size() > kMax32 ||
      uint64_t{target.textureCount} + extracted.textures.size() > kMax32)
    return Fail(errorText, kMsgResultTooLarge);
  return true;
}

bool WriteHeader(const XmfContainer& target, const ExtractedObject& extracted, const NewSizes& sizes,
                 std::vector<uint8_t>& out, std::string& errorText) {
  std::array<uint8_t, kHeaderSize> header;
  std::span<const uint8_t> oldHeader;
  if (!ByteReader(target.bytes).Sub(0, kHeaderSize, oldHeader)) return Fail(errorText, kMsgNotXmf);
  std::copy(oldHeader.begin(), oldHeader.end(), header.begin());
  PutRecordU32<kHeaderInstanceCountAt>(header, target.instanceCount + 1);
  PutRecordU32<kHeaderObjectCountAt>(header, target.objectCount + 1);
  PutRecordU32<kHeaderMaterialCountAt>(header,
                                       static_cast<uint32_t>(target.materialCount + extracted.materials.size()));
  PutRecordU32<kHeaderTextureCountAt>(header, static_cast<uint32_t>(target.textureCount + extracted.textures.size()));
  PutRecordU32<kHeaderIxmfSizeAt>(header, static_cast<uint32_t>(sizes.ixmf));
  PutRecordU32<kHeaderOxmfSizeAt>(header, static_cast<uint32_t>(sizes.oxmf));
  PutRecordU32<kHeaderRxmfSizeAt>(header, static_cast<uint32_t>(sizes.rxmf));
  PutRecordU32<kHeaderTxmfSizeAt>(header, static_cast<uint32_t>(sizes.txmf));
  PutRecordU32<kHeaderFxmfSizeAt>(header, static_cast<uint32_t>(sizes.fxmf));
  Append(out, header);
  return true;
}

// The target's instances, pointing at their moved object records, then the new one.
bool WriteIxmf(const XmfContainer& target, const OxmfPlan& plan, const NewObject& object, std::vector<uint8_t>& out,
               std::string& errorText) {
  const size_t ixmfAt = out.size();
  if (!AppendFrom(out, Ixmf(target), 0, target.ixmfSize)) return Fail(errorText, kMsgNotXmf);
  auto relocate = [&plan](uint32_t offset) { return Relocate(plan, offset); };
  for (uint64_t i = 0; i < target.instanceCount; ++i)
    if (!Rewrite32(out, ixmfAt + RecordAt(kInstanceSize, i) + kInstanceObjectAt, relocate))
      return Fail(errorText, kMsgIxmfNotBare);
  Append(out, object.instance);
  return true;
}

// OXMF, copied as it was with the new object's pieces joined in; then every
// pointer site, at its new place, passes through the relocation.
bool WriteOxmf(const XmfContainer& target, const OxmfPlan& plan, const NewObject& object,
               const std::vector<uint32_t>& sites, std::vector<uint8_t>& out, std::string& errorText) {
  const Section oxmf = Oxmf(target);
  const size_t oxmfAt = out.size();
  if (!AppendFrom(out, oxmf, 0, plan.middle)) return Fail(errorText, kMsgNotXmf);
  Append(out, object.object);
  if (!AppendFrom(out, oxmf, plan.middle, plan.tail - plan.middle)) return Fail(errorText, kMsgNotXmf);
  Append(out, object.block);
  if (!AppendFrom(out, oxmf, plan.tail, target.oxmfSize - plan.tail)) return Fail(errorText, kMsgNotXmf);
  Append(out, object.vbResources);
  // Byte by byte, since a field of a broken file may straddle M or T and so be split in the output.
  for (uint32_t site : sites) {
    uint64_t where[4];
    uint32_t value = 0;
    for (uint32_t i = 0; i < 4; ++i) {
      where[i] = oxmfAt + Relocate(plan, site + i);
      uint8_t byte = 0;
      if (!ByteReader(out).U8(where[i], byte)) return Fail(errorText, kMsgPointerSiteOutside);
      value |= static_cast<uint32_t>(byte) << (8 * i);
    }
    value = Relocate(plan, value);
    for (uint32_t i = 0; i < 4; ++i) out[where[i]] = static_cast<uint8_t>(value >> (8 * i));
  }
  return true;
}

// TXMF, with the target's header and palette offsets moved and the new records,
// headers and palettes at the end of their regions.
bool WriteTxmf(const XmfContainer& target, const TxmfPlan& plan, const TextureAdditions& additions,
               std::vector<uint8_t>& out, std::string& errorText) {
  const Section txmf = Txmf(target);
  const size_t txmfAt = out.size();
  if (!AppendFrom(out, txmf, 0, plan.headerStart)) return Fail(errorText, kMsgNotXmf);
  const uint32_t headerShift = plan.headerShift;
  const uint32_t paletteShift = static_cast<uint32_t>(plan.newPaletteStart - plan.paletteStart);
  auto moveHeader = [headerShift](uint32_t at) { return at != kNone ? at + headerShift : at; };
  auto movePalette = [paletteShift](uint32_t at) { return at != kNone ? at + paletteShift : at; };
  for (uint64_t j = 0; j < plan.textureCount; ++j) {
    const uint64_t recordAt = txmfAt + RecordAt(kTextureSize, j);
    if (!Rewrite32(out, recordAt + kTextureHeaderAt, moveHeader) ||
        !Rewrite32(out, recordAt + kTexturePaletteAt, movePalette))
      return Fail(errorText, kMsgTextureRecordOutside);
  }
  Append(out, additions.textureRecords);
  if (!AppendFrom(out, txmf, plan.headerStart, plan.paletteStart - plan.headerStart))
    return Fail(errorText, kMsgNotXmf);
  Append(out, additions.headers);
  if (!AppendFrom(out, txmf, plan.paletteStart, target.txmfSize - plan.paletteStart))
    return Fail(errorText, kMsgNotXmf);
  Append(out, additions.palettes);
  return true;
}

bool Inject(const XmfContainer& target, const ExtractedObject& extracted, const std::string& newName,
            std::vector<uint8_t>& out, std::string& errorText) {
  OxmfPlan oxmf;
  if (!CheckInputs(target, extracted, newName, oxmf, errorText)) return false;
  PlanBlock(extracted, oxmf);
  TxmfPlan txmf;
  Appendix appendix;
  TextureAdditions additions;
  if (!PlanTxmf(target, extracted, txmf, errorText) || !BuildAppendix(target, extracted, appendix, errorText) ||
      !BuildTextureAdditions(target, extracted, appendix, txmf, additions, errorText))
    return false;
  NewObject object;
  if (!BuildRecords(target, extracted, NameWord(newName.c_str()), oxmf, object, errorText) ||
      !BuildBlock(target, extracted, oxmf, appendix, additions, object, errorText))
    return false;
  std::vector<uint32_t> sites;
  NewSizes sizes;
  if (!GatherPointerSites(target, sites, errorText) ||
      !SizeNewFile(target, extracted, oxmf, additions, object, appendix, sizes, errorText))
    return false;

  out.clear();
  out.reserve(static_cast<size_t>(sizes.total));
  if (!WriteHeader(target, extracted, sizes, out, errorText) || !WriteIxmf(target, oxmf, object, out, errorText) ||
      !WriteOxmf(target, oxmf, object, sites, out, errorText))
    return false;
  if (!AppendFrom(out, Rxmf(target), 0, target.rxmfSize)) return Fail(errorText, kMsgNotXmf);
  Append(out, additions.materials);
  if (!WriteTxmf(target, txmf, additions, out, errorText)) return false;
  if (!AppendFrom(out, Idsf(target), 0, target.idsfSize) || !AppendFrom(out, Fxmf(target), 0, target.fxmfSize))
    return Fail(errorText, kMsgNotXmf);
  Append(out, appendix.bytes);
  return true;
}

}  // namespace

bool InjectObject(const XmfContainer& target, const ExtractedObject& object, const std::string& newName,
                  std::vector<uint8_t>& out, std::string& errorText) {
  try {
    return Inject(target, object, newName, out, errorText);
  } catch (const std::bad_alloc&) {
    return Fail(errorText, kMsgNoMemory);
  }
}

}  // namespace tf::xmf
