#pragma once
// The free-space rule of an install: room for the game files, the runtime and 64 MiB more.
#include <cstdint>
#include <string>

namespace tf {

inline constexpr uint64_t kFreeSpaceReserve = 0x4000000;  // 64 MiB

inline uint64_t InstallBytesNeeded(uint64_t payloadBytes, uint64_t selectedBytes) {
  return payloadBytes + selectedBytes + kFreeSpaceReserve;
}

// "There is not enough free space on that drive. About N MB is needed." (N rounded down).
std::wstring NotEnoughSpaceMessage(uint64_t neededBytes);

}  // namespace tf
