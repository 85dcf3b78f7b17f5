#!/usr/bin/env bash
# Builds the deliverables (the windows preset) a second time, from a copy of
# this tree in another folder, with another time zone, umask and locale, and
# compares them byte for byte with this tree's build: every file in dist/ and
# every file that tf_setup carries as payload. Run after
# `cmake --build --preset windows`; exits 1 naming each file that differs.
#   check-reproducible.sh [FOLDER]   FOLDER: where the copy goes (default build/rebuild)
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/lib.sh
root=$PWD
work=${1:-$root/build/rebuild}
case $work in /*) ;; *) work=$root/$work ;; esac
case $work/ in "$root"/build/*) ;; "$root"/*)
  echo "check-reproducible: $work is inside the source tree; use a folder under build/ or outside it" >&2; exit 2 ;;
esac

# The files to compare, relative to a tree's root: dist/ and the RCDATA files
# of the payload scripts that the windows build configured.
deliverables() {
  local tree=$1 f
  [ -d "$tree/dist" ] || { echo "check-reproducible: $tree/dist is missing" >&2; return 1; }
  (cd "$tree" && find dist -type f | LC_ALL=C sort)
  for f in payload.rc android_template.rc; do
    [ -f "$tree/build/windows/$f" ] || { echo "check-reproducible: $tree/build/windows/$f is missing" >&2; return 1; }
    sed -n 's/^[A-Z0-9_]* RCDATA "\([^"]*\)".*/\1/p' "$tree/build/windows/$f" | sed "s|^$tree/||"
  done | LC_ALL=C sort -u
}

# A listed name in a tree (names outside the tree stay absolute).
in_tree() { case $2 in /*) echo "$2" ;; *) echo "$1/$2" ;; esac; }

# "<sha256>  <name>" for each listed file, "missing" for an absent one.
hashes() {
  local tree=$1 name file
  while IFS= read -r name; do
    file=$(in_tree "$tree" "$name")
    if [ -f "$file" ]; then
      printf '%s  %s\n' "$(sha256sum <"$file" | cut -d' ' -f1)" "$name"
    else
      printf 'missing  %s\n' "$name"
    fi
  done
}

mkdir -p "$work"
reference=$work/reference.sha256
# This tree's files now, before anything else can touch them.
deliverables "$root" | hashes "$root" >"$reference"

copy=$work/tarnfell
tf_copy_tree "$copy"
# The same outside payload as this tree's build, if it took one.
payload_dir=$(tf_payload_dir)
start=$SECONDS
(
  cd "$copy"
  umask 077
  export TZ=NPT-5:45 LC_ALL=C.UTF-8
  tf_build windows "-DTF_PAYLOAD_DIR=$payload_dir"
) >"$work/build.log" 2>&1 || {
  tail -30 "$work/build.log" >&2
  echo "check-reproducible: the second build in $copy failed (log: $work/build.log)" >&2
  exit 1
}
echo "check-reproducible: second build in $copy took $((SECONDS - start)) s"

declare -A before
while read -r sum name; do before[$name]=$sum; done <"$reference"
names=$({ cut -d' ' -f3- "$reference"; deliverables "$copy"; } | LC_ALL=C sort -u)
differing=()
while IFS= read -r name; do
  read -r sum _ < <(echo "$name" | hashes "$copy")
  [ "${before[$name]:-missing}" = "$sum" ] && continue
  differing+=("$name")
  if [ "$sum" = missing ] || [ "${before[$name]:-missing}" = missing ]; then
    echo "check-reproducible: DIFFERS: $name (in one build only)"
  else
    a=$(in_tree "$root" "$name")
    b=$(in_tree "$copy" "$name")
    echo "check-reproducible: DIFFERS: $name ($(cmp -l "$a" "$b" | wc -l) bytes, the first at" \
         "$(cmp -l "$a" "$b" | head -4 | awk '{printf "%s0x%x", sep, $1 - 1; sep = ", "}'))"
  fi
done <<<"$names"
count=$(grep -c . <<<"$names")
if [ ${#differing[@]} -gt 0 ]; then
  echo "check-reproducible: FAILED: ${#differing[@]} of $count files differ between $root and $copy: ${differing[*]}"
  exit 1
fi
echo "check-reproducible: all $count files are the same in both builds"
