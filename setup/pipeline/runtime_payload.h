#pragma once
// The runtime payload: the files tf_setup carries as RCDATA resources and
// writes into the install folder, and the display settings file tarnfell.ini.
#include <windows.h>

#include <cstdint>
#include <span>
#include <string>

namespace tf {

struct PayloadFile {
  uint16_t resourceId;
  const wchar_t* fileName;
  bool optional;
};

// The payload table, in the order the files are written.
std::span<const PayloadFile> PayloadTable();

// Writes every present payload resource into folder, then "tarnfell.ini" from
// width, height and mode. Stops at the first failure, leaving errorText set.
bool WriteRuntimePayload(const std::wstring& folder, int32_t width, int32_t height, int32_t mode,
                         std::string& errorText);

// Sum of the sizes of the payload resources this program carries.
uint64_t PayloadBytes();

// Creates or replaces path with exactly length bytes from data, in writes of at most 1 MiB.
bool WriteWholeFile(const std::wstring& path, const void* data, uint32_t length, std::string& errorText);

namespace detail {
// The WriteFile that WriteWholeFile calls; tests swap it to watch or fail the chunks.
using WriteFileFn = BOOL(WINAPI*)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
extern WriteFileFn payloadWriteFile;
}  // namespace detail

}  // namespace tf
