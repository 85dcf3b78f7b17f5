#include "pipeline/free_space.h"

#include <gtest/gtest.h>

namespace tf {
namespace {

TEST(FreeSpace, NeededAndMessage) {
  EXPECT_EQ(InstallBytesNeeded(0, 0), 0x4000000u);
  EXPECT_EQ(InstallBytesNeeded(10, 5), 0x4000000u + 15);
  EXPECT_EQ(NotEnoughSpaceMessage(300ull * 1048576 + 5),
            L"There is not enough free space on that drive. About 300 MB is needed.");
  EXPECT_EQ(NotEnoughSpaceMessage(1048575), L"There is not enough free space on that drive. About 0 MB is needed.");
  EXPECT_EQ(NotEnoughSpaceMessage(5ull << 40),
            L"There is not enough free space on that drive. About 5242880 MB is needed.");
}

}  // namespace
}  // namespace tf
