#pragma once
// What a whole-file read or write came to, and what becomes of a file that
// could not be finished (the rule itself stands in common/win32_file.h).
// Plain C++, so that platform-free code can speak of file outcomes too.
namespace tf {

enum class OnFailure { DeletePartial, KeepPartial };
enum class FileWrite { Ok, CannotCreate, WriteFailed };
enum class FileRead { Ok, CannotOpen, TooLarge, ReadFailed };

}  // namespace tf
