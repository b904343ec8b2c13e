#!/usr/bin/env bash
# Throughput of the WinHTTP-style downloader (parlumo-fetch -downloadtype=2) against
# `curl -o`, both from one local nginx on 127.0.0.1 in the same run, warm cache,
# interleaved, best of N; and its peak memory.
#
#   bench/download/winhttp.sh [BUILD_DIR] [RUNS] [MIB]   (default build/normal, 3, 1024)
#
# The file is served twice: without a digest folder (the transfer alone) and under its
# digest folder (the transfer plus the digest check, which type 2 computes while writing).
# Big files live in a scratch folder under TMPDIR, never in the repository.
set -euo pipefail
top="$(cd "$(dirname "$0")/../.." && pwd)"
# shellcheck source=bench/download/local_host.sh
. "$top/bench/download/local_host.sh"
bench_init parlumo-winhttp-bench "${1:-$top/build/normal}"
runs="${2:-3}"
mib="${3:-1024}"

bench_package $((mib * 1024 * 1024))
cat "$big" > /dev/null   # warm the cache
bench_start_nginx 1 64 /files/package.bin

for _ in $(seq "$runs"); do
  run curl curl -s -o "$out/c" "$base/files/package.bin"
  run type2 "$fetch" -downloadtype=2 "$base/files/package.bin" "$out/w"
  cmp -s "$big" "$out/w" || { echo "type 2 stored a different file" >&2; exit 1; }
  run type2digest "$fetch" -downloadtype=2 "$base/digest/$digest/package.bin" "$out/d"
  grep -q '^1003' "$scratch/last.log" || { echo "type 2 with digest did not succeed" >&2; exit 1; }
done

printf '%-28s %8s %10s %9s\n' "$mib MiB from local nginx" "MiB/s" "seconds" "peak KiB"
for name in curl type2 type2digest; do
  printf '%-28s %8.0f %10.2f %9s\n' "$name" "$(echo "$mib / ${best[$name]}" | bc -l)" "${best[$name]}" "${rss[$name]}"
done
printf 'type 2 / curl -o:              %.3f (target >= 0.9)\n' "$(echo "${best[curl]} / ${best[type2]}" | bc -l)"
printf 'type 2 with digest / curl -o:  %.3f\n' "$(echo "${best[curl]} / ${best[type2digest]}" | bc -l)"
