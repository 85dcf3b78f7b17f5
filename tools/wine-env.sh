# Sourced: the one place that says how this project runs Wine.
#
# Two prefixes, one per test tier, both 64-bit:
#   fast  build/wineprefix64  64-bit test programs under Wine's native 64-bit
#         loader; made without Wine's 32-bit half, so no emulated program runs.
#   x86   build/wineprefix32  the 32-bit deliverables (dist/), started by 64-bit
#         test drivers; 32-bit programs run in it as on 64-bit Windows (their
#         registry writes go to the 32-bit view).
# tf_wine_env TIER exports the environment of a tier; tf_wine_prefix_ensure
# makes its prefix when it is missing or was left half-made.
TF_ROOT=${TF_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}

# Debian installs the 64-bit loader beside the 32-bit one, off PATH.
tf_wine64_loader() {
  local c
  for c in "${TF_WINE64:-}" /usr/lib/wine/wine64 "$(command -v wine64 2>/dev/null)"; do
    [ -n "$c" ] && [ -x "$c" ] && { echo "$c"; return 0; }
  done
  return 1
}

tf_wine_env() {
  case "$1" in
    fast) export WINEPREFIX=${TF_WINEPREFIX_FAST:-$TF_ROOT/build/wineprefix64} ;;
    x86) export WINEPREFIX=${TF_WINEPREFIX_X86:-$TF_ROOT/build/wineprefix32} ;;
    *) echo "wine: unknown tier '$1' (fast or x86)" >&2; return 2 ;;
  esac
  TF_WINE_TIER=$1
  export WINEARCH=win64
  # Unix file names in UTF-8 whatever the caller's locale: under a bare "C"
  # locale Wine cannot create a name outside ASCII.
  export LC_ALL=C.UTF-8
  export WINEDEBUG=${TF_WINEDEBUG:--all}
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  TF_WINE=$(tf_wine64_loader) || { echo "wine: no 64-bit Wine loader (install wine64)" >&2; return 1; }
  TF_WINESERVER="$(dirname "$TF_WINE")/wineserver"
  [ -x "$TF_WINESERVER" ] || TF_WINESERVER=wineserver
  export TF_WINE TF_WINESERVER TF_WINE_TIER
}

# A prefix counts as made only once this marker exists: it is written after
# wineboot returned 0, so a prefix left by an interrupted run is made again.
tf_wine_ready_marker() { echo "$WINEPREFIX/.tf-prefix-ready-2"; }

# Runs "$@" with Wine's 32-bit loader hidden (tools/wine-hide32.c, preloaded,
# makes starting it fail), so that a 64-bit prefix is made without its 32-bit
# half. Without a C compiler it runs as it is, only slower where 32-bit code is
# emulated.
tf_without_wine32() {
  local shim="$TF_ROOT/build/wine-hide32.so" source="$TF_ROOT/tools/wine-hide32.c"
  if [ ! -f "$shim" ] || [ "$source" -nt "$shim" ]; then
    mkdir -p "$TF_ROOT/build"
    cc -shared -fPIC -O2 -o "$shim" "$source" -ldl 2>/dev/null || rm -f "$shim"
  fi
  if [ -f "$shim" ]; then
    LD_PRELOAD="$shim${LD_PRELOAD:+:$LD_PRELOAD}" "$@"
  else
    echo "wine: cannot hide the 32-bit loader (no C compiler); the 64-bit prefix takes longer to make" >&2
    "$@"
  fi
}

tf_wine_prefix_make() {
  echo "wine: making the $TF_WINE_TIER prefix $WINEPREFIX"
  "$TF_WINESERVER" -k >/dev/null 2>&1 || true  # a server left on a half-made prefix
  rm -rf "$WINEPREFIX"
  mkdir -p "$(dirname "$WINEPREFIX")"
  local rc=0 start=$SECONDS
  if [ "$TF_WINE_TIER" = fast ]; then
    # Wait for the prefix's server (started with the shim) to go as well.
    tf_without_wine32 sh -c '"$0" wineboot -i && "$1" -w' "$TF_WINE" "$TF_WINESERVER" </dev/null >"$WINEPREFIX.make.log" 2>&1 || rc=$?
  else
    "$TF_WINE" wineboot -i </dev/null >"$WINEPREFIX.make.log" 2>&1 || rc=$?
    # The session starts its own persistent server: wait for this one to go.
    "$TF_WINESERVER" -w || true
  fi
  if [ "$rc" != 0 ] || [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine: making $WINEPREFIX failed (exit $rc); see $WINEPREFIX.make.log" >&2
    return 1
  fi
  # Wine links the user's desktop and document folders to the Unix home
  # folder: they become the prefix's own, so that shortcuts and files that
  # tests make never land outside it or in another run's way.
  local link
  for link in "$WINEPREFIX"/drive_c/users/*/*; do
    if [ -L "$link" ]; then rm -f "$link" && mkdir -p "$link"; fi
  done
  touch "$(tf_wine_ready_marker)"
  echo "wine: prefix ready in $((SECONDS - start)) s"
}

# Wine's own fonts (Marlett, which draws the title-bar buttons, Tahoma, ...)
# into the prefix's C:\windows\Fonts. Wine 8 reads them from its data folder,
# which it names relative to its loader: Debian's loader in /usr/lib/wine gives
# "/usr/lib/wine/../../share/wine", and an NT path holding ".." is refused
# (STATUS_OBJECT_NAME_INVALID), so Wine finds none of them there.
tf_wine_fonts_install() {
  local bin dir fonts=""
  bin=$(dirname "$TF_WINE")
  for dir in "$bin/../share/wine/fonts" "$bin/../../share/wine/fonts" /usr/share/wine/fonts; do
    if [ -f "$dir/marlett.ttf" ]; then fonts=$dir; break; fi
  done
  if [ -z "$fonts" ]; then
    echo "wine: Wine's own fonts were not found (Debian: fonts-wine); title bars lack their button glyphs" >&2
    return 0
  fi
  local to="$WINEPREFIX/drive_c/windows/Fonts" font
  mkdir -p "$to"
  for font in "$fonts"/*; do
    [ -e "$to/${font##*/}" ] || cp "$font" "$to/" || return 1
  done
}

# Makes the current tier's prefix unless it is ready; one maker at a time.
tf_wine_prefix_ensure() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    { [ -f "$(tf_wine_ready_marker)" ] || tf_wine_prefix_make; } && tf_wine_fonts_install
  ) 9>"$WINEPREFIX.lock"
}
