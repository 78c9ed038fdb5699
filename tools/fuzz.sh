#!/usr/bin/env bash
# Fuzzes the report project reader with libFuzzer for a bounded time.
#
# Usage: tools/fuzz.sh [SECONDS]     (default 600: ten minutes)
#
# Needs Debian's clang-14 and libclang-rt-14-dev (sudo apt-get install clang-14
# libclang-rt-14-dev); builds in build-fuzz/ and keeps the corpus it grows in
# build-fuzz/corpus/, seeded from fuzz/corpus/. A crash leaves its input as
# build-fuzz/crash-* and makes the script fail; run the target on that file to
# see it again: build-fuzz/fuzz/fuzz_projeto build-fuzz/crash-...
set -euo pipefail
raiz=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$raiz/build-fuzz}
segundos=${1:-600}

for p in clang-14 libclang-rt-14-dev; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        echo "fuzz.sh: falta o pacote $p (sudo apt-get install clang-14 libclang-rt-14-dev)" >&2
        exit 2
    fi
done

CXX=clang++-14 CC=clang-14 cmake -S "$raiz" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVOTARIM_FUZZ=ON >/dev/null
cmake --build "$build" --target fuzz_projeto
mkdir -p "$build/corpus"
cd "$build"
export QT_QPA_PLATFORM=offscreen
ASAN_OPTIONS=detect_leaks=1 "$build/fuzz/fuzz_projeto" "$build/corpus" "$raiz/fuzz/corpus" \
    -dict="$raiz/fuzz/projeto.dict" -max_total_time="$segundos" -timeout=10 -max_len=16384 \
    -rss_limit_mb=2048 -print_final_stats=1
