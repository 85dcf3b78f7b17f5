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

// Everything the build reads before it writes a byte.
struct BuildInputs {
  std::vector<TemplateEntry> entries;
  KeyMaterial key;
  std::vector<GameFile> files;
  std::vector<uint8_t> index;  // the pack's header and index
  uint64_t pakLength = 0;
};

// The template, the key, the game files and the pack's index; refused here
// when the package would not fit the zip fields or could not replace the file
// at packagePath.
bool ReadInputs(const uint8_t* templateBytes, uint32_t templateLength, const std::wstring& pfxPath,
                const KeyStoreOptions& keyOptions, const std::wstring& installFolder, const wchar_t* const* names,
                size_t nameCount, const std::wstring& packagePath, BuildInputs& in, std::string& errorText) {
  uint32_t crypt32Error = 0;
  if (!Crypt32Loaded(crypt32Error)) {
    errorText = WithErrorCode(kMsgCrypt32Missing, crypt32Error);
    return false;
  }
  if (!ReadApkTemplate(templateBytes, templateLength, in.entries, errorText) ||
      !LoadOrCreateSigningKey(pfxPath, in.key, errorText, keyOptions) ||
      !CollectGameFiles(installFolder, names, nameCount, in.files, errorText) ||
      !PreparePak(in.files, in.index, in.pakLength, errorText) ||
      !PackageFitsZip(in.entries, in.pakLength, SignatureBlockBound(in.key), errorText))
    return false;
  if (IsReadOnlyFile(packagePath)) {  // it could not be replaced
    errorText = kMsgPackageNotCreated;
    return false;
  }
  return true;
}

// Appends the manifest's line for an entry: its name and the Base64 of its SHA-256.
bool AddManifestEntry(const std::string& name, const Sha256Digest& digest, std::vector<ManifestEntry>& manifest,
                      std::string& errorText) {
  std::string text = Base64Text(digest);
  if (text.empty()) {
    errorText = kMsgHashFailed;
    return false;
  }
  manifest.push_back({name, std::move(text)});
  return true;
}

bool WriteTemplateEntries(ZipWriter& zip, const std::vector<TemplateEntry>& entries,
                          std::vector<ManifestEntry>& manifest, std::string& errorText) {
  for (const TemplateEntry& entry : entries) {
    if (!zip.AddStoredEntry(entry.name, entry.data, entry.size, errorText)) return false;
    Sha256Digest digest;
    if (!Sha256(entry.data, entry.size, digest)) {
      errorText = kMsgHashFailed;
      return false;
    }
    if (!AddManifestEntry(entry.name, digest, manifest, errorText)) return false;
  }
  return true;
}

// The pack, reported file by file; once it is written the build no longer stops.
bool WriteGamePack(ZipWriter& zip, const BuildInputs& in, ProgressCallback callback, void* context,
                   std::vector<ManifestEntry>& manifest, std::string& errorText) {
  Sha256Digest digest;
  if (!zip.WritePakEntry(in.files, in.index, in.pakLength, callback, context, digest, errorText) ||
      !AddManifestEntry(kPakEntryName, digest, manifest, errorText))
    return false;
  if (callback != nullptr) {
    uint64_t total = 0;
    for (const GameFile& f : in.files) total += f.size;
    callback(context, kSigningStatus, total, total);  // its answer is not asked
  }
  return true;
}

// The JAR signature's three files.
struct JarSignature {
  Manifest manifest;
  std::string signatureFile;
  std::vector<uint8_t> block;
};

bool SignPackage(const KeyMaterial& key, const std::vector<ManifestEntry>& entries, JarSignature& signature,
                 std::string& errorText) {
  signature.manifest = BuildManifest(entries);
  PlatformDigestText digests;
  if (!BuildSignatureFile(signature.manifest.bytes, signature.manifest.mainSectionLength, entries, digests,
                          signature.signatureFile)) {
    errorText = kMsgSigningFailed;
    return false;
  }
  return key.pfx.empty() ? SignWithStoredKey(key, signature.signatureFile, signature.block, errorText)
                         : SignWithPfx(key.pfx, kPfxPassword, signature.signatureFile, signature.block, errorText);
}

// The META-INF files, then the central directory and the end record.
bool WriteSignatureAndDirectory(ZipWriter& zip, const JarSignature& signature, std::string& errorText) {
  const Manifest& manifest = signature.manifest;
  return zip.AddStoredEntry(kManifestName, manifest.bytes.data(), manifest.bytes.size(), errorText) &&
         zip.AddStoredEntry(kSignatureFileName, signature.signatureFile.data(), signature.signatureFile.size(),
                            errorText) &&
         zip.AddStoredEntry(kSignatureBlockName, signature.block.data(), signature.block.size(), errorText) &&
         zip.Finish(errorText);
}

// The finished package over packagePath (flushed, then moved in one step).
bool PutInPlace(WholeFileReplacement& package, std::string& errorText) {
  switch (package.Commit()) {
    case FileWrite::Ok:
      return true;
    case FileWrite::NotReplaced:
      errorText = WithErrorCode("The finished Android package could not be put in place (error ", package.Error());
      return false;
    case FileWrite::CannotCreate:
    case FileWrite::WriteFailed:
      break;
  }
  errorText = kMsgWriteFailed;
  return false;
}

}  // namespace

bool BuildAndroidPackage(const uint8_t* templateBytes, uint32_t templateLength, const std::wstring& pfxPath,
                         const std::wstring& installFolder, const wchar_t* const* names, size_t nameCount,
                         const std::wstring& packagePath, ProgressCallback callback, void* context,
                         std::string& errorText, const KeyStoreOptions& keyOptions, const FileCalls& calls) {
  BuildInputs in;
  if (!ReadInputs(templateBytes, templateLength, pfxPath, keyOptions, installFolder, names, nameCount, packagePath,
                  in, errorText))
    return false;
  // Written under its temporary name, which goes on every return but a commit.
  WholeFileReplacement package(packagePath, calls);
  const HANDLE file = package.Begin(GENERIC_READ | GENERIC_WRITE);
  if (file == INVALID_HANDLE_VALUE) {
    errorText = kMsgPackageNotCreated;
    return false;
  }
  ZipWriter zip(file, calls);
  std::vector<ManifestEntry> manifest;
  JarSignature signature;
  return WriteTemplateEntries(zip, in.entries, manifest, errorText) &&
         WriteGamePack(zip, in, callback, context, manifest, errorText) &&
         SignPackage(in.key, manifest, signature, errorText) &&
         WriteSignatureAndDirectory(zip, signature, errorText) && PutInPlace(package, errorText);
}

}  // namespace tf::android
