#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time.
#   bash scripts/fuzz.sh            # 60 s per target
#   FUZZ_SECONDS=300 bash scripts/fuzz.sh
# Crashes are written to fuzz/out/<target>/; the corpora grow in fuzz/corpus-<target>/.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${FUZZ_BUILD_DIR:-$root/build-fuzz}"
seconds="${FUZZ_SECONDS:-60}"
"$root/scripts/deps.sh" fuzz
CC=clang-14 CXX=clang++-14 cmake -S "$root/fuzz" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=(fuzz_numericvalue fuzz_reading fuzz_engformat fuzz_settings fuzz_replywait)
cmake --build "$build" --parallel "$(nproc)" --target "${targets[@]}"
status=0
for t in "${targets[@]}"; do
    corpus="$root/fuzz/corpus-$t"
    out="$root/fuzz/out/$t"
    mkdir -p "$corpus" "$out"
    echo "== $t for ${seconds}s"
    if ! "$build/bin/$t" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 \
            -artifact_prefix="$out/" -print_final_stats=1 "$corpus" "$root/fuzz/seeds" \
            >"$out/log.txt" 2>&1; then
        echo "   FAILED: see $out/log.txt"; status=1
    fi
    grep -E '^(stat::number_of_executed_units|Done|#[0-9]+.*DONE)' "$out/log.txt" | tail -2 || true
done
exit $status
