#!/usr/bin/env bash
# End-to-end test of the voting terminal in a real X server (Xvfb).
#
# Usage: e2e_terminal.sh INSTALL_DIR
#   INSTALL_DIR is the folder laid out as an installation (votarim, votarim-banco,
#   sons/, fonts/). It is copied to a temporary folder and never touched.
#
# The test builds a small election with the sqlite3 CLI, starts the program with
# a Qt option on its command line (which must change nothing), moves the pointer
# through the top-right corner slowly and quickly ("Opções" must show only while
# the pointer is there), votes one whole cycle by clicking the keypad (one NORMAL, one LEGENDA, one
# NULO and one BRANCO vote), closes the program through "Fechar" and checks the
# rows stored in contagem_votacao.
#
# Exit codes: 0 passed, 77 skipped (tools missing), anything else failed.
# Environment (optional): E2E_SCREENSHOT=FILE copies the screenshot taken before
# closing; E2E_KEEP=1 keeps the temporary folder even on success.

set -u
set -o pipefail

readonly LARGURA_JANELA=579
readonly ALTURA_JANELA=409

# ---------------------------------------------------------------- helpers

tmp=""
xvfb_pid=""
prog_pid=""
vigia_pid=""
passou=0
# shellcheck source-path=SCRIPTDIR source=e2e_comum.sh
source "$(cd "$(dirname "$0")" && pwd)/e2e_comum.sh"

mostra_log_programa() {
    if [[ -n "$tmp" && -s "$tmp/votarim.log" ]]; then
        log "saída do programa (votarim.log):"
        sed 's/^/    | /' "$tmp/votarim.log"
    fi
}

falha() { # its own: the program's output under a heading, no screenshot (falha_com_tela takes one)
    log "FALHA: $*"
    mostra_log_programa
    [[ -n "$tmp" ]] && log "pasta temporária mantida para análise: $tmp"
    echo "0 passed, 1 failed"
    exit 1
}

pula() {
    log "IGNORADO: $*"
    exit 77
}

# shellcheck disable=SC2317 # called through the trap
limpa() {
    local rc=$?
    trap - EXIT INT TERM HUP
    encerra "$prog_pid"
    encerra "$xvfb_pid"
    encerra "$vigia_pid"
    # Kept after a failure (falha names it) or when E2E_KEEP is set.
    if [[ -n "$tmp" && -d "$tmp" && "$passou" == 1 && -z "${E2E_KEEP:-}" ]]; then
        rm -rf -- "$tmp"
    fi
    exit "$rc"
}
trap limpa EXIT
trap 'falha "interrompido (SIGINT)"' INT
trap 'falha "terminado por sinal (SIGTERM ou SIGHUP)"' TERM HUP

# ---------------------------------------------------------------- 1. tools

faltando() { # import and convert (ImageMagick) take and read the screenshots
    local f ausentes=()
    for f in Xvfb xdotool sqlite3 import convert; do
        command -v "$f" >/dev/null 2>&1 || ausentes+=("$f")
    done
    echo "${ausentes[*]}"
}

falta="$(faltando)"
if [[ -n "$falta" ]]; then
    if [[ "$(id -u)" == 0 ]] && command -v apt-get >/dev/null 2>&1; then
        log "instalando o que falta ($falta) com apt-get"
        export DEBIAN_FRONTEND=noninteractive
        if ! apt-get install -y -qq xvfb xauth xdotool sqlite3 imagemagick >/dev/null 2>&1; then
            apt-get update -qq >/dev/null 2>&1
            apt-get install -y -qq xvfb xauth xdotool sqlite3 imagemagick >/dev/null 2>&1
        fi
        falta="$(faltando)"
    fi
    if [[ -n "$falta" ]]; then
        pula "ferramentas ausentes: $falta (instale os pacotes xvfb, xdotool, sqlite3 e imagemagick)"
    fi
fi

# ---------------------------------------------------------------- 2. installation copy and database

