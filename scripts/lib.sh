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
# the X11 driver set to unmanaged windows, no Mono/Gecko prompts. Marked ready only when
# every step of making it worked, so that a prefix left half made is made again.
kx_prefix_init() {
  local prefix=$1
  if [ -f "$prefix/.kx-ready" ]; then return 0; fi
  rm -rf "$prefix"; mkdir -p "$prefix"
  kx_log "creating Wine prefix $prefix"
  WINEPREFIX=$prefix "$(kx_wine64)" wineboot -i </dev/null >/dev/null 2>&1
  mkdir -p "$prefix/drive_c/windows/Fonts"
  cp -f /usr/share/wine/fonts/* "$prefix/drive_c/windows/Fonts/" 2>/dev/null || true
  WINEPREFIX=$prefix "$(kx_wine64)" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
    </dev/null >/dev/null 2>&1 || { kx_log "cannot set the X11 driver in $prefix"; return 1; }
  WINEPREFIX=$prefix "$(kx_wineserver)" -w
  # The registry is written out when the wineserver ends: without it the prefix is not made.
  if [ ! -f "$prefix/system.reg" ] || ! grep -q 'X11 Driver' "$prefix/user.reg" 2>/dev/null; then
    kx_log "making the Wine prefix $prefix failed"; return 1
  fi
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

# kx_xvfb_start: start Xvfb on a display it chooses itself and reports (-displayfd), check
# that it answers, and export DISPLAY; KX_XVFB_PID is its pid.
kx_xvfb_start() {
  local report n="" i
  report=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$report" >/dev/null 2>&1 &
  KX_XVFB_PID=$!
  for i in $(seq 1 100); do
    n=$(head -n1 "$report" 2>/dev/null)
    [ -n "$n" ] && break
    kill -0 "$KX_XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  rm -f "$report"
  if [ -z "$n" ] || ! kill -0 "$KX_XVFB_PID" 2>/dev/null ||
    ! xdpyinfo -display ":$n" >/dev/null 2>&1; then
    kx_log "Xvfb did not start"; kx_xvfb_stop; return 1
  fi
  export DISPLAY=":$n"
}

kx_xvfb_stop() {
  [ -n "${KX_XVFB_PID:-}" ] && kill "$KX_XVFB_PID" 2>/dev/null || true
  KX_XVFB_PID=
}

# kx_build PRESET [DIR [TARGET...]]: configure (once) and build one preset in DIR
# (build/PRESET by default), the given targets or all, two jobs at most. The output goes to
# DIR/build.log; on a failure its end is shown and the result is 1.
kx_build() {
  local preset=$1 dir=${2:-$KX_ROOT/build/$1}
  shift; [ $# -gt 0 ] && shift
  local targets=()
  [ $# -gt 0 ] && targets=(--target "$@")
  mkdir -p "$dir"
  if { [ -f "$dir/build.ninja" ] || cmake --preset "$preset" -S "$KX_ROOT" -B "$dir"; } \
    >"$dir/build.log" 2>&1 && cmake --build "$dir" -j2 "${targets[@]}" -- -k 0 >>"$dir/build.log" 2>&1
  then
    return 0
  fi
  tail -40 "$dir/build.log" >&2
  kx_log "the $preset build failed; its log is $dir/build.log"
  return 1
}

# kx_pe_machine FILE: the machine type in a Windows program's PE header: 014c for 32-bit
# (i386), 8664 for 64-bit (x86-64).
kx_pe_machine() {
  local off
  off=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  od -An -tx2 -j$((off + 4)) -N2 "$1" | tr -d ' '
}
