#!/usr/bin/env bash
# Installs the Debian 12 packages Votarim needs to build, run and test, when missing.
set -euo pipefail

pacotes=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-multimedia-dev qt6-qpa-plugins qt6-translations-l10n libgl-dev
    libsqlite3-dev sqlite3 libssl-dev openssl
    fonts-wine fonts-dejavu-core
    libqrencode-dev zbar-tools
    xvfb xauth xdotool x11-utils imagemagick poppler-utils python3
    # spoken guidance of the terminal (votarim --fala): Qt's text-to-speech (its CMake files need
    # qt6-declarative-dev's QmlIntegration) and a Portuguese voice
    qt6-speech-dev qt6-declarative-dev qt6-speech-speechd-plugin speech-dispatcher speech-dispatcher-espeak-ng
)

faltam=()
for p in "${pacotes[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || faltam+=("$p")
done
[ ${#faltam[@]} -eq 0 ] && exit 0

echo "Instalando: ${faltam[*]}" >&2
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${faltam[@]}" >/dev/null
