// Stands in for the installed game in the install dialog's test: records where
// it was started from and by whom (its own path, its current folder and the
// id of the process that started it, one per line, UTF-8) in "played.txt"
// beside itself, which appears whole.
#include <windows.h>
#include <tlhelp32.h>

#include <string>

namespace {

std::string Utf8(const wchar_t* text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string out(static_cast<size_t>(n - 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
  return out;
}

DWORD ParentProcessId() {
  DWORD parent = 0;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
    if (entry.th32ProcessID == GetCurrentProcessId()) parent = entry.th32ParentProcessID;
  CloseHandle(snapshot);
  return parent;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  wchar_t self[MAX_PATH] = {}, current[MAX_PATH] = {};
  if (!GetModuleFileNameW(nullptr, self, MAX_PATH) || !GetCurrentDirectoryW(MAX_PATH, current)) return 1;
  std::wstring record = self;
  record.resize(record.rfind(L'\\') + 1);
  record += L"played.txt";
  const std::string text = Utf8(self) + "\n" + Utf8(current) + "\n" + std::to_string(ParentProcessId()) + "\n";
  // Written under another name and moved: the test reads it as soon as it exists.
  const std::wstring partial = record + L".tmp";
  HANDLE file = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD wrote = 0;
  const bool ok =
      WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &wrote, nullptr) && wrote == text.size();
  CloseHandle(file);
  return ok && MoveFileExW(partial.c_str(), record.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
