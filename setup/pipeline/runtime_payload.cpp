#include "runtime_payload.h"

#include <windows.h>

#include <cstdio>

#include "common/install_folder.h"
#include "common/install_messages.h"
#include "common/install_names.h"
#include "common/running_program.h"
#include "common/win32_file.h"
#include "pipeline/program_file.h"
#include "resources/payload_ids.h"

namespace tf {

namespace {

constexpr PayloadFile kPayloadTable[] = {
    {TF_RES_LOADER, kGameProgramName, false},
    {TF_RES_RUNTIME, kRuntimeLibraryName, false},
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
constexpr FileWriteMessages kWriteMessages = {kMsgCannotWriteInstallFolder,
                                              "Could not write to the install folder (the disk may be full)."};

}  // namespace

std::span<const PayloadFile> PayloadTable() { return kPayloadTable; }

bool WriteWholeFile(const std::wstring& path, const void* data, uint32_t length, std::string& errorText,
                    const FileCalls& calls) {
  const std::span bytes(static_cast<const uint8_t*>(data), length);
  return Succeeded(WriteWholeFile(path, bytes, OnFailure::KeepPartial, calls), kWriteMessages, errorText);
}

bool WriteImageBytes(const std::wstring& path, const void* data, uint32_t length, ProgramFile* file,
                     std::string& errorText, const FileCalls& calls) {
  ImageBytesChunks chunks(data, length, file);
  return Succeeded(WriteWholeFile(path, length, chunks, OnFailure::KeepPartial, calls), kWriteMessages, errorText);
}

bool WriteRuntimePayload(const std::wstring& folder, int32_t width, int32_t height, int32_t mode,
                         std::string& errorText, const FileCalls& calls) {
  ProgramFile program;
  ProgramFile* file = program.Open() ? &program : nullptr;
  for (const PayloadFile& row : kPayloadTable) {
    // Written from the program's file where it can be (see ProgramFile).
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    if (FindProgramResource(row.resourceId, data, size) && size != 0) {
      if (!WriteImageBytes(folder + L"\\" + row.fileName, data, size, file, errorText, calls)) return false;
    } else if (!row.optional) {
      errorText = kDamaged;
      return false;
    }
  }
  char text[128];
  int n = std::snprintf(text, sizeof(text), "[Display]\r\nWidth=%d\r\nHeight=%d\r\nMode=%d\r\n", static_cast<int>(width),
                        static_cast<int>(height), static_cast<int>(mode));
  uint32_t length = n < 0 ? 0u : n >= static_cast<int>(sizeof(text)) ? sizeof(text) - 1 : static_cast<uint32_t>(n);
  return WriteWholeFile(folder + L"\\" + kSettingsFileName, text, length, errorText, calls);
}

uint64_t PayloadBytes() {
  uint64_t total = 0;
  for (const PayloadFile& row : kPayloadTable) {
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    if (FindProgramResource(row.resourceId, data, size)) total += size;
  }
  return total;
}

}  // namespace tf
