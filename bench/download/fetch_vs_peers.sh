#!/usr/bin/env bash
# Download throughput and peak memory of parlumo-fetch against curl and aria2c, all from
# one local nginx on 127.0.0.1 in the same run, warm cache, interleaved, best of N.
#
#   bench/download/fetch_vs_peers.sh [BUILD_DIR] [RUNS]   (default build/normal, 3)
#
# 1. A 1 GiB file without a digest folder (transfer only):
#      -downloadtype=1 against `curl -o`, -downloadtype=3 against `aria2c -x2 -s2`
#      (and -downloadtype=2 against `curl -o` when the build has it).
# 2. The same file under its digest folder (transfer plus the digest check).
# 3. A host that limits each connection (nginx limit_rate): -downloadtype=3 against =1.
# Peak resident memory of every parlumo-fetch run comes from /usr/bin/time -v.
# Big files live in a scratch folder under TMPDIR, never in the repository.
set -euo pipefail
top="$(cd "$(dirname "$0")/../.." && pwd)"
# shellcheck source=bench/download/local_host.sh
. "$top/bench/download/local_host.sh"
bench_init parlumo-download-bench "${1:-$top/build/normal}"
runs="${2:-3}"

bench_package $((1024 * 1024 * 1024))
limited_size=$((256 * 1024 * 1024))
limited="$www/files/limited.bin"
if [ "$(stat -c %s "$limited" 2>/dev/null || echo 0)" != "$limited_size" ]; then
  head -c "$limited_size" "$big" > "$limited"
fi
cat "$big" "$limited" > /dev/null   # warm the cache

limited_port=$((port + 1))
bench_start_nginx 2 256 /files/limited.bin "server { listen 127.0.0.1:$limited_port; root $www; limit_rate 16m; }"

has_type2=1
if "$fetch" -downloadtype=2 "$base/files/none" "$out/probe" 2>&1 | grep -q 'not part of this build'; then
  has_type2=0
fi

for _ in $(seq "$runs"); do
  run curl curl -s -o "$out/c" "$base/files/package.bin"
  run fetch1 "$fetch" -downloadtype=1 "$base/files/package.bin" "$out/f1"
  [ "$has_type2" = 1 ] && run fetch2 "$fetch" -downloadtype=2 "$base/files/package.bin" "$out/f2"
  run aria2 aria2c -q -x2 -s2 --allow-overwrite=true --file-allocation=none -d "$out" -o a "$base/files/package.bin"
  run fetch3 "$fetch" -downloadtype=3 "$base/files/package.bin" "$out/f3"
  run fetch1md5 "$fetch" -downloadtype=1 "$base/digest/$digest/package.bin" "$out/d1"
  run fetch3md5 "$fetch" -downloadtype=3 "$base/digest/$digest/package.bin" "$out/d3"
done
# The timed runs count only if they deliver the right bytes.
for type in 1 3; do
  rm -f "$out"/*
  "$fetch" -downloadtype=$type "$base/digest/$digest/package.bin" "$out/v" > /dev/null 2>&1
  cmp -s "$out/v" "$big" || { echo "parlumo-fetch -downloadtype=$type delivered wrong bytes"; exit 1; }
done
# The limited host once each: every run takes many seconds by design.
limited_url="http://127.0.0.1:$limited_port/files/limited.bin"
run limited1 "$fetch" -downloadtype=1 "$limited_url" "$out/l1"
run limited3 "$fetch" -downloadtype=3 "$limited_url" "$out/l3"

rate() { echo "$2 / ${best[$1]}" | bc -l; }
printf '%-34s %8s %10s %9s\n' "1 GiB from local nginx" "MiB/s" "seconds" "peak KiB"
for name in curl fetch1 fetch2 aria2 fetch3 fetch1md5 fetch3md5; do
  [ -n "${best[$name]:-}" ] || continue
  printf '%-34s %8.0f %10.2f %9s\n' "$name" "$(rate "$name" 1024)" "${best[$name]}" "${rss[$name]}"
done
printf '%-34s %8.0f %10.2f %9s\n' "limited (16 MB/s per connection) =1" "$(rate limited1 256)" "${best[limited1]}" "${rss[limited1]}"
printf '%-34s %8.0f %10.2f %9s\n' "limited (16 MB/s per connection) =3" "$(rate limited3 256)" "${best[limited3]}" "${rss[limited3]}"
echo
printf 'type 1 / curl -o:                 %.3f (target >= 0.9)\n' "$(echo "${best[curl]} / ${best[fetch1]}" | bc -l)"
[ -n "${best[fetch2]:-}" ] && printf 'type 2 / curl -o:                 %.3f (target >= 0.9)\n' "$(echo "${best[curl]} / ${best[fetch2]}" | bc -l)"
printf 'type 3 / aria2c -x2 -s2:          %.3f (target >= 0.9)\n' "$(echo "${best[aria2]} / ${best[fetch3]}" | bc -l)"
printf 'type 1 with digest / curl -o:     %.3f\n' "$(echo "${best[curl]} / ${best[fetch1md5]}" | bc -l)"
printf 'type 3 with digest / aria2c:      %.3f\n' "$(echo "${best[aria2]} / ${best[fetch3md5]}" | bc -l)"
printf 'limited host, type 3 / type 1:    %.3f (target >= 1.8)\n' "$(echo "${best[limited1]} / ${best[limited3]}" | bc -l)"
