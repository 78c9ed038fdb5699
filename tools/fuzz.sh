#!/usr/bin/env bash
# Fuzzes the report project reader and the bulletin reader with libFuzzer for a bounded time.
#
# Usage: tools/fuzz.sh [SECONDS [projeto|boletim]]
#        (default 600 seconds, ten minutes, for each reader; both readers unless one is named)
#
# Needs Debian's clang-14 and libclang-rt-14-dev (sudo apt-get install clang-14
# libclang-rt-14-dev); builds in build-fuzz/ and keeps the corpus it grows in
# build-fuzz/corpus/, seeded from fuzz/corpus/. A crash leaves its input as
# build-fuzz/crash-* and makes the script fail; run the target on that file to
# see it again: build-fuzz/fuzz/fuzz_projeto build-fuzz/crash-... (fuzz_boletim for the
# bulletin reader, whose corpus grows in build-fuzz/corpus_boletim/ from fuzz/corpus_boletim/).
set -euo pipefail
raiz=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$raiz/build-fuzz}
segundos=${1:-600}
alvos=${2:-projeto boletim}

for p in clang-14 libclang-rt-14-dev; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        echo "fuzz.sh: falta o pacote $p (sudo apt-get install clang-14 libclang-rt-14-dev)" >&2
        exit 2
    fi
done

CXX=clang++-14 CC=clang-14 cmake -S "$raiz" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVOTARIM_FUZZ=ON >/dev/null
export QT_QPA_PLATFORM=offscreen
for alvo in $alvos; do
    case $alvo in
    projeto)
        cmake --build "$build" --target fuzz_projeto
        mkdir -p "$build/corpus"
        (cd "$build" && ASAN_OPTIONS=detect_leaks=1 "$build/fuzz/fuzz_projeto" "$build/corpus" "$raiz/fuzz/corpus" \
            -dict="$raiz/fuzz/projeto.dict" -max_total_time="$segundos" -timeout=10 -max_len=16384 \
            -rss_limit_mb=2048 -print_final_stats=1)
        ;;
    boletim)
        cmake --build "$build" --target fuzz_boletim
        mkdir -p "$build/corpus_boletim"
        (cd "$build" && ASAN_OPTIONS=detect_leaks=1 "$build/fuzz/fuzz_boletim" "$build/corpus_boletim" \
            "$raiz/fuzz/corpus_boletim" -dict="$raiz/fuzz/boletim.dict" -max_total_time="$segundos" -timeout=10 \
            -max_len=65536 -rss_limit_mb=2048 -print_final_stats=1)
        ;;
    *)
        echo "fuzz.sh: leitor desconhecido: $alvo (projeto ou boletim)" >&2
        exit 2
        ;;
    esac
done
