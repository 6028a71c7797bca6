#!/usr/bin/env bash
# Renders the application icon's PNG sizes from tarvik-desk.svg into icons/<size>/.
# The PNGs are committed, so building needs no SVG renderer; run this again after
# changing the SVG (needs rsvg-convert, Debian package librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 22 24 32 48 64 128 256; do
  mkdir -p "icons/$size"
  rsvg-convert -w "$size" -h "$size" tarvik-desk.svg -o "icons/$size/tarvik-desk.png"
done
