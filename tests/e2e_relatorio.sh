#!/usr/bin/env bash
# End to end in a real X server (Xvfb): the result of a voting day, from the vote to
# the saved report. An election made with votarim-banco and sqlite3 (five offices of
# 2 to 5 digits, two votes cast earlier today and two yesterday); two voters vote a
# cycle each on the keypad (NORMAL, LEGENDA, NULO, NORMAL, BRANCO; then BRANCO, NULO,
# BRANCO, LEGENDA, NULO), so that blank, null and legend votes fall at two offices
# each, every one stored with its office. The program runs with the C locale: the
# day is still written dd/mm/aaaa. The operator opens
# "Opções", picks "Resultado Votação" and today in the "Relatório" tab, clicks
# "Imprimir", accepts the preview in "Opções de saida" (no printer here: the preview
# is all it offers) and saves the PDF from the preview (Ctrl+S, then the file
# dialog). Windows are closed by WM_DELETE_WINDOW, as a window manager sends it
# (Xvfb runs none). pdftotext reads the counts in the PDF, with a balance per office
# that adds up to the day's totals; its fingerprint and the report project's hash,
# on every page, must be the ones "votarim-banco resultado" prints once the program
# has ended.
#
# Usage: e2e_relatorio.sh INSTALL_DIR (copied, never touched). Exit 0 passed, 77 skipped.

set -u -o pipefail
aqui=$(cd "$(dirname "$0")" && pwd)
tmp="" xvfb_pid="" prog_pid="" vigia_pid="" passou=0
# shellcheck source-path=SCRIPTDIR source=e2e_comum.sh
source "$aqui/e2e_comum.sh"
trap 'encerra "$prog_pid"; encerra "$xvfb_pid"; encerra "$vigia_pid"; [[ "$passou" == 1 ]] && rm -rf -- "$tmp"' EXIT
trap 'falha "interrompido por sinal"' INT TERM HUP
for f in Xvfb xdotool sqlite3 python3 pdftotext pdfinfo; do
    command -v "$f" >/dev/null || { log "IGNORADO: ferramenta ausente: $f"; exit 77; }
done

