#!/usr/bin/env bash
# Installs what is missing, builds and runs every test. With --sanitizers the
# build goes to its own folder with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
raiz=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$raiz/build}
extra=()
if [ "${1:-}" = "--sanitizers" ]; then
    build=${BUILD_DIR:-$raiz/build-asan}
    extra=(-DVOTARIM_SANITIZE=ON)
    export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:fast_unwind_on_malloc=0}
    export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$raiz/tests/lsan.supp:print_suppressions=0}
    export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
fi

bash "$raiz/tools/dependencias.sh"
cmake -S "$raiz" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVOTARIM_BENCH=OFF "${extra[@]}" >/dev/null
cmake --build "$build"
cd "$build"
ctest --output-on-failure --timeout 600
