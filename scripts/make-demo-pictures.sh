#!/usr/bin/env bash
# Makes 50 sample pictures ZARVO001.DAT .. ZARVO050.DAT for the saver:
#
#   scripts/make-demo-pictures.sh FOLDER
#
# Landscapes, portraits, squares, small and very large pictures in every
# format the saver reads: BMP, RLE BMP, JPEG, progressive JPEG, CMYK JPEG,
# PNG (palette, alpha, 16-bit), animated GIF, TIFF and ICO; one JPEG stored
# on its side with EXIF orientation 6 (it must show upright) and pictures
# with transparent parts (they must show on black). Each is a gradient with
# a frame, a circle and its number in large type, so that what the saver
# shows can be told apart at a glance.
#
# Needs ImageMagick (convert) and python3. Runs the conversions in parallel;
# about 10 s on two idle cores.
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 FOLDER" >&2
  exit 2
fi
out=$1
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# ImageMagick's own convert (not a wrapper earlier on PATH).
convert=convert
[ -x /usr/bin/convert ] && convert=/usr/bin/convert
font=$(fc-match -f '%{file}' 'DejaVu Sans:bold' 2>/dev/null || true)
font_args=()
[ -n "$font" ] && [ -f "$font" ] && font_args=(-font "$font")

fast_png=(-define png:compression-level=3)

colours=(
  "#ff6a00:#2a0a5e" "#00c6ff:#0072ff" "#f7971e:#ffd200" "#56ab2f:#a8e063"
  "#e52d27:#b31217" "#8e2de2:#4a00e0" "#11998e:#38ef7d" "#fc466b:#3f5efb"
  "#ee9ca7:#ffdde1" "#2193b0:#6dd5ed")

# draw N WIDTH HEIGHT FILE: the picture for number N, uncompressed (MIFF).
# Pictures over 4 megapixels are drawn smaller and scaled up: drawing is
# what takes the time.
draw() {
  local n=$1 w=$2 h=$3 file=$4
  local f=1
  while [ $((w * h / (f * f))) -gt 4000000 ]; do f=$((f + 1)); done
  local dw=$((w / f)) dh=$((h / f))
  local pair=${colours[$((n % ${#colours[@]}))]}
  local small=$((dw < dh ? dw : dh))
  local stroke=$((small / 60 + 1))
  local r=$((small * 3 / 10))
  "$convert" -size "${dw}x${dh}" "gradient:${pair%%:*}-${pair##*:}" \
    -fill none -stroke white -strokewidth "$((stroke * 2))" \
    -draw "rectangle 0,0 $((dw - 1)),$((dh - 1))" \
    -strokewidth "$stroke" -draw "circle $((dw / 2)),$((dh / 2)) $((dw / 2 + r)),$((dh / 2))" \
    "${font_args[@]}" -stroke black -strokewidth "$((stroke / 2 + 1))" -fill white \
    -pointsize "$((small / 3 + 8))" -gravity center -annotate 0 "$n" \
    -scale "${w}x${h}!" -depth 8 "MIFF:$file"
}

# make N WIDTH HEIGHT KIND: ZARVOnnn.DAT of that kind.
make() {
  local n=$1 w=$2 h=$3 kind=$4
  local name target src
  name=$(printf 'ZARVO%03d.DAT' "$n")
  target="$out/$name"
  src="$work/$n.miff"
  case "$kind" in
    exif6)  # drawn upright, stored turned a quarter anticlockwise
      draw "$n" "$w" "$h" "$src"
      "$convert" "$src" -rotate -90 -quality 90 "JPEG:$work/$n.jpg"
      python3 - "$work/$n.jpg" "$target" <<'EOF'
import struct, sys
data = open(sys.argv[1], "rb").read()
tiff = b"II*\0" + struct.pack("<IHHHIHHI", 8, 1, 0x0112, 3, 1, 6, 0, 0)
body = b"Exif\0\0" + tiff
open(sys.argv[2], "wb").write(data[:2] + b"\xff\xe1" + struct.pack(">H", len(body) + 2) + body
                              + data[2:])
EOF
      return ;;
    gif-anim)
      draw "$n" "$w" "$h" "$src"
      "$convert" "$src" -negate "$work/$n-b.miff"
      "$convert" -delay 50 "$src" "$work/$n-b.miff" -loop 0 -colors 128 "GIF:$target"
      return ;;
    png-alpha)  # a transparent ring around the picture, and a hole in it
      draw "$n" "$w" "$h" "$src"
      local m=$(( (w < h ? w : h) / 8 ))
      "$convert" "$src" \
        \( -size "${w}x${h}" xc:black -fill white \
           -draw "roundrectangle $m,$m $((w - m)),$((h - m)) $m,$m" \
           -fill black -draw "circle $((w / 4)),$((h / 4)) $((w / 4 + m)),$((h / 4))" \) \
        -alpha off -compose CopyOpacity -composite "${fast_png[@]}" "PNG32:$target"
      return ;;
    ico)
      draw "$n" "$w" "$h" "$src"
      "$convert" "$src" -define icon:auto-resize=256,64,32,16 "ICO:$target"
      return ;;
  esac
  draw "$n" "$w" "$h" "$src"
  case "$kind" in
    bmp)        "$convert" "$src" "BMP3:$target" ;;
    rle-bmp)    "$convert" "$src" -colors 200 -compress RLE "BMP3:$target" ;;
    jpeg)       "$convert" "$src" -quality 90 "JPEG:$target" ;;
    prog-jpeg)  "$convert" "$src" -interlace JPEG -quality 88 "JPEG:$target" ;;
    cmyk-jpeg)  "$convert" "$src" -colorspace CMYK -quality 90 "JPEG:$target" ;;
    png)        "$convert" "$src" "${fast_png[@]}" "PNG24:$target" ;;
    png-pal)    "$convert" "$src" -colors 64 "${fast_png[@]}" "PNG8:$target" ;;
    png16)      "$convert" "$src" -depth 16 "${fast_png[@]}" "PNG48:$target" ;;
    gif)        "$convert" "$src" -colors 256 "GIF:$target" ;;
    tiff)       "$convert" "$src" -compress lzw "TIFF:$target" ;;
    tiff-zip)   "$convert" "$src" -compress zip "TIFF:$target" ;;
    *) echo "unknown kind $kind" >&2; return 1 ;;
  esac
}

