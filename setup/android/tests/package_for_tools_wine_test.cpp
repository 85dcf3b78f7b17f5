// A full build from a laid-out install folder into a folder the host sees
// (drive Z:), for check_android_package.py to read with its own zip reader and
// run Android's and OpenSSL's tools on. Checked here: a second build with the
// same key is the same package byte for byte, and no key container is left.
#include <gtest/gtest.h>

#include "android/key_container.h"
#include "android/package_builder.h"
#include "android_wine_support.h"
#include "common/win32_file.h"
#include "win_test_support.h"

namespace tf::android {
namespace {

TEST(PackageForTools, FullBuildFromAnInstallFolder) {
  const testing::KeyContainersKept containers;
  const std::wstring root = test::FromUnixPath(TF_ANDROID_CHECK_DIR);
  test::RemoveTree(root);
  ASSERT_TRUE(CreateFolderChain(root + L"\\key"));
  const std::wstring install = root + L"\\install";
  ASSERT_TRUE(testing::LayOutGameFolder(install));
  std::vector<uint8_t> templateBytes = testing::StandInTemplate();
  ASSERT_FALSE(templateBytes.empty());
  for (const wchar_t* name : {L"Tarnfell.apk", L"again.apk"}) {
    std::string error;
    ASSERT_TRUE(BuildAndroidPackage(templateBytes.data(), static_cast<uint32_t>(templateBytes.size()),
                                    root + L"\\key\\android-signing.pfx", install, GamePackNames, kGamePackNameCount,
                                    root + L"\\" + name, nullptr, nullptr, error))
        << error;
  }
  std::vector<uint8_t> first, again;
  ASSERT_TRUE(test::ReadFileBytes(root + L"\\Tarnfell.apk", first));
  ASSERT_TRUE(test::ReadFileBytes(root + L"\\again.apk", again));
  EXPECT_TRUE(first == again) << "manifest, signature file and block depend on nothing but their input";
}

}  // namespace
}  // namespace tf::android
