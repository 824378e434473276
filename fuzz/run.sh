#!/usr/bin/env bash
# Builds the JSON fuzz target with clang 14 and runs it for about the given number of
# seconds, seeded with the JSONTestSuite parsing files. Exits non-zero on any finding.
set -euo pipefail

seconds="${1:-60}"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${QINGTONG_FUZZ_BUILD:-$root/../build-fuzz}"
seeds="$root/../shared/data/json-test-suite/test_parsing"

if [[ ! -d "$seeds" ]]; then
  echo "seed folder not found: $seeds" >&2
  exit 2
fi

CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQINGTONG_BUILD_FUZZ=ON -DQINGTONG_BUILD_TESTS=OFF -DQINGTONG_BUILD_GUI=OFF >/dev/null
cmake --build "$build" --target fuzz_json -j2

corpus="$build/corpus/json"
artifacts="$build/artifacts/"
mkdir -p "$corpus" "$artifacts"

# New inputs go to the writable corpus; the seed folder is only read.
"$build/fuzz/fuzz_json" "$corpus" "$seeds" \
  -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
  -artifact_prefix="$artifacts" -print_final_stats=1
