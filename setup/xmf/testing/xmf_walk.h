#pragma once
// Follows an object of a container file from its record to the bytes it draws
// with, independently of the patcher's own code: the oracle of the property tests.
#include <cstdint>
#include <string>
#include <vector>

namespace tf::xmf::testing {

struct TextureView {
  bool present = false;      // the material slot names a texture record
  int64_t pixelsAt = -1;     // absolute file offset of the pixel data, or -1 without header
  uint32_t pixelsFxmf = 0;   // the same, relative to FXMF
  int64_t paletteAt = -1;    // absolute file offset of the palette data, or -1 without palette
  uint32_t paletteFxmf = 0;
};

struct PartView {
  uint32_t stride = 0;
  uint32_t windowFxmf = 0;        // the part's vertex window, relative to FXMF
  std::vector<int64_t> vertexAt;  // absolute file offset of the vertex of each index word
  TextureView slots[4];
};

struct ObjectView {
  uint32_t name = 0;
  std::vector<PartView> parts;
};

struct FileView {
  uint32_t instanceCount = 0, objectCount = 0;
  uint32_t fxmfOffset = 0;
  std::vector<ObjectView> objects;
};

// False with a reason when any record of the walk lies outside the file.
bool WalkFile(const std::vector<uint8_t>& file, FileView& view, std::string& why);

// The number of instance records whose name is `name` (4 characters); -1 when
// the instance array does not fit in the file.
int CountInstancesNamed(const std::vector<uint8_t>& file, const char* name);

}  // namespace tf::xmf::testing
