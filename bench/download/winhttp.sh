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
build="${1:-$top/build/normal}"
runs="${2:-3}"
mib="${3:-1024}"
fetch="$build/bin/parlumo-fetch"
[ -x "$fetch" ] || cmake --build "$build" --target parlumo-fetch
scratch="${TMPDIR:-/tmp}/parlumo-winhttp-bench"
www="$scratch/www"
out="$scratch/out"
mkdir -p "$www/files" "$out" "$scratch/nginx/logs"

big="$www/files/package.bin"
if [ "$(stat -c %s "$big" 2>/dev/null || echo 0)" != "$((mib * 1024 * 1024))" ]; then
  head -c "$((mib * 1024 * 1024))" /dev/urandom > "$big"
  rm -rf "$www/digest"
fi
if [ ! -d "$www/digest" ]; then
  sum=$(md5sum "$big" | cut -d' ' -f1)
  mkdir -p "$www/digest/$sum"
  ln -f "$big" "$www/digest/$sum/package.bin"
fi
digest=$(basename "$(ls -d "$www"/digest/*/)")
cat "$big" > /dev/null   # warm the cache

port=$((20000 + RANDOM % 20000))
cat > "$scratch/nginx/nginx.conf" <<CONF
worker_processes 1;
daemon off;
pid $scratch/nginx/nginx.pid;
error_log $scratch/nginx/logs/error.log;
events { worker_connections 64; }
http {
  access_log off;
  sendfile on;
  tcp_nopush on;
  client_body_temp_path $scratch/nginx/body;
  proxy_temp_path $scratch/nginx/proxy;
  fastcgi_temp_path $scratch/nginx/fastcgi;
  uwsgi_temp_path $scratch/nginx/uwsgi;
  scgi_temp_path $scratch/nginx/scgi;
  server { listen 127.0.0.1:$port; root $www; }
}
CONF
nginx -p "$scratch/nginx" -c "$scratch/nginx/nginx.conf" &
nginx_pid=$!
trap 'kill "$nginx_pid" 2>/dev/null; wait "$nginx_pid" 2>/dev/null; rm -rf "$out"' EXIT
for _ in $(seq 100); do
  curl -sf -o /dev/null -r 0-0 "http://127.0.0.1:$port/files/package.bin" && break
  sleep 0.1
done
base="http://127.0.0.1:$port"

declare -A best
declare -A rss
run() {  # name, command...
  local name="$1"; shift
  local start end seconds
  rm -f "$out"/*
  start=$(date +%s.%N)
  /usr/bin/time -f '%M' -o "$scratch/rss" "$@" > "$scratch/last.log" 2>/dev/null
  end=$(date +%s.%N)
  seconds=$(echo "$end - $start" | bc -l)
  best[$name]=$(echo "if ($seconds < ${best[$name]:-999999}) $seconds else ${best[$name]:-999999}" | bc -l)
  local peak; peak=$(cat "$scratch/rss")
  [ "$peak" -gt "${rss[$name]:-0}" ] && rss[$name]=$peak
  return 0
}

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
