#!/usr/bin/env bash
# End-to-end test of the registration window in a real X server (Xvfb).
#
# Usage: e2e_cadastro.sh INSTALL_DIR   (copied to a temporary folder, never touched)
#
# From a database made by "votarim-banco novo" with one office in the voting order,
# the operator moves the pointer into the terminal's top-right corner, clicks
# "Opções", adds a party and a candidate of that office with the keyboard and the
# mouse, and closes the window with its close box (the window manager's
# WM_DELETE_WINDOW, sent here since Xvfb runs none). A voter then votes for the new
# candidate; the stored rows are checked with sqlite3 once the program has ended.
#
# Exit codes: 0 passed, 77 skipped (tools missing), anything else failed.

set -u
set -o pipefail

readonly NOME_TESTE="e2e_cadastro"
tmp=""
xvfb_pid=""
prog_pid=""
passou=0

log() { printf '[%s] %s\n' "$NOME_TESTE" "$*"; }

falha() {
    log "FALHA: $*"
    [[ -n "$tmp" && -s "$tmp/votarim.log" ]] && sed 's/^/    | /' "$tmp/votarim.log"
    if [[ -n "$tmp" && -n "${DISPLAY:-}" ]] && import -window root "$tmp/falha.png" 2>/dev/null; then
        log "captura da tela: $tmp/falha.png"
    fi
    [[ -n "$tmp" ]] && log "pasta temporária mantida para análise: $tmp"
    exit 1
}

encerra() { # pid
    [[ -n "$1" ]] && kill -0 "$1" 2>/dev/null || return 0
    kill -TERM "$1" 2>/dev/null
    for ((i = 0; i < 20; i++)); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$1" 2>/dev/null
    wait "$1" 2>/dev/null
    return 0
}

# shellcheck disable=SC2317 # called through the trap
limpa() {
    local rc=$?
    trap - EXIT
    encerra "$prog_pid"
    encerra "$xvfb_pid"
    [[ -n "$tmp" && "$passou" == 1 && -z "${E2E_KEEP:-}" ]] && rm -rf -- "$tmp"
    exit "$rc"
}
trap limpa EXIT
trap 'falha "interrompido"' INT TERM HUP

for f in Xvfb xdotool sqlite3 python3; do
    command -v "$f" >/dev/null 2>&1 || { log "IGNORADO: ferramenta ausente: $f"; exit 77; }
done

