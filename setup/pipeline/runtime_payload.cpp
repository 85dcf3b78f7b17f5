#include "runtime_payload.h"

#include <windows.h>

#include <cstdio>

#include "common/install_messages.h"
#include "common/win32_file.h"
#include "pipeline/program_file.h"
#include "resources/payload_ids.h"

namespace tf {

namespace {

constexpr PayloadFile kPayloadTable[] = {
    {TF_RES_LOADER, L"Tarnfell.exe", false},
    {TF_RES_RUNTIME, L"tf_hybrid.dll", false},
    {TF_RES_MSVCP140, L"msvcp140.dll", false},
    {TF_RES_MSVCP140_1, L"msvcp140_1.dll", false},
    {TF_RES_MSVCP140_2, L"msvcp140_2.dll", false},
    {TF_RES_MSVCP140_ATOMIC_WAIT, L"msvcp140_atomic_wait.dll", false},
    {TF_RES_VCRUNTIME140, L"vcruntime140.dll", false},
    {TF_RES_VCRUNTIME140_THREADS, L"vcruntime140_threads.dll", false},
    {TF_RES_CONCRT140, L"concrt140.dll", false},
    {TF_RES_README, L"README.txt", false},
    {TF_RES_ARABIC_FONT, L"arabic_font.bin", true},
};

const char kDamaged[] = "The installer is damaged (a required file is missing from it). Please download it again.";
const char kWriteFailed[] = "Could not write to the install folder (the disk may be full).";

// The bytes of one of this program's RCDATA resources in the mapped image
// (never freed; written from the program's file where it can, see
// ProgramFile). False when it cannot be found, loaded or locked.
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

bool Outcome(FileWrite written, std::string& errorText) {
  switch (written) {
    case FileWrite::Ok:
      return true;
    case FileWrite::CannotCreate:
      errorText = kMsgCannotWriteInstallFolder;
      return false;
    case FileWrite::WriteFailed:
      break;
  }
  errorText = kWriteFailed;
  return false;
}

}  // namespace

std::span<const PayloadFile> PayloadTable() { return kPayloadTable; }

bool WriteWholeFile(const std::wstring& path, const void* data, uint32_t length, std::string& errorText) {
  return Outcome(WriteWholeFile(path, std::span(static_cast<const uint8_t*>(data), length), OnFailure::KeepPartial),
                 errorText);
}

bool WriteImageBytes(const std::wstring& path, const void* data, uint32_t length, ProgramFile* file,
                     std::string& errorText) {
  ImageBytesChunks chunks(data, length, file);
  return Outcome(WriteWholeFile(path, length, chunks, OnFailure::KeepPartial), errorText);
}

bool WriteRuntimePayload(const std::wstring& folder, int32_t width, int32_t height, int32_t mode,
                         std::string& errorText) {
  ProgramFile program;
  ProgramFile* file = program.Open() ? &program : nullptr;
  for (const PayloadFile& row : kPayloadTable) {
    const void* data = nullptr;
    DWORD size = 0;
    if (FindPayload(row.resourceId, data, size) && size != 0) {
      if (!WriteImageBytes(folder + L"\\" + row.fileName, data, size, file, errorText)) return false;
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
