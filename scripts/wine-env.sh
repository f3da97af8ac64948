# shellcheck shell=bash
# Test environment for running ZARVO and the end-to-end tests under Wine.
#
#   source scripts/wine-env.sh        # sets everything up (exit status != 0
#                                     # on failure), exports the variables
#   wine build-win32/zarvo.scr /s
#   zarvo_env_cleanup                 # also runs automatically on shell EXIT
#
# What it does:
#  (a) starts Xvfb on the first free display :91, :92, ... with screen
#      ZARVO_SCREEN (default 1024x768x24) -- unless ZARVO_USE_DISPLAY is set
#      (non-empty) and $DISPLAY answers, then that display is used as is;
#  (b) creates a FRESH 32-bit Wine prefix in a new temp dir (WINEARCH=win32),
#      or, where the kernel runs no 32-bit x86 code (scripts/wine-arch.sh
#      says win64; ZARVO_WINE_ARCH overrides), a 64-bit one (WINEARCH=win64)
#      with `wine` and `wine-stable` at the head of PATH starting 64-bit
#      Wine: Debian's `wine` would pick the 32-bit loader, which cannot
#      start there, so such a prefix runs 64-bit test builds only;
#      with WINEDEBUG=-all, the Mono/Gecko install dialogs and the menu
#      builder disabled, LANG/LC_ALL=ja_JP.UTF-8 (Japanese Windows: ACP 932,
#      LCID 0x0411);
#  (c) sets 96 DPI (ZARVO_DPI overrides): Wine 8 reads the DPI from
#      HKCU\Control Panel\Desktop "LogPixels" (REG_DWORD) and falls back to
#      HKCC\Software\Fonts "LogPixels" (96 in a new prefix).  Checked here:
#      LogPixels=120 makes GetDeviceCaps(LOGPIXELSX) return 120 for the next
#      process started, without restarting wineserver.  Also turns off
#      Wine's crash dialog, so a crashing test program just exits, and
#      leaves no window to a window manager (X11 Driver "Managed"="N",
#      ZARVO_WINE_MANAGED=Y undoes it: without a window manager, Wine
#      otherwise waits some 2 s whenever a captioned window hides), and
#      makes Wine draw window frames and captions itself (X11 Driver
#      "Decorated"="N"; ZARVO_WINE_DECORATED=Y leaves it to a window
#      manager): Xvfb has no window manager, so otherwise screenshots show
#      no title bars.  Window rects seen by programs are the same either way;
#  (d) defines zarvo_env_cleanup (kills wineserver and our Xvfb, removes the
#      temp dir) and installs it as EXIT/INT/TERM trap (ZARVO_NO_TRAP=1 skips
#      the trap; call zarvo_env_cleanup yourself then);
#  (e) with ZARVO_XINERAMA_HEADS set (e.g. "800x600+0+0,1280x768+800+0":
#      heads WxH+X+Y on the X screen, the primary first), gives Wine those
#      monitors: Xvfb's one screen holds them all and has no RANDR
#      (-extension RANDR), so Wine 8 asks Xinerama, and the tests' stand-in
#      libXinerama.so.1 (tests/e2e/xinerama, built here for i386 and
#      x86_64 and put on LD_LIBRARY_PATH) reports the heads.  Wine makes
#      the first head primary, at (0, 0); a head left of or above it is at
#      negative coordinates.  ZARVO_SCREEN is then the size they take.
#      ZARVO_XVFB_ARGS adds arguments to Xvfb's (the tests' -wr, a white
#      root, where no window covers it);
#  After setup a persistent wineserver ("wineserver -p") keeps running, so
#  every later "wine prog.exe" starts in ~0.1-0.7 s instead of restarting the
#  server and explorer.exe each time.
#
# Timing measured on the 2-core dev machine (Debian 12, wine 8.0):
#  new win32 prefix ("wineboot -i" + "wineserver -w"): 15-17 s;
#  Xvfb start: < 0.5 s; registry settings: ~1 s.  Total for
#  "source scripts/wine-env.sh": 15-17 s.
#  With ZARVO_WINE_TEMPLATE=DIR the pristine prefix is created once in DIR
#  (~15 s, ~590 MB) and every setup copies it (cp -a): 1-3 s in total, and
#  it is still a fresh prefix.
#  Afterwards "wine zarvo-probe.exe windows" takes 0.1-0.3 s (0.6 s when it
#  must start explorer.exe /desktop again).
#
# Caution when capturing output of Wine programs: a Wine process that
# starts explorer.exe /desktop (or other helpers) passes its Unix stderr on
# to them, and explorer lives as long as any program has windows.  Waiting
# for EOF on a pipe connected to wine's stderr (Python communicate(), a
# ctest COMMAND running wine directly) can therefore hang.  Redirect wine's
# stdout/stderr to files (tests/e2e/harness.py does) and wait for the
# process instead.
#
# Variables exported: DISPLAY WINEPREFIX WINEARCH WINEDEBUG WINEDLLOVERRIDES
#  PATH (win64 only) WINELOADER (win64 only)
#  LANG LC_ALL ZARVO_WINE_TMP ZARVO_XVFB_PID (empty when display reused)
#  ZARVO_SCREEN ZARVO_DPI, and with heads LD_LIBRARY_PATH ZARVO_XINERAMA_HEADS.

