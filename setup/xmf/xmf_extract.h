#pragma once
// Cutting one named object, with everything it reaches, out of a parsed container.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "xmf/xmf_container.h"

namespace tf::xmf {

struct MaterialCopy {
  uint32_t sourceOffset = 0;  // relative to RXMF
  MaterialRecord bytes{};
};

struct TextureCopy {
  uint32_t sourceOffset = 0;  // relative to TXMF
  TextureRecord record{};
  bool hasHeader = false;
  std::vector<uint8_t> header;  // kTextureHeaderSize bytes when hasHeader
  uint32_t pixelOffset = 0;     // source FXMF offset
  bool hasPalette = false;
  uint32_t paletteOffset = 0;  // source TXMF offset
};

struct PaletteCopy {
  uint32_t sourceOffset = 0;  // relative to TXMF
  ResourceRecord bytes{};
  uint32_t dataOffset = 0;  // source FXMF offset
};

struct ExtractedObject {
  const XmfContainer* source = nullptr;  // not owned; must outlive this object
  InstanceRecord instance{};
  ObjectRecord object{};
  ResourceRecord ibResource{};
  std::vector<uint16_t> indexWords;
  std::vector<PartRecord> parts;
  std::vector<DeclarationRecord> declarations;
  std::map<uint32_t, uint32_t> declarationIndex;  // source OXMF offset -> position in declarations
  std::vector<uint32_t> strides;
  std::vector<std::vector<uint8_t>> vertexWindows;
  std::vector<uint32_t> fxmfOrder;
  std::map<uint32_t, std::vector<uint8_t>> fxmfData;
  std::vector<MaterialCopy> materials;
  std::vector<TextureCopy> textures;
  std::vector<PaletteCopy> palettes;
};

// FXMF offset -> resource length. Offsets at or past the end of FXMF map to 0.
using FxmfResourceMap = std::map<uint32_t, uint32_t>;

bool ExtractObject(const XmfContainer& source, const char* name, ExtractedObject& out, std::string& errorText);
bool CollectFxmfResources(const XmfContainer& c, FxmfResourceMap& resources, std::string& errorText);
bool TakeFxmfResource(ExtractedObject& extracted, uint32_t recordFileOffset, const FxmfResourceMap& resources,
                      uint32_t& fxmfOffset, std::string& errorText);

}  // namespace tf::xmf
