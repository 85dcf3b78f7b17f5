#include "android/package_builder.h"

#include <vector>

#include "android/apk_template.h"
#include "android/crypto_hash.h"
#include "android/game_files.h"
#include "android/jar_manifest.h"
#include "android/key_container.h"
#include "android/key_store.h"
#include "android/package_layout.h"
#include "android/signature_block.h"
#include "common/crypt32_calls.h"
#include "common/win32_file.h"

namespace tf::android {

namespace {

// What a SignedData adds around its certificate and signature (algorithm
// identifiers, the signer's name and serial number, lengths), with room to spare.
constexpr uint64_t kSignedDataOverhead = 4096;

constexpr char kMsgCrypt32Missing[] = "The system's certificate library crypt32.dll could not be loaded (error ";

// The largest signature block the key can give: its certificate and a
// signature as long as its modulus, both shorter than the stored key material.
uint64_t SignatureBlockBound(const KeyMaterial& key) {
  return (key.pfx.empty() ? key.certificate.size() + key.privateKeyBlob.size() : key.pfx.size()) + kSignedDataOverhead;
}

// The package under its temporary name: once this build has created it, it
// is deleted on every path but the one that moved it into place.
class TemporaryPackage {
 public:
  explicit TemporaryPackage(std::wstring path) : path_(std::move(path)) {}
  ~TemporaryPackage() {
    if (created_ && !placed_) DeleteFileW(path_.c_str());
  }
  TemporaryPackage(const TemporaryPackage&) = delete;
  TemporaryPackage& operator=(const TemporaryPackage&) = delete;

  const std::wstring& Path() const { return path_; }
  void Created() { created_ = true; }
  [[nodiscard]] bool MoveTo(const std::wstring& packagePath) { return placed_ = MoveOver(path_, packagePath); }

 private:
  std::wstring path_;
  bool created_ = false, placed_ = false;
};

}  // namespace

bool BuildAndroidPackage(const uint8_t* templateBytes, uint32_t templateLength, const std::wstring& pfxPath,
                         const std::wstring& installFolder, const wchar_t* const* names, size_t nameCount,
                         const std::wstring& packagePath, ProgressCallback callback, void* context,
                         std::string& errorText, const KeyStoreOptions& keyOptions) {
  uint32_t crypt32Error = 0;
  if (!Crypt32Loaded(crypt32Error)) {
    errorText = WithErrorCode(kMsgCrypt32Missing, crypt32Error);
    return false;
  }
  std::vector<TemplateEntry> entries;
  if (!ReadApkTemplate(templateBytes, templateLength, entries, errorText)) return false;
  KeyMaterial key;
  if (!LoadOrCreateSigningKey(pfxPath, key, errorText, keyOptions)) return false;
  std::vector<GameFile> files;
  if (!CollectGameFiles(installFolder, names, nameCount, files, errorText)) return false;
  std::vector<uint8_t> index;
  uint64_t pakLength = 0;
  if (!PreparePak(files, index, pakLength, errorText)) return false;
  if (!PackageFitsZip(entries, pakLength, SignatureBlockBound(key), errorText)) return false;
  if (IsReadOnlyFile(packagePath)) {  // it could not be replaced
    errorText = kMsgPackageNotCreated;
    return false;
  }

  TemporaryPackage temporary(TemporaryPathFor(packagePath));
  ZipWriter zip;  // closed on every return, before the temporary file goes
  if (!zip.Create(temporary.Path())) {
    errorText = kMsgPackageNotCreated;
    return false;
  }
  temporary.Created();
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
  if (!zip.Flush()) {
    errorText = kMsgWriteFailed;
    return false;
  }
  zip.Close();
  if (!temporary.MoveTo(packagePath)) {
    errorText = WithErrorCode("The finished Android package could not be put in place (error ", GetLastError());
    return false;
  }
  return true;
}

}  // namespace tf::android
