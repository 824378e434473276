#!/usr/bin/env bash
# Recording benchmark: throughput and CPU per GiB of the stream download next to curl on the
# same loopback stream, and the peak memory of 50 simultaneous recordings at 4 Mbit/s each.
#   bench/record/run.sh [BUILD_DIR] [MIB]
set -euo pipefail
build=${1:-build-bench}
mib=${2:-1024}
bin="$build/bench/record/bench_record"
[ -x "$bin" ] || { echo "build first: cmake -S . -B $build -DQINGTONG_BUILD_BENCH=ON && cmake --build $build --target bench_record"; exit 1; }
work=$(mktemp -d)
trap 'kill $server 2>/dev/null; rm -rf "$work"' EXIT
"$bin" serve > "$work/port" &
server=$!
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(head -1 "$work/port")
url="http://127.0.0.1:$port/bytes/$mib"

echo "== throughput, $mib MiB (wall s, user s, sys s, max RSS KiB)"
for run in 1 2 3; do
  rm -f "$work/q.flv" "$work/c.flv"
  q=$(/usr/bin/time -f "%e %U %S %M" "$bin" fetch "$url" "$work/q.flv" 2>&1 >/dev/null)
  c=$(/usr/bin/time -f "%e %U %S %M" curl -s -o "$work/c.flv" "$url" 2>&1 >/dev/null)
  echo "run $run  qingtong: $q   curl: $c"
done

echo "== 50 recordings at 4 Mbit/s (500 KB/s) each for 10 s"
mkdir -p "$work/many"
"$bin" many "http://127.0.0.1:$port/rate/500" 50 10 "$work/many"
echo "one curl process on the same stream for 5 s (max RSS KiB):"
/usr/bin/time -f "%M" timeout 5 curl -s -o "$work/one.flv" "http://127.0.0.1:$port/rate/500" 2>&1 | tail -1 || true
