#include "xmf/testing/std_files.h"

#include <fstream>

#include "xmf/xmf_messages.h"

namespace tf::xmf::testing {
namespace {

bool Exists(const std::wstring& path) {
  std::error_code ec;
  return std::filesystem::exists(NativePath(path), ec);
}

bool Read(const std::wstring& path, std::vector<uint8_t>& out, std::string& errorText) {
  std::ifstream in(NativePath(path), std::ios::binary);
  if (!in) {
    errorText = kMsgCannotOpen;
    return false;
  }
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  in.seekg(0, std::ios::beg);
  if (size < 0 || size > 0x7FFFFFFF) {
    errorText = kMsgMissingOrTooLarge;
    return false;
  }
  out.resize(static_cast<size_t>(size));
  if (!in.read(reinterpret_cast<char*>(out.data()), size)) {
    errorText = kMsgCannotRead;
    return false;
  }
  return true;
}

// The same steps as the Win32 layer's, but for the flush: the temporary
// file, then one rename over the target; the temporary file goes on failure.
FileWrite ReplaceWhole(const std::wstring& path, std::span<const uint8_t> bytes) {
  const std::filesystem::path target = NativePath(path), temporary = NativePath(TemporaryPathFor(path));
  std::error_code ec;
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) return FileWrite::CannotCreate;
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::filesystem::remove(temporary, ec);
      return FileWrite::WriteFailed;
    }
  }
  std::filesystem::rename(temporary, target, ec);
  if (!ec) return FileWrite::Ok;
  std::filesystem::remove(temporary, ec);
  return FileWrite::NotReplaced;
}

constexpr ArenaFileOps kStdFiles = {Exists, Read, ReplaceWhole};

}  // namespace

std::filesystem::path NativePath(const std::wstring& path) {
  std::string s;
  for (wchar_t c : path) {
#ifdef _WIN32
    s.push_back(static_cast<char>(c));
#else
    s.push_back(c == L'\\' ? '/' : static_cast<char>(c));
#endif
  }
  return std::filesystem::path(s);
}

const ArenaFileOps& StdArenaFiles() { return kStdFiles; }

}  // namespace tf::xmf::testing
