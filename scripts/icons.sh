#!/usr/bin/env bash
# Renders the programs' SVG icons into the PNG sizes that are committed next to
# them (data/icons/<size>/). Needs rsvg-convert (Debian librsvg2-bin); run it
# after changing an SVG.
set -euo pipefail
cd "$(dirname "$0")/../data/icons"
for svg in *.svg; do
    for size in 48 64 128 256; do
        mkdir -p "$size"
        rsvg-convert -w "$size" -h "$size" -o "$size/${svg%.svg}.png" "$svg"
    done
done
