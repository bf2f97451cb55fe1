#!/usr/bin/env bash
# The rebuild of one sample folder natively, with the 64-bit Windows build of the data tool
# beside its ACE32.DLL under Wine, and with the 32-bit build (the one users get) where this
# machine runs 32-bit programs; each on a fresh copy, each timed from start to end of the
# process, natively again after each Wine run so that the two sit side by side. Writes
# OUT/N/wine.json.
#
#   bench/wine_rebuild.sh N OUT      (N: the tran record count of OUT/data-N, made by scripts/bench)
set -euo pipefail
. "$(dirname "$0")/../scripts/lib.sh"
cd "$KX_ROOT"

n=$1
out=$2
master=$out/data-$n
[ -d "$master" ] || { echo "wine_rebuild: no sample folder $master" >&2; exit 1; }

for preset in win64 win32; do
  kx_log "building kxdata.exe and ACE32.DLL ($preset) in build/bench-$preset"
  kx_build "$preset" "build/bench-$preset" kxdata ace32 || exit 1
  [ -f "build/bench-$preset/bin/ACE32.DLL" ] || { echo "wine_rebuild: no ACE32.DLL for $preset" >&2; exit 1; }
done

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
fresh() { rm -rf "$work"; cp -r "$master" "$work"; sync; }
native_run() { fresh; seconds_of build/bench-release/tools/kxdata/kxdata rebuild "$work"; }
win_path="Z:$(echo "$KX_ROOT/$work" | tr / '\\')"
# wine_run LOADER PRESET
wine_run() { fresh; WINEPREFIX=$KX_WINEPREFIX seconds_of "$1" "build/bench-$2/bin/kxdata.exe" rebuild "$win_path"; }

native64=$(native_run)
wine64=$(wine_run "$(kx_wine64)" win64)
json="\"native_seconds\": $native64, \"wine_seconds\": $wine64"
kx_log "rebuild of $n records: native $native64 s, 64-bit Windows build under Wine $wine64 s"
wine32_loader=$(kx_wine32)
if [ -n "$wine32_loader" ]; then
  native32=$(native_run)
  wine32=$(wine_run "$wine32_loader" win32)
  json="$json, \"native32_seconds\": $native32, \"wine32_seconds\": $wine32"
  kx_log "rebuild of $n records: native $native32 s, 32-bit Windows build under Wine $wine32 s"
else
  json="$json, \"wine32_seconds\": null"
  kx_log "this machine does not run 32-bit programs: no 32-bit figure"
fi
rm -rf "$work"

mkdir -p "$out/$n"
echo "{$json}" >"$out/$n/wine.json"
