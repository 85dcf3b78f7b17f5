#pragma once
// The running program's own file and its RCDATA resources.
#include <cstdint>
#include <string>

namespace tf {

// The running program's full path, however long it is; empty when it cannot be read.
std::wstring RunningProgramPath();

// The bytes of the program's RCDATA resource `id` in its mapped image (never
// freed). False when it cannot be found, loaded or locked; `size` may be 0.
bool FindProgramResource(uint16_t id, const uint8_t*& bytes, uint32_t& size);

}  // namespace tf
