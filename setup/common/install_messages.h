#pragma once
// Messages that more than one step of an install gives.
namespace tf {

// A file in the install folder cannot be created (access denied, a read-only
// file of that name, a folder in its place).
inline constexpr char kMsgCannotWriteInstallFolder[] =
    "Could not write to the install folder. Try running the installer as administrator, or choose a different "
    "location.";

// A folder the install writes into is a link, or lies behind one, that leads
// out of the install folder.
inline constexpr char kMsgInstallFolderLink[] =
    "The install folder holds a link to another place. Choose an empty folder or a new one.";

}  // namespace tf
