#!/usr/bin/env bash
# make_link_tree.sh DIR: the tree with folder links that FolderSizeKiB's test
# walks through Wine's drive Z: (Wine cannot make such links itself).
set -eu
dir=$1
rm -rf "$dir"
mkdir -p "$dir/game/sub" "$dir/elsewhere"
head -c 3072 /dev/zero >"$dir/game/data.bin"
head -c 1024 /dev/zero >"$dir/game/sub/more.bin"
head -c 1048576 /dev/zero >"$dir/elsewhere/big.bin"
ln -s .. "$dir/game/sub/up"
ln -s "$(cd "$dir/game" && pwd)" "$dir/game/self"
ln -s ../elsewhere "$dir/game/outside"
# One loop only, for the walk that follows links: loop\in\back leads to loop.
mkdir -p "$dir/loop/in"
head -c 1024 /dev/zero >"$dir/loop/a.bin"
head -c 2048 /dev/zero >"$dir/loop/in/b.bin"
ln -s .. "$dir/loop/in/back"
ln -s ../elsewhere "$dir/loop/out"
