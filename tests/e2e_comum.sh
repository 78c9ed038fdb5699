# shellcheck shell=bash disable=SC2154 # tmp, prog_pid and terminal belong to the scripts
# Helpers shared by the end-to-end scripts (tests/e2e_*.sh), which source this file.
# They drive the program in Xvfb through xdotool, with no window manager.
#
# Globals the scripts own and these helpers read: tmp (the test's folder, kept after a
# failure), prog_pid (the program under test), terminal (the terminal window's id).
# Set here: DISPLAY and xvfb_pid (inicia_xvfb), jid jx jy (espera_janela).

comum_pasta=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

log() { printf '[%s] %s\n' "$(basename "$0" .sh)" "$*"; }

# The program's output and a picture of the screen go with the message; the folder is kept.
falha() {
    log "FALHA: $*"
    if [[ -n "${tmp:-}" ]]; then
        sed 's/^/    | /' "$tmp/votarim.log" 2>/dev/null
        [[ -n "${xvfb_pid:-}" ]] && import -window root "$tmp/falha.png" 2>/dev/null
        log "pasta mantida para análise: $tmp"
    fi
    exit 1
}

encerra() { # pid: TERM, and KILL after 2 s (a stopped process ignores TERM until it goes on)
    local i
    [[ -n "$1" ]] && kill -0 "$1" 2>/dev/null || return 0
    kill -TERM "$1" 2>/dev/null
    for ((i = 0; i < 20; i++)); do
        kill -0 "$1" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$1" 2>/dev/null && kill -KILL "$1" 2>/dev/null
    wait "$1" 2>/dev/null || true
}

# An X server of our own on the first free display from PRIMEIRO to ULTIMO, told by its
# lock: the lock must name our server, not another test's that took the same number
# first. -noreset, since a server that resets when its last client (the readiness probe)
# leaves may refuse the program's first connection. Its messages go to $tmp/xvfb-N.log.
inicia_xvfb() { # PRIMEIRO ULTIMO [WIDTHxHEIGHT] -> DISPLAY exported, xvfb_pid; status 1 if none started
    local n i registro=/dev/null
    for ((n = $1; n <= $2; n++)); do
        [[ -e "/tmp/.X11-unix/X$n" || -e "/tmp/.X$n-lock" ]] && continue
        [[ -n "${tmp:-}" ]] && registro="$tmp/xvfb-$n.log"
        Xvfb ":$n" -screen 0 "${3:-1024x768}x24" -nolisten tcp -noreset >"$registro" 2>&1 &
        xvfb_pid=$!
        for ((i = 0; i < 100; i++)); do # up to 10 s
            kill -0 "$xvfb_pid" 2>/dev/null || break
            if [[ "$({ tr -d ' \n' <"/tmp/.X$n-lock"; } 2>/dev/null)" == "$xvfb_pid" ]] &&
                DISPLAY=":$n" xdotool getmouselocation >/dev/null 2>&1; then
                export DISPLAY=":$n"
                return 0
            fi
            sleep 0.1
        done
        encerra "$xvfb_pid"
        xvfb_pid=""
    done
    return 1
}

# One click of the left button at (x, y) of the screen. "mousemove --sync" to where the
# pointer already is waits for a motion that never comes, so there it clicks in place.
clique() { # x y
    # shellcheck disable=SC2034 # all that getmouselocation sets stays here
    local X Y SCREEN WINDOW
    eval "$(xdotool getmouselocation --shell)"
    if [[ "$X $Y" == "$1 $2" ]]; then xdotool click 1; else xdotool mousemove --sync "$1" "$2" click 1; fi
}
clica() { # x y
    clique "$1" "$2" || falha "xdotool não clicou em ($1,$2)"
    sleep 0.2
}

# The window's name is its WM_NAME: empty for a drop-down list, and ".*" matches accented letters.
janela() { # name ["width height", a pattern] -> "id x y" of each visible window
    local id
    for id in $(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null); do
        # shellcheck disable=SC2053 # the size is a pattern
        (eval "$(xdotool getwindowgeometry --shell "$id")" && [[ "$WIDTH $HEIGHT" == ${2:-*} ]] && echo "$id $X $Y")
    done
}
espera_janela() { # name ["width height"] -> jid jx jy
    local i
    for ((i = 0; i < 150; i++)); do
        kill -0 "$prog_pid" 2>/dev/null || falha "o programa terminou sozinho"
        # shellcheck disable=SC2034 # for the caller
        read -r jid jx jy < <(janela "$@")
        [[ -n "$jid" ]] && return
        sleep 0.1
    done
    falha "a janela \"$1\" ${2:-} não apareceu"
}
espera_fechar() { # name ["width height"]
    local i
    for ((i = 0; i < 100; i++)); do [[ -z "$(janela "$@")" ]] && return; sleep 0.1; done
    falha "a janela \"$1\" não fechou"
}

# The program is to end by itself within 10 s and well; one that stays is stopped by the
# clean-up, not waited for until the test's time is up.
espera_fim() { # context
    local i
    for ((i = 0; i < 100; i++)); do kill -0 "$prog_pid" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$prog_pid" 2>/dev/null && falha "o programa não terminou em 10 s $1"
    wait "$prog_pid" || falha "o programa não terminou bem $1"
    prog_pid=""
}

sem_mensagem() { # context; a window titled "Votarim" besides the terminal is a message box
    [[ -z "$(xdotool search --onlyvisible --name '^Votarim$' | grep -vx "$terminal")" ]] ||
        falha "uma caixa de mensagem apareceu $1"
}

fecha() { # window id: WM_DELETE_WINDOW, as a window manager's close box sends it
    python3 "$comum_pasta/fecha_janela.py" "$1" || falha "não foi possível pedir o fechamento da janela $1"
}