zarvo_env_log() { echo "wine-env: $*" >&2; }

zarvo_env_cleanup() {
  if [ -n "${WINEPREFIX:-}" ] && [ -n "${ZARVO_WINE_TMP:-}" ] &&
     command -v wineserver >/dev/null 2>&1; then
    WINEPREFIX="$WINEPREFIX" timeout 10 wineserver -k >/dev/null 2>&1 || true
    WINEPREFIX="$WINEPREFIX" timeout 10 wineserver -w >/dev/null 2>&1 || true
  fi
  if [ -n "${ZARVO_XVFB_PID:-}" ]; then
    kill "$ZARVO_XVFB_PID" >/dev/null 2>&1 || true
    for _ in 1 2 3 4 5 6 7 8 9 10; do
      kill -0 "$ZARVO_XVFB_PID" >/dev/null 2>&1 || break
      sleep 0.1
    done
    kill -9 "$ZARVO_XVFB_PID" >/dev/null 2>&1 || true
    ZARVO_XVFB_PID=
  fi
  if [ -n "${ZARVO_WINE_TMP:-}" ] && [ -d "$ZARVO_WINE_TMP" ] &&
     [ -z "${ZARVO_KEEP_PREFIX:-}" ]; then
    rm -rf "$ZARVO_WINE_TMP"
  fi
  ZARVO_WINE_TMP=
}

# The WxH of the screen that holds every head of ZARVO_XINERAMA_HEADS.
zarvo_env_heads_size() {
  local IFS=, head width=0 height=0
  for head in $ZARVO_XINERAMA_HEADS; do
    [[ $head =~ ^([0-9]+)x([0-9]+)\+([0-9]+)\+([0-9]+)$ ]] || return 1
    (( BASH_REMATCH[1] + BASH_REMATCH[3] > width )) && width=$(( BASH_REMATCH[1] + BASH_REMATCH[3] ))
    (( BASH_REMATCH[2] + BASH_REMATCH[4] > height )) && height=$(( BASH_REMATCH[2] + BASH_REMATCH[4] ))
  done
  echo "${width}x${height}"
}

zarvo_env_xinerama() {
  local size src arch out="$ZARVO_WINE_TMP/xinerama-stand-in"
  size=$(zarvo_env_heads_size) || {
    zarvo_env_log "ZARVO_XINERAMA_HEADS: not WxH+X+Y,...: $ZARVO_XINERAMA_HEADS"; return 1; }
  src=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/tests/e2e/xinerama/xinerama.c
  # For i386 (32-bit Wine) and x86_64 (64-bit programs: xdpyinfo -ext
  # XINERAMA shows what it reports); the loader skips a library of the other
  # word size. Plain amd64 gcc does: the source includes no system header
  # and links against nothing, so no 32-bit C library is needed.
  for arch in i386:-m32 x86_64:-m64; do
    mkdir -p "$out/${arch%%:*}"
    gcc "${arch#*:}" -O2 -fPIC -shared -nostdlib -Wall -Werror -Wl,-soname,libXinerama.so.1 \
      -o "$out/${arch%%:*}/libXinerama.so.1" "$src" || return 1
  done
  export LD_LIBRARY_PATH="$out/i386:$out/x86_64${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
  export ZARVO_XINERAMA_HEADS ZARVO_SCREEN="${size}x24"
  ZARVO_XVFB_EXTRA+=(-extension RANDR)
}

zarvo_env_start_xvfb() {
  local screen="${ZARVO_SCREEN:-1024x768x24}" n pid
  for n in $(seq 91 190); do
    if [ -e "/tmp/.X${n}-lock" ] || [ -e "/tmp/.X11-unix/X${n}" ]; then
      continue
    fi
    Xvfb ":$n" -screen 0 "$screen" -nolisten tcp -ac -noreset "${ZARVO_XVFB_EXTRA[@]}" \
      >"${ZARVO_WINE_TMP}/xvfb.log" 2>&1 &
    pid=$!
    local i
    for i in $(seq 1 50); do
      if ! kill -0 "$pid" 2>/dev/null; then
        break  # lost a race for this display number, try the next one
      fi
      if xdpyinfo -display ":$n" >/dev/null 2>&1; then
        export DISPLAY=":$n"
        ZARVO_XVFB_PID=$pid
        return 0
      fi
      sleep 0.1
    done
    kill "$pid" 2>/dev/null || true
  done
  zarvo_env_log "could not start Xvfb"
  return 1
}

