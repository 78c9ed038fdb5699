#!/usr/bin/env bash
# Installs what is missing, builds, creates a demo database beside the program
# when there is none (an existing one is never touched) and starts Votarim.
# Usage: tools/executa.sh [--fala | --fala=arquivo:CAMINHO]   (spoken guidance)
set -euo pipefail
raiz=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$raiz/build}

bash "$raiz/tools/dependencias.sh"
cmake -S "$raiz" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build"

banco="$build/votarim/candidatos.mdb"
if [ ! -e "$banco" ]; then
    "$build/votarim/votarim-banco" exemplo "$banco"
fi
exec "$build/votarim/votarim" "$@"
