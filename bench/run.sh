#!/usr/bin/env bash
# Builds and runs the benchmarks, prints the results table and writes it to
# docs/performance.md.
#
# Usage: bench/run.sh [BUILD_DIR]          (default: build/)
# Environment: BENCH_NUMBERS (2000), BENCH_CYCLES (100), BENCH_RUNS (10);
#              BENCH_NO_DOCS=1 leaves docs/performance.md alone.
#
# The generated election (~3.2 GB) is kept in BUILD_DIR/bench-data/ and reused;
# delete that folder to generate it again. That folder is also the installation
# the benchmarks run in: the database, sounds, fonts and copies of the programs.
set -euo pipefail
raiz=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$raiz/build}")
dados=$build/bench-data

# Build output goes to stderr so that stdout carries the tables only.
cmake -S "$raiz" -B "$build" -G Ninja >&2
cmake --build "$build" --target bench >&2

"$build/bench/bench_gera" "$dados/candidatos.mdb"
mkdir -p "$dados/sons"
cp -f "$build"/votarim/sons/*.wav "$dados/sons/"
if [ -d "$build/votarim/fonts" ]; then
    mkdir -p "$dados/fonts"
    cp -f "$build"/votarim/fonts/* "$dados/fonts/"
fi
# The program finds its files beside its executable, so the start-up runs from copies.
cp -f "$build/bench/bench_inicio" "$build/bench/bench_minimo" "$build/votarim/votarim" "$build/votarim/votarim-som.so" "$dados/"

export QT_QPA_PLATFORM=offscreen
saida=$(mktemp)
trap 'rm -f "$saida"' EXIT
echo "bench: digits and CONFIRMA in the terminal window..." >&2
"$build/bench/bench_terminal" "$dados" "${BENCH_NUMBERS:-2000}" "${BENCH_CYCLES:-100}" >>"$saida"
echo "bench: start-up and memory..." >&2
"$build/bench/bench_partida" "$dados" "${BENCH_RUNS:-10}" >>"$saida"
echo "bench: ballot secrecy (vote, FIM, journal, rebuild)..." >&2; "$build/bench/bench_sigilo" "$dados" "${BENCH_VOTERS:-100}" >>"$saida"

tabela() {
    echo "| measure | value | baseline | ratio | goal | met? |"
    echo "|---|---:|---:|---:|---|---|"
    awk -F'|' '$1 == "ROW" { printf "| %s | %s | %s | %s | %s | %s |\n", $2, $3, $4, $5, $6, $7 }' "$saida"
}
detalhes() {
    echo "| detail | value |"
    echo "|---|---:|"
    awk -F'|' '$1 == "DETAIL" { printf "| %s | %s |\n", $2, $3 }' "$saida"
}

echo
tabela
echo
detalhes

[ "${BENCH_NO_DOCS:-}" = 1 ] && exit 0

tipo=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")
[ -n "$tipo" ] || tipo="RelWithDebInfo (the project's default)"
sanit=$(sed -n 's/^VOTARIM_SANITIZE:[A-Z]*=//p' "$build/CMakeCache.txt")
cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n1)
mem=$(awk '/^MemTotal/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo)
fs=$(df -PT "$dados" | awk 'NR == 2 { print $2 }')
versao=$(git -C "$raiz" rev-parse --short HEAD 2>/dev/null || echo "?")
[ -n "$(git -C "$raiz" status --porcelain 2>/dev/null)" ] && versao="$versao (with uncommitted changes)"

{
    cat <<EOF
# Performance

Run every benchmark with one command, from the checkout:

    bench/run.sh [BUILD_DIR]

It configures and builds the \`bench\` target in BUILD_DIR (default \`build/\`),
generates the benchmark election once in \`BUILD_DIR/bench-data/\` (about a
minute; reused afterwards), runs the measurements with \`QT_QPA_PLATFORM=offscreen\`,
prints the table below and rewrites this file. Each figure is compared with a
baseline measured in the same run on the same machine, so the ratios matter more
than the absolute values. The benchmarks are not tests and assert no times.

## The data

\`bench_gera\` creates, through the program's own schema, an election of 5 offices
of 1 to 5 digits (the 5-digit one first in the voting order), 200 parties (90 with
the legends 10 to 99, 110 without a legend), 100,000 candidates each with a 30,054-byte
photo (a 24-bit 100 × 100 BMP) and 1,000,000 votes of every kind dated on the day
of generation: a 3.2 GB file. The folder also gets the sounds and fonts of the
installation, so the runs play and draw what the installed program does.

## What is measured

- **Digit click to screen updated** (\`bench_terminal\`): the real terminal window
  in the benchmark process, on the generated database. For $(printf "%'d" "${BENCH_NUMBERS:-2000}") random candidates
  of the 5-digit office, each of the 5 digit keys is clicked with QTest::mouseClick;
  the time runs from the click until one pass of QCoreApplication::processEvents
  has returned, which includes the lookups, the sound cue, the photo and the
  repaint of the widgets the click changed (the details tell for how many digits
  the box was seen painted in that span). Between candidates CORRIGE is
  clicked, untimed. Baseline: the bare existence lookup
  \`select numero_candidato from candidatos where numero_candidato = ? and id_cargo = ?\`,
  prepared once on the program's own connection and run with bind, step and reset
  for every prefix of the same numbers.
- **CONFIRMA to next office prepared** (\`bench_terminal\`): $(printf "%'d" "${BENCH_CYCLES:-100}") voters each key a
  valid candidate in every office; the click on CONFIRMA is timed until it
  returns, by when the vote has been stored (WAL, synchronous=FULL: one fsync)
  and the next office prepared. The click on the last office, which shows FIM,
  is reported apart. Baseline: appending 100 bytes to a file in the same folder
  and calling fsync, once after each vote.
- **Start-up to first office on screen** (\`bench_partida\`): \`bench_inicio\` is
  \`app/main.cpp\` line for line plus a probe that, once the window's first paint
  pass is over and the office name is on the screen, prints the time since the
  parent spawned it (both read CLOCK_MONOTONIC) and leaves the event loop. It runs
  from the installation folder as the program does. Baseline: \`bench_minimo\`,
  a Qt Widgets program showing one empty 579 × 409 window, probed the same way.
  $(printf "%'d" "${BENCH_RUNS:-10}") runs of each, alternating, after one warm-up run each; medians.
- **Peak memory**: the children's ru_maxrss (wait4) in those same runs. The real
  \`votarim\` executable, stopped after 3 s, is measured too as a check that
  \`bench_inicio\` stands for it.

The details below the table split those figures: each digit position apart; the
click's handlers apart from the repaint; parts of the handlers timed alone with
the program's own classes (a lookup through \`Query\`, the photo shown through a
temporary file as the terminal does it and decoded from memory instead, the vote
insert, \`prepara_cargo\`, the sound cue), with a bare fsync alternating with them
since the disk's pace changes from second to second; the moments of the start-up
steps; and a bare window showing one line of text, which tells what the font
set-up alone costs.

## Results

Machine: $(nproc) CPUs (${cpu:-unknown CPU}), ${mem} of memory, data on ${fs};
$(uname -sr). Build: ${tipo}$([ "$sanit" = ON ] && echo ", with sanitizers"), commit ${versao}, $(date -u '+%Y-%m-%d %H:%M UTC').

EOF
    tabela
    echo
    detalhes
} >"$raiz/docs/performance.md"
echo >&2
echo "bench: wrote $raiz/docs/performance.md" >&2
