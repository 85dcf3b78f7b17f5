#include "xmf/arena_patch.h"

#include <new>
#include <utility>

#include "xmf/xmf_container.h"
#include "xmf/xmf_extract.h"
#include "xmf/xmf_inject.h"
#include "xmf/xmf_validate.h"

namespace tf::xmf {
namespace {

// The table's names are ASCII, which every ANSI code page maps one to one.
std::wstring WidenAscii(const char* s) {
  std::wstring w;
  for (; *s != '\0'; ++s) w.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*s)));
  return w;
}

bool Patch(const ArenaFileOps& files, const std::wstring& sourcePath, const char* sourceName,
           const std::wstring& targetPath, const char* newName, bool allowDuplicate, std::string& errorText) {
  XmfContainer target;
  if (!files.readWholeFile(targetPath, target.bytes, errorText) || !Parse(target, errorText)) return false;
  if (FindObject(target, NameWord(newName)) >= 0 && !allowDuplicate) return false;

  XmfContainer source;
  if (!files.readWholeFile(sourcePath, source.bytes, errorText) || !Parse(source, errorText)) return false;

  std::vector<uint8_t> newBytes;
  {
    ExtractedObject object;
    if (!ExtractObject(source, sourceName, object, errorText)) return false;
    if (!InjectObject(target, object, newName, newBytes, errorText)) return false;
  }

  XmfContainer result;
  result.bytes = std::move(newBytes);
  std::string message;
  if (!Parse(result, message)) {
    errorText = "the injected file failed to re-parse: " + message;
    return false;
  }
  if (!ValidateXmf(result, message)) {
    errorText = "the injected file failed validation: " + message;
    return false;
  }
  if (FindObject(result, NameWord(newName)) < 0) {
    errorText = "the injected object is not present in the result";
    return false;
  }

  const std::wstring tempPath = targetPath + kTempSuffix;
  switch (files.writeTemp(tempPath, result.bytes)) {
    case TempWrite::ok:
      break;
    case TempWrite::cannotCreate:
      errorText = "cannot write file";
      return false;
    case TempWrite::writeFailed:
      errorText = "file could not be written";
      return false;
  }
  if (!files.replace(tempPath, targetPath)) {
    files.remove(tempPath);
    errorText = "could not replace the arena file";
    return false;
  }
  return true;
}

}  // namespace

bool PatchArenaFileWith(const ArenaFileOps& files, const std::wstring& sourcePath, const char* sourceName,
                        const std::wstring& targetPath, const char* newName, bool allowDuplicate,
                        std::string& errorText) {
  try {
    return Patch(files, sourcePath, sourceName, targetPath, newName, allowDuplicate, errorText);
  } catch (const std::bad_alloc&) {
    errorText = "not enough memory";
    return false;
  }
}

MeatRushResult PrepareMeatRushWith(const ArenaFileOps& files, const std::wstring& installFolder) {
  MeatRushResult result;
  const std::wstring gfx = installFolder + kArenaFolder;
  const std::wstring source = gfx + kSourceContainer;
  for (const ArenaRow& row : ArenaTable) {
    const std::wstring path = gfx + L"\\" + WidenAscii(row.folder) + L"\\" + WidenAscii(row.file);
    if (!files.exists(path)) {
      ++result.failed;
      if (result.message.empty()) result.message = std::string(row.folder) + ": file is missing";
      continue;
    }
    std::string errorText;
    if (PatchArenaFileWith(files, source, kSourceObject, path, kNewObject, false, errorText)) {
      ++result.patched;
    } else if (errorText.empty()) {
      ++result.alreadyPresent;
    } else {
      ++result.failed;
      if (result.message.empty()) result.message = std::string(row.folder) + ": " + errorText;
    }
  }
  return result;
}

}  // namespace tf::xmf
