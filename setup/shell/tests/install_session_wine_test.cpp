// InstallSession: log lines, window notices, failure and the two progress callbacks.
#include <gtest/gtest.h>

#include "shell/install_session.h"
#include "win_test_support.h"

namespace tf {
namespace {

using test::TempDir;

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    logPath_ = dir_ / L"setup.log";
    s_.logFile.Reset(CreateFileW(logPath_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(s_.logFile);
  }
  void TearDown() override {
    s_.logFile.Reset();
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
  std::wstring logPath_;
  InstallSession s_;
  HWND window_ = nullptr;
};

TEST_F(SessionTest, LogLinesAreUtf8WithAlignedPrefix) {
  s_.Report(7, L"abc");
  s_.Report(100, L"Reading the disc image\u2026");
  s_.Report(42, L"");
  EXPECT_EQ(Log(), "[  7%] abc\r\n[100%] Reading the disc image\xE2\x80\xA6\r\n[ 42%] \r\n");
  EXPECT_EQ(s_.percent, 42);
}

TEST_F(SessionTest, WithAWindowReportsPostAndWriteNothing) {
  s_.window = MakeWindow();
  ASSERT_NE(s_.window, nullptr);
  s_.Report(12, L"xyz");
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, s_.window, kMsgProgress, kMsgProgress, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 0u);
  EXPECT_EQ(msg.lParam, 0);
  EXPECT_EQ(Log(), "");
  EXPECT_EQ(s_.statusText, L"xyz");
}

TEST_F(SessionTest, WithoutWindowOrLogFieldsStillChange) {
  s_.logFile.Reset();
  s_.Report(55, L"quiet");
  EXPECT_EQ(s_.percent, 55);
  EXPECT_EQ(s_.statusText, L"quiet");
}

TEST_F(SessionTest, FailKeepsThePercentage) {
  s_.Report(86, L"Installing the game runtime\u2026");
  EXPECT_FALSE(s_.Fail(L"X"));
  EXPECT_EQ(s_.failureMessage, L"X");
  EXPECT_EQ(s_.percent, 86);
  EXPECT_EQ(s_.statusText, L"Failed: X");
  EXPECT_EQ(Log(), "[ 86%] Installing the game runtime\xE2\x80\xA6\r\n[ 86%] Failed: X\r\n");
}

TEST_F(SessionTest, CallbacksStopAfterCancel) {
  InstallReporter* reporter = &s_;  // the context the pipeline passes
  EXPECT_TRUE(BuildProgress(nullptr, L"ignored", 1, 2));
  EXPECT_TRUE(BuildProgress(reporter, L"Signing the Android app\u2026", 5, 5));
  EXPECT_EQ(s_.percent, 96);
  EXPECT_TRUE(CopyProgress(reporter, nullptr, 0, 0));  // total 0: 85, reported
  EXPECT_EQ(s_.percent, 85);
  EXPECT_EQ(s_.statusText, L"Copying game files from the disc image\u2026  ");
  EXPECT_TRUE(CopyProgress(reporter, "GFX\\a.bin", 10, 10));
  EXPECT_EQ(s_.statusText, L"Copying game files from the disc image\u2026  GFX\\a.bin");

  s_.RequestCancel();
  EXPECT_TRUE(s_.IsCancelled());
  std::string before = Log();
  EXPECT_FALSE(CopyProgress(reporter, "x", 20, 20));
  EXPECT_FALSE(BuildProgress(reporter, L"y", 1, 1));
  EXPECT_EQ(Log(), before);
}

}  // namespace
}  // namespace tf
