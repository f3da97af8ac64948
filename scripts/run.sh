#!/usr/bin/env bash
# Runs ZARVO as a screen saver under Wine, with the fifty bundled pictures
# (photographs from Debian's wallpaper packages) beside it.
#
# On a machine with an X display ($DISPLAY answers) the saver shows there:
# press a key, click or move the mouse to end it. Without one it runs in a
# private Xvfb display, takes a screenshot of every picture change into
# build/run/screenshots/, then ends it with a key press.
#   ZARVO_RUN_SECONDS  how long a headless run lasts (default 65)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/install-deps.sh
cmake --preset win32
cmake --build --preset win32 -j "$(nproc)" --target zarvo

run_dir=$root/build/run
shots=$run_dir/screenshots
rm -rf "$run_dir"
mkdir -p "$shots"
cp build/win32/zarvo.scr "$run_dir/"
scripts/make-demo-pictures.sh "$run_dir"

headless=1
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  headless=
  export ZARVO_USE_DISPLAY=1 ZARVO_WINE_MANAGED=Y ZARVO_WINE_DECORATED=Y
fi
export ZARVO_WINE_TEMPLATE=$root/build/wine-template
# shellcheck source=scripts/wine-env.sh
source scripts/wine-env.sh

wine "$run_dir/zarvo.scr" /s &
saver=$!
if [ -z "$headless" ]; then
  echo "run.sh: the saver is running on $DISPLAY; press a key to end it."
  wait "$saver" || true
  exit 0
fi

seconds=${ZARVO_RUN_SECONDS:-65}
start=$SECONDS
shot=0
sleep 3
while [ $((SECONDS - start)) -lt "$seconds" ]; do
  shot=$((shot + 1))
  import -display "$DISPLAY" -window root "$shots/$(printf 'picture-%02d' "$shot").png"
  sleep 20
done
xdotool key space
wait "$saver" || true
import -display "$DISPLAY" -window root "$shots/after-key.png"
echo "run.sh: screenshots in $shots"
ls "$shots"
