#!/usr/bin/env bash
# readonly_folders.sh setup|cleanup FOLDER: install folders that the file
# system refuses to write into, for the Android step's tests (run as root, a
# folder's mode does not stop writes; the immutable attribute does):
#   install-locked/   holds default.xbe, no file or folder can be added
#   android-locked/   holds default.xbe and a locked, empty Android/
#   keys-locked/      an empty key folder, locked
# Where the attribute cannot be set, FOLDER/unsupported says so.
set -u
action=$1 folder=$2
unlock() { [ -d "$folder" ] && chattr -R -i "$folder" 2>/dev/null; rm -rf "$folder"; }
case "$action" in
  cleanup) unlock; exit 0 ;;
  setup)
    unlock
    mkdir -p "$folder/install-locked" "$folder/android-locked/Android" "$folder/keys-locked" || exit 1
    echo game > "$folder/install-locked/default.xbe"
    echo game > "$folder/android-locked/default.xbe"
    if chattr +i "$folder/install-locked" "$folder/android-locked/Android" "$folder/keys-locked" 2>/dev/null; then
      echo "locked $folder/install-locked, $folder/android-locked/Android and $folder/keys-locked"
    else
      touch "$folder/unsupported"
      echo "this file system cannot lock a folder: the read-only cases are skipped"
    fi ;;
  *) echo "usage: readonly_folders.sh setup|cleanup FOLDER" >&2; exit 2 ;;
esac
