#!/usr/bin/env bash
# End to end in a real X server (Xvfb): from a database made by "votarim-banco novo"
# with one office in the voting order, the operator moves the pointer into the
# terminal's top-right corner, clicks "Opções", adds a party and a candidate of that
# office (first with a number of one digit, which the database refuses with a message,
# then with two) and closes the window by its close box (WM_DELETE_WINDOW, as a window manager
# sends it; Xvfb runs none). A voter then votes for the new candidate; sqlite3 checks
# the stored rows once the program has ended.
#
# Usage: e2e_cadastro.sh INSTALL_DIR (copied, never touched). Exit 0 passed, 77 skipped.

set -u -o pipefail
aqui=$(cd "$(dirname "$0")" && pwd)
tmp="" xvfb_pid="" prog_pid="" passou=0
# shellcheck source-path=SCRIPTDIR source=e2e_comum.sh
source "$aqui/e2e_comum.sh"
trap 'encerra "$prog_pid"; encerra "$xvfb_pid"; [[ "$passou" == 1 ]] && rm -rf -- "$tmp"' EXIT
for f in Xvfb xdotool sqlite3 python3; do
    command -v "$f" >/dev/null || { log "IGNORADO: ferramenta ausente: $f"; exit 77; }
done

[[ $# -eq 1 && -x "$1/votarim" && -x "$1/votarim-banco" ]] || falha "uso: $0 PASTA_DA_INSTALACAO"
tmp="$(mktemp -d "${TMPDIR:-/tmp}/votarim-e2e-cadastro.XXXXXX")" && cp -a -- "$1" "$tmp/votarim" || falha "cópia"
banco="$tmp/votarim/candidatos.mdb"
rm -f -- "$banco"*
"$tmp/votarim/votarim-banco" novo "$banco" >/dev/null 2>&1 &&
    sqlite3 -bail "$banco" "INSERT INTO cargo (cargo, quantidade_numeros) VALUES ('Presidente', 2);
                            INSERT INTO ordem_votacao (ordem_votacao, id_cargo) VALUES (1, 1);" ||
    falha "não foi possível criar o banco"

inicia_xvfb 131 170 || falha "não foi possível iniciar o Xvfb em nenhuma das telas :131 a :170 (veja $tmp/xvfb-*.log)"
(cd "$tmp" && exec env QT_QPA_PLATFORM=xcb "$tmp/votarim/votarim") </dev/null >"$tmp/votarim.log" 2>&1 &
prog_pid=$!

espera_janela Votarim '579 409'
terminal=$jid tx=$jx ty=$jy
sleep 0.5
xdotool mousemove --sync $((tx + 540)) $((ty + 15)) sleep 0.3 click 1 # "Opções" shows in the corner
espera_janela 'Cadastro Candidatos' '492 320'
cadastro=$jid cx=$jx cy=$jy
sleep 0.3

# A message box: a window titled "Votarim" besides the terminal.
mensagens() { xdotool search --onlyvisible --name '^Votarim$' | grep -vx "$terminal"; }
espera_mensagem() { # context
    local i
    for ((i = 0; i < 50; i++)); do [[ -n "$(mensagens)" ]] && return; sleep 0.1; done
    falha "nenhuma caixa de mensagem apareceu $1"
}
espera_fechar_mensagem() {
    local i
    for ((i = 0; i < 50; i++)); do [[ -z "$(mensagens)" ]] && return; sleep 0.1; done
    falha "a caixa de mensagem não fechou"
}

# Every tab's frame lies at (13,34) of the window; a navigator's nine buttons are 50 wide.
qx=$((cx + 13)) qy=$((cy + 34))
botao() { clica $((qx + 6 + 25 + 50 * $1)) $((qy + $2)); } # button (4 Insert, 7 Post), navigator's middle
clica $((qx + 100)) $((qy + 55))
xdotool key ctrl+Tab ctrl+Tab # the party tab: Insert, name, legend (the letter filtered out), Post
botao 4 84
clica $((qx + 100)) $((qy + 55))
xdotool type --delay 20 "Partido Novo"
clica $((qx + 410)) $((qy + 55))
xdotool type --delay 20 "7a7"
clica $((qx + 300)) $((qy + 55)) # back in the name: typed, then Escape puts the field's value back
xdotool type --delay 20 " Errado"
xdotool key Escape
botao 7 84
sem_mensagem "ao salvar o partido"
xdotool key ctrl+shift+Tab ctrl+shift+Tab # the candidate tab: office and party picked from their lists
botao 4 127
clica $((qx + 100)) $((qy + 55))
xdotool type --delay 20 "Nova Candidata"
clica $((qx + 60)) $((qy + 101))
xdotool type --delay 20 "7" # one digit in an office of two: no voter could reach her
clica $((qx + 210)) $((qy + 101))
xdotool key Return
clica $((qx + 370)) $((qy + 101))
xdotool key Return
botao 7 127
espera_mensagem "ao salvar um número que não pode ser votado"
xdotool key Return # OK: the candidate is still being added, with what was typed
espera_fechar_mensagem
clica $((qx + 60)) $((qy + 101))
xdotool key End type --delay 20 "7"
botao 7 127
sem_mensagem "ao salvar o candidato"

fecha "$cadastro"
espera_fechar 'Cadastro Candidatos' '492 320'
log "party and candidate added, window closed"

clica $((tx + 348 + 46)) $((ty + 138 + 136)) # the keypad: 7, 7, CONFIRMA
clica $((tx + 348 + 46)) $((ty + 138 + 136))
sleep 0.3
sem_mensagem "ao digitar o número"
clica $((tx + 348 + 186)) $((ty + 138 + 234))
sleep 2.5 # FIM, then the first office again: the terminal may close
clica $((tx + 32)) $((ty + 14))
espera_fim 'depois de "Fechar"'

obtido="$(sqlite3 -separator '|' "$banco" "
    SELECT partido, legenda FROM partido;
    SELECT nome_candidato, numero_candidato, id_cargo, p.partido FROM candidatos c
      JOIN partido p ON p.numcad_partido = c.id_partido;
    SELECT v.voto, v.numero_candidato, c.nome_candidato, v.id_cargo, p.partido, v.data = date('now', 'localtime')
      FROM contagem_votacao v JOIN candidatos c ON c.numcad_candidato = v.id_candidato
      JOIN partido p ON p.numcad_partido = v.id_partido;
    SELECT count(*) FROM contagem_votacao;")" || falha "a consulta falhou: $obtido"
esperado="Partido Novo|77
Nova Candidata|77|1|Partido Novo
NORMAL|77|Nova Candidata|1|Partido Novo|1
1"
[[ "$obtido" == "$esperado" ]] || { diff <(echo "$esperado") <(echo "$obtido"); falha "linhas gravadas erradas"; }
passou=1
log "OK"