[[ $# -eq 1 && -x "$1/votarim" && -x "$1/votarim-banco" ]] || falha "uso: $0 PASTA_DA_INSTALACAO"
tmp="$(mktemp -d "${TMPDIR:-/tmp}/votarim-e2e-relatorio.XXXXXX")" && cp -a -- "$1" "$tmp/votarim" || falha "cópia"
banco="$tmp/votarim/candidatos.mdb" pdf="$tmp/resultado.pdf"
hoje="$(date +%F)" ontem="$(date -d yesterday +%F)"
rm -f -- "$banco"*
"$tmp/votarim/votarim-banco" novo "$banco" >/dev/null 2>&1 &&
    sqlite3 -bail "$banco" "
    INSERT INTO cargo (numcad_cargo, cargo, quantidade_numeros) VALUES
      (1, 'Presidente', 2), (2, 'Senador', 3), (3, 'Governador', 2), (4, 'Deputado Federal', 4),
      (5, 'Deputado Estadual', 5);
    INSERT INTO ordem_votacao (ordem_votacao, id_cargo) VALUES (1, 1), (2, 2), (3, 3), (4, 4), (5, 5);
    INSERT INTO partido (numcad_partido, partido, legenda) VALUES (1, 'Partido Azul', '13'), (2, 'Partido Verde', '45');
    INSERT INTO candidatos (numcad_candidato, nome_candidato, numero_candidato, id_partido, id_cargo) VALUES
      (1, 'Ana Souza', '13', 1, 1), (2, 'Diego Lima', '45', 2, 1), (3, 'Carla Reis', '451', 2, 2),
      (4, 'Bruno Melo', '1301', 1, 4);
    INSERT INTO candidatos_votacao (id_candidato, id_cargo, id_partido, data_votacao) VALUES
      (1, 1, 1, '$hoje'), (2, 1, 2, '$hoje'), (3, 2, 2, '$hoje'), (4, 4, 1, '$hoje'), (1, 1, 1, '$ontem');
    INSERT INTO contagem_votacao (id_candidato, numero_candidato, voto, data, legenda, id_cargo, id_partido) VALUES
      (2, '45', 'NORMAL', '$hoje', NULL, 1, 2), (2, '45', 'NORMAL', '$hoje', NULL, 1, 2),
      (1, '13', 'NORMAL', '$ontem', NULL, 1, 1), (1, NULL, 'LEGENDA', '$ontem', '13', NULL, NULL);" ||
    falha "não foi possível criar o banco"

inicia_xvfb 171 210 || falha "não foi possível iniciar o Xvfb em nenhuma das telas :171 a :210 (veja $tmp/xvfb-*.log)"
# A machine not set to Portuguese: the day keeps its form, dd/MM/yyyy.
(cd "$tmp" && exec env LC_ALL=C LANG=C QT_QPA_PLATFORM=xcb "$tmp/votarim/votarim") </dev/null >"$tmp/votarim.log" 2>&1 &
prog_pid=$!
# Should this script be killed outright, the program and Xvfb still end.
(
    trap '' INT HUP
    while kill -0 $$ 2>/dev/null; do sleep 1; done
    kill "$prog_pid" "$xvfb_pid"
) </dev/null >/dev/null 2>&1 &
vigia_pid=$!

teclas() { # the keyboard goes to the window named, as it would after a click on it
    xdotool windowfocus "$1" && sleep 0.2 && shift && xdotool key --delay 50 "$@" || falha "xdotool: $*"
}

# Two voters: five offices each, one cycle on the keypad (its keys' centres in the window).
espera_janela Votarim '579 409'
terminal=$jid tx=$jx ty=$jy
sleep 0.5
declare -A TECLA=([0]="457 327" [1]="394 163" [3]="518 163" [4]="394 218" [5]="457 218" [9]="518 274"
    [BRANCO]="386 377" [CONFIRMA]="534 372")
for k in 1 3 CONFIRMA 4 5 CONFIRMA 9 9 CONFIRMA 1 3 0 1 CONFIRMA BRANCO CONFIRMA; do
    read -r x y <<<"${TECLA[$k]}"
    clica $((tx + x)) $((ty + y))
done
sleep 2.5 # FIM, then the first office again
for k in BRANCO CONFIRMA 9 9 CONFIRMA BRANCO CONFIRMA 1 3 CONFIRMA 9 9 CONFIRMA; do
    read -r x y <<<"${TECLA[$k]}"
    clica $((tx + x)) $((ty + y))
done
sleep 2.5
sem_mensagem "ao votar"
log "dois ciclos votados"

# The operator: "Opções" in the corner, the last tab, "Resultado Votação", today, "Imprimir".
xdotool mousemove --sync $((tx + 540)) $((ty + 15)) sleep 0.3 click 1
espera_janela 'Cadastro Candidatos' '492 320'
cadastro=$jid gx=$((jx + 13)) gy=$((jy + 34)) # GroupBox8 of the "Relatório" tab
sleep 0.3
teclas "$cadastro" ctrl+shift+Tab
clica $((gx + 3 + 180)) $((gy + 25 + 10)) # cbx_relatorio: its list opens, a window as wide as the box
espera_janela '' '363 *'
xdotool key End Return
espera_fechar '' '363 *'
clica $((gx + 3 + 12)) $((gy + 66 + 10)) # cmp_datavotacao_relatorio: the day, typed section by section
teclas "$cadastro" Home shift+Right shift+Right
xdotool type --delay 50 "$(date -d "$hoje" +%d%m%Y)"
clica $((gx + 370 + 41)) $((gy + 25 + 10))
espera_janela 'Op.*es de saida'
teclas "$jid" Return # OK: the preview, chosen beforehand and the only choice without a printer
espera_janela 'Vizualiza.*o do relat.*rio' '615 450'
previa=$jid
sleep 0.5
teclas "$previa" ctrl+s
espera_janela 'Salvar relat.*rio'
teclas "$jid" ctrl+a
xdotool type --delay 20 "$pdf"
teclas "$jid" Return
espera_fechar 'Salvar relat.*rio'
for ((i = 0; i < 100; i++)); do [[ -s "$pdf" && -z "$(janela 'Estado atual do relat.*rio')" ]] && break; sleep 0.1; done
sem_mensagem "ao salvar o relatório"
fecha "$previa"
espera_fechar 'Vizualiza.*o do relat.*rio'
fecha "$cadastro"
espera_fechar 'Cadastro Candidatos'
sem_mensagem "depois do relatório"
clica $((tx + 32)) $((ty + 14)) # "Fechar"
espera_fim 'depois de "Fechar"'
[[ "$(date +%F)" == "$hoje" ]] || { log "IGNORADO: o dia mudou durante o teste"; exit 77; }
log "relatório salvo, programa encerrado"

# The counts in the PDF: today's votes only (10 cast now, 2 earlier), each office's
# balance adding up to the day's totals, the rankings with the candidate who stood
# without votes, the legend votes per party and the candidates who stood.
texto="$(pdftotext -layout "$pdf" - | sed -E 's/^ +//; s/ +$//; s/ {2,}/ /g')" || falha "pdftotext não leu $pdf"
obtido="$(grep -E '^(Nominais|De legenda|Brancos|Nulos|Total de votos|Cargo:|Votos nominais|Soma dos cargos)|^(Presidente|Senador|Governador|Deputado Federal|Deputado Estadual)( [0-9]+){5}$|^[0-9]+º |^[0-9]{2} .* [0-9]+,[0-9]{2}$| (com|sem) votos$|^[0-9]+ candidato\(s\) no dia$' <<<"$texto")"
esperado="Nominais (em candidatos) 4 33,33 %
De legenda (em partidos) 2 16,67 %
Brancos 3 25,00 %
Nulos 3 25,00 %
Total de votos do dia 12 100,00 %
Presidente 3 0 1 0 4
Senador 0 1 0 1 2
Governador 0 0 1 1 2
Deputado Federal 1 1 0 0 2
Deputado Estadual 0 0 1 1 2
Soma dos cargos 4 2 3 3 12
Cargo: Presidente
1º 45 Diego Lima Partido Verde 2 66,67
2º 13 Ana Souza Partido Azul 1 33,33
Votos nominais no cargo 3 100,00
Cargo: Senador
1º 451 Carla Reis Partido Verde 0 0,00 sem votos
Votos nominais no cargo 0 100,00
Cargo: Deputado Federal
1º 1301 Bruno Melo Partido Azul 1 100,00
Votos nominais no cargo 1 100,00
Total de votos nominais do dia 4
13 Partido Azul 1 50,00
45 Partido Verde 1 50,00
Total de votos de legenda do dia 2
Ana Souza Presidente Partido Azul com votos
Diego Lima Presidente Partido Verde com votos
Carla Reis Senador Partido Verde sem votos
Bruno Melo Deputado Federal Partido Azul com votos
4 candidato(s) no dia"
[[ "$obtido" == "$esperado" ]] || { diff <(echo "$esperado") <(echo "$obtido"); falha "contagens erradas no PDF"; }
dias="$(grep -E '^Resultado da votação do dia ' <<<"$texto" | sort -u)"
[[ "$dias" == "Resultado da votação do dia $(date -d "$hoje" +%d/%m/%Y)" ]] || falha "dia errado no PDF: $dias"

# The fingerprint in full at the end, the one the tool computes from the file, and on
# every page, grouped by 8, with the shipped project's hash and no warning.
digitais="$(grep -oE '\b[0-9a-f]{64}\b' <<<"$texto" | sort -u)"
ferramenta="$("$tmp/votarim/votarim-banco" resultado "$banco" "$hoje" 2>&1)" || falha "votarim-banco resultado: $ferramenta"
digital="$(sed -n 's/^Impressão digital (SHA-256): \([0-9a-f]\{64\}\)$/\1/p' <<<"$ferramenta")"
projeto="$(sed -n 's/^Projeto de relatório (SHA-256): \([0-9a-f]\{64\}\)$/\1/p' <<<"$ferramenta")"
[[ -n "$digital" && "$digitais" == "$digital" ]] ||
    falha "impressão digital do PDF ($digitais) difere da de votarim-banco resultado ($digital)"
em_grupos() { sed -E 's/(.{8})/\1 /g; s/ $//' <<<"$1"; }
paginas="$(pdfinfo "$pdf" | sed -n 's/^Pages: *//p')"
for ((p = 1; p <= paginas; p++)); do
    pagina="$(pdftotext -layout -f "$p" -l "$p" "$pdf" - | sed -E 's/ {2,}/ /g')"
    grep -qF "Impressão digital (SHA-256): $(em_grupos "$digital")" <<<"$pagina" || falha "página $p sem a impressão digital"
    grep -qF "Projeto de relatório (SHA-256): $(em_grupos "$projeto")" <<<"$pagina" || falha "página $p sem o hash do projeto"
    ! grep -qF "diferente do distribuído" <<<"$pagina" || falha "página $p acusa projeto diferente"
done
passou=1
log "OK"
