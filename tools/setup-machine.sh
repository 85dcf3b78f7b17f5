#!/usr/bin/env bash
# Prepares a Debian 12 machine for the build, the tests and the demo: installs
# the missing packages (as root) and, where the kernel cannot start 32-bit
# Linux programs itself, lets qemu start them (Wine's 32-bit loader is one).
#   setup-machine.sh          everything (the x86 tier needs Wine's 32-bit half)
#   setup-machine.sh --fast   only what the native and fast tiers need
set -euo pipefail

source "$(dirname "$0")/lib.sh"
fast=0
[ "${1:-}" = --fast ] && fast=1

mapfile -t missing < <(tf_missing_packages "$@")

# The amd64 twins of the i386 packages a request pulls in: "pkg:amd64/bookworm"
# for each installed Multi-Arch "same" package, so that both can take the
# release's own version (pairs of such packages must have equal versions).
release_twins() {
  local closure same
  closure=$(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks --no-replaces \
              --no-enhances "$@" 2>/dev/null | sed -n 's/^\([a-z0-9][^ ]*\):i386$/\1/p' | sort -u)
  same=$(dpkg-query -W -f='${Package} ${Multi-Arch} ${db:Status-Abbrev}\n' 2>/dev/null |
           awk '$2 == "same" && $3 ~ /^ii/ {print $1}' | sort -u)
  comm -12 <(echo "$closure") <(echo "$same") | sed 's|$|:amd64/bookworm|'
}

install_missing() {
  export DEBIAN_FRONTEND=noninteractive
  local apt=(apt-get install -y -q --no-install-recommends)
  "${apt[@]}" "$@" >/tmp/tf-setup-apt.log 2>&1 && return 0
  # A mirror caught mid-sync can serve an old i386 index beside newer amd64
  # ones: the i386 half of a pair then cannot match its amd64 twin. The
  # release's own versions always match.
  if printf '%s\n' "$@" | grep -q ':i386$'; then
    local twins
    mapfile -t twins < <(release_twins "$@")
    echo "setup-machine: the normal install failed (see /tmp/tf-setup-apt.log); installing the release's own" \
         "versions (-t bookworm) for the i386 packages and ${#twins[@]} amd64 twins"
    "${apt[@]}" --allow-downgrades -t bookworm "$@" "${twins[@]}" >/tmp/tf-setup-apt.log 2>&1 && return 0
  fi
  return 1
}

if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" != 0 ]; then
    echo "setup-machine: missing packages: ${missing[*]} (run as root to install them)" >&2
    exit 1
  fi
  echo "setup-machine: installing ${missing[*]}"
  if printf '%s\n' "${missing[@]}" | grep -q ':i386$'; then
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  fi
  for attempt in 1 2 3; do
    # An index that fails to download leaves apt with the ones it has: only
    # the install's own failure counts.
    apt-get update -q >/dev/null 2>&1 || echo "setup-machine: apt-get update reported errors (attempt $attempt)"
    install_missing "${missing[@]}" && break
    if [ "$attempt" = 3 ]; then
      tail -20 /tmp/tf-setup-apt.log >&2
      echo "setup-machine: could not install the packages" >&2
      exit 1
    fi
    echo "setup-machine: apt-get install failed (attempt $attempt); trying again in 30 s"
    sleep 30
  done
fi

[ "$fast" = 1 ] && exit 0

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
  echo "setup-machine: this kernel starts no 32-bit programs; qemu-i386 runs them (the x86 tier is slow here)"
fi
