#include "pipeline/free_space.h"

#include <cwchar>

namespace tf {

std::wstring NotEnoughSpaceMessage(uint64_t neededBytes) {
  wchar_t message[256];
  std::swprintf(message, 256, L"There is not enough free space on that drive. About %llu MB is needed.",
                static_cast<unsigned long long>(neededBytes / 1048576));
  return message;
}

}  // namespace tf
