#!/usr/bin/env bash
# Draws the application icon (a serial-attached chip with a flash on a
# rounded tile) and writes it as window/zelvo-flash-update.ico with the
# sizes Windows asks for: 16, 32, 48 and 256 pixels. Needs ImageMagick.
# Each size is drawn at four times its size and scaled down; below 32
# pixels the chip's pins are left out and the flash is drawn larger, so the
# small icon stays readable.
#   tools/icon/make-icon.sh [OUTPUT.ico]
set -euo pipefail
cd "$(dirname "$0")/../.."
out=${1:-window/zelvo-flash-update.ico}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The design is on a 256-unit grid; S scales a list of "x,y" points.
S() {
    local k=$1; shift
    local p out=()
    for p in "$@"; do
        out+=("$(( ${p%,*} * k )),$(( ${p#*,} * k ))")
    done
    echo "${out[*]}"
}

tile='#0E6A8C' edge='#0A4A62' chip='#F4F7F9' flash='#F5A623' flash_edge='#B86E00'

draw() {  # draw SIZE FILE
    local size=$1 file=$2 k=$(( $1 * 4 / 256 )) big
    [ "$k" -ge 1 ] || k=1
    local c=$(( 256 * k ))
    if [ "$size" -ge 32 ]; then
        big=0
        # pins: four on each side of the chip
        local pins=() y
        for y in 88 112 136 160; do
            pins+=(-draw "rectangle $(S "$k" 52,$y) $(S "$k" 76,$((y + 10)))")
            pins+=(-draw "rectangle $(S "$k" 180,$y) $(S "$k" 204,$((y + 10)))")
        done
        convert -size "${c}x${c}" xc:none \
            -fill "$tile" -stroke "$edge" -strokewidth $((6 * k)) \
            -draw "roundrectangle $(S "$k" 12,12) $(S "$k" 244,244) $((44 * k)),$((44 * k))" \
            -stroke none -fill "$chip" "${pins[@]}" \
            -draw "roundrectangle $(S "$k" 72,72) $(S "$k" 184,184) $((14 * k)),$((14 * k))" \
            -fill "$flash" -stroke "$flash_edge" -strokewidth $((3 * k)) \
            -draw "polygon $(S "$k" 142,82 100,136 126,136 112,176 158,118 132,118 150,82)" \
            -resize "${size}x${size}" "$file"
    else
        convert -size "${c}x${c}" xc:none \
            -fill "$tile" -stroke "$edge" -strokewidth $((10 * k)) \
            -draw "roundrectangle $(S "$k" 8,8) $(S "$k" 248,248) $((48 * k)),$((48 * k))" \
            -fill "$flash" -stroke "$chip" -strokewidth $((12 * k)) \
            -draw "polygon $(S "$k" 156,30 62,148 118,148 92,228 196,104 140,104 176,30)" \
            -resize "${size}x${size}" "$file"
    fi
}

for size in 16 32 48 256; do
    draw "$size" "$work/$size.png"
done
convert "$work/16.png" "$work/32.png" "$work/48.png" "$work/256.png" -depth 8 "$out"
identify "$out"
