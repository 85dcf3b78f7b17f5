#!/usr/bin/env bash
# Prepares a Debian 12 machine for the build, the tests and the demo: installs
# the missing packages (as root) and, where the kernel cannot start 32-bit
# Linux programs itself, lets qemu start them, since Wine's 32-bit loader is one.
# wine64 brings the native 64-bit wineserver, which Wine prefers over the 32-bit one.
set -euo pipefail

packages=(cmake ninja-build g++ clang libclang-rt-14-dev googletest git ca-certificates
          g++-mingw-w64-i686-posix binutils-mingw-w64-i686 wine wine32:i386 wine64
          xvfb xauth x11-utils imagemagick qemu-user-static python3 aapt)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" != 0 ]; then
    echo "setup-machine: missing packages: ${missing[*]} (run as root to install them)" >&2
    exit 1
  fi
  echo "setup-machine: installing ${missing[*]}"
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  export DEBIAN_FRONTEND=noninteractive
  # Mirrors are sometimes caught mid-sync (an index of the wrong size). apt
  # then goes on with the indexes it has, which is enough unless a package is
  # missing from them: only the install's own failure counts, and is retried.
  for attempt in 1 2 3; do
    apt-get update -q >/dev/null 2>&1 || echo "setup-machine: apt-get update reported errors (attempt $attempt)"
    if apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null; then
      break
    fi
    [ "$attempt" = 3 ] && { echo "setup-machine: could not install the packages" >&2; exit 1; }
    echo "setup-machine: apt-get install failed (attempt $attempt); trying again in 30 s"
    sleep 30
  done
fi

# 32-bit Linux programs: some kernels (sandboxes) refuse them; qemu-i386 then runs them.
if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  if [ "$(id -u)" != 0 ]; then
    echo "setup-machine: this kernel cannot start 32-bit programs; run as root once to register qemu-i386" >&2
    exit 1
  fi
  bm=/proc/sys/fs/binfmt_misc
  [ -e $bm/register ] || mount -t binfmt_misc binfmt_misc $bm
  if [ ! -e $bm/qemu-i386 ]; then
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' > $bm/register
  else
    echo 1 > $bm/qemu-i386
  fi
  /lib/ld-linux.so.2 --version >/dev/null 2>&1 || { echo "setup-machine: 32-bit programs still cannot start" >&2; exit 1; }
  echo "setup-machine: 32-bit programs run through qemu-i386 (slow start-up under Wine)"
fi
