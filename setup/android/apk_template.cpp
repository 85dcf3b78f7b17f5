#include "android/apk_template.h"

#include <cstring>
#include <span>

#include "android/zip_records.h"
#include "common/bytes.h"

namespace tf::android {

namespace {

constexpr char kSignaturePrefix[] = "META-INF/";
constexpr size_t kSignaturePrefixLength = sizeof(kSignaturePrefix) - 1;

// The highest position in the window whose four bytes are the end signature.
bool FindEndRecord(const ByteReader& r, uint32_t length, uint64_t& position) {
  uint64_t lowest = length > kEndRecordSearchWindow ? length - kEndRecordSearchWindow : 0;
  for (uint64_t p = length - zip::kEndRecordSize + 1; p-- > lowest;) {
    uint32_t signature = 0;
    if (r.U32(p, signature) && signature == zip::kEndSignature) {
      position = p;
      return true;
    }
  }
  return false;
}

// One central-directory record, as far as the reader needs it.
struct CentralEntry {
  std::string name;
  uint16_t method = 0;
  uint32_t size = 0;
  uint32_t localOffset = 0;
};

// The end record's entry count and central-directory offset.
bool ReadEndRecord(const ByteReader& r, uint32_t length, uint16_t& count, uint32_t& directoryOffset,
                   std::string& errorText) {
  uint64_t endPosition = 0;
  if (!FindEndRecord(r, length, endPosition)) {
    errorText = kMsgTemplateNotArchive;
    return false;
  }
  if (!r.U16(endPosition + zip::end::kTotalEntries, count) ||
      !r.U32(endPosition + zip::end::kDirectoryOffset, directoryOffset)) {
    errorText = kMsgTemplateCorrupt;  // unreachable: the record's 22 bytes lie inside the template
    return false;
  }
  return true;
}

// The central header at `p`; `p` moves on to the next one.
bool ReadCentralEntry(const ByteReader& r, uint64_t& p, CentralEntry& entry, std::string& errorText) {
  uint32_t signature = 0;
  if (!r.Has(p, zip::kCentralHeaderSize) || !r.U32(p + zip::central::kSignature, signature) ||
      signature != zip::kCentralSignature) {
    errorText = kMsgTemplateBadDirectory;
    return false;
  }
  uint16_t nameLength = 0, extraLength = 0, commentLength = 0;
  std::span<const uint8_t> nameBytes;
  if (!r.U16(p + zip::central::kMethod, entry.method) || !r.U32(p + zip::central::kCompressedSize, entry.size) ||
      !r.U16(p + zip::central::kNameLength, nameLength) || !r.U16(p + zip::central::kExtraLength, extraLength) ||
      !r.U16(p + zip::central::kCommentLength, commentLength) ||
      !r.U32(p + zip::central::kLocalHeaderOffset, entry.localOffset) ||
      !r.Sub(p + zip::kCentralHeaderSize, nameLength, nameBytes)) {
    errorText = kMsgTemplateBadDirectory;  // the name runs past the end
    return false;
  }
  // p stays below 2^32 and each addend below 2^16: no wrap in 64 bits.
  p += zip::kCentralHeaderSize + uint64_t{nameLength} + extraLength + commentLength;
  entry.name.assign(reinterpret_cast<const char*>(nameBytes.data()), nameBytes.size());
  return true;
}

// Old signature files (new ones are written for the package) and directories stay behind.
bool IsCarriedOver(const std::string& name) {
  const bool signatureFile =
      name.size() >= kSignaturePrefixLength && std::memcmp(name.data(), kSignaturePrefix, kSignaturePrefixLength) == 0;
  return !signatureFile && !name.empty() && name.back() != '/';
}

// Where a stored entry's bytes begin: behind its local header.
bool FindEntryData(const ByteReader& r, const CentralEntry& entry, uint64_t& dataOffset, std::string& errorText) {
  if (entry.method != zip::kMethodStored) {
    errorText = CompressedEntryMessage(entry.name);
    return false;
  }
  uint16_t localNameLength = 0, localExtraLength = 0;
  if (!r.Has(entry.localOffset, zip::kLocalHeaderSize) ||
      !r.U16(uint64_t{entry.localOffset} + zip::local::kNameLength, localNameLength) ||
      !r.U16(uint64_t{entry.localOffset} + zip::local::kExtraLength, localExtraLength)) {
    errorText = kMsgTemplateBadOffset;
    return false;
  }
  dataOffset = uint64_t{entry.localOffset} + zip::kLocalHeaderSize + localNameLength + localExtraLength;
  if (!r.Has(dataOffset, entry.size)) {
    errorText = kMsgTemplatePastEnd;
    return false;
  }
  return true;
}

}  // namespace

std::string CompressedEntryMessage(const std::string& name) {
  return "The bundled Android template has a compressed entry (" + name +
         "); it must be built with build_apk.ps1 -Template.";
}

bool ReadApkTemplate(const uint8_t* templateBytes, uint32_t templateLength, std::vector<TemplateEntry>& entries,
                     std::string& errorText) {
  if (templateBytes == nullptr || templateLength < zip::kEndRecordSize) {
    errorText = kMsgTemplateCorrupt;
    return false;
  }
  const ByteReader r(std::span<const uint8_t>(templateBytes, templateLength));
  uint16_t count = 0;
  uint32_t directoryOffset = 0;
  if (!ReadEndRecord(r, templateLength, count, directoryOffset, errorText)) return false;
  uint64_t p = directoryOffset;
  size_t kept = 0;
  for (uint32_t i = 0; i < count; ++i) {
    CentralEntry entry;
    if (!ReadCentralEntry(r, p, entry, errorText)) return false;
    if (!IsCarriedOver(entry.name)) continue;
    uint64_t dataOffset = 0;
    if (!FindEntryData(r, entry, dataOffset, errorText)) return false;
    entries.push_back(TemplateEntry{std::move(entry.name), templateBytes + dataOffset, entry.size});
    ++kept;
  }
  if (kept == 0) {
    errorText = kMsgTemplateEmpty;
    return false;
  }
  return true;
}

}  // namespace tf::android
