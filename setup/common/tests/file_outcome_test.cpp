#include "common/file_outcome.h"

#include <gtest/gtest.h>

#include <string>

namespace tf {
namespace {

TEST(FileOutcome, EachFailureGivesItsOwnMessageAndOkLeavesTheTextAlone) {
  const FileWriteMessages writes = {"create", "write", "replace"};
  const FileReadMessages reads = {"open", "large", "read"};
  struct WriteCase {
    FileWrite outcome;
    const char* text;
  } writeCases[] = {{FileWrite::Ok, "before"},
                    {FileWrite::CannotCreate, "create"},
                    {FileWrite::WriteFailed, "write"},
                    {FileWrite::NotReplaced, "replace"}};
  for (const WriteCase& c : writeCases) {
    std::string text = "before";
    EXPECT_EQ(Succeeded(c.outcome, writes, text), c.outcome == FileWrite::Ok);
    EXPECT_EQ(text, c.text);
  }
  struct ReadCase {
    FileRead outcome;
    const char* text;
  } readCases[] = {{FileRead::Ok, "before"},
                   {FileRead::CannotOpen, "open"},
                   {FileRead::TooLarge, "large"},
                   {FileRead::ReadFailed, "read"}};
  for (const ReadCase& c : readCases) {
    std::string text = "before";
    EXPECT_EQ(Succeeded(c.outcome, reads, text), c.outcome == FileRead::Ok);
    EXPECT_EQ(text, c.text);
  }
}

}  // namespace
}  // namespace tf
