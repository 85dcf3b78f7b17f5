// The install benchmark's step clock: which step each log line begins, and
// that every second between the start and the end lands in exactly one step.
#include "install_steps.h"

#include <gtest/gtest.h>

#include <numeric>

namespace tf::bench {
namespace {

size_t Index(const char* name) {
  for (size_t i = 0; i < kInstallSteps.size(); ++i)
    if (std::string_view(kInstallSteps[i]) == name) return i;
  ADD_FAILURE() << "no step " << name;
  return 0;
}

TEST(InstallSteps, EachPercentageOfTheLogBeginsItsStep) {
  const struct {
    int percent;
    const char* step;
  } cases[] = {{-1, "start"},  {0, "start"},    {1, "open"},       {2, "note"},      {3, "extract"},
               {5, "extract"},  {85, "extract"}, {86, "payload"},   {90, "arenas"},   {96, "arenas"},
               {97, "shortcuts"}, {99, "register"}, {100, "exit"}};
  for (const auto& c : cases) EXPECT_EQ(StepOfPercent(c.percent), Index(c.step)) << c.percent;
}

// A silent install's log, read in pieces that split lines (and the byte-order
// mark off the first line): a line counts when its end arrives.
TEST(InstallSteps, LinesSplitAcrossReadsAreStampedWhenTheyEnd) {
  InstallStepClock clock;
  const struct {
    const char* bytes;
    double at;
  } reads[] = {
      {"\xEF\xBB\xBF[  0%] [args] </silent a b> android=no\r\n[  1%] Reading", 0.10},
      {" the disc image\xE2\x80\xA6\r\n[  2%] Note\r\n", 0.12},
      {"[  3%] Creating the install folder\xE2\x80\xA6\r\n[  5%] Copying", 1.02},
      {" x\r\n", 1.10},
      {"[ 85%] Copying y\r\n[ 86%] Installing the game runtime\xE2\x80\xA6\r\n", 2.00},
      {"[ 90%] Preparing\r\n[ 97%] Creating shortcuts\r\n[ 99%] Registering", 2.20},
      {"\r\n[100%] Done.\r\n[100%] half a line", 2.30},
  };
  for (const auto& r : reads) clock.Read(r.bytes, r.at);
  const std::vector<double> s = clock.Seconds(0.0, 2.35);
  ASSERT_EQ(s.size(), kInstallSteps.size());
  const struct {
    const char* step;
    double seconds;
  } want[] = {
      {"start", 0.12},  // the "[  1%]" line ends with the second read, as does the note's
      {"open", 0.0},
      {"note", 1.02 - 0.12},
      {"extract", 2.00 - 1.02},
      {"payload", 2.20 - 2.00},
      {"arenas", 0.0},
      {"shortcuts", 2.30 - 2.20},  // "[ 99%]" ends only with the last read
      {"register", 0.0},
      {"exit", 2.35 - 2.30},
  };
  for (const auto& w : want) EXPECT_NEAR(s[Index(w.step)], w.seconds, 1e-9) << w.step;
  EXPECT_NEAR(std::accumulate(s.begin(), s.end(), 0.0), 2.35, 1e-9);
}

TEST(InstallSteps, AProgramThatWritesNoLineIsAllStartUp) {
  const std::vector<double> s = InstallStepClock().Seconds(1.0, 1.25);
  EXPECT_NEAR(s[Index("start")], 0.25, 1e-9);
  EXPECT_NEAR(std::accumulate(s.begin(), s.end(), 0.0), 0.25, 1e-9);
}

}  // namespace
}  // namespace tf::bench
