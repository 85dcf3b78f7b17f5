// The uninstall log: appended, UTF-8 without a byte-order mark, whole lines
// of at most 1023 characters, and a path that never runs past its buffer.
#include "uninstall/uninstall_log.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "uninstall_test_support.h"

namespace tf {
namespace {

using test::ReadText;
using test::PrivateTempDir;
using test::TempDir;
using test::TempFolderOverride;

TEST(UninstallLog, AppendsFormattedUtf8LinesAfterWhatIsThere) {
  PrivateTempDir dir;
  const std::wstring log = dir / L"tf_uninstall.log";
  ASSERT_TRUE(test::WriteFileBytes(log, "older run\r\n", 11));

  WriteUninstallLog(L"--- uninstall: dir=\"%s\" alsoSaves=%d", L"C:\\Spiele\\Caf\u00e9 \u30b2\u30fc\u30e0 \U0001F3AE", 1);
  WriteUninstallLog(L"    FindFirstFile(\"%s\\*\") failed, err %lu", L"C:\\x", 4294967295UL);
  WriteUninstallLog(L"n=%d", -7);

  EXPECT_EQ(ReadText(log),
            "older run\r\n"
            "--- uninstall: dir=\"C:\\Spiele\\Caf\xC3\xA9 \xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0 \xF0\x9F\x8E\xAE\" "
            "alsoSaves=1\r\n"
            "    FindFirstFile(\"C:\\x\\*\") failed, err 4294967295\r\n"
            "n=-7\r\n");
}

TEST(UninstallLog, LinesLongerThan1023CharactersAndEmptyLinesAreDroppedWhole) {
  struct Case {
    size_t length;
    bool written;
  } cases[] = {{1, true}, {1022, true}, {1023, true}, {1024, false}, {1025, false}, {5000, false}, {0, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    PrivateTempDir dir;
    const std::wstring text(c.length, L'x');
    WriteUninstallLog(L"%s", text.c_str());
    EXPECT_EQ(ReadText(dir / L"tf_uninstall.log"), c.written ? std::string(c.length, 'x') + "\r\n" : "");
  }
}

// A folder path of exactly `length` characters below `base`, made.
std::wstring MakeFolderOfLength(const std::wstring& base, size_t length) {
  std::wstring folder = base;
  while (folder.size() < length) {
    const size_t left = length - folder.size();
    size_t part = std::min<size_t>(100, left - 1);
    if (left - (part + 1) == 1) --part;  // never leave room for a backslash alone
    folder += L"\\" + std::wstring(part, L'p');
    CreateDirectoryW(folder.c_str(), nullptr);
  }
  return folder;
}

// GetTempPathW ends the folder with a backslash: a folder of 242 characters
// leaves exactly room for the name within 259.
TEST(UninstallLog, ATemporaryFolderWithoutRoomForTheNameDropsTheLine) {
  for (size_t length : {242u, 243u, 300u}) {
    SCOPED_TRACE(length);
    TempDir base;
    const std::wstring folder = MakeFolderOfLength(base.Path(), length);
    ASSERT_EQ(folder.size(), length);
    ASSERT_TRUE(test::FileExists(folder));
    TempFolderOverride temp(folder);
    wchar_t path[MAX_PATH];
    const bool fits = length == 242;
    EXPECT_EQ(UninstallLogPath(path), fits);
    if (fits) {
      EXPECT_EQ(std::wstring(path), folder + L"\\tf_uninstall.log");
    }
    WriteUninstallLog(L"line");
    EXPECT_EQ(ReadText(folder + L"\\tf_uninstall.log"), fits ? "line\r\n" : "");
    EXPECT_EQ(test::ListTree(folder).size(), fits ? 1u : 0u);
  }
}

TEST(UninstallLog, WhileAnotherWriterHoldsTheLogTheLineIsDropped) {
  PrivateTempDir dir;
  const std::wstring log = dir / L"tf_uninstall.log";
  HANDLE other = CreateFileW(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  WriteUninstallLog(L"dropped");
  CloseHandle(other);
  WriteUninstallLog(L"kept");
  EXPECT_EQ(ReadText(log), "kept\r\n");
}

}  // namespace
}  // namespace tf
