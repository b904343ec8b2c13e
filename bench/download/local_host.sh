# shellcheck shell=bash disable=SC2034  # sets variables for the scripts that source it
# Sourced by the download benchmarks: a package of random bytes in a scratch folder under
# TMPDIR (never in the repository), a local nginx on 127.0.0.1 that serves it without and
# under its digest folder, and best-of-N timing with the peak memory of every command.
#
#   bench_init NAME BUILD_DIR      scratch folder NAME, parlumo-fetch of BUILD_DIR (built when
#                                  missing); sets fetch, scratch, www, out and port
#   bench_package BYTES            $www/files/package.bin of BYTES random bytes, linked into
#                                  its digest folder; sets big and digest
#   bench_start_nginx WORKERS CONNECTIONS PROBE_PATH [SERVER...]
#                                  serves $www on $port (and every further server block),
#                                  waits until PROBE_PATH answers; stopped when the script ends;
#                                  sets base
#   run NAME COMMAND...            times one run of COMMAND (its output in $scratch/last.log):
#                                  the best seconds go to best[NAME], the peak KiB to rss[NAME]

bench_init() {
  local name="$1" build="$2"
  fetch="$build/bin/parlumo-fetch"
  [ -x "$fetch" ] || cmake --build "$build" --target parlumo-fetch
  scratch="${TMPDIR:-/tmp}/$name"
  www="$scratch/www"
  out="$scratch/out"
  mkdir -p "$www/files" "$out" "$scratch/nginx/logs"
  port=$((20000 + RANDOM % 20000))
}

bench_package() {
  local size="$1" sum
  big="$www/files/package.bin"
  if [ "$(stat -c %s "$big" 2>/dev/null || echo 0)" != "$size" ]; then
    head -c "$size" /dev/urandom > "$big"
    rm -rf "$www/digest"
  fi
  if [ ! -d "$www/digest" ]; then
    sum=$(md5sum "$big" | cut -d' ' -f1)
    mkdir -p "$www/digest/$sum"
    ln -f "$big" "$www/digest/$sum/package.bin"
  fi
  digest=$(basename "$(ls -d "$www"/digest/*/)")
}

bench_start_nginx() {
  local workers="$1" connections="$2" probe="$3"
  shift 3
  local extra=""
  for server in "$@"; do
    extra+="  $server"$'\n'
  done
  cat > "$scratch/nginx/nginx.conf" <<CONF
worker_processes $workers;
daemon off;
pid $scratch/nginx/nginx.pid;
error_log $scratch/nginx/logs/error.log;
events { worker_connections $connections; }
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
${extra}}
CONF
  nginx -p "$scratch/nginx" -c "$scratch/nginx/nginx.conf" &
  nginx_pid=$!
  trap 'kill "$nginx_pid" 2>/dev/null; wait "$nginx_pid" 2>/dev/null; rm -rf "$out"' EXIT
  for _ in $(seq 100); do
    curl -sf -o /dev/null -r 0-0 "http://127.0.0.1:$port$probe" && break
    sleep 0.1
  done
  base="http://127.0.0.1:$port"
}

declare -A best
declare -A rss
run() {  # name, command...
  local name="$1"; shift
  local start end seconds peak status=0
  rm -f "$out"/*
  start=$(date +%s.%N)
  /usr/bin/time -f '%M' -o "$scratch/rss" "$@" > "$scratch/last.log" 2>/dev/null || status=$?
  end=$(date +%s.%N)
  # A failed run is no figure: it would pass for a fast one.
  if [ "$status" != 0 ]; then
    echo "$name failed (exit $status): $*" >&2
    exit 1
  fi
  seconds=$(echo "$end - $start" | bc -l)
  best[$name]=$(echo "if ($seconds < ${best[$name]:-999999}) $seconds else ${best[$name]:-999999}" | bc -l)
  peak=$(cat "$scratch/rss")
  [ "$peak" -gt "${rss[$name]:-0}" ] && rss[$name]=$peak
  return 0
}
