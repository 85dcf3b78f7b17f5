#!/usr/bin/env bash
# Draws the Tarnfell icon (a tarn below a fell under a night sky) at every size
# (nine images, 16 to 256 pixels) and packs them into tf_setup.ico. Run by
# hand when the design changes.
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
convert -size 256x256 xc:none \
  -fill '#1d3557' -draw 'roundrectangle 8,8 247,247 44,44' \
  -fill '#f1c453' -draw 'circle 186,70 186,50' \
  -fill '#6b8f71' -draw 'polygon 20,196 100,74 150,150 176,118 236,196' \
  -fill '#e8eef2' -draw 'polygon 100,74 82,102 96,96 108,106 118,96' \
  -fill '#4ea8de' -draw 'ellipse 128,212 100,22 0,360' \
  -fill '#a9def9' -draw 'ellipse 110,208 40,5 0,360' \
  "$tmp/icon-256.png"
for s in 16 20 24 32 40 48 64 128; do convert "$tmp/icon-256.png" -resize ${s}x${s} "$tmp/icon-$s.png"; done
convert "$tmp"/icon-16.png "$tmp"/icon-20.png "$tmp"/icon-24.png "$tmp"/icon-32.png "$tmp"/icon-40.png \
  "$tmp"/icon-48.png "$tmp"/icon-64.png "$tmp"/icon-128.png "$tmp"/icon-256.png -depth 8 tf_setup.ico
rm -rf "$tmp"
