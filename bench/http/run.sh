#!/usr/bin/env bash
# HTTP benchmark on loopback: wrk against the test host serve-book under Wine, and in the same
# run against two baselines serving the same bytes:
#   nginx       native, one worker process, keep-alive, no access log (the files in www/);
#   responder   http_responder under the same Wine: one thread, WSAAsyncSelect, a fixed 2 KB
#               answer; the ceiling of any server built on window-message sockets here.
# Figures: requests/s and latency percentiles for the 2 KB page at 1, 16 and 64 keep-alive
# connections; requests/s and median latency for a 4 KB page of text at 1 connection
# (serve-book and nginx); MB/s (10^6 bytes) for the 10 MB entry (all three: the responder
# sends it from memory, the ceiling here; "resp-64240" is the same responder held to the socket
# layer's fixed sizes, a 64240-byte send buffer and no send above 64240 bytes, the ceiling of any
# server with those sizes). Then the ratios of serve-book to the baselines and
# the targets: at least 0.8 of the responder's requests/s, no errors, and no latency beyond
# 10 times the median.
#
#   bench/http/run.sh          (or: scripts/bench http)
#   HTTP_BENCH_SECONDS=10 bench/http/run.sh
#   HTTP_BENCH_SERVE_BOOK=/path/to/serve-book.exe bench/http/run.sh   (another build of it)
#
# Builds what it needs in build/bench and build/win32 (configured as scripts/bench does), runs
# the servers in a temporary folder and ends them all on exit. Needs wrk, nginx and curl
# (scripts/setup installs them). Without serve-book in the win32 tree only the baselines run.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
source scripts/wine-env
seconds=${HTTP_BENCH_SECONDS:-6}
jobs=${LECTERN_JOBS:-3}
connection_counts=(1 16 64)

for tool in wrk nginx curl python3; do
  command -v "$tool" >/dev/null || { echo "http bench: $tool is missing (run scripts/setup)" >&2; exit 1; }
done

[ -f build/bench/build.ninja ] ||
  cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DLECTERN_SANITIZE=OFF >/dev/null
[ -f build/win32/build.ninja ] ||
  cmake -S . -B build/win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/bench -j "$jobs" --target http_bench_files >/dev/null
win_targets=(http_responder)
if ninja -C build/win32 -t query serve-book >/dev/null 2>&1; then
  win_targets+=(serve-book)
fi
cmake --build build/win32 -j "$jobs" --target "${win_targets[@]}" >/dev/null
responder_exe=build/win32/bench/http/http_responder.exe
serve_book_exe=${HTTP_BENCH_SERVE_BOOK:-build/win32/lectern/app/serve-book.exe}
[ -f "$serve_book_exe" ] || serve_book_exe=

work=$(mktemp -d "${TMPDIR:-/tmp}/lectern-httpbench.XXXXXX")
mkdir -p "$work/www"
build/bench/bench/http/http_bench_files "$work"

export WINEPREFIX="$root/build/wine"
make_wine_prefix "$WINEPREFIX" null
start_wineserver "$WINEPREFIX"

nginx_pid=
wine_pids=()
wine_stdin_fds=()
cleanup() {
  local fd pid
  for fd in "${wine_stdin_fds[@]}"; do exec {fd}>&-; done
  for pid in "${wine_pids[@]}"; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill "$pid" 2>/dev/null || true
  done
  [ -z "$nginx_pid" ] || kill -QUIT "$nginx_pid" 2>/dev/null || true
  [ -z "$nginx_pid" ] || wait "$nginx_pid" 2>/dev/null || true
  stop_wineserver "$WINEPREFIX"
  rm -rf "$work"
}
trap cleanup EXIT

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# start_wine NAME EXE ARGS...: runs EXE under Wine with its standard input on a pipe that stays
# open until the end, and waits for its "LISTENING <port>" line; sets $port.
start_wine() {
  local name=$1 fd
  shift
  mkfifo "$work/$name.in"
  wine "$@" <"$work/$name.in" >"$work/$name.out" 2>"$work/$name.err" &
  wine_pids+=($!)
  exec {fd}>"$work/$name.in"
  wine_stdin_fds+=("$fd")
  for _ in $(seq 300); do
    port=$(sed -n 's/^LISTENING \([0-9]*\).*/\1/p' "$work/$name.out" | head -n1)
    [ -z "$port" ] || return 0
    kill -0 "${wine_pids[-1]}" 2>/dev/null || break
    sleep 0.1
  done
  echo "http bench: $name did not start listening" >&2
  cat "$work/$name.err" >&2
  exit 1
}

