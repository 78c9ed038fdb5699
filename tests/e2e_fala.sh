#!/usr/bin/env bash
# End-to-end test of the spoken guidance in a real X server (Xvfb): the program runs
# with "--fala=arquivo:FILE", a voter votes one whole cycle with the keyboard alone
# (xdotool key: digits of both rows, Enter, Backspace, the numeric keypad's "*", "."
# and "+", and a key that does nothing), and the test checks the stored votes (the
# same as by clicks) and every line of the utterance file.
#
# Usage: e2e_fala.sh INSTALL_DIR      Exit codes: 0 passed, 77 skipped, else failed.

set -u
set -o pipefail

tmp=""
xvfb_pid=""
prog_pid=""
terminal=""
# shellcheck source-path=SCRIPTDIR source=e2e_comum.sh
source "$(cd "$(dirname "$0")" && pwd)/e2e_comum.sh"

trap 'encerra "$prog_pid"; encerra "$xvfb_pid"' EXIT

for f in Xvfb xdotool sqlite3; do
    command -v "$f" >/dev/null 2>&1 || { log "IGNORADO: ferramenta ausente: $f"; exit 77; }
done
[[ $# -eq 1 && -x "$1/votarim" ]] || { echo "uso: $0 PASTA_DA_INSTALACAO" >&2; exit 2; }

tmp="$(mktemp -d "${TMPDIR:-/tmp}/votarim-e2e-fala.XXXXXX")" || exit 1
inst="$tmp/votarim"
cp -a -- "$1" "$inst" || falha "não foi possível copiar a instalação"
rm -f -- "$inst"/candidatos.mdb*
banco="$inst/candidatos.mdb"
"$inst/votarim-banco" novo "$banco" >/dev/null 2>&1 || falha "votarim-banco novo falhou"
sqlite3 -bail "$banco" <<'SQL' || falha "não foi possível preencher o banco"
INSERT INTO cargo (numcad_cargo, cargo, quantidade_numeros) VALUES
  (1, 'Presidente', 2), (2, 'Senador', 3), (3, 'Governador', 2), (4, 'Deputado', 4);
INSERT INTO partido (numcad_partido, partido, legenda) VALUES (1, 'Partido Azul', '13'), (2, 'Partido Verde', '45');
INSERT INTO candidatos (numcad_candidato, nome_candidato, numero_candidato, id_partido, id_cargo, foto) VALUES
  (1, 'Ana', '13', 1, 1, NULL), (2, 'Carla', '451', 2, 2, NULL);
INSERT INTO ordem_votacao (ordem_votacao, id_cargo) VALUES (1, 1), (2, 2), (3, 3), (4, 4);
SQL

inicia_xvfb 131 139 || falha "não foi possível iniciar o Xvfb"
falas="$tmp/falas.txt"
(cd "$tmp" && exec env QT_QPA_PLATFORM=xcb "$inst/votarim" "--fala=arquivo:$falas") </dev/null >"$tmp/votarim.log" 2>&1 &
prog_pid=$!
espera_janela Votarim "579 409"
terminal=$jid
sleep 0.5
sem_mensagem "ao iniciar com --fala"
# The keyboard reaches the window under the pointer (no window manager here).
xdotool mousemove --sync $((jx + 200)) $((jy + 200))
xdotool windowfocus --sync "$terminal" 2>/dev/null

tecla() { # xdotool key names, one press each
    local k
    for k in "$@"; do
        kill -0 "$prog_pid" 2>/dev/null || falha "o programa terminou sozinho antes da tecla $k"
        xdotool key "$k" || falha "xdotool não enviou a tecla $k"
        sleep 0.2
    done
}

tecla 1 3 KP_Decimal Return                 # Presidente: Ana, then where the voter is
tecla KP_4 KP_5 KP_Enter                    # Senador: legend 45
tecla 9 BackSpace 9 9 a Return              # Governador: a correction, a wrong number, a key that does nothing
tecla KP_Multiply KP_Add Return             # Deputado: blank, faster speech
sleep 2.5                                   # "FIM", then the first office again
sem_mensagem "depois do ciclo"

fecha "$terminal"
espera_fim "depois de fechar a janela"

obtido="$(sqlite3 -separator '|' "$banco" "SELECT voto, quote(id_candidato), quote(numero_candidato), quote(id_cargo),
    quote(id_partido), quote(legenda), data = date('now', 'localtime') FROM contagem_votacao ORDER BY voto")"
esperado="BRANCO|NULL|NULL|4|NULL|NULL|1
LEGENDA|2|NULL|2|NULL|'45'|1
NORMAL|1|'13'|1|1|NULL|1
NULO|NULL|NULL|3|NULL|NULL|1"
if [[ "$obtido" != "$esperado" ]]; then
    diff -u <(echo "$esperado") <(echo "$obtido") | sed 's/^/    /'
    falha "os votos gravados pelo teclado não são os esperados"
fi
log "4 votos gravados pelo teclado, como pelos cliques"

esperado="Seu voto para Presidente. Digite 2 números.
1.
Número 13. Ana. Partido Azul.
Seu voto para Presidente. Digitado: 1 3. Número 13. Ana. Partido Azul.
Voto confirmado para Presidente. Seu voto para Senador. Digite 3 números.
4.
5. Voto de legenda. Partido Verde.
Voto confirmado para Senador. Seu voto para Governador. Digite 2 números.
9.
Corrigido. Digite novamente.
9.
9. Número errado. Voto nulo.
Tecla sem efeito.
Voto confirmado para Governador. Seu voto para Deputado. Digite 4 números.
Voto em branco.
Mais rápido.
Voto confirmado para Deputado. Fim. Obrigado.
Seu voto para Presidente. Digite 2 números."
if [[ "$(cat "$falas" 2>/dev/null)" != "$esperado" ]]; then
    diff -u <(echo "$esperado") "$falas" | sed 's/^/    /'
    falha "o arquivo de falas não é o esperado"
fi
log "o guia por voz disse cada passo do ciclo"

rm -rf -- "$tmp"
echo "1 passed, 0 failed"
