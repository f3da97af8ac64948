#!/usr/bin/env bash
# Picture benchmarks under Wine on a 1920x1080 Xvfb screen:
#
#   bench/run.sh [REPS]        (from anywhere; REPS defaults to 7)
#   bench/run.sh gap [ROUNDS]  the black gap at a change alone: about 2.5
#                              minutes, 1.7 minutes more a round (ROUNDS
#                              defaults to 1), then on other screens
#                              (gap-screens): some 6 minutes more a round
#   bench/run.sh gap-screens [ROUNDS]
#                              only the black gap on other screens: 3840x2160
#                              on 1366x768, 6000x4000 on 1280x1024, 4001x2999
#                              on 1920x1080, and 6000x4000 with two monitors,
#                              a 1366x768 primary beside a 1920x1080 one,
#                              each beside a change to a 640x480 picture;
#                              four changes a screen and round: some 1.5
#                              minutes a screen (four ticks of 20 s and the
#                              start), 6 minutes a round
#
# Builds bench/ for 32-bit Windows (build/bench), makes the test pictures
# once (build/bench/pictures: a 12 MP and a 24 MP JPEG, the latter also
# tagged with a Display P3 profile, a 12 MP PNG, the
# same PNG and a TIFF with 16 bits a channel, all photograph-like, and a
# small GIF), starts a fresh Wine prefix and display with
# scripts/wine-env.sh, then runs:
#
#   scale    the scaler alone, 24 MP to 1920x1080, one thread;
#   reduce   the whole-factor reduction alone, 24 MP by 3, one thread;
#   matrix   the scaler alone, 24 MP reduced by 3 to 1620x1080, one thread,
#            without and with the matrix of a Display P3 profile;
#   compare  per picture, REPS rounds of a picture change (zarvo.scr's load
#            and render code, in process) beside the floor (WIC alone:
#            decode, WIC's scaler, convert, the same BitBlt), alternating;
#   breakdown per 24-bit or 16-bit-a-channel picture, where a change's
#            time goes: reading, WIC's decode, copying rows out, reduction,
#            scaling, the DIB, the paint;
#   peak     per picture in a new process: memory once it is shown;
#   codec    per PNG and TIFF in a new process: the peak memory of WIC
#            alone giving every row, its own decoded copy;
#   cycle    200 changes in one process: private bytes, GDI and USER
#            objects before and after;
#   saver    the real zarvo.scr (build/win32): launch to first picture, and
#            key to exit at idle, at idle with the task bar's thread hung and
#            during the decode of a 12000x4000 PNG (bench/saver_timing.py).
#
# `gap` runs only the floor of the pictures a change goes to (compare, 3
# rounds) and the black gap a viewer sees at each change, polled from the
# screen, through the real zarvo.scr (bench/change_gap.py); `gap-screens`
# only the latter's part on the other screens, each a new Xvfb screen and
# wineserver (two monitors as tests/e2e/monitors.py makes them).
#
# What each figure means is written at the top of bench/picture_bench.cpp.
set -euo pipefail

mode=all
if [ "${1:-}" = gap ] || [ "${1:-}" = gap-screens ]; then
  mode=$1
  shift
fi
reps=${1:-7}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/bench
pictures=$build/pictures

cmake -S "$root/bench" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" >/dev/null
(cd "$root" && cmake --preset win32 >/dev/null &&
  cmake --build --preset win32 --target zarvo zarvo-probe >/dev/null)

convert=convert
[ -x /usr/bin/convert ] && convert=/usr/bin/convert
if [ ! -f "$pictures/small.gif" ]; then
  mkdir -p "$pictures"
  # A fractal landscape of colour with fine grain, like a photograph.
  "$convert" -seed 7 -size 1500x1000 plasma:fractal -blur 0x1 -resize '6000x4000!' \
    -attenuate 0.3 +noise Gaussian -quality 90 "$pictures/jpeg24.jpg"
  "$convert" "$pictures/jpeg24.jpg" -resize '4000x3000!' -quality 90 "$pictures/jpeg12.jpg"
  "$convert" "$pictures/jpeg24.jpg" -resize '4000x3000!' "$pictures/png12.png"
  "$convert" "$pictures/jpeg24.jpg" -resize '640x480!' -colors 256 "$pictures/small.gif"
fi
if [ ! -f "$pictures/big.png" ]; then
  "$convert" "$pictures/jpeg24.jpg" -resize '12000x4000!' "$pictures/big.png"
  "$convert" "$pictures/jpeg24.jpg" -resize '640x480!' "$pictures/small.png"
fi
if [ ! -f "$pictures/odd.jpg" ]; then
  # Sizes whose fit to the screens of gap-screens is no whole number of pixels.
  "$convert" "$pictures/jpeg24.jpg" -resize '3840x2160!' -quality 90 "$pictures/uhd.jpg"
  "$convert" "$pictures/jpeg24.jpg" -resize '4001x2999!' -quality 90 "$pictures/odd.jpg"
fi
if [ ! -f "$pictures/jpeg24-p3.jpg" ]; then
  # The same pixels tagged Display P3.
  /usr/bin/python3 "$root/bench/embed_profile.py" "$pictures/jpeg24.jpg" "$pictures/jpeg24-p3.jpg"
fi
if [ ! -f "$pictures/tiff16.tif" ]; then
  # Resized at ImageMagick's 16 bits: samples finer than 8 bits.
  "$convert" "$pictures/jpeg24.jpg" -resize '4000x3000!' -depth 16 "PNG48:$pictures/png16.png"
  "$convert" "$pictures/jpeg24.jpg" -resize '4000x3000!' -depth 16 -compress zip \
    "TIFF:$pictures/tiff16.tif"
fi

export ZARVO_SCREEN=1920x1080x24
# shellcheck source=scripts/wine-env.sh
source "$root/scripts/wine-env.sh"

bench=$build/picture_bench.exe
cd "$pictures"
echo "# $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) processors, $(wine --version)," \
  "load average $(cut -d' ' -f1-3 /proc/loadavg)"
if [ "$mode" = gap ]; then
  wine "$bench" compare 3 jpeg24.jpg jpeg12.jpg png12.png png16.png small.gif
  /usr/bin/python3 "$root/bench/change_gap.py" "${1:-1}" "$pictures"
  exit
fi
if [ "$mode" = gap-screens ]; then
  /usr/bin/python3 "$root/bench/change_gap.py" "${1:-1}" "$pictures" screens
  exit
fi
wine "$bench" scale 6000 4000 1920 1080 "$reps"
wine "$bench" reduce 6000 4000 3 "$reps"
wine "$bench" matrix jpeg24-p3.jpg 2000 1333 1620 1080 "$reps"
wine "$bench" compare "$reps" jpeg12.jpg jpeg24.jpg jpeg24-p3.jpg png12.png png16.png tiff16.tif \
  small.gif
wine "$bench" breakdown "$reps" jpeg12.jpg jpeg24.jpg png12.png png16.png tiff16.tif
for picture in jpeg12.jpg jpeg24.jpg png12.png png16.png tiff16.tif small.gif; do
  wine "$bench" peak "$picture"
done
for picture in png12.png png16.png tiff16.tif; do
  wine "$bench" codec "$picture"
done
wine "$bench" cycle 200 jpeg12.jpg jpeg24.jpg png12.png small.gif
/usr/bin/python3 "$root/bench/saver_timing.py" 3 "$pictures"
