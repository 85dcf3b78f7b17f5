#include "common/ascii.h"

#include <gtest/gtest.h>

namespace tf {
namespace {

TEST(HasSwitch, IsALooseCaseInsensitiveSubstringTest) {
  struct Case {
    const wchar_t* tail;
    const wchar_t* sw;
    bool expected;
  } cases[] = {
      {L"/silent a b", L"/silent", true},
      {L"/SILENT a b", L"/silent", true},
      {L"/Silent", L"/silent", true},
      {L"/silentx D:\\a.iso C:\\X", L"/silent", true},
      {L"\"C:\\my/android\\x.iso\"", L"/android", true},
      {L"", L"/silent", false},
      {L"/silen", L"/silent", false},
      // Only A to Z fold: a capital I with a dot above stays as it is.
      {L"/S\u0130LENT", L"/silent", false},
      {L"/uninstall /QUIET", L"/quiet", true},
  };
  for (const Case& c : cases) EXPECT_EQ(HasSwitch(c.tail, c.sw), c.expected) << c.tail;
}

}  // namespace
}  // namespace tf