zarvo_env_registry() {
  local dpi="${ZARVO_DPI:-96}" regfile="${ZARVO_WINE_TMP}/settings.reg"
  local hexdpi
  hexdpi=$(printf '%08x' "$dpi")
  cat >"$regfile" <<EOF
REGEDIT4

[HKEY_CURRENT_USER\\Control Panel\\Desktop]
"LogPixels"=dword:${hexdpi}

[HKEY_CURRENT_CONFIG\\Software\\Fonts]
"LogPixels"=dword:${hexdpi}

[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]
"Decorated"="${ZARVO_WINE_DECORATED:-N}"
"Managed"="${ZARVO_WINE_MANAGED:-N}"
EOF
  wine regedit /S "$(winepath -w "$regfile" 2>/dev/null)" >/dev/null 2>&1
}

zarvo_env_setup() {
  local t0
  t0=$(date +%s%N)
  for tool in wine wineserver wineboot Xvfb xdpyinfo; do
    if ! command -v "$tool" >/dev/null 2>&1; then
      zarvo_env_log "$tool not found (run scripts/install-deps.sh)"
      return 1
    fi
  done

  ZARVO_WINE_TMP=$(mktemp -d "${TMPDIR:-/tmp}/zarvo-wine.XXXXXX") || return 1
  export ZARVO_WINE_TMP
  export ZARVO_XVFB_PID=

  if [ -z "${ZARVO_NO_TRAP:-}" ]; then
    trap zarvo_env_cleanup EXIT
    trap 'zarvo_env_cleanup; trap - INT; kill -INT $$' INT
    trap 'zarvo_env_cleanup; trap - TERM; kill -TERM $$' TERM
  fi

  # (e) several monitors
  read -ra ZARVO_XVFB_EXTRA <<<"${ZARVO_XVFB_ARGS:-}"
  if [ -n "${ZARVO_XINERAMA_HEADS:-}" ]; then
    zarvo_env_xinerama || return 1
  fi

  # (a) display
  if [ -n "${ZARVO_USE_DISPLAY:-}" ] && [ -n "${DISPLAY:-}" ] &&
     xdpyinfo >/dev/null 2>&1; then
    zarvo_env_log "using existing display $DISPLAY"
  else
    zarvo_env_start_xvfb || return 1
  fi
  export ZARVO_XVFB_PID ZARVO_SCREEN="${ZARVO_SCREEN:-1024x768x24}"

  # (b) fresh prefix, 32-bit where the machine runs 32-bit code; Japanese
  # locale
  local arch template="${ZARVO_WINE_TEMPLATE:-}"
  arch=$("$(dirname "${BASH_SOURCE[0]}")/wine-arch.sh") || return 1
  export WINEARCH="$arch"
  if [ "$arch" = win64 ]; then
    zarvo_env_log "no 32-bit x86 code on this machine: 64-bit Wine, 64-bit programs only"
    mkdir -p "$ZARVO_WINE_TMP/bin"
    local w
    for w in wine wine-stable; do
      printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$ZARVO_WINE_TMP/bin/$w"
      chmod +x "$ZARVO_WINE_TMP/bin/$w"
    done
    export PATH="$ZARVO_WINE_TMP/bin:$PATH" WINELOADER=/usr/lib/wine/wine64
    # A template prefix holds one architecture.
    if [ -n "$template" ]; then template="$template-win64"; fi
  fi
  export WINEPREFIX="$ZARVO_WINE_TMP/prefix"
  export WINEDEBUG="${ZARVO_WINEDEBUG:--all}"
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
  export ZARVO_DPI="${ZARVO_DPI:-96}"

  if [ -n "$template" ]; then
    if [ ! -f "$template/system.reg" ]; then
      zarvo_env_log "creating template prefix $template"
      rm -rf "$template.tmp.$$"
      mkdir -p "$(dirname "$template")"
      WINEPREFIX="$template.tmp.$$" wineboot -i >/dev/null 2>&1
      WINEPREFIX="$template.tmp.$$" wineserver -w
      mv -T "$template.tmp.$$" "$template" 2>/dev/null ||
        rm -rf "$template.tmp.$$"
    fi
    cp -a "$template" "$WINEPREFIX" || return 1
  else
    wineboot -i >/dev/null 2>&1
    wineserver -w
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    zarvo_env_log "wine prefix creation failed"
    return 1
  fi

  # Keep one wineserver running for the lifetime of the environment.
  wineserver -p >/dev/null 2>&1

  # (c) DPI and other settings
  zarvo_env_registry

  zarvo_env_log "ready: DISPLAY=$DISPLAY WINEPREFIX=$WINEPREFIX" \
    "($(( ($(date +%s%N) - t0) / 1000000 )) ms)"
  return 0
}

zarvo_env_setup
