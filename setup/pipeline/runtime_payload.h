#pragma once
// The runtime payload: the files tf_setup carries as RCDATA resources and
// writes into the install folder, and the display settings file tarnfell.ini.
#include <cstdint>
#include <span>
#include <string>

#include "common/game_edition.h"
#include "common/win32_file.h"

namespace tf {

// Writes every present payload resource into folder, then "tarnfell.ini" from
// width, height and mode, through the file layer with `calls`. Stops at the
// first failure, leaving errorText set.
bool WriteRuntimePayload(const std::wstring& folder, int32_t width, int32_t height, int32_t mode,
                         std::string& errorText, const FileCalls& calls = {});

// Sum of the sizes of the payload resources this program carries.
uint64_t PayloadBytes();

// Creates or replaces path with exactly length bytes from data, written whole
// (common/win32_file.h): on failure the earlier file stays as it was and no
// temporary file is left.
bool WriteWholeFile(const std::wstring& path, const void* data, uint32_t length, std::string& errorText,
                    const FileCalls& calls = {});

class ProgramFile;
// The same for bytes of this program's image (a resource): each chunk comes
// from a window of the program's file when `file` is given and holds them,
// else from the image. Results and messages as WriteWholeFile's.
bool WriteImageBytes(const std::wstring& path, const void* data, uint32_t length, ProgramFile* file,
                     std::string& errorText, const FileCalls& calls = {});

}  // namespace tf
