#!/bin/sh
# Regenerates zellogging.ico from zellogging.svg: one 256 x 256 image with 32 bits
# per pixel (an uncompressed entry, so the resource bundle can compress it). Also renders the
# white icons as PNG images at their own size and twice it (name@2x.png), for a Qt without its
# SVG image plugin (the Windows build).
# Needs rsvg-convert (librsvg2-bin) and ImageMagick's convert.
set -eu
cd "$(dirname "$0")"
png=$(mktemp --suffix=.png)
trap 'rm -f "$png"' EXIT
rsvg-convert --width 256 --height 256 --output "$png" zellogging.svg
convert "$png" -compress None zellogging.ico
for svg in icons/white/*.svg; do
    rsvg-convert --zoom 1 --output "${svg%.svg}.png" "$svg"
    rsvg-convert --zoom 2 --output "${svg%.svg}@2x.png" "$svg"
done
