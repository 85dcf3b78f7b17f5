# Sourced by the scripts in tools/: the pieces they share.
#   tf_win_path PATH           PATH (an existing folder's file) as Windows programs under Wine name it
#   tf_build PRESET [-DVAR=VALUE...] [TARGET...]
#                              configures a preset (quietly) in the current tree and builds it, or the targets
#   tf_copy_tree FOLDER        this tree without build/, dist/ and .git, into FOLDER (made anew)
#   tf_payload_dir             the TF_PAYLOAD_DIR of this tree's windows build (empty: the stand-ins)
#   tf_missing_packages [--fast]
#                              the Debian packages that the builds, the tests and the demo need and that are
#                              not installed, one a line; --fast: those of the native and fast tiers only
TF_ROOT=${TF_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}

# Wine's drive Z: is the Linux root folder.
tf_win_path() {
  local folder
  folder=$(cd "$(dirname "$1")" && pwd -P) || return 1
  echo "Z:$(tr / '\\' <<<"$folder")\\$(basename "$1")"
}

tf_build() {
  local preset=$1 arg defines=() targets=()
  shift
  for arg in "$@"; do
    case $arg in
      -D*) defines+=("$arg") ;;
      *) targets+=(--target "$arg") ;;
    esac
  done
  cmake --preset "$preset" "${defines[@]}" >/dev/null && cmake --build --preset "$preset" "${targets[@]}"
}

tf_copy_tree() {
  rm -rf "$1"
  mkdir -p "$1"
  tar -C "$TF_ROOT" --exclude=./build --exclude=./dist --exclude=./.git -cf - . | tar -C "$1" -xf -
}

tf_payload_dir() {
  sed -n 's/^TF_PAYLOAD_DIR:[A-Z]*=//p' "$TF_ROOT/build/windows/CMakeCache.txt" 2>/dev/null || true
}

tf_packages() {
  echo cmake ninja-build g++ clang libclang-rt-14-dev googletest libgtest-dev git ca-certificates python3 util-linux \
    g++-mingw-w64-i686-posix binutils-mingw-w64-i686 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 \
    wine64 fonts-wine xvfb xauth x11-utils imagemagick liblnk-utils openssl osslsigncode apksigner aapt \
    openjdk-17-jdk-headless
  # The x86 tier: Wine's 32-bit half, and qemu where the kernel cannot start 32-bit programs.
  [ "${1:-}" = --fast ] || echo wine32:i386 qemu-user-static
}

tf_missing_packages() {
  local p
  for p in $(tf_packages "$@"); do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || echo "$p"
  done
}
