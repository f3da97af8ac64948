#!/usr/bin/env bash
# Makes the fifty bundled pictures ZARVO001.DAT .. ZARVO050.DAT from the
# photographs in Debian's wallpaper packages, and with a second folder the
# credits for them (CREDITS.txt and the licence texts under licenses/):
#
#   scripts/make-demo-pictures.sh PICTURES_FOLDER [CREDITS_FOLDER]
#
# Installs the wallpaper packages (apt-get, as root) when they are missing.
# Which photographs, in which order, and how they are made: demo_pictures.py
# beside this script. Needs ImageMagick and Debian's python3 with PIL (scripts/install-deps.sh);
# a few seconds on two cores, plus the packages' download the first time.
set -euo pipefail

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: $0 PICTURES_FOLDER [CREDITS_FOLDER]" >&2
  exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)

mapfile -t packages < <(/usr/bin/python3 -c '
import sys; sys.path.insert(0, sys.argv[1])
import demo_pictures; print("\n".join(demo_pictures.PACKAGES))' "$here")
missing=()
for p in "${packages[@]}"; do
  case "$(dpkg-query -W -f='${db:Status-Abbrev}' "$p" 2>/dev/null || true)" in
    ii*) ;;
    *) missing+=("$p") ;;
  esac
done
if [ "${#missing[@]}" -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "make-demo-pictures: install ${missing[*]} (apt-get, as root) or run this as root" >&2
    exit 1
  fi
  echo "make-demo-pictures: installing ${missing[*]}"
  # Waits for another apt or dpkg to finish; the lists may be old or absent.
  install=(apt-get install -y -q --no-install-recommends -o DPkg::Lock::Timeout=600 "${missing[@]}")
  DEBIAN_FRONTEND=noninteractive "${install[@]}" ||
    { apt-get update -q -o DPkg::Lock::Timeout=600 &&
      DEBIAN_FRONTEND=noninteractive "${install[@]}"; }
fi

exec /usr/bin/python3 "$here/demo_pictures.py" "$@"
