// A full build from a laid-out install folder into a folder the host sees
// (drive Z:), for check_android_package.py to run Android's and OpenSSL's
// tools on; checked here as well: entry order, the pack against the install
// folder, the signature against the stored certificate, a second build equal
// byte for byte, and no key container left.
#include <windows.h>
#include <wincrypt.h>
#include <gtest/gtest.h>

#include <map>

#include "android/apk_template.h"
#include "android/jar_manifest.h"
#include "android/package_builder.h"
#include "android_wine_support.h"
#include "common/win32_file.h"
#include "win_test_support.h"

namespace tf::android {
namespace {

// Every file below `folder` that is not a dot-name, by archive name: the
// install folder read on its own, without the builder's listing.
void ReadTree(const std::wstring& folder, const std::string& prefix, std::map<std::string, std::vector<uint8_t>>& out) {
  WIN32_FIND_DATAW d;
  HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &d);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    if (d.cFileName[0] == L'.') continue;
    std::string name = prefix + test::Utf8(d.cFileName);
    if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ReadTree(folder + L"\\" + d.cFileName, name + "/", out);
    } else {
      test::ReadFileBytes(folder + L"\\" + d.cFileName, out[name]);
    }
  } while (FindNextFileW(h, &d));
  FindClose(h);
}

TEST(PackageForTools, FullBuildFromAnInstallFolder) {
  const std::set<std::string> containers = testing::KeyContainers();
  const std::wstring root = test::FromUnixPath(TF_ANDROID_CHECK_DIR);
  test::RemoveTree(root);
  ASSERT_TRUE(CreateFolderChain(root + L"\\key"));
  const std::wstring install = root + L"\\install", pfxPath = root + L"\\key\\android-signing.pfx";
  ASSERT_TRUE(testing::LayOutGameFolder(install));
  std::vector<uint8_t> templateBytes = testing::StandInTemplate();
  ASSERT_FALSE(templateBytes.empty());
  for (const wchar_t* name : {L"Tarnfell.apk", L"again.apk"}) {
    std::string error;
    ASSERT_TRUE(BuildAndroidPackage(templateBytes.data(), static_cast<uint32_t>(templateBytes.size()), pfxPath, install,
                                    GamePackNames, kGamePackNameCount, root + L"\\" + name, nullptr, nullptr, error))
        << error;
  }
  EXPECT_EQ(testing::KeyContainers(), containers) << "a key container was left behind";

  std::vector<uint8_t> zip, again;
  ASSERT_TRUE(test::ReadFileBytes(root + L"\\Tarnfell.apk", zip));
  ASSERT_TRUE(test::ReadFileBytes(root + L"\\again.apk", again));
  EXPECT_TRUE(zip == again) << "a second build with the same key is the same package";

  // Template entries in template order, the pack, the three signature files.
  std::vector<TemplateEntry> entries;
  std::string error;
  ASSERT_TRUE(ReadApkTemplate(templateBytes.data(), static_cast<uint32_t>(templateBytes.size()), entries, error));
  std::vector<std::string> expectedNames;
  for (const TemplateEntry& e : entries) expectedNames.push_back(e.name);
  for (const char* name : {kPakEntryName, kManifestName, kSignatureFileName, kSignatureBlockName})
    expectedNames.push_back(name);
  std::vector<testing::ZipItem> items;
  ASSERT_TRUE(testing::ListZip(zip, items));
  std::vector<std::string> names;
  for (const testing::ZipItem& item : items) names.push_back(item.name);
  EXPECT_EQ(names, expectedNames);
  ASSERT_EQ(items.size(), entries.size() + 4);

  // The pack unpacks into exactly the install folder's game files.
  std::vector<std::pair<std::string, std::vector<uint8_t>>> packed;
  ASSERT_TRUE(testing::ParsePak(testing::ItemBytes(zip, items[entries.size()]), packed));
  std::map<std::string, std::vector<uint8_t>> unpacked(packed.begin(), packed.end()), installed;
  EXPECT_EQ(unpacked.size(), packed.size()) << "a name packed twice";
  ReadTree(install, "", installed);
  EXPECT_TRUE(unpacked == installed);
  EXPECT_EQ(unpacked.size(), 7u);

  // The block signs the stored signature file with the stored certificate.
  std::vector<uint8_t> sf = testing::ItemBytes(zip, items[entries.size() + 2]);
  std::vector<uint8_t> block = testing::ItemBytes(zip, items[entries.size() + 3]);
  CRYPT_VERIFY_MESSAGE_PARA para{sizeof(para), X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0, nullptr, nullptr};
  const BYTE* blocks[1] = {sf.data()};
  DWORD sizes[1] = {static_cast<DWORD>(sf.size())};
  PCCERT_CONTEXT signer = nullptr;
  ASSERT_TRUE(CryptVerifyDetachedMessageSignature(&para, 0, block.data(), static_cast<DWORD>(block.size()), 1, blocks,
                                                  sizes, &signer));
  std::vector<uint8_t> stored;
  if (test::ReadFileBytes(pfxPath + L".cer", stored)) {
    EXPECT_TRUE(std::equal(stored.begin(), stored.end(), signer->pbCertEncoded, signer->pbCertEncoded + signer->cbCertEncoded));
  }
  CertFreeCertificateContext(signer);
}

}  // namespace
}  // namespace tf::android