# nginx: one worker, keep-alive with no request limit per connection, no access log.
nginx_port=$(free_port)
mkdir -p "$work/nginx"
cat >"$work/nginx/nginx.conf" <<EOF
worker_processes 1;
daemon off;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 1024; }
http {
  types { text/html html; application/octet-stream bin; }
  access_log off;
  sendfile on;
  tcp_nopush on;
  keepalive_timeout 60s;
  keepalive_requests 100000000;
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
  server {
    listen 127.0.0.1:$nginx_port;
    root $work/www;
  }
}
EOF
chmod -R a+rX "$work"
nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" -e "$work/nginx/error.log" &
nginx_pid=$!

start_wine responder "$responder_exe" 0
responder_port=$port
start_wine resp-64240 "$responder_exe" 0 64240
servers=(nginx responder)
declare -A server_port=([nginx]=$nginx_port [responder]=$responder_port [resp-64240]=$port)
if [ -n "$serve_book_exe" ]; then
  start_wine serve-book "$serve_book_exe" "$work/bench.book" "$(free_port)"
  server_port[serve-book]=$port
  servers+=(serve-book)
else
  echo "http bench: serve-book is not built in build/win32; measuring the baselines only"
fi
for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$nginx_port/page.html" && break; sleep 0.1; done

# Every server answers the page with the same bytes (and the big entry, where it has it).
check_body() {
  local name=$1 entry=$2
  curl -sf -o "$work/check.body" "http://127.0.0.1:${server_port[$name]}/$entry" &&
    cmp -s "$work/check.body" "$work/www/$entry" ||
    { echo "http bench: $name answers /$entry with other bytes" >&2; exit 1; }
}
for name in "${servers[@]}"; do
  check_body "$name" page.html
  check_body "$name" big.bin
  [ "$name" = responder ] || check_body "$name" text.html
done

results=$work/results
: >"$results"
# measure NAME ENTRY CONNECTIONS SECONDS: one wrk run; appends "NAME ENTRY CONNS key=value..."
measure() {
  local name=$1 entry=$2 conns=$3 secs=$4 threads=$(( $3 < 2 ? 1 : 2 ))
  local line
  line=$(wrk -t"$threads" -c"$conns" -d"${secs}s" --latency -s bench/http/report.lua \
           "http://127.0.0.1:${server_port[$name]}/$entry" | grep '^WRK ')
  echo "$name $entry $conns ${line#WRK }" >>"$results"
}

for name in "${servers[@]}"; do
  wrk -t1 -c4 -d1s "http://127.0.0.1:${server_port[$name]}/page.html" >/dev/null  # warm-up
done
for conns in "${connection_counts[@]}"; do
  for name in "${servers[@]}"; do
    measure "$name" page.html "$conns" "$seconds"
  done
done
for name in "${servers[@]}"; do
  [ "$name" = responder ] || measure "$name" text.html 1 "$seconds"
done
for name in "${servers[@]}" resp-64240; do
  measure "$name" big.bin 1 "$seconds"
done