# number width height kind
list=(
  "1 1920 1080 jpeg"        "2 1080 1920 jpeg"        "3 1000 1000 png"
  "4 640 480 bmp"           "5 800 600 rle-bmp"       "6 1600 800 prog-jpeg"
  "7 1200 900 cmyk-jpeg"    "8 300 1200 png-pal"      "9 900 500 png16"
  "10 480 360 gif-anim"     "11 1024 768 tiff"        "12 256 256 ico"
  "13 3000 4000 exif6"      "14 800 800 png-alpha"    "15 6000 4000 jpeg"
  "16 64 48 png"            "17 120 90 gif"           "18 320 240 bmp"
  "19 4000 3000 prog-jpeg"  "20 600 1200 jpeg"        "21 960 540 png-pal"
  "22 2048 2048 png"        "23 1024 576 rle-bmp"     "24 720 1280 cmyk-jpeg"
  "25 500 500 gif-anim"     "26 1920 1200 tiff-zip"   "27 48 48 ico"
  "28 2560 1440 jpeg"       "29 400 300 png16"        "30 1200 1600 png-alpha"
  "31 6000 1500 jpeg"       "32 1500 6000 prog-jpeg"  "33 160 600 gif"
  "34 1024 1024 bmp"        "35 3840 2160 jpeg"       "36 600 400 tiff"
  "37 1500 1000 png"        "38 450 800 rle-bmp"     "39 2400 1600 cmyk-jpeg"
  "40 128 128 ico"          "41 800 600 gif-anim"     "42 700 700 png-pal"
  "43 3000 2000 png"        "44 360 640 png16"        "45 1440 900 bmp"
  "46 3000 4500 jpeg"       "47 800 450 tiff"         "48 1000 1500 png-alpha"
  "49 3000 2000 prog-jpeg"  "50 200 150 jpeg")

# The large ones first so that the cores stay busy to the end.
jobs=$(nproc 2>/dev/null || echo 2)
failed=0
for entry in $(printf '%s\n' "${list[@]}" | awk '{print $2 * $3, $0}' | sort -rn |
               awk '{print $2 ":" $3 ":" $4 ":" $5}'); do
  IFS=: read -r n w h kind <<<"$entry"
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || failed=1; done
  make "$n" "$w" "$h" "$kind" &
done
while [ "$(jobs -rp | wc -l)" -gt 0 ]; do wait -n || failed=1; done

count=$(find "$out" -maxdepth 1 -name 'ZARVO0[0-5][0-9].DAT' | wc -l)
if [ "$failed" -ne 0 ] || [ "$count" -lt 50 ]; then
  echo "make-demo-pictures: only $count of 50 pictures made" >&2
  exit 1
fi
echo "make-demo-pictures: 50 pictures in $out"
