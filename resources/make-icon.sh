#!/bin/sh
# Regenerates zellogging.ico from zellogging.svg: one 256 x 256 image with 32 bits
# per pixel (an uncompressed entry, so the resource bundle can compress it).
# Needs rsvg-convert (librsvg2-bin) and ImageMagick's convert.
set -eu
cd "$(dirname "$0")"
png=$(mktemp --suffix=.png)
trap 'rm -f "$png"' EXIT
rsvg-convert --width 256 --height 256 --output "$png" zellogging.svg
convert "$png" -compress None zellogging.ico
