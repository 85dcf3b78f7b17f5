#include "runtime_payload.h"

#include <windows.h>

#include <cstdio>

#include "common/game_edition.h"
#include "common/install_messages.h"
#include "common/running_program.h"
#include "common/win32_file.h"
#include "pipeline/program_file.h"

namespace tf {

namespace {

const char kDamaged[] = "The installer is damaged (a required file is missing from it). Please download it again.";
// A file that cannot be put in place (read-only, a folder in its place) is
// one that cannot be written there.
constexpr FileWriteMessages kWriteMessages = {kMsgCannotWriteInstallFolder,
                                              "Could not write to the install folder (the disk may be full).",
                                              kMsgCannotWriteInstallFolder};

}  // namespace

bool WriteWholeFile(const std::wstring& path, const void* data, uint32_t length, std::string& errorText,
                    const FileCalls& calls) {
  const std::span bytes(static_cast<const uint8_t*>(data), length);
  uint32_t unused = 0;
  return Succeeded(ReplaceWholeFile(path, bytes, unused, calls), kWriteMessages, errorText);
}

bool WriteImageBytes(const std::wstring& path, const void* data, uint32_t length, ProgramFile* file,
                     std::string& errorText, const FileCalls& calls) {
  ImageBytesChunks chunks(data, length, file);
  uint32_t unused = 0;
  return Succeeded(ReplaceWholeFile(path, length, chunks, unused, calls), kWriteMessages, errorText);
}

bool WriteRuntimePayload(const std::wstring& folder, int32_t width, int32_t height, int32_t mode,
                         std::string& errorText, const FileCalls& calls) {
  ProgramFile program;
  ProgramFile* file = program.Open() ? &program : nullptr;
  for (const PayloadFile& row : kPayloadFiles) {
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
  for (const PayloadFile& row : kPayloadFiles) {
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    if (FindProgramResource(row.resourceId, data, size)) total += size;
  }
  return total;
}

}  // namespace tf
