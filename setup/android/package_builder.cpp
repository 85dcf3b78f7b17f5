#include "android/package_builder.h"

#include <vector>

#include "android/apk_template.h"
#include "android/crypto_hash.h"
#include "android/game_files.h"
#include "android/jar_manifest.h"
#include "android/key_store.h"
#include "android/signature_block.h"

namespace tf::android {

namespace {

// Whether the pack still fits the zip fields behind the template entries: asked
// before the package file exists, so a package that cannot be written is not begun.
bool PackFitsBehindTemplate(const std::vector<TemplateEntry>& entries, uint64_t pakLength, std::string& errorText) {
  uint64_t position = 0, count = 0;
  for (const TemplateEntry& e : entries) {
    if (!ZipHasRoom(position, e.name.size(), e.size, count++, errorText)) return false;
    position += zip::kLocalHeaderSize + e.name.size() + e.size;
  }
  return ZipHasRoom(position, sizeof(kPakEntryName) - 1, pakLength, entries.size(), errorText);
}

}  // namespace

bool BuildAndroidPackage(const uint8_t* templateBytes, uint32_t templateLength, const std::wstring& pfxPath,
                         const std::wstring& installFolder, const wchar_t* const* names, size_t nameCount,
                         const std::wstring& packagePath, ProgressCallback callback, void* context,
                         std::string& errorText) {
  std::vector<TemplateEntry> entries;
  if (!ReadApkTemplate(templateBytes, templateLength, entries, errorText)) return false;
  KeyMaterial key;
  if (!LoadOrCreateSigningKey(pfxPath, key, errorText)) return false;
  std::vector<GameFile> files;
  if (!CollectGameFiles(installFolder, names, nameCount, files, errorText)) return false;
  std::vector<uint8_t> index;
  uint64_t pakLength = 0;
  if (!PreparePak(files, index, pakLength, errorText)) return false;
  if (!PackFitsBehindTemplate(entries, pakLength, errorText)) return false;

  ZipWriter zip;  // closed on every return
  if (!zip.Create(packagePath)) {
    errorText = kMsgPackageNotCreated;
    return false;
  }
  std::vector<ManifestEntry> manifestEntries;
  for (const TemplateEntry& e : entries) {
    if (!zip.AddStoredEntry(e.name, e.data, e.size, errorText)) return false;
    Sha256Digest digest;
    std::string text;
    if (!Sha256(e.data, e.size, digest) || (text = Base64Text(digest)).empty()) {
      errorText = kMsgHashFailed;
      return false;
    }
    manifestEntries.push_back({e.name, std::move(text)});
  }
  Sha256Digest pakDigest;
  if (!zip.WritePakEntry(files, index, pakLength, callback, context, pakDigest, errorText)) return false;
  std::string pakText = Base64Text(pakDigest);
  if (pakText.empty()) {
    errorText = kMsgHashFailed;
    return false;
  }
  manifestEntries.push_back({kPakEntryName, std::move(pakText)});

  if (callback != nullptr) {
    uint64_t total = 0;
    for (const GameFile& f : files) total += f.size;
    callback(context, kSigningStatus, total, total);  // the pack is written: no stopping now
  }

  Manifest manifest = BuildManifest(manifestEntries);
  PlatformDigestText digests;
  std::string signatureFile;
  if (!BuildSignatureFile(manifest.bytes, manifest.mainSectionLength, manifestEntries, digests, signatureFile)) {
    errorText = kMsgSigningFailed;
    return false;
  }
  std::vector<uint8_t> signature;
  bool signedOk = key.pfx.empty() ? SignWithStoredKey(key, signatureFile, signature, errorText)
                                  : SignWithPfx(key.pfx, kPfxPassword, signatureFile, signature, errorText);
  if (!signedOk) return false;

  if (!zip.AddStoredEntry(kManifestName, manifest.bytes.data(), manifest.bytes.size(), errorText) ||
      !zip.AddStoredEntry(kSignatureFileName, signatureFile.data(), signatureFile.size(), errorText) ||
      !zip.AddStoredEntry(kSignatureBlockName, signature.data(), signature.size(), errorText) ||
      !zip.Finish(errorText))
    return false;
  zip.Close();
  return true;
}

}  // namespace tf::android
