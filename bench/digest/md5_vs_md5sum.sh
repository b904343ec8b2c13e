#!/usr/bin/env bash
# Throughput of the installer's file digest against md5sum on the same 1 GiB file, warm
# cache, best of three runs each, interleaved. Prints both rates and their ratio.
#   bench/digest/md5_vs_md5sum.sh [BUILD_DIR]   (default build/normal)
set -euo pipefail
top="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$top/build/normal}"
tool="$build/bench/digest/file_md5_bench"
[ -x "$tool" ] || cmake --build "$build" --target file_md5_bench
file="${TMPDIR:-/tmp}/parlumo-md5-bench.bin"
size=$((1024 * 1024 * 1024))
if [ "$(stat -c %s "$file" 2>/dev/null || echo 0)" != "$size" ]; then
  head -c "$size" /dev/urandom > "$file"
fi
cat "$file" > /dev/null   # warm the cache

seconds() { local start end; start=$(date +%s.%N); "$@" > /dev/null; end=$(date +%s.%N); echo "$end - $start" | bc -l; }
best_ours=999; best_peer=999
for _ in 1 2 3; do
  peer=$(seconds md5sum "$file"); ours=$(seconds "$tool" "$file")
  best_peer=$(echo "if ($peer < $best_peer) $peer else $best_peer" | bc -l)
  best_ours=$(echo "if ($ours < $best_ours) $ours else $best_ours" | bc -l)
done
[ "$(md5sum "$file" | cut -d' ' -f1)" = "$("$tool" "$file" | cut -d' ' -f1)" ] || { echo "digests differ"; exit 1; }
printf 'md5sum:          %.0f MiB/s\n' "$(echo "1024 / $best_peer" | bc -l)"
printf 'Utils::GetFileMd5: %.0f MiB/s\n' "$(echo "1024 / $best_ours" | bc -l)"
printf 'ratio (ours / md5sum): %.3f\n' "$(echo "$best_peer / $best_ours" | bc -l)"
