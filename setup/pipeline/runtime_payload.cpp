#include "runtime_payload.h"

#include <cstdio>

#include "common/win32_handle.h"

namespace tf {

namespace detail {
WriteFileFn payloadWriteFile = ::WriteFile;
}

namespace {

constexpr PayloadFile kPayloadTable[] = {
    {101, L"Tarnfell.exe", false},
    {102, L"tf_hybrid.dll", false},
    {103, L"msvcp140.dll", false},
    {104, L"msvcp140_1.dll", false},
    {105, L"msvcp140_2.dll", false},
    {106, L"msvcp140_atomic_wait.dll", false},
    {107, L"vcruntime140.dll", false},
    {108, L"vcruntime140_threads.dll", false},
    {109, L"concrt140.dll", false},
    {110, L"README.txt", false},
    {112, L"arabic_font.bin", true},
};

constexpr DWORD kChunkBytes = 0x100000;

const char kDamaged[] = "The installer is damaged (a required file is missing from it). Please download it again.";
const char kCannotCreate[] =
    "Could not write to the install folder. Try running the installer as administrator, or choose a different "
    "location.";
const char kWriteFailed[] = "Could not write to the install folder (the disk may be full).";

// The bytes of one of this program's RCDATA resources, straight from the
// mapped image (never freed). False when it cannot be found, loaded or locked.
bool FindPayload(uint16_t id, const void*& data, DWORD& size) {
  HRSRC info = FindResourceW(nullptr, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10));  // RT_RCDATA
  if (!info) return false;
  HGLOBAL loaded = LoadResource(nullptr, info);
  if (!loaded) return false;
  data = LockResource(loaded);
  if (!data) return false;
  size = SizeofResource(nullptr, info);
  return true;
}

}  // namespace

std::span<const PayloadFile> PayloadTable() { return kPayloadTable; }

bool WriteWholeFile(const std::wstring& path, const void* data, uint32_t length, std::string& errorText) {
  // Windows refuses to replace a read-only file; Wine run as root would not.
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    errorText = kCannotCreate;
    return false;
  }
  UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    errorText = kCannotCreate;
    return false;
  }
  const auto* bytes = static_cast<const uint8_t*>(data);
  uint32_t written = 0;
  while (written < length) {
    DWORD chunk = length - written < kChunkBytes ? length - written : kChunkBytes;
    DWORD done = 0;
    if (!detail::payloadWriteFile(file.Get(), bytes + written, chunk, &done, nullptr) || done != chunk) {
      errorText = kWriteFailed;
      return false;  // the partial file stays; the handle closes here
    }
    // The written bytes are not needed again: let them leave the working set,
    // so that writing the 24 MB loader does not hold all of it resident.
    VirtualUnlock(const_cast<uint8_t*>(bytes + written), chunk);
    written += done;
  }
  file.Reset();
  return true;
}

bool WriteRuntimePayload(const std::wstring& folder, int32_t width, int32_t height, int32_t mode,
                         std::string& errorText) {
  for (const PayloadFile& row : kPayloadTable) {
    const void* data = nullptr;
    DWORD size = 0;
    if (FindPayload(row.resourceId, data, size) && size != 0) {
      if (!WriteWholeFile(folder + L"\\" + row.fileName, data, size, errorText)) return false;
    } else if (!row.optional) {
      errorText = kDamaged;
      return false;
    }
  }
  char text[128];
  int n = std::snprintf(text, sizeof(text), "[Display]\r\nWidth=%d\r\nHeight=%d\r\nMode=%d\r\n", static_cast<int>(width),
                        static_cast<int>(height), static_cast<int>(mode));
  uint32_t length = n < 0 ? 0u : n >= static_cast<int>(sizeof(text)) ? sizeof(text) - 1 : static_cast<uint32_t>(n);
  return WriteWholeFile(folder + L"\\tarnfell.ini", text, length, errorText);
}

uint64_t PayloadBytes() {
  uint64_t total = 0;
  for (const PayloadFile& row : kPayloadTable) {
    const void* data = nullptr;
    DWORD size = 0;
    if (FindPayload(row.resourceId, data, size)) total += size;
  }
  return total;
}

}  // namespace tf
