#pragma once
// Synthetic XMF v1 containers: valid by construction, varied by a seed and a few knobs.
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace tf::xmf::testing {

enum class IdsfKind { random, markerAbcd, zeroSize, present };

struct BuildOptions {
  uint32_t seed = 1;
  uint32_t objects = 4;
  uint32_t instances = 0xFFFFFFFFu;  // default: one per object; fewer is allowed
  uint32_t maxParts = 4;
  uint32_t maxDeclarations = 3;
  uint32_t maxPartWords = 40;
  uint32_t maxVertices = 48;
  bool sharedDeclarations = true;   // parts of one object may use one declaration
  bool unusedDeclarations = false;  // some objects get a declaration that no part uses
  bool indexGaps = true;            // unused index words before, between and after parts
  bool negativeBaseVertex = true;   // index words offset by a negative base vertex index
  bool looseIndexRanges = false;    // a part need not reach its object's smallest word
  uint32_t materials = 4;           // at least 1
  uint32_t textures = 6;
  bool sharedHeaders = true;
  bool headerlessTextures = true;
  bool palettelessTextures = true;
  bool sharedPalettes = true;
  IdsfKind idsf = IdsfKind::random;
  uint32_t maxPixelBytes = 200;
  uint32_t maxPaletteBytes = 64;
  uint32_t maxGap = 48;  // random filler before each FXMF item
  std::vector<std::pair<uint32_t, std::string>> names;  // object index -> 4-character name
  // Object whose parts all use material 0, whose slot 0 names texture 0 with a header and a palette.
  int texturedObject = -1;
};

struct BuiltContainer {
  std::vector<uint8_t> bytes;
  std::map<uint32_t, uint32_t> dataLengths;  // FXMF offset -> length of the data placed there
};

BuiltContainer BuildContainer(const BuildOptions& options);

// Generated object names: 'o' and three base-36 digits of the index.
std::string GeneratedName(uint32_t index);

// An arena's container of roughly the given size, holding a textured "WPH2" when asked.
BuildOptions ArenaOptions(uint32_t seed, bool withWph2, uint32_t approxBytes);
std::vector<uint8_t> BuildArenaContainer(uint32_t seed, bool withWph2, uint32_t approxBytes = 64 * 1024);

}  // namespace tf::xmf::testing
