#!/usr/bin/env bash
# The rebuild of one sample folder twice: natively and with the 64-bit Windows build of the
# data tool beside its ACE32.DLL under Wine, each on a fresh copy, each timed from start to
# end of the process. Writes OUT/N/wine.json.
#
#   bench/wine_rebuild.sh N OUT      (N: the tran record count of OUT/data-N, made by scripts/bench)
set -euo pipefail
. "$(dirname "$0")/../scripts/lib.sh"
cd "$KX_ROOT"

n=$1
out=$2
master=$out/data-$n
[ -d "$master" ] || { echo "wine_rebuild: no sample folder $master" >&2; exit 1; }

build=build/bench-win64
kx_log "building kxdata.exe and ACE32.DLL (win64) in $build"
kx_build win64 "$build" kxdata ace32 || exit 1
exe=$build/bin/kxdata.exe
[ -f "$build/bin/ACE32.DLL" ] || { echo "wine_rebuild: no ACE32.DLL beside $exe" >&2; exit 1; }

export KX_WINEPREFIX=$KX_ROOT/build/bench-prefix
kx_prefix_init "$KX_WINEPREFIX"
kx_wine_session "$KX_WINEPREFIX"
trap 'kx_wine_end "$KX_WINEPREFIX"' EXIT

work=$out/wine-work
seconds_of() {  # seconds_of COMMAND...: wall time of the command, its output discarded
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN{printf "%.3f", b-a}'
}

rm -rf "$work"; cp -r "$master" "$work"; sync
native=$(seconds_of build/bench-release/tools/kxdata/kxdata rebuild "$work")

rm -rf "$work"; cp -r "$master" "$work"; sync
win_path="Z:$(echo "$KX_ROOT/$work" | tr / '\\')"
wine=$(WINEPREFIX=$KX_WINEPREFIX seconds_of "$(kx_wine64)" "$exe" rebuild "$win_path")
rm -rf "$work"

mkdir -p "$out/$n"
echo "{\"native_seconds\": $native, \"wine_seconds\": $wine}" >"$out/$n/wine.json"
kx_log "rebuild of $n records: native $native s, Wine $wine s"
