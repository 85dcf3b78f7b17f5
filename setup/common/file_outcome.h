#pragma once
// What a whole-file read or write came to, the caller's message for each way
// it fails, and the name a file is written under before it replaces another
// (the rule itself stands in common/win32_file.h). Plain C++, so that
// platform-free code can speak of file outcomes too.
#include <string>

namespace tf {

// NotReplaced: a whole file was written but could not be moved over its target.
enum class FileWrite { Ok, CannotCreate, WriteFailed, NotReplaced };
enum class FileRead { Ok, CannotOpen, TooLarge, ReadFailed };

// The caller's messages (the install's sentences, the patcher's phrases).
struct FileWriteMessages {
  const char* cannotCreate;
  const char* writeFailed;
  const char* notReplaced;
};
struct FileReadMessages {
  const char* cannotOpen;
  const char* tooLarge;
  const char* readFailed;
};

// True for Ok; otherwise false with the outcome's message in `errorText`.
inline bool Succeeded(FileWrite outcome, const FileWriteMessages& messages, std::string& errorText) {
  if (outcome == FileWrite::Ok) return true;
  errorText = outcome == FileWrite::CannotCreate  ? messages.cannotCreate
              : outcome == FileWrite::WriteFailed ? messages.writeFailed
                                                  : messages.notReplaced;
  return false;
}
inline bool Succeeded(FileRead outcome, const FileReadMessages& messages, std::string& errorText) {
  if (outcome == FileRead::Ok) return true;
  errorText = outcome == FileRead::CannotOpen ? messages.cannotOpen
              : outcome == FileRead::TooLarge ? messages.tooLarge
                                              : messages.readFailed;
  return false;
}

// `target` + ".tmp": where a file is written before it is moved over `target`.
inline std::wstring TemporaryPathFor(const std::wstring& target) { return target + L".tmp"; }

}  // namespace tf
