# Shared shell functions of the project's scripts. Source it; it defines, never runs.
# shellcheck shell=bash

KX_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=${WINEDEBUG:--all}

kx_log() { printf '[%s] %s\n' "$(date +%H:%M:%S)" "$*" >&2; }

# The 64-bit Wine loader. /usr/bin/wine is a wrapper that needs 32-bit support on some
# machines, so the loader is called directly.
kx_wine64() {
  if [ -x /usr/lib/wine/wine64 ]; then echo /usr/lib/wine/wine64; else command -v wine64; fi
}

# The 32-bit Wine loader, or nothing when this machine cannot execute 32-bit programs.
# Decided by trying: some kernels refuse 32-bit executables outright.
kx_wine32() {
  local w=/usr/lib/wine/wine
  [ -x "$w" ] || return 0
  if "$w" --version >/dev/null 2>&1; then echo "$w"; fi
}

kx_wineserver() {
  if [ -x /usr/lib/wine/wineserver64 ]; then echo /usr/lib/wine/wineserver64
  elif [ -x /usr/lib/wine/wineserver ]; then echo /usr/lib/wine/wineserver
  else command -v wineserver; fi
}

# kx_prefix_init DIR: a ready Wine prefix in DIR (made once, then reused): fonts copied,
# the X11 driver set to unmanaged windows, no Mono/Gecko prompts.
kx_prefix_init() {
  local prefix=$1
  if [ -f "$prefix/.kx-ready" ]; then return 0; fi
  rm -rf "$prefix"; mkdir -p "$prefix"
  kx_log "creating Wine prefix $prefix"
  WINEPREFIX=$prefix "$(kx_wine64)" wineboot -i </dev/null >/dev/null 2>&1 || true
  mkdir -p "$prefix/drive_c/windows/Fonts"
  cp -f /usr/share/wine/fonts/* "$prefix/drive_c/windows/Fonts/" 2>/dev/null || true
  WINEPREFIX=$prefix "$(kx_wine64)" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
    </dev/null >/dev/null 2>&1
  WINEPREFIX=$prefix "$(kx_wineserver)" -w
  touch "$prefix/.kx-ready"
}

# kx_wine_session DIR: keep a wineserver alive for DIR so that programs start fast and
# Wine's background processes do not hold the caller's output pipes.
kx_wine_session() {
  local prefix=$1
  WINEPREFIX=$prefix "$(kx_wineserver)" -p </dev/null >/dev/null 2>&1
  WINEPREFIX=$prefix "$(kx_wine64)" wineboot </dev/null >/dev/null 2>&1 || true
}

kx_wine_end() {
  WINEPREFIX=$1 "$(kx_wineserver)" -k </dev/null >/dev/null 2>&1 || true
}

# kx_xvfb_start: start Xvfb on a free display and export DISPLAY; KX_XVFB_PID is its pid.
kx_xvfb_start() {
  local n
  for n in $(seq 90 140); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
      Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
      KX_XVFB_PID=$!
      local i
      for i in $(seq 1 50); do
        [ -e "/tmp/.X11-unix/X$n" ] && break
        sleep 0.1
      done
      export DISPLAY=":$n"
      return 0
    fi
  done
  kx_log "no free X display"; return 1
}

kx_xvfb_stop() {
  [ -n "${KX_XVFB_PID:-}" ] && kill "$KX_XVFB_PID" 2>/dev/null || true
  KX_XVFB_PID=
}

# kx_build PRESET: configure (once) and build one preset.
kx_build() {
  local preset=$1
  if [ ! -f "$KX_ROOT/build/$preset/build.ninja" ]; then
    cmake --preset "$preset" -S "$KX_ROOT" >/dev/null || return 1
  fi
  cmake --build "$KX_ROOT/build/$preset" -- -k 0
}
