// The uninstall entry as Windows reads it: every value read back from the
// registry with its type and stored size, and once by Wine's reg.exe. This test
// program is 64-bit, so the entry goes to the 64-bit view: the tests read that
// view (KEY_WOW64_64KEY, reg /reg:64) and find nothing in the 32-bit one.
#include "pipeline/uninstall_registration.h"

#include <gtest/gtest.h>

#include <sstream>

#include "pipeline/shortcuts.h"
#include "uninstall_entry.h"
#include "win_test_support.h"

namespace tf {
namespace {

using test::RegistryValue;
using test::TempDir;

struct Expected {
  const wchar_t* name;
  DWORD type;
  std::wstring text;
  DWORD number;
};

std::vector<Expected> ExpectedValues(const std::wstring& folder, const std::wstring& uninstaller, DWORD kib) {
  return {
      {L"DisplayName", REG_SZ, L"Tarnfell", 0},
      {L"DisplayVersion", REG_SZ, L"1.0.0", 0},
      {L"Publisher", REG_SZ, L"Native PC port", 0},
      {L"InstallLocation", REG_SZ, folder, 0},
      {L"DisplayIcon", REG_SZ, uninstaller, 0},
      {L"UninstallString", REG_SZ, L"\"" + uninstaller + L"\" /uninstall", 0},
      {L"QuietUninstallString", REG_SZ, L"\"" + uninstaller + L"\" /uninstall /quiet", 0},
      {L"NoModify", REG_DWORD, L"", 1},
      {L"NoRepair", REG_DWORD, L"", 1},
      {L"EstimatedSize", REG_DWORD, L"", kib},
  };
}

// The entry in the 64-bit view holds exactly these ten values, strings stored
// with their terminating NUL.
void ExpectEntry(const std::vector<Expected>& expected) {
  std::map<std::wstring, RegistryValue> values;
  ASSERT_TRUE(test::ReadUninstallEntry(KEY_WOW64_64KEY, values));
  EXPECT_EQ(values.size(), expected.size());
  for (const Expected& e : expected) {
    SCOPED_TRACE(test::Utf8(e.name));
    auto found = values.find(e.name);
    ASSERT_NE(found, values.end());
    const RegistryValue& v = found->second;
    ASSERT_EQ(v.type, e.type);
    if (e.type == REG_SZ) {
      ASSERT_EQ(v.data.size(), (e.text.size() + 1) * 2);
      EXPECT_EQ(v.data[v.data.size() - 2], 0);
      EXPECT_EQ(v.data[v.data.size() - 1], 0);
      EXPECT_EQ(test::RegistryText(v), e.text);
    } else {
      ASSERT_EQ(v.data.size(), 4u);
      DWORD number = 0;
      memcpy(&number, v.data.data(), 4);
      EXPECT_EQ(number, e.number);
    }
  }
}

class UninstallEntry : public ::testing::Test {
 protected:
  void SetUp() override { test::DeleteUninstallEntry(KEY_WOW64_64KEY); }
  void TearDown() override { test::DeleteUninstallEntry(KEY_WOW64_64KEY); }
};

TEST_F(UninstallEntry, TenValuesWithTheirTypesAndSizesInTheProgramsOwnView) {
  TempDir dir;
  std::vector<char> bytes(1536, 'x');
  ASSERT_TRUE(test::WriteFileBytes(dir / L"a.bin", bytes.data(), bytes.size()));
  CreateDirectoryW((dir / L"sub").c_str(), nullptr);
  ASSERT_TRUE(test::WriteFileBytes(dir / L"sub\\b.bin", bytes.data(), bytes.size()));

  DWORD error = 0;
  ASSERT_TRUE(RegisterUninstall(dir.Path(), UninstallerPath(dir.Path()), error)) << error;
  ExpectEntry(ExpectedValues(dir.Path(), dir / L"uninstall.exe", 2));
  std::map<std::wstring, RegistryValue> other;
  EXPECT_FALSE(test::ReadUninstallEntry(KEY_WOW64_32KEY, other));
}

TEST_F(UninstallEntry, TheFolderIsStoredAsTypedAndALaterInstallRewritesTheEntry) {
  struct Case {
    std::wstring folder, uninstaller;
  } cases[] = {
      {L"C:\\Games\\Tarnfell\\", L"C:\\Games\\Tarnfell\\\\uninstall.exe"},  // typed with a trailing backslash
      {L"C:\\Games\\Tarnfell", L"C:\\Games\\Tarnfell\\uninstall.exe"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(test::Utf8(c.folder));
    DWORD error = 0;
    ASSERT_TRUE(RegisterUninstall(c.folder, UninstallerPath(c.folder), error)) << error;
    ExpectEntry(ExpectedValues(c.folder, c.uninstaller, 0));  // the folder does not exist: size 0
  }
}

// reg.exe's lines: four blanks, the name, four blanks, the type, four blanks, the data.
std::map<std::wstring, std::pair<std::wstring, std::wstring>> ParseRegQuery(const std::string& output) {
  std::map<std::wstring, std::pair<std::wstring, std::wstring>> values;
  std::istringstream in(output);
  const std::string gap = "    ";
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind(gap, 0) != 0) continue;
    size_t typeAt = line.find(gap, gap.size());
    if (typeAt == std::string::npos) continue;
    size_t dataAt = line.find(gap, typeAt + gap.size());
    std::string name = line.substr(gap.size(), typeAt - gap.size());
    std::string type = line.substr(typeAt + gap.size(), dataAt == std::string::npos ? std::string::npos
                                                                                     : dataAt - typeAt - gap.size());
    std::string data = dataAt == std::string::npos ? "" : line.substr(dataAt + gap.size());
    values[test::Utf16(name)] = {test::Utf16(type), test::Utf16(data)};
  }
  return values;
}

TEST_F(UninstallEntry, WinesRegQueryListsTheSameTenValues) {
  TempDir dir;
  std::vector<char> bytes(5 * 1024, 'x');
  ASSERT_TRUE(test::WriteFileBytes(dir / L"game.bin", bytes.data(), bytes.size()));
  DWORD error = 0;
  ASSERT_TRUE(RegisterUninstall(dir.Path(), UninstallerPath(dir.Path()), error)) << error;

  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  test::ProcessResult r = test::RunProgram(
      std::wstring(system) + L"\\reg.exe",
      L"query \"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tarnfell\" /reg:64", 120000, true);
  ASSERT_TRUE(r.started);
  ASSERT_EQ(r.exitCode, 0u) << r.output;
  auto listed = ParseRegQuery(r.output);
  EXPECT_EQ(listed.size(), 10u) << r.output;
  for (const Expected& e : ExpectedValues(dir.Path(), dir / L"uninstall.exe", 5)) {
    SCOPED_TRACE(test::Utf8(e.name));
    auto found = listed.find(e.name);
    ASSERT_NE(found, listed.end()) << r.output;
    if (e.type == REG_SZ) {
      EXPECT_EQ(found->second.first, L"REG_SZ");
      EXPECT_EQ(found->second.second, e.text);
    } else {
      wchar_t hex[16];
      swprintf(hex, 16, L"0x%lx", e.number);
      EXPECT_EQ(found->second.first, L"REG_DWORD");
      EXPECT_EQ(found->second.second, hex);
    }
  }
}

TEST(UninstallValues, EstimatedSizeKeepsTheLow32BitsOfTheKiB) {
  struct Case {
    uint64_t kib;
    DWORD stored;
  } cases[] = {{0, 0}, {0xFFFFFFFFull, 0xFFFFFFFFu}, {0x100000005ull, 5}, {0xFFFFFFFF00000000ull, 0}};
  for (const Case& c : cases) {
    std::vector<UninstallValue> values = UninstallValues(L"C:\\T", L"C:\\T\\uninstall.exe", c.kib);
    ASSERT_EQ(values.size(), 10u);
    EXPECT_STREQ(values.back().name, L"EstimatedSize");
    EXPECT_EQ(values.back().number, c.stored) << c.kib;
  }
}

}  // namespace
}  // namespace tf
