// InstallSession: log lines, window notices, failure, cancellation, the two
// progress callbacks, and the environment switch the entry reads for it.
#include <gtest/gtest.h>

#include <thread>

#include "shell/install_session.h"
#include "win_test_support.h"

namespace tf {
namespace {

using test::TempDir;

UniqueFile CreateLog(const std::wstring& path) {
  return UniqueFile(
      CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                  nullptr));
}

class SessionTest : public ::testing::Test {
 protected:
  void TearDown() override {
    if (window_) DestroyWindow(window_);
  }
  std::string Log() {
    std::vector<uint8_t> b;
    EXPECT_TRUE(test::ReadFileBytes(logPath_, b));
    return std::string(b.begin(), b.end());
  }
  HWND MakeWindow() {
    window_ = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    return window_;
  }
  TempDir dir_;
  std::wstring logPath_ = dir_ / L"setup.log";
  InstallSession s_{CreateLog(logPath_)};
  HWND window_ = nullptr;
};

TEST_F(SessionTest, LogLinesAreUtf8WithAlignedPrefix) {
  s_.Report(7, L"abc");
  s_.Report(100, L"Reading the disc image\u2026");
  s_.Report(42, L"");
  EXPECT_EQ(Log(), "[  7%] abc\r\n[100%] Reading the disc image\xE2\x80\xA6\r\n[ 42%] \r\n");
  EXPECT_EQ(s_.Progress().percent, 42);
}

TEST_F(SessionTest, WithAWindowReportsPostAndWriteNothing) {
  HWND window = MakeWindow();
  ASSERT_NE(window, nullptr);
  s_.Begin(window, {});
  s_.Report(12, L"xyz");
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, window, kMsgProgress, kMsgProgress, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 0u);
  EXPECT_EQ(msg.lParam, 0);
  EXPECT_EQ(Log(), "");
  EXPECT_EQ(s_.Progress().statusText, L"xyz");
}

TEST(Session, WithoutWindowOrLogThePairStillChanges) {
  InstallSession session;
  session.Report(55, L"quiet");
  const InstallProgress progress = session.Progress();
  EXPECT_EQ(progress.percent, 55);
  EXPECT_EQ(progress.statusText, L"quiet");
}

TEST_F(SessionTest, FailKeepsThePercentage) {
  s_.Report(86, L"Installing the game runtime\u2026");
  EXPECT_FALSE(s_.Fail(L"X"));
  EXPECT_EQ(s_.FailureMessage(), L"X");
  EXPECT_EQ(s_.Progress().percent, 86);
  EXPECT_EQ(s_.Progress().statusText, L"Failed: X");
  EXPECT_EQ(Log(), "[ 86%] Installing the game runtime\xE2\x80\xA6\r\n[ 86%] Failed: X\r\n");
}

TEST_F(SessionTest, CallbacksStopAfterACancelRequestUntilTheNextRun) {
  CopyReport copy{s_};  // the context the pipeline passes
  EXPECT_TRUE(BuildProgress(nullptr, L"ignored", 1, 2));
  EXPECT_TRUE(BuildProgress(&s_, L"Signing the Android app\u2026", 5, 5));
  EXPECT_EQ(s_.Progress().percent, 96);
  EXPECT_TRUE(CopyProgress(&copy, nullptr, 0, 0));  // total 0: 85, reported
  EXPECT_EQ(s_.Progress().percent, 85);
  EXPECT_EQ(s_.Progress().statusText, L"Copying game files from the disc image\u2026  ");
  EXPECT_TRUE(CopyProgress(&copy, "GFX\\a.bin", 10, 10));
  EXPECT_EQ(s_.Progress().statusText, L"Copying game files from the disc image\u2026  GFX\\a.bin");

  // Asked from another thread, as the dialog asks; seen by both callbacks.
  std::thread([this] { s_.RequestCancel(); }).join();
  EXPECT_TRUE(s_.IsCancelled());
  std::string before = Log();
  EXPECT_FALSE(CopyProgress(&copy, "x", 20, 20));
  EXPECT_FALSE(BuildProgress(&s_, L"y", 1, 1));
  EXPECT_EQ(Log(), before);
  s_.Fail(L"Installation cancelled.");

  // The next run starts without the request and without the old failure.
  s_.Begin(nullptr, {});
  EXPECT_FALSE(s_.IsCancelled());
  EXPECT_EQ(s_.FailureMessage(), L"");
  EXPECT_TRUE(CopyProgress(&copy, "x", 20, 20));
}

// Each run's reports start from its own count: a second extraction in the
// same process is throttled as the first was.
TEST_F(SessionTest, TheCopyThrottleBelongsToTheRun) {
  constexpr uint64_t kMiB = 0x100000, kTotal = 10 * kMiB;
  std::string runs[2];
  for (std::string& lines : runs) {
    CopyReport copy{s_};
    const std::string before = Log();
    for (uint64_t done = kMiB; done <= kTotal; done += kMiB) ASSERT_TRUE(CopyProgress(&copy, "f", done, kTotal));
    lines = Log().substr(before.size());
  }
  const std::string text = "Copying game files from the disc image\xE2\x80\xA6  f\r\n";
  EXPECT_EQ(runs[0], "[ 29%] " + text + "[ 53%] " + text + "[ 77%] " + text + "[ 85%] " + text);
  EXPECT_EQ(runs[1], runs[0]);
}

TEST(NoPfxRequested, ShortValuesThatStartWithNeitherNulNorZero) {
  struct Case {
    const char* value;  // null: not set
    bool requested;
  } cases[] = {{nullptr, false}, {"1", true},  {"yes", true},     {"0", false},
               {"0x1", false},   {"", false}, {"1234567", true}, {"12345678", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value ? c.value : "(not set)");
    SetEnvironmentVariableA("TF_APK_NO_PFX", c.value);
    EXPECT_EQ(NoPfxRequested(), c.requested);
  }
  SetEnvironmentVariableA("TF_APK_NO_PFX", nullptr);
}

}  // namespace
}  // namespace tf
