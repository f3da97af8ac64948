#!/usr/bin/env bash
# Install everything needed to build and test ZARVO on Debian 12 (bookworm):
# native tools (cmake, g++, GoogleTest, clang tooling, Little CMS as the
# colour tests' reference), the mingw-w64 i686 cross compiler, 32-bit Wine,
# and for machines whose kernel runs no 32-bit x86 code the x86_64 cross
# compiler and 64-bit Wine (scripts/test.sh uses them only there),
# Xvfb + X tools for end-to-end tests, Japanese fonts/locale, NSIS, 7-Zip
# (the build reads the setup program back) and Python 3 with PIL. The
# wallpaper packages of the bundled pictures are installed when they are
# made (scripts/make-demo-pictures.sh).
#
# Run as root.  Idempotent: when every package is installed already and the
# ja_JP.UTF-8 locale exists, it returns within a fraction of a second without
# touching apt.
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps.sh: must run as root" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive

# name[:arch] entries; all installed with --no-install-recommends.
PACKAGES=(
  cmake ninja-build g++ make pkg-config git
  libgtest-dev
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  mingw-w64-tools
  wine wine32:i386 libwine:i386 wine64 fonts-wine
  xvfb xauth xdotool x11-utils libx11-6 libxfixes3
  # The tests' stand-in libXinerama.so.1, built for i386 and x86_64 by gcc
  # alone (no 32-bit C library needed: scripts/wine-env.sh).
  gcc binutils
  imagemagick libjxr-tools
  fonts-ipafont-gothic locales
  nsis zip unzip 7zip
  clang libclang-rt-14-dev clang-tidy clang-format
  python3 python3-pil
  liblcms2-dev
  procps psmisc
)

missing=()
for p in "${PACKAGES[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Abbrev}' "$p" 2>/dev/null || true)
  case "$status" in
    ii*) ;;
    *) missing+=("$p") ;;
  esac
done

if [ "${#missing[@]}" -gt 0 ]; then
  echo "install-deps.sh: installing: ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${PACKAGES[@]}"
else
  echo "install-deps.sh: all packages already installed"
fi

# Japanese UTF-8 locale (the end-to-end tests run Wine with LANG=ja_JP.UTF-8).
if ! locale -a 2>/dev/null | grep -qix 'ja_JP\.utf-\?8'; then
  echo "install-deps.sh: generating ja_JP.UTF-8 locale"
  localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi

# Sanity checks: the cross compiler and the Wine loaders are installed.
command -v i686-w64-mingw32-g++-posix >/dev/null ||
  command -v i686-w64-mingw32-g++-win32 >/dev/null || {
    echo "install-deps.sh: i686 mingw-w64 g++ missing" >&2; exit 1; }
if [ ! -x /usr/lib/wine/wine ] && [ ! -x /usr/lib/i386-linux-gnu/wine/wine ]; then
  echo "install-deps.sh: 32-bit wine loader missing (wine32:i386)" >&2
  exit 1
fi
if [ ! -x /usr/lib/wine/wine64 ]; then
  echo "install-deps.sh: 64-bit wine loader missing (wine64)" >&2
  exit 1
fi
echo "install-deps.sh: done"
