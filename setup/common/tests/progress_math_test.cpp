#include "common/progress_math.h"

#include <gtest/gtest.h>

#include <vector>

namespace tf {
namespace {

TEST(LogPrefix, RightAlignsInThreePlaces) {
  EXPECT_EQ(FormatLogPrefix(0), "[  0%] ");
  EXPECT_EQ(FormatLogPrefix(7), "[  7%] ");
  EXPECT_EQ(FormatLogPrefix(86), "[ 86%] ");
  EXPECT_EQ(FormatLogPrefix(100), "[100%] ");
  // Out-of-range values still fit the 16-byte buffer, cut if need be.
  EXPECT_EQ(FormatLogPrefix(-2147483647 - 1), "[-2147483648%] ");
}

TEST(CopyProgress, PercentMapsOntoFiveToEightyFive) {
  EXPECT_EQ(CopyProgressPercent(0, 0), 85);
  EXPECT_EQ(CopyProgressPercent(0, 100), 5);
  EXPECT_EQ(CopyProgressPercent(50, 100), 45);
  EXPECT_EQ(CopyProgressPercent(99, 100), 84);
  EXPECT_EQ(CopyProgressPercent(100, 100), 85);
  // Large totals stay exact in 64 bits.
  const uint64_t big = 5ull << 32;
  EXPECT_EQ(CopyProgressPercent(big / 2, big), 45);
}

TEST(BuildProgress, PercentMapsOntoNinetyToNinetySix) {
  EXPECT_EQ(BuildProgressPercent(0, 0), 96);
  EXPECT_EQ(BuildProgressPercent(0, 10), 90);
  EXPECT_EQ(BuildProgressPercent(5, 10), 93);
  EXPECT_EQ(BuildProgressPercent(10, 10), 96);
}

TEST(CopyProgress, ThrottleReportsPastTwoMiBAndAtTheEnd) {
  const uint64_t MiB = 1 << 20;
  const uint64_t total = 10 * MiB + 5;
  uint64_t last = 0;
  std::vector<uint64_t> reported;
  for (uint64_t done = MiB; done < total; done += MiB)
    if (CopyProgressDue(done, total, last)) reported.push_back(done / MiB);
  if (CopyProgressDue(total, total, last)) reported.push_back(total);
  EXPECT_EQ(reported, (std::vector<uint64_t>{3, 6, 9, total}));
}

TEST(CopyProgress, ThrottleEdges) {
  uint64_t last = 0;
  EXPECT_FALSE(CopyProgressDue(0x200000, 0x900000, last));  // exactly 2 MiB: no report
  EXPECT_TRUE(CopyProgressDue(0x200001, 0x900000, last));
  EXPECT_EQ(last, 0x200001u);
  EXPECT_TRUE(CopyProgressDue(0x200002, 0x200002, last));  // complete, however little changed
  // A smaller count than the last report means a new run: the difference wraps and reports.
  EXPECT_TRUE(CopyProgressDue(100, 1000, last));
  EXPECT_EQ(last, 100u);
  uint64_t fresh = 0;
  EXPECT_TRUE(CopyProgressDue(0, 0, fresh));  // total 0: complete at once
}

}  // namespace
}  // namespace tf
