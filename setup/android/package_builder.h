#pragma once
// One signed Android package from the template, the installed game files and
// the user's signing key.
#include <cstddef>
#include <cstdint>
#include <string>

#include "android/key_store.h"
#include "android/zip_writer.h"

namespace tf::android {

inline constexpr char kMsgPackageNotCreated[] = "The Android package could not be created.";
inline constexpr char kMsgSigningFailed[] = "Signing failed.";
inline constexpr wchar_t kSigningStatus[] = L"Signing the Android app\u2026";

// The template entries, "assets/game.pak" and the three META-INF files, in
// that order. The package replaces packagePath whole (common/win32_file.h)
// once it is finished and its signature verified; every failure leaves
// packagePath as it was and no temporary file. A package that could not fit
// the zip fields is refused before anything is written. A null callback means
// no reports (and no cancellation). The key at pfxPath is read or made with
// `keyOptions`; the package is written, flushed and moved, and the game files
// read, with `calls`.
[[nodiscard]] bool BuildAndroidPackage(const uint8_t* templateBytes, uint32_t templateLength,
                                       const std::wstring& pfxPath, const std::wstring& installFolder,
                                       const wchar_t* const* names, size_t nameCount, const std::wstring& packagePath,
                                       ProgressCallback callback, void* context, std::string& errorText,
                                       const KeyStoreOptions& keyOptions = {}, const FileCalls& calls = {});

}  // namespace tf::android