[[ $# -eq 1 ]] || { echo "uso: $0 PASTA_DA_INSTALACAO" >&2; falha "argumento ausente"; }
origem="$1"
[[ -d "$origem" ]] || falha "a pasta da instalação não existe: $origem"
[[ -x "$origem/votarim" ]] || falha "o programa não foi encontrado: $origem/votarim"
[[ -x "$origem/votarim-banco" ]] || falha "a ferramenta não foi encontrada: $origem/votarim-banco"

tmp="$(mktemp -d "${TMPDIR:-/tmp}/votarim-e2e.XXXXXX")" || falha "mktemp -d falhou"
inst="$tmp/votarim"
cp -a -- "$origem" "$inst" || falha "não foi possível copiar $origem para $inst"
rm -f -- "$inst/candidatos.mdb" "$inst/candidatos.mdb-wal" "$inst/candidatos.mdb-shm" "$inst/candidatos.mdb-journal"
banco="$inst/candidatos.mdb"

if ! saida="$("$inst/votarim-banco" novo "$banco" 2>&1)"; then
    falha "votarim-banco novo falhou: $saida"
fi
[[ -f "$banco" ]] || falha "votarim-banco novo não criou $banco"

if ! saida="$(sqlite3 -bail "$banco" 2>&1 <<'SQL'
BEGIN;
INSERT INTO cargo (numcad_cargo, cargo, quantidade_numeros) VALUES
  (1, 'Presidente', 2),
  (2, 'Senador', 3),
  (3, 'Governador', 2),
  (4, 'Deputado', 4);
INSERT INTO partido (numcad_partido, partido, legenda) VALUES
  (1, 'Partido Azul', '13'),
  (2, 'Partido Verde', '45');
INSERT INTO candidatos (numcad_candidato, nome_candidato, numero_candidato, id_partido, id_cargo, foto) VALUES
  (1, 'Ana', '13', 1, 1, NULL),
  (2, 'Carla', '451', 2, 2, NULL);
INSERT INTO ordem_votacao (ordem_votacao, id_cargo) VALUES
  (1, 1),
  (2, 2),
  (3, 3),
  (4, 4);
COMMIT;
SQL
)"; then
    falha "não foi possível preencher o banco: $saida"
fi
log "banco criado e preenchido: $banco"

# ---------------------------------------------------------------- 3. X server

inicia_xvfb 91 130 || falha "não foi possível iniciar o Xvfb em nenhuma das telas :91 a :130 (veja $tmp/xvfb-*.log)"
log "Xvfb em $DISPLAY (pid $xvfb_pid)"

# If this script is killed outright, a watcher still ends Xvfb and the program.
(
    trap '' INT HUP
    trap 'exit 0' TERM
    while kill -0 $$ 2>/dev/null; do sleep 1; done
    [[ -n "$xvfb_pid" ]] && kill -TERM "$xvfb_pid" 2>/dev/null # TERM: Xvfb removes its lock
    [[ -f "$tmp/votarim.pid" ]] && kill -KILL "$(cat "$tmp/votarim.pid")" 2>/dev/null
    exit 0
) </dev/null >/dev/null 2>&1 &
vigia_pid=$!

screenshot() { # file
    local arquivo="$1"
    if command -v import >/dev/null 2>&1 && import -display "$DISPLAY" -window root "$arquivo" 2>/dev/null; then
        return 0
    fi
    if command -v xwd >/dev/null 2>&1 && [[ -x /usr/bin/convert ]] &&
        xwd -root -silent -display "$DISPLAY" | /usr/bin/convert xwd:- "png:$arquivo" 2>/dev/null; then
        return 0
    fi
    return 1
}

falha_com_tela() {
    local arquivo="$tmp/falha.png"
    if screenshot "$arquivo"; then
        log "captura da tela no momento da falha: $arquivo"
        [[ -n "${E2E_SCREENSHOT:-}" ]] && cp -f -- "$arquivo" "$E2E_SCREENSHOT" 2>/dev/null
    fi
    falha "$@"
}

# ---------------------------------------------------------------- 4. the program

# The program reads no command line: a Qt option given to it, here a style sheet in
# the current folder that paints every widget red, must change nothing.
printf 'QWidget { background-color: #ff0000; }\n' >"$tmp/vermelho.qss"
(cd "$tmp" && exec env QT_QPA_PLATFORM=xcb "$inst/votarim" -stylesheet vermelho.qss) </dev/null >"$tmp/votarim.log" 2>&1 &
prog_pid=$!
echo "$prog_pid" >"$tmp/votarim.pid"
log "programa iniciado (pid $prog_pid)"

programa_vivo() { kill -0 "$prog_pid" 2>/dev/null; }

exige_programa_vivo() { # context
    if ! programa_vivo; then
        local rc=0
        wait "$prog_pid" 2>/dev/null || rc=$?
        prog_pid=""
        local sinal=""
        ((rc > 128)) && sinal=", sinal SIG$(kill -l $((rc - 128)) 2>/dev/null)"
        falha "o programa terminou sozinho (status $rc$sinal) $1"
    fi
}

# Lists "id width height x y" for every visible window titled exactly "Votarim".
janelas_votarim() {
    local id
    for id in $(xdotool search --onlyvisible --name '^Votarim$' 2>/dev/null); do
        (
            eval "$(xdotool getwindowgeometry --shell "$id" 2>/dev/null)" || exit 0
            echo "$id ${WIDTH:-0} ${HEIGHT:-0} ${X:-0} ${Y:-0}"
        )
    done
}

janela=""
wx=0
wy=0
caixa_desde=""
for ((i = 0; i < 200; i++)); do # up to 20 s
    exige_programa_vivo "antes de mostrar a janela"
    outras=""
    while read -r id w h x y; do
        [[ -n "$id" ]] || continue
        if [[ "$w" == "$LARGURA_JANELA" && "$h" == "$ALTURA_JANELA" ]]; then
            janela="$id"
            wx="$x"
            wy="$y"
        else
            outras+="$id ${w}x${h} em ($x,$y); "
        fi
    done < <(janelas_votarim)
    [[ -n "$janela" ]] && break
    # A message box shown at start-up blocks the window: give up after 3 s of it.
    if [[ -n "$outras" ]]; then
        [[ -n "$caixa_desde" ]] || caixa_desde=$i
        if ((i - caixa_desde >= 30)); then
            falha_com_tela "uma caixa de mensagem apareceu no lugar da janela principal: $outras(veja a captura)"
        fi
    fi
    sleep 0.1
done
if [[ -z "$janela" ]]; then
    falha_com_tela "a janela ${LARGURA_JANELA}x${ALTURA_JANELA} \"Votarim\" não apareceu em 20 s"
fi
log "janela $janela em ($wx,$wy)"
sleep 0.5 # let the first paint and the start-up lookups finish

# A window titled "Votarim" of another size is a message box: the program is waiting for an answer.
verifica_sem_mensagem() { # context
    local id w h x y
    while read -r id w h x y; do
        [[ -n "$id" && "$id" != "$janela" ]] || continue
        local nome
        nome="$(xdotool getwindowname "$id" 2>/dev/null)"
        falha_com_tela "uma caixa de mensagem \"$nome\" (${w}x${h}) apareceu $1"
    done < <(janelas_votarim)
}

verifica_sem_mensagem "ao iniciar"

# ---------------------------------------------------------------- 4b. command line and "Opções"

exige_captura() { # file context
    screenshot "$1" || falha "não foi possível capturar a tela $2 (import ou xwd+convert ausentes)"
}

# The grey level (0-255) of a screen pixel, and the darkest one in a rectangle.
cinza() { # file x y
    convert "$1" -colorspace Gray -format "%[fx:round(255*p{$2,$3})]" info:
}
cinza_minimo() { # file x y w h
    convert "$1" -crop "${4}x${5}+$2+$3" +repage -colorspace Gray -format '%[fx:round(255*minima)]' info:
}
vermelho() { # file x y -> true when the pixel is red
    local r g
    r="$(convert "$1" -format "%[fx:round(255*p{$2,$3}.r)]" info:)"
    g="$(convert "$1" -format "%[fx:round(255*p{$2,$3}.g)]" info:)"
    ((r > 200 && g < 80))
}

captura="$tmp/inicio.png"
exige_captura "$captura" "ao iniciar"
if vermelho "$captura" $((wx + 30)) $((wy + 50)); then
    falha_com_tela "a opção -stylesheet da linha de comando foi aceita: o fundo da janela ficou vermelho"
fi
fundo="$(cinza "$captura" $((wx + 30)) $((wy + 50)))"
((fundo > 180 && fundo < 205)) || falha_com_tela "o fundo da janela não é prata (cinza $fundo)"
log "a linha de comando não mudou a janela"

# "Opções" (517,6 54x20) shows its dark caption when visible; hidden, the corner is silver.
opcoes_visivel() { # context
    local f="$tmp/opcoes.png"
    sleep 0.3
    exige_captura "$f" "$1"
    (($(cinza_minimo "$f" $((wx + 517)) $((wy + 6)) 54 20) < 100))
}
readonly CANTO_X=$((wx + 540)) CANTO_Y=$((wy + 15))
readonly FORA_X=$((wx + 300)) FORA_Y=$((wy + ALTURA_JANELA + 40))
readonly MEIO_X=$((wx + 200)) MEIO_Y=$((wy + 200))

xdotool mousemove --sync "$CANTO_X" "$CANTO_Y" || falha "xdotool não moveu o ponteiro"
opcoes_visivel "com o ponteiro no canto" || falha_com_tela "\"Opções\" não apareceu com o ponteiro no canto"
# A motion over the button itself, then out: the button's own Leave hides it.
xdotool mousemove --sync $((CANTO_X + 6)) "$CANTO_Y" sleep 0.3 mousemove --sync "$FORA_X" "$FORA_Y"
opcoes_visivel "com o ponteiro fora" && falha_com_tela "\"Opções\" ficou visível depois de o ponteiro sair devagar"

# Two quick motions that the program handles together, as when it is busy: the
# program is stopped while the pointer passes through the corner and goes on.
rapido() { # x y: through the corner to there
    kill -STOP "$prog_pid"
    xdotool mousemove --sync "$CANTO_X" "$CANTO_Y" mousemove --sync "$1" "$2"
    kill -CONT "$prog_pid"
}

# Through the corner and out of the window, then back in the middle.
rapido "$FORA_X" "$FORA_Y"
opcoes_visivel "depois de passar rápido pelo canto" &&
    falha_com_tela "\"Opções\" ficou visível depois de o ponteiro passar rápido pelo canto e sair da janela"
xdotool mousemove --sync "$MEIO_X" "$MEIO_Y"
opcoes_visivel "com o ponteiro no meio" && falha_com_tela "\"Opções\" visível com o ponteiro no meio da janela"

# Through the corner and straight to the middle, without leaving the window.
xdotool mousemove --sync "$FORA_X" "$FORA_Y"
rapido "$MEIO_X" "$MEIO_Y"
opcoes_visivel "depois de ir do canto ao meio" &&
    falha_com_tela "\"Opções\" ficou visível depois de o ponteiro ir rápido do canto ao meio da janela"
log "\"Opções\" aparece no canto e some quando o ponteiro não está sobre ele"

# ---------------------------------------------------------------- 5. voting

readonly TECLADO_X=348
readonly TECLADO_Y=138

# Key name -> "x y w h" inside the keypad panel.
declare -A TECLA=(
    [1]="24 8 45 35" [2]="87 8 45 35" [3]="148 8 45 35"
    [4]="24 63 45 35" [5]="87 63 45 35" [6]="148 63 45 35"
    [7]="24 119 45 35" [8]="87 119 45 35" [9]="148 119 45 35"
    [0]="87 172 45 35"
    [BRANCO]="5 222 67 35" [CORRIGE]="78 222 67 35" [CONFIRMA]="153 211 67 46"
)

clica_em() { # x y (window coordinates) description
    local x=$((wx + $1)) y=$((wy + $2))
    exige_programa_vivo "antes do clique em $3"
    clique "$x" "$y" || falha_com_tela "xdotool não conseguiu clicar em $3 ($x,$y)"
    sleep 0.15
}

tecla() { # key name
    local posicao="${TECLA[$1]:-}"
    [[ -n "$posicao" ]] || falha "tecla desconhecida: $1"
    local x y w h
    read -r x y w h <<<"$posicao"
    clica_em $((TECLADO_X + x + w / 2)) $((TECLADO_Y + y + h / 2)) "tecla $1"
}

vota() { # description, keys...
    local descricao="$1"
    shift
    local k
    for k in "$@"; do tecla "$k"; done
    sleep 0.2
    verifica_sem_mensagem "depois do voto: $descricao"
    log "votado: $descricao ($*)"
}

hoje_antes="$(date +%F)"
vota "Presidente, Ana (NORMAL)" 1 3 CONFIRMA
vota "Senador, legenda 45 (LEGENDA)" 4 5 CONFIRMA
vota "Governador, número errado 99 (NULO)" 9 9 CONFIRMA
vota "Deputado, em branco (BRANCO)" BRANCO CONFIRMA

# The screen shows "FIM" for 2 s and returns to the first office.
sleep 2.5
exige_programa_vivo "depois do ciclo de votação"
verifica_sem_mensagem "depois do ciclo de votação"

# ---------------------------------------------------------------- 7. screenshot

captura="$tmp/terminal.png"
if screenshot "$captura"; then
    log "captura da tela: $captura"
    if [[ -n "${E2E_SCREENSHOT:-}" ]]; then
        cp -f -- "$captura" "$E2E_SCREENSHOT" && log "captura copiada para $E2E_SCREENSHOT"
    fi
else
    log "aviso: não foi possível capturar a tela (import ou xwd+convert ausentes)"
fi

# ---------------------------------------------------------------- closing

clica_em $((8 + 49 / 2)) $((8 + 13 / 2)) "Fechar"
status=""
for ((i = 0; i < 100; i++)); do # up to 10 s
    if ! programa_vivo; then
        status=0
        wait "$prog_pid" 2>/dev/null || status=$?
        prog_pid=""
        break
    fi
    sleep 0.1
done
if [[ -z "$status" ]]; then
    outras="$(janelas_votarim | grep -v "^$janela " || true)"
    [[ -n "$outras" ]] && log "janelas abertas com o título Votarim (id largura altura x y): $outras"
    falha_com_tela "o programa não terminou em 10 s depois do clique em \"Fechar\""
fi
if [[ "$status" != 0 ]]; then
    if ((status > 128)); then
        falha "o programa terminou pelo sinal SIG$(kill -l $((status - 128)) 2>/dev/null) (status $status, esperado 0)"
    fi
    falha "o programa terminou com status $status (esperado 0)"
fi
log "programa encerrado com status 0"
hoje_depois="$(date +%F)"

# ---------------------------------------------------------------- 6. stored votes

integridade="$(sqlite3 "$banco" 'PRAGMA integrity_check;' 2>&1)" || falha "PRAGMA integrity_check falhou: $integridade"
[[ "$integridade" == "ok" ]] || falha "PRAGMA integrity_check: $integridade"

# Today's date shows as HOJE (either date counts when the test crosses midnight).
consulta="SELECT voto, quote(id_candidato), quote(numero_candidato), quote(id_cargo), quote(id_partido),
                 quote(legenda),
                 CASE WHEN typeof(data) = 'text' AND data IN ('$hoje_antes', '$hoje_depois') THEN 'HOJE' ELSE quote(data) END
          FROM contagem_votacao ORDER BY voto, id_candidato;"
obtido="$(sqlite3 -separator '|' "$banco" "$consulta" 2>&1)" || falha "a consulta dos votos falhou: $obtido"

esperado="$(
    cat <<'EOF'
BRANCO|NULL|NULL|4|NULL|NULL|HOJE
LEGENDA|2|NULL|2|NULL|'45'|HOJE
NORMAL|1|'13'|1|1|NULL|HOJE
NULO|NULL|NULL|3|NULL|NULL|HOJE
EOF
)"

if [[ "$obtido" != "$esperado" ]]; then
    printf '%s\n' "$esperado" >"$tmp/esperado.txt"
    printf '%s\n' "$obtido" >"$tmp/obtido.txt"
    log "contagem_votacao difere do esperado"
    log "colunas: voto|id_candidato|numero_candidato|id_cargo|id_partido|legenda|data (HOJE = $hoje_depois)"
    diff -u --label esperado --label obtido "$tmp/esperado.txt" "$tmp/obtido.txt" | sed 's/^/    /'
    falha "os votos gravados não são os esperados"
fi
log "4 votos gravados como esperado; integridade ok"

passou=1
[[ -n "${E2E_KEEP:-}" ]] && log "pasta temporária mantida (E2E_KEEP): $tmp"
log "OK"
echo "1 passed, 0 failed"
exit 0
