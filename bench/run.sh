#!/usr/bin/env bash
# Builds and runs the benchmarks, prints the results table and writes it to
# docs/performance.md.
#
# Usage: bench/run.sh [BUILD_DIR]          (default: build-bench/, a build folder of
#        its own with VOTARIM_BENCH=ON: the test command does not build the benchmarks)
# Environment: BENCH_RUNS (5) runs of the terminal benchmark on each platform,
#              BENCH_NUMBERS (300) numbers per window and run, BENCH_COLD (100)
#              numbers per window and run with the file evicted from the page cache,
#              BENCH_CYCLES (40) voters per run, BENCH_STARTS (10) start-up pairs;
#              BENCH_TOTALS_RUNS (3) runs of the totals over 10,000 bulletins;
#              BENCH_NO_XVFB=1 skips the run under Xvfb; BENCH_NO_DOCS=1 leaves
#              docs/performance.md alone.
#
# The generated election (~3.2 GB) is kept in BUILD_DIR/bench-data/ and reused;
# delete that folder to generate it again. That folder is also the installation
# the benchmarks run in: the database, sounds, fonts and copies of the programs.
set -euo pipefail
raiz=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$raiz/build-bench}")
dados=$build/bench-data
runs=${BENCH_RUNS:-5}
numeros=${BENCH_NUMBERS:-300}
frios=${BENCH_COLD:-100}
ciclos=${BENCH_CYCLES:-40}
partidas=${BENCH_STARTS:-10}

# Build output goes to stderr so that stdout carries the tables only.
cmake -S "$raiz" -B "$build" -G Ninja -DVOTARIM_BENCH=ON -DBUILD_TESTING=OFF >&2
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
# The baseline window's 30 KB picture: a candidate's photo.
[ -s "$dados/bench-imagem.bmp" ] ||
    sqlite3 "$dados/candidatos.mdb" "select writefile('$dados/bench-imagem.bmp', foto) from candidatos limit 1" >/dev/null

saida=$(mktemp)
trap 'rm -f "$saida"' EXIT

for ((i = 1; i <= runs; i++)); do
    echo "bench: terminal against the lean window, offscreen, run $i of $runs..." >&2
    QT_QPA_PLATFORM=offscreen "$build/bench/bench_terminal" "$dados" "$numeros" "$ciclos" "$frios" >>"$saida"
done

# Under a real X server: the repaint goes to the screen as it does for a voter.
if [ "${BENCH_NO_XVFB:-}" != 1 ] && command -v Xvfb >/dev/null && command -v xdotool >/dev/null; then
    ( # the end-to-end tests' server, in a subshell that keeps its DISPLAY and ends it
        # shellcheck source-path=SCRIPTDIR source=../tests/e2e_comum.sh
        source "$raiz/tests/e2e_comum.sh"
        xvfb_pid=""
        trap 'encerra "$xvfb_pid"' EXIT
        if ! inicia_xvfb 140 180 1280x1024; then
            echo "bench: no Xvfb display could be started; the Xvfb rows are missing" >&2
            exit 0
        fi
        for ((i = 1; i <= runs; i++)); do
            echo "bench: terminal against the lean window, Xvfb, run $i of $runs..." >&2
            QT_QPA_PLATFORM=xcb "$build/bench/bench_terminal" "$dados" "$numeros" 0 0 >>"$saida"
        done
    )
fi

echo "bench: start-up and memory..." >&2
QT_QPA_PLATFORM=offscreen "$build/bench/bench_partida" "$dados" "$partidas" >>"$saida"
echo "bench: data layer and bound controls (bench/bench_dados.cpp)..." >&2
QT_QPA_PLATFORM=offscreen "$build/bench/bench_dados" "$dados" >>"$saida"
echo "bench: ballot secrecy: vote, FIM, journal, rebuild (bench/bench_sigilo.cpp)..." >&2
"$build/bench/bench_sigilo" "$dados" "${BENCH_VOTERS:-100}" >>"$saida"
echo "bench: the registration window (bench/bench_cadastro.cpp)..." >&2
QT_QPA_PLATFORM=offscreen "$build/bench/bench_cadastro" "$dados" "$runs" >>"$saida"
echo "bench: the report engine (bench/bench_relatorio.cpp)..." >&2
QT_QPA_PLATFORM=offscreen "$build/bench/bench_relatorio" "${BENCH_REPORT_RUNS:-5}" >>"$saida"
echo "bench: the result of a day (bench/bench_resultado.cpp)..." >&2
QT_QPA_PLATFORM=offscreen "$build/bench/bench_resultado" "$dados" "${BENCH_RESULT_RUNS:-5}" >>"$saida"
echo "bench: the totals of 10,000 bulletins (bench/bench_boletim.cpp)..." >&2
"$build/bench/bench_boletim" "$dados" "${BENCH_TOTALS_RUNS:-3}" >>"$saida"

