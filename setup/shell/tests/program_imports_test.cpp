// The DLLs the built 32-bit programs import. Both run as administrator, often
// from a folder any user can write to: Windows looks for an imported DLL
// beside the program first unless it is one of the KnownDLLs, which always
// come from the system folder. Read from dist/ with the program's own PE reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/pe_image.h"

namespace {

// The KnownDLLs of every Windows version from 7 on.
constexpr const char* kKnownDlls[] = {
    "advapi32.dll", "clbcatq.dll",  "comdlg32.dll", "difxapi.dll", "gdi32.dll",    "imagehlp.dll",
    "imm32.dll",    "kernel32.dll", "msctf.dll",    "msvcrt.dll",  "normaliz.dll", "nsi.dll",
    "ole32.dll",    "oleaut32.dll", "psapi.dll",    "rpcrt4.dll",  "sechost.dll",  "setupapi.dll",
    "shell32.dll",  "shlwapi.dll",  "user32.dll",   "wldap32.dll", "ws2_32.dll",
};

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

bool Known(const std::string& dll, const std::vector<std::string>& alsoAllowed) {
  const std::string name = Lower(dll);
  return std::find(std::begin(kKnownDlls), std::end(kKnownDlls), name) != std::end(kKnownDlls) ||
         std::find(alsoAllowed.begin(), alsoAllowed.end(), name) != alsoAllowed.end();
}

TEST(ProgramImports, OnlyDllsThatAlwaysComeFromTheSystemFolder) {
  const struct {
    const char* program;
    std::vector<std::string> alsoAllowed;
    std::vector<std::string> mustImport;  // a sign that the walk read the right table
  } cases[] = {
      // comctl32 6 comes from the side-by-side assembly the manifest names.
      {"tf_setup.exe", {"comctl32.dll"}, {"kernel32.dll", "user32.dll", "comctl32.dll"}},
      {"tf_loader.exe", {}, {"kernel32.dll"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.program);
    const std::string path = std::string(TF_DIST_DIR) + "/" + c.program;
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << path << " is missing: build the windows preset first";
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    tf::PeImports imports;
    ASSERT_TRUE(tf::ReadPeImports(bytes, imports));
    for (const std::string& dll : imports.dlls) EXPECT_TRUE(Known(dll, c.alsoAllowed)) << dll;
    EXPECT_EQ(imports.delayLoadedDlls, std::vector<std::string>{})
        << "a delay-loaded DLL is searched for like any other";
    std::vector<std::string> lower;
    for (const std::string& dll : imports.dlls) lower.push_back(Lower(dll));
    for (const std::string& dll : c.mustImport)
      EXPECT_NE(std::find(lower.begin(), lower.end(), dll), lower.end()) << dll;
  }
}

}  // namespace