awk -v seconds="$seconds" '
function val(key,   i, kv) {
  for (i = 4; i <= NF; ++i) { split($i, kv, "="); if (kv[1] == key) return kv[2] + 0 }
  return 0
}
function ms(us) { return sprintf("%.2f", us / 1000) }
{
  key = $1 " " $2 " " $3
  rps[key] = val("requests") / (val("duration_us") / 1e6)
  mbs[key] = val("bytes") / val("duration_us")
  errs[key] = val("connect") + val("read") + val("write") + val("status") + val("timeout")
  p50[key] = val("p50"); p75[key] = val("p75"); p90[key] = val("p90"); p99[key] = val("p99"); mx[key] = val("max")
  if (!($1 in seen)) { seen[$1] = 1; order[++n] = $1 }
  if ($2 == "page.html" && !($3 in cseen)) { cseen[$3] = 1; corder[++nc] = $3 }
}
END {
  printf "2 KB page, keep-alive, %s s per run (wrk --latency; latencies in ms)\n", seconds
  printf "%-11s %5s %10s %8s %8s %8s %8s %9s %8s %8s %7s\n", "server", "conns", "req/s", "p50", "p75", "p90", "p99", "max", "p99/p50", "max/p50", "errors"
  for (c = 1; c <= nc; ++c) for (s = 1; s <= n; ++s) {
    key = order[s] " page.html " corder[c]
    if (!(key in rps)) continue
    printf "%-11s %5d %10.0f %8s %8s %8s %8s %9s %8.1f %8.1f %7d\n", order[s], corder[c], rps[key],
      ms(p50[key]), ms(p75[key]), ms(p90[key]), ms(p99[key]), ms(mx[key]),
      p99[key] / (p50[key] ? p50[key] : 1), mx[key] / (p50[key] ? p50[key] : 1), errs[key]
  }
  printf "\n4 KB page of text, 1 connection, keep-alive\n"
  printf "%-11s %10s %8s %8s %7s\n", "server", "req/s", "p50", "p99", "errors"
  for (s = 1; s <= n; ++s) {
    key = order[s] " text.html 1"
    if (key in rps) printf "%-11s %10.0f %8s %8s %7d\n", order[s], rps[key], ms(p50[key]), ms(p99[key]), errs[key]
  }
  printf "\n10 MB entry, 1 connection, keep-alive\n"
  printf "%-11s %10s %8s %7s\n", "server", "MB/s", "req/s", "errors"
  for (s = 1; s <= n; ++s) {
    key = order[s] " big.bin 1"
    if (key in rps) printf "%-11s %10.1f %8.1f %7d\n", order[s], mbs[key], rps[key], errs[key]
  }
  if (!("serve-book" in seen)) exit
  printf "\nserve-book against the baselines\n"
  printf "%-22s %14s %14s\n", "", "/ responder", "/ nginx"
  for (c = 1; c <= nc; ++c) {
    sb = "serve-book page.html " corder[c]
    printf "%-22s %14.3f %14.3f\n", "req/s, " corder[c] " conns", rps[sb] / rps["responder page.html " corder[c]], rps[sb] / rps["nginx page.html " corder[c]]
  }
  printf "%-22s %14s %14.3f\n", "req/s, 4 KB text", "-", rps["serve-book text.html 1"] / rps["nginx text.html 1"]
  printf "%-22s %14.3f %14.3f\n", "MB/s, 10 MB entry", mbs["serve-book big.bin 1"] / mbs["responder big.bin 1"], mbs["serve-book big.bin 1"] / mbs["nginx big.bin 1"]
  printf "%-22s %14.3f (of resp-64240)\n", "MB/s, 10 MB entry", mbs["serve-book big.bin 1"] / mbs["resp-64240 big.bin 1"]
  printf "\ntargets for serve-book\n"
  for (c = 1; c <= nc; ++c) {
    sb = "serve-book page.html " corder[c]; ratio = rps[sb] / rps["responder page.html " corder[c]]
    printf "  %2d conns: req/s %.2f of the responder (>= 0.80: %s); errors %d (%s); max %.1f x median (<= 10: %s)\n",
      corder[c], ratio, (ratio >= 0.8 ? "met" : "MISSED"), errs[sb], (errs[sb] == 0 ? "met" : "MISSED"),
      mx[sb] / p50[sb], (mx[sb] <= 10 * p50[sb] ? "met" : "MISSED")
  }
  sb = "serve-book big.bin 1"
  printf "  10 MB entry: errors %d (%s)\n", errs[sb], (errs[sb] == 0 ? "met" : "MISSED")
}' "$results"