[[ $# -eq 1 && -x "$1/votarim" && -x "$1/votarim-banco" ]] || falha "uso: $0 PASTA_DA_INSTALACAO"
tmp="$(mktemp -d "${TMPDIR:-/tmp}/votarim-e2e-cadastro.XXXXXX")" || falha "mktemp -d falhou"
inst="$tmp/votarim"
cp -a -- "$1" "$inst" || falha "não foi possível copiar a instalação"
rm -f -- "$inst"/candidatos.mdb*
banco="$inst/candidatos.mdb"
"$inst/votarim-banco" novo "$banco" >/dev/null || falha "votarim-banco novo falhou"
sqlite3 -bail "$banco" "INSERT INTO cargo (cargo, quantidade_numeros) VALUES ('Presidente', 2);
                        INSERT INTO ordem_votacao (ordem_votacao, id_cargo) VALUES (1, 1);" ||
    falha "não foi possível preencher o banco"

# ---- X server and program

for n in $(seq 131 170); do
    [[ -e "/tmp/.X11-unix/X$n" || -e "/tmp/.X$n-lock" ]] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    for ((i = 0; i < 100; i++)); do
        kill -0 "$xvfb_pid" 2>/dev/null || break
        if [[ "$({ tr -d ' \n' <"/tmp/.X$n-lock"; } 2>/dev/null)" == "$xvfb_pid" ]] &&
            DISPLAY=":$n" xdotool getmouselocation >/dev/null 2>&1; then
            export DISPLAY=":$n"
            break
        fi
        sleep 0.1
    done
    [[ -n "${DISPLAY:-}" ]] && break
    encerra "$xvfb_pid"
    xvfb_pid=""
done
[[ -n "${DISPLAY:-}" ]] || falha "não foi possível iniciar o Xvfb"

(cd "$tmp" && exec env QT_QPA_PLATFORM=xcb "$inst/votarim") </dev/null >"$tmp/votarim.log" 2>&1 &
prog_pid=$!

# The visible window of that title and size: "id x y".
janela() { # title width height
    local id
    for id in $(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null); do
        (
            eval "$(xdotool getwindowgeometry --shell "$id" 2>/dev/null)" || exit 0
            [[ "${WIDTH:-}" == "$2" && "${HEIGHT:-}" == "$3" ]] && echo "$id $X $Y"
        )
    done
}
espera_janela() { # title width height
    local achada=""
    for ((i = 0; i < 100; i++)); do
        kill -0 "$prog_pid" 2>/dev/null || falha "o programa terminou sozinho"
        achada="$(janela "$@" | head -n1)"
        [[ -n "$achada" ]] && break
        sleep 0.1
    done
    [[ -n "$achada" ]] || falha "a janela \"$1\" ($2x$3) não apareceu"
    echo "$achada"
}
# A window titled "Votarim" of another size than the terminal is a message box.
sem_mensagem() { # context
    local outras
    outras="$(xdotool search --onlyvisible --name '^Votarim$' 2>/dev/null | grep -vx "$terminal")"
    [[ -z "$outras" ]] || falha "uma caixa de mensagem apareceu $1"
}
clica() { # x y (screen)
    xdotool mousemove --sync "$1" "$2" click 1 || falha "xdotool não clicou em ($1,$2)"
    sleep 0.2
}

read -r terminal tx ty <<<"$(espera_janela Votarim 579 409)"
sleep 0.5

# ---- The operator: "Opções" in the top-right corner

xdotool mousemove --sync $((tx + 540)) $((ty + 15)) sleep 0.3 click 1
read -r cadastro cx cy <<<"$(espera_janela 'Cadastro Candidatos' 492 320)"
log "registration window $cadastro at ($cx,$cy)"
sleep 0.3

# Positions in the window: every tab's frame lies at (13,34); a navigator's nine buttons are 50 wide.
readonly QX=$((cx + 13)) QY=$((cy + 34))
botao() { echo $((QX + $1 + 25 + 50 * $2)); } # navigator left, button index (4 Insert, 7 Post)

# Party tab (Ctrl+Tab twice from the first): Insert, name, legend, Post.
clica $((QX + 100)) $((QY + 55))
xdotool key ctrl+Tab ctrl+Tab
sleep 0.3
clica "$(botao 6 4)" $((QY + 84))
clica $((QX + 100)) $((QY + 55))
xdotool type --delay 20 "Partido Novo"
clica $((QX + 410)) $((QY + 55))
xdotool type --delay 20 "7a7" # the letter is filtered out
clica "$(botao 6 7)" $((QY + 84))
sem_mensagem "ao salvar o partido"

# Candidate tab: Insert, name, number, the office and the party picked from their lists, Post.
xdotool key ctrl+shift+Tab ctrl+shift+Tab
sleep 0.3
clica "$(botao 6 4)" $((QY + 127))
clica $((QX + 100)) $((QY + 55))
xdotool type --delay 20 "Nova Candidata"
clica $((QX + 60)) $((QY + 101))
xdotool type --delay 20 "77"
clica $((QX + 210)) $((QY + 101))
xdotool key Return
clica $((QX + 370)) $((QY + 101))
xdotool key Return
sleep 0.2
clica "$(botao 6 7)" $((QY + 127))
sem_mensagem "ao salvar o candidato"

# The close box.
python3 - "$cadastro" <<'PY' || falha "não foi possível pedir o fechamento da janela de cadastro"
import ctypes, sys
x = ctypes.CDLL("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XOpenDisplay.argtypes = [ctypes.c_char_p]
x.XInternAtom.restype = ctypes.c_ulong
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
x.XFlush.argtypes = x.XCloseDisplay.argtypes = [ctypes.c_void_p]
class ClientMessage(ctypes.Structure):  # XClientMessageEvent, padded to the size of an XEvent
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("l", ctypes.c_long * 5), ("pad", ctypes.c_long * 12)]
d = x.XOpenDisplay(None)
janela = int(sys.argv[1])
ev = ClientMessage(type=33, display=d, window=janela, format=32,
                   message_type=x.XInternAtom(d, b"WM_PROTOCOLS", 0))
ev.l[0] = x.XInternAtom(d, b"WM_DELETE_WINDOW", 0)
ok = d and x.XSendEvent(d, janela, 0, 0, ctypes.byref(ev))
if d:
    x.XFlush(d)
    x.XCloseDisplay(d)
sys.exit(0 if ok else 1)
PY
for ((i = 0; i < 50; i++)); do
    [[ -z "$(janela 'Cadastro Candidatos' 492 320)" ]] && break
    sleep 0.1
done
[[ -z "$(janela 'Cadastro Candidatos' 492 320)" ]] || falha "a janela de cadastro não fechou"
log "party and candidate added, window closed"

# ---- The voter: 7, 7, CONFIRMA on the keypad (at 348,138 in the terminal)

clica $((tx + 348 + 46)) $((ty + 138 + 136))
xdotool click 1
sleep 0.3
sem_mensagem "ao digitar o número"
clica $((tx + 348 + 186)) $((ty + 138 + 234))
sleep 2.5 # FIM, then the first office again: the terminal may close
clica $((tx + 32)) $((ty + 14))
for ((i = 0; i < 100; i++)); do kill -0 "$prog_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$prog_pid" 2>/dev/null && falha "o programa não terminou depois de \"Fechar\""
wait "$prog_pid" || falha "o programa terminou com erro"
prog_pid=""

# ---- The stored rows

obtido="$(sqlite3 -separator '|' "$banco" "
    SELECT 'partido', partido, legenda FROM partido;
    SELECT 'candidato', nome_candidato, numero_candidato, id_cargo, p.partido
      FROM candidatos c JOIN partido p ON p.numcad_partido = c.id_partido;
    SELECT 'voto', v.voto, v.numero_candidato, c.nome_candidato, v.id_cargo, p.partido, v.data = date('now', 'localtime')
      FROM contagem_votacao v JOIN candidatos c ON c.numcad_candidato = v.id_candidato
      JOIN partido p ON p.numcad_partido = v.id_partido;
    SELECT 'votos', count(*) FROM contagem_votacao;")" || falha "a consulta falhou: $obtido"
esperado="partido|Partido Novo|77
candidato|Nova Candidata|77|1|Partido Novo
voto|NORMAL|77|Nova Candidata|1|Partido Novo|1
votos|1"
if [[ "$obtido" != "$esperado" ]]; then
    diff -u <(echo "$esperado") <(echo "$obtido") | sed 's/^/    /'
    falha "as linhas gravadas não são as esperadas"
fi
passou=1
log "OK"
