#!/usr/bin/env bash
# check_sums.sh DIST: DIST/SHA256SUMS lists every other file of DIST once, and
# `sha256sum -c` accepts it there.
set -uo pipefail
[ $# = 1 ] || { echo "usage: check_sums.sh DIST" >&2; exit 2; }
cd "$1" || exit 1
[ -f SHA256SUMS ] || { echo "check_sums: $1/SHA256SUMS is missing (build the windows preset first)"; exit 1; }
status=0
sha256sum --check --strict SHA256SUMS || status=1
listed=$(sed 's/^[0-9a-f]\{64\}  //' SHA256SUMS | LC_ALL=C sort)
present=$(find . -mindepth 1 -maxdepth 1 ! -name SHA256SUMS -printf '%P\n' | LC_ALL=C sort)
if [ "$listed" != "$present" ]; then
  echo "check_sums: SHA256SUMS lists: $(echo $listed); $1 holds: $(echo $present)"
  status=1
fi
exit $status