# RUN|measure|value|baseline|goal|unit lines, one per run: each run's ratio, and
# over the runs the median value and baseline and the min / median / max ratio.
# RUNDETAIL|name|value: median (min–max) over the runs. DETAIL|name|text and
# ROW|measure|value|baseline|ratio|goal|met (a figure already summed up): as they are.
resumo='
function ordena(a, n,    i, j, t) {
    for (i = 2; i <= n; i++) { t = a[i]; for (j = i - 1; j >= 1 && a[j] > t; j--) a[j + 1] = a[j]; a[j + 1] = t }
}
function mediana(a, n) { return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2 }
function valor(x, u) {
    if (u == "KiB") return sprintf("%.1f MiB", x / 1024)
    return x < 0.1 ? sprintf("%.1f µs", x * 1000) : sprintf("%.3f ms", x)
}
'
tabela() {
    echo "| measure | value (median) | baseline (median) | ratio min / median / max | goal | met? |"
    echo "|---|---:|---:|---:|---|---|"
    awk -F'|' "$resumo"'
    $1 == "RUN" { k = $2; if (!(k in n)) ordem[++m] = k; i = ++n[k]; v[k, i] = $3; b[k, i] = $4
                  r[k, i] = $4 > 0 ? $3 / $4 : 0; meta[k] = $5; un[k] = $6 }
    $1 == "ROW" { fixo[++f] = sprintf("| %s | %s | %s | %s | %s | %s |", $2, $3, $4, $5, $6, $7) }
    END {
        for (j = 1; j <= m; j++) {
            k = ordem[j]; c = n[k]
            for (i = 1; i <= c; i++) { x[i] = v[k, i]; y[i] = b[k, i]; z[i] = r[k, i] }
            ordena(x, c); ordena(y, c); ordena(z, c)
            med = mediana(z, c)
            printf "| %s (%d runs) | %s | %s | %.2fx / %.2fx / %.2fx | ≤ %sx | %s |\n", k, c, valor(mediana(x, c), un[k]),
                valor(mediana(y, c), un[k]), z[1], med, z[c], meta[k], med <= meta[k] ? "yes" : "NO"
        }
        for (j = 1; j <= f; j++) print fixo[j]
    }' "$saida"
}
detalhes() {
    echo "| detail | value |"
    echo "|---|---:|"
    awk -F'|' "$resumo"'
    $1 == "RUNDETAIL" { k = $2; if (!(k in n)) ordem[++m] = k; v[k, ++n[k]] = $3 }
    $1 == "DETAIL" { fixo[++f] = sprintf("| %s | %s |", $2, $3) }
    END {
        for (j = 1; j <= m; j++) {
            k = ordem[j]; c = n[k]
            for (i = 1; i <= c; i++) x[i] = v[k, i]
            ordena(x, c)
            printf "| %s: median (min–max) | %.3f (%.3f–%.3f) |\n", k, mediana(x, c), x[1], x[c]
        }
        for (j = 1; j <= f; j++) print fixo[j]
    }' "$saida"
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

It configures BUILD_DIR (default \`build-bench/\`) with \`VOTARIM_BENCH=ON\` (the
benchmarks are built there only, never by the test command) and builds the
\`bench\` target,
generates the benchmark election once in \`BUILD_DIR/bench-data/\` (about a
minute; reused afterwards), runs the measurements offscreen and under Xvfb,
prints the table below and rewrites this file. Every figure is compared with a
baseline that does the same work by the leanest means, measured in the same run
on the same machine; each row gives the ratio's minimum, median and maximum over
several runs, and a goal is met when the median ratio is within it. The
benchmarks are not tests and assert no times.

## The data

\`bench_gera\` creates, through the program's own schema, an election of 5 offices
of 1 to 5 digits (the 5-digit one first in the voting order), 200 parties (90 with
the legends 10 to 99, 110 without a legend), 100,000 candidates each with a 30,054-byte
photo (a 24-bit 100 × 100 BMP) and 1,000,000 votes of every kind dated on the day
of generation: a 3.2 GB file. The folder also gets the sounds and fonts of the
installation, so the runs play and draw what the installed program does.

## What is measured

- **Digit click to screen updated, per digit position** (\`bench_terminal\`, ${runs} runs
  offscreen and ${runs} under Xvfb): the real terminal window and a lean version of
  the same window side by side in one process, on the generated database. The lean
  window is a second terminal window (the same widgets, fonts and key pictures)
  whose digit keys run the leanest handler that does the terminal's work: the digit
  put into the next box, the same lookups through bare statements prepared once on
  the same connection, the photo decoded from memory, the same labels, mark and
  sound cue. In each run each window keys ${numeros} random 5-digit candidates of its own,
  the two taking turns to go first; each digit is timed from QTest::mouseClick on the
  key until one pass of QCoreApplication::processEvents has returned, so the repaint
  is included. CORRIGE between numbers, untimed.
- **Digit 5 with a cold cache** (same runs, offscreen): ${frios} more numbers per window
  with the database file evicted from the page cache before each number (what
  \`dd if=FILE iflag=nocache count=0\` does: posix_fadvise DONTNEED on the whole
  file); the terminal's fifth digit against its own warm figure.
- **CONFIRMA to next office prepared** (same runs): ${ciclos} voters per run key a valid
  candidate in every office; the click on CONFIRMA is timed until it returns (the
  vote stored durably, the next office prepared). Baseline: right after each click,
  the same row inserted by a bare statement prepared once on the same connection
  and file. The click on the last office, which shows FIM, is a detail.
- **Start-up to first office on screen** (\`bench_partida\`, ${partidas} pairs): \`bench_inicio\` is
  \`app/main.cpp\` and \`Votarim::executa\` line for line plus a probe that, once the
  window's first paint pass is over and the office name is on the screen, prints
  the time since the parent spawned it (both read CLOCK_MONOTONIC) and leaves the
  event loop. It runs from the installation folder as the program does. Baseline:
  \`bench_minimo\`, a 579 × 409 Qt Widgets window showing one label and one 30 KB
  picture, probed the same way (any window with text pays for the font set-up).
  Each pair runs both, the order alternating, after one warm-up run each.
- **Peak memory**: the children's ru_maxrss (wait4) in those same pairs. The real
  \`votarim\` executable, stopped after 3 s, is measured too as a check that
  \`bench_inicio\` stands for it.
- **Ballot secrecy** (\`bench_sigilo\`, 100 voters): each voter's five votes through
  CONFIRMA's query object on the program's connection (pages ordered on their way to
  the file) and its "FIM" step, against the same ballot stored by a bare statement
  prepared once on a plain SQLite connection (no secrecy layer; the same schema,
  connection pragmas and votes, in \`sigilo-simples.mdb\`, copied once) and its log
  emptied by a plain checkpoint; the two take turns to go first.
- **Registration window** (\`bench_cadastro\`): the lean window reads only what the
  first tab shows (offices, parties, the candidates' keys, names and numbers) into
  compact vectors. The drop-downs of 100,000 names (\`bench_cadastro\`, \`bench_dados\`)
  are compared with a pop-up list view over a string list of the same names.
- **The result of a day** (\`bench_resultado\`, its own day of 1,000,000 votes over
  5,000 candidates): each day query through our data layer against the sqlite3 tool
  running the same SQL, and against a floor reading the same pages: for the totals,
  one pass over the day's votes counted per kind (\`select voto, count(*) ... where
  data = ? group by voto\`, the covering index the query reads); for the others a
  full scan of the vote table. The result report to PDF (\`votarim-banco resultado
  --pdf\`, the whole process), warm and with the file evicted before each run, against
  a floor run as a process of its own: the four day queries by bare statements and
  QPdfWriter (the same PDF/A-1b) drawing by hand the very pages the engine laid out,
  written to a file beforehand: the same texts in the same fonts and boxes, lines,
  boxes and pictures. And \`votarim-banco resultado\` as text on a day of 100,000
  candidates against \`tools/confere_digital.sh\` (the sqlite3 tool running the same
  queries), both checked first to give the same fingerprint.

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
