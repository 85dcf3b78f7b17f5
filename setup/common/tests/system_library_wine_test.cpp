// DLLs from the system folder only, and crypt32's table. A DLL planted in the
// current folder and beside the program (a copy of a test DLL under a name of
// its own) stands for one that any user could have put there. A program of
// its own: the last test narrows this process's DLL search for good.
#include "common/system_library.h"

#include <gtest/gtest.h>

#include "common/crypt32_calls.h"
#include "common/text.h"
#include "win_test_support.h"

namespace tf {
namespace {

constexpr wchar_t kPlantedName[] = L"tf_planted_probe.dll";

std::wstring SystemFolder() {
  wchar_t folder[MAX_PATH] = {};
  const UINT n = GetSystemDirectoryW(folder, MAX_PATH);
  return std::wstring(folder, n < MAX_PATH ? n : 0);
}

std::wstring ModulePath(HMODULE module) {
  wchar_t path[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameW(module, path, MAX_PATH);
  return std::wstring(path, n < MAX_PATH ? n : 0);
}

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.rfind(L'\\')); }

// The planted DLL in the current folder (a fresh one) and beside this program.
class Planted : public ::testing::Test {
 protected:
  void SetUp() override {
    GetCurrentDirectoryW(MAX_PATH, previous_);
    const std::wstring probe = test::FromUnixPath(TF_PROBE_DLL);
    besideProgram_ = FolderOf(ModulePath(nullptr)) + L"\\" + kPlantedName;
    ASSERT_TRUE(CopyFileW(probe.c_str(), (dir_ / kPlantedName).c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(probe.c_str(), besideProgram_.c_str(), FALSE));
    ASSERT_TRUE(SetCurrentDirectoryW(dir_.Path().c_str()));
  }
  void TearDown() override {
    SetCurrentDirectoryW(previous_);
    DeleteFileW(besideProgram_.c_str());
  }
  // Whether a search by name finds a planted copy now (and lets go of it).
  static bool SearchFindsThePlant() {
    HMODULE found = LoadLibraryW(kPlantedName);
    if (found == nullptr) return false;
    FreeLibrary(found);
    return true;
  }

  test::TempDir dir_;
  std::wstring besideProgram_;
  wchar_t previous_[MAX_PATH] = {};
};

TEST_F(Planted, ASystemLibraryComesFromTheSystemFolderOnly) {
  ASSERT_TRUE(SearchFindsThePlant()) << "the search by name would take it";
  uint32_t error = 0;
  EXPECT_EQ(LoadSystemLibrary(kPlantedName, error), nullptr);
  EXPECT_EQ(error, static_cast<uint32_t>(ERROR_MOD_NOT_FOUND));
  HMODULE crypt32 = LoadSystemLibrary(L"crypt32.dll", error);
  ASSERT_NE(crypt32, nullptr) << error;
  EXPECT_TRUE(SameNameNoCase(FolderOf(ModulePath(crypt32)), SystemFolder())) << test::Utf8(ModulePath(crypt32));
  FreeLibrary(crypt32);
}

// A table that cannot be filled stays one whose every call fails with
// ERROR_MOD_NOT_FOUND; the program's own is crypt32's.
TEST_F(Planted, TheCrypt32TableIsCrypt32sOrFailsEveryCall) {
  const struct {
    const wchar_t* dll;
    uint32_t error;
  } cases[] = {{kPlantedName, ERROR_MOD_NOT_FOUND}, {L"kernel32.dll", ERROR_PROC_NOT_FOUND}};
  for (const auto& c : cases) {
    SCOPED_TRACE(test::Utf8(c.dll));
    Crypt32Calls calls;
    uint32_t error = 0;
    EXPECT_FALSE(LoadCrypt32Calls(c.dll, calls, error));
    EXPECT_EQ(error, c.error);
    SetLastError(0);
    EXPECT_EQ(calls.CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, CERT_STORE_CREATE_NEW_FLAG, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    DWORD size = 0;
    EXPECT_FALSE(
        calls.CryptBinaryToStringA(reinterpret_cast<const BYTE*>("x"), 1, CRYPT_STRING_BASE64, nullptr, &size));
  }
  uint32_t error = 0;
  ASSERT_TRUE(Crypt32Loaded(error)) << error;
  HCERTSTORE store = Crypt32().CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, CERT_STORE_CREATE_NEW_FLAG, nullptr);
  ASSERT_NE(store, nullptr);
  EXPECT_TRUE(Crypt32().CertCloseStore(store, 0));
  char text[16] = {};
  DWORD size = sizeof(text);
  ASSERT_TRUE(Crypt32().CryptBinaryToStringA(reinterpret_cast<const BYTE*>("Tarn"), 4,
                                             CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF, text, &size));
  EXPECT_STREQ(text, "VGFybg==");
}

// Last: from here on this process finds no DLL by name outside the system
// folder, neither in its current folder nor beside itself.
TEST_F(Planted, AfterTheNarrowingNoDllIsFoundOutsideTheSystemFolder) {
  ASSERT_TRUE(SearchFindsThePlant());
  NarrowDllSearch();
  EXPECT_FALSE(SearchFindsThePlant());
  HMODULE shell = LoadLibraryW(L"shlwapi.dll");
  EXPECT_NE(shell, nullptr) << "a system DLL is still found";
  if (shell) FreeLibrary(shell);
}

}  // namespace
}  // namespace tf
