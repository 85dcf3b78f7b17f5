#include "xmf/arena_patch.h"

#include <new>
#include <utility>

#include "xmf/xmf_container.h"
#include "xmf/xmf_extract.h"
#include "xmf/xmf_inject.h"
#include "xmf/xmf_messages.h"
#include "xmf/xmf_validate.h"

namespace tf::xmf {
namespace {

PatchOutcome Failed(std::string& errorText, std::string message) {
  errorText = std::move(message);
  return PatchOutcome::Failed;
}

PatchOutcome Patch(const ArenaFileOps& files, const std::wstring& sourcePath, const char* sourceName,
                   const std::wstring& targetPath, const char* newName, bool allowDuplicate, std::string& errorText) {
  XmfContainer target;
  if (!files.readWholeFile(targetPath, target.bytes, errorText) || !Parse(target, errorText))
    return PatchOutcome::Failed;
  if (FindObject(target, NameWord(newName)) >= 0 && !allowDuplicate) return PatchOutcome::AlreadyPresent;

  XmfContainer source;
  if (!files.readWholeFile(sourcePath, source.bytes, errorText) || !Parse(source, errorText))
    return PatchOutcome::Failed;

  std::vector<uint8_t> newBytes;
  {
    ExtractedObject object;
    if (!ExtractObject(source, sourceName, object, errorText)) return PatchOutcome::Failed;
    if (!InjectObject(target, object, newName, newBytes, errorText)) return PatchOutcome::Failed;
  }

  XmfContainer result;
  result.bytes = std::move(newBytes);
  std::string message;
  if (!Parse(result, message)) return Failed(errorText, kMsgReparsePrefix + message);
  if (!ValidateXmf(result, message)) return Failed(errorText, kMsgValidationPrefix + message);
  if (FindObject(result, NameWord(newName)) < 0) return Failed(errorText, kMsgNotInResult);

  switch (files.replaceWholeFile(targetPath, result.bytes)) {
    case FileWrite::Ok:
      break;
    case FileWrite::CannotCreate:
      return Failed(errorText, kMsgCannotWrite);
    case FileWrite::WriteFailed:
      return Failed(errorText, kMsgWriteFailed);
    case FileWrite::NotReplaced:
      return Failed(errorText, kMsgCannotReplace);
  }
  return PatchOutcome::Patched;
}

}  // namespace

PatchOutcome PatchArena(const ArenaFileOps& files, const std::wstring& sourcePath, const char* sourceName,
                        const std::wstring& targetPath, const char* newName, bool allowDuplicate,
                        std::string& errorText) {
  try {
    return Patch(files, sourcePath, sourceName, targetPath, newName, allowDuplicate, errorText);
  } catch (const std::bad_alloc&) {
    return Failed(errorText, kMsgNoMemory);
  }
}

bool PatchArenaFileWith(const ArenaFileOps& files, const std::wstring& sourcePath, const char* sourceName,
                        const std::wstring& targetPath, const char* newName, bool allowDuplicate,
                        std::string& errorText) {
  return PatchArena(files, sourcePath, sourceName, targetPath, newName, allowDuplicate, errorText) ==
         PatchOutcome::Patched;
}

MeatRushResult PrepareMeatRushWith(const ArenaFileOps& files, const std::wstring& installFolder) {
  MeatRushResult result;
  const std::wstring source = installFolder + L"\\" + ArenaPath(kSourceArena);
  auto fail = [&result](const ArenaRow& row, const std::string& message) {
    ++result.failed;
    if (result.message.empty()) result.message = std::string(row.folder) + ": " + message;
  };
  for (const ArenaRow& row : ArenaTable) {
    const std::wstring path = installFolder + L"\\" + ArenaPath(row);
    if (!files.exists(path)) {
      fail(row, kMsgArenaMissing);
      continue;
    }
    std::string errorText;
    switch (PatchArena(files, source, kSourceObject, path, kNewObject, false, errorText)) {
      case PatchOutcome::Patched:
        ++result.patched;
        break;
      case PatchOutcome::AlreadyPresent:
        ++result.alreadyPresent;
        break;
      case PatchOutcome::Failed:
        fail(row, errorText);
        break;
    }
  }
  return result;
}

}  // namespace tf::xmf
