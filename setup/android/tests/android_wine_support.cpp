#include "android_wine_support.h"

#include <gtest/gtest.h>
#include <knownfolders.h>
#include <wincrypt.h>

#include <cstring>

#include "android/key_container.h"
#include "common/bytes.h"
#include "common/game_edition.h"
#include "common/known_folders.h"
#include "win_test_support.h"

namespace tf::android::testing {

std::vector<uint8_t> FileContent(const std::string& name, uint64_t size) {
  std::vector<uint8_t> b(static_cast<size_t>(size));
  uint32_t h = 2166136261u;
  for (char c : name) h = (h ^ static_cast<uint8_t>(c)) * 16777619u;
  for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>((h >> (i % 24)) + i * 131 + i / 4099);
  return b;
}

bool LayOut(const std::wstring& folder, const std::vector<LaidOutFile>& files) {
  for (const LaidOutFile& f : files) {
    std::wstring path = folder;
    size_t start = 0;
    for (size_t slash; (slash = f.name.find('/', start)) != std::string::npos; start = slash + 1) {
      path += L"\\" + std::wstring(f.name.begin() + start, f.name.begin() + slash);
      CreateDirectoryW(path.c_str(), nullptr);
    }
    path += L"\\" + std::wstring(f.name.begin() + start, f.name.end());
    std::vector<uint8_t> bytes = FileContent(f.name, f.size);
    if (!test::WriteFileBytes(path, bytes.data(), bytes.size())) return false;
  }
  return true;
}

bool LayOutGameFolder(const std::wstring& folder) {
  CreateDirectoryW(folder.c_str(), nullptr);
  bool ok = LayOut(folder, {{"default.xbe", 70001},
                            {"GFX/KITCHEN/kitchen.xmf", 300000},
                            {"GFX/KITCHEN/deeper/empty.bin", 0},
                            {"GFX/menu.xpr", 1048577},
                            {"GFX/.hidden", 5},
                            {"AUDMUSIC/track01.wma", 2500000},
                            {"AUDSoundFX/hit.wav", 1},
                            {"arabic_font.bin", 4096},
                            {".dot-at-root", 3}});
  return ok && CreateDirectoryW((folder + L"\\GFX\\empty-folder").c_str(), nullptr);
}

bool ListZip(const std::vector<uint8_t>& zip, std::vector<ZipItem>& items) {
  items.clear();
  ByteReader r(zip);
  uint32_t signature = 0, directory = 0;
  uint16_t count = 0;
  if (zip.size() < 22 || !r.U32(zip.size() - 22, signature) || signature != 0x06054B50 ||
      !r.U16(zip.size() - 12, count) || !r.U32(zip.size() - 6, directory))
    return false;
  uint64_t p = directory;
  for (uint16_t i = 0; i < count; ++i) {
    ZipItem item;
    uint16_t nameLength = 0, extra = 0, comment = 0, localName = 0, localExtra = 0;
    std::span<const uint8_t> name;
    if (!r.U32(p, signature) || signature != 0x02014B50 || !r.U32(p + 16, item.crc) || !r.U32(p + 20, item.size) ||
        !r.U16(p + 28, nameLength) || !r.U16(p + 30, extra) || !r.U16(p + 32, comment) ||
        !r.U32(p + 42, item.localOffset) || !r.Sub(p + 46, nameLength, name))
      return false;
    item.name.assign(name.begin(), name.end());
    if (!r.U32(item.localOffset, signature) || signature != 0x04034B50 || !r.U32(item.localOffset + 14, item.localCrc) ||
        !r.U16(item.localOffset + 26, localName) || !r.U16(item.localOffset + 28, localExtra))
      return false;
    item.dataOffset = uint64_t{item.localOffset} + 30 + localName + localExtra;
    if (!r.Has(item.dataOffset, item.size)) return false;
    items.push_back(item);
    p += 46 + uint64_t{nameLength} + extra + comment;
  }
  return p == zip.size() - 22;
}

std::vector<uint8_t> ItemBytes(const std::vector<uint8_t>& zip, const ZipItem& item) {
  return std::vector<uint8_t>(zip.begin() + static_cast<ptrdiff_t>(item.dataOffset),
                              zip.begin() + static_cast<ptrdiff_t>(item.dataOffset + item.size));
}

bool ParsePak(const std::vector<uint8_t>& pak, std::vector<std::pair<std::string, std::vector<uint8_t>>>& files) {
  files.clear();
  ByteReader r(pak);
  uint32_t version = 0, count = 0;
  if (pak.size() < 12 || std::memcmp(pak.data(), "TFPK", 4) != 0 || !r.U32(4, version) || version != 1 ||
      !r.U32(8, count))
    return false;
  uint64_t p = 12;
  std::vector<uint64_t> sizes;
  for (uint32_t i = 0; i < count; ++i) {
    uint16_t length = 0;
    uint64_t size = 0;
    std::span<const uint8_t> name;
    if (!r.U16(p, length) || !r.Sub(p + 2, length, name) || !r.U64(p + 2 + length, size)) return false;
    files.emplace_back(std::string(name.begin(), name.end()), std::vector<uint8_t>());
    sizes.push_back(size);
    p += 2 + uint64_t{length} + 8;
  }
  for (uint32_t i = 0; i < count; ++i) {
    std::span<const uint8_t> data;
    if (!r.Sub(p, sizes[i], data)) return false;
    files[i].second.assign(data.begin(), data.end());
    p += sizes[i];
  }
  return p == pak.size();
}

std::vector<uint8_t> StandInTemplate() {
  std::vector<uint8_t> bytes;
  test::ReadFileBytes(test::FromUnixPath(TF_APK_TEMPLATE_PATH), bytes);
  return bytes;
}

std::vector<uint8_t> FixedKeyFile(const std::wstring& name) {
  std::vector<uint8_t> bytes;
  test::ReadFileBytes(test::FromUnixPath(TF_ANDROID_KEYS_DIR) + L"\\" + name, bytes);
  return bytes;
}

std::vector<uint8_t> VerifiedSigner(const std::vector<uint8_t>& signature, const std::string& content) {
  CRYPT_VERIFY_MESSAGE_PARA para{sizeof(para), X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0, nullptr, nullptr};
  const BYTE* blocks[1] = {reinterpret_cast<const BYTE*>(content.data())};
  DWORD sizes[1] = {static_cast<DWORD>(content.size())};
  PCCERT_CONTEXT signer = nullptr;
  if (!CryptVerifyDetachedMessageSignature(&para, 0, signature.data(), static_cast<DWORD>(signature.size()), 1,
                                           blocks, sizes, &signer))
    return {};
  std::vector<uint8_t> der(signer->pbCertEncoded, signer->pbCertEncoded + signer->cbCertEncoded);
  CertFreeCertificateContext(signer);
  return der;
}

namespace {
std::set<std::wstring> FilesIn(const std::wstring& folder) {
  const std::vector<std::wstring> names = test::FolderNames(folder, test::Listing::FilesOnly);
  return {names.begin(), names.end()};
}
}  // namespace

KeyContainersKept::KeyContainersKept() : before_(KeyContainerNames()) {}

KeyContainersKept::~KeyContainersKept() {
  EXPECT_EQ(KeyContainerNames(), before_) << "a key container was left behind, or one of the user's was deleted";
}

UserKeyFolderGuard::UserKeyFolderGuard() {
  folder_ = KnownFolderPath(FOLDERID_LocalAppData) + L"\\" + kUserFolderName;
  existed_ = GetFileAttributesW(folder_.c_str()) != INVALID_FILE_ATTRIBUTES;
  before_ = FilesIn(folder_);
}

UserKeyFolderGuard::~UserKeyFolderGuard() {
  if (!existed_) {
    test::RemoveTree(folder_);
    return;
  }
  for (const std::wstring& name : FilesIn(folder_))
    if (before_.count(name) == 0) DeleteFileW((folder_ + L"\\" + name).c_str());
}

}  // namespace tf::android::testing
