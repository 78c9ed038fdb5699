#!/usr/bin/env bash
# Recomputes the SHA-256 fingerprint printed at the foot of the result report of a
# day, from the database file alone, with the sqlite3 command-line tool and
# sha256sum: an independent check of `votarim-banco resultado ARQUIVO AAAA-MM-DD`.
# The canonical text it hashes is described in docs/resultado.md.
#
# Usage: tools/confere_digital.sh ARQUIVO AAAA-MM-DD   (with the program closed)
set -euo pipefail
if [ $# -ne 2 ] || ! [[ $2 =~ ^[0-9]{4}-[0-9]{2}-[0-9]{2}$ ]]; then
    echo "Uso: $0 ARQUIVO AAAA-MM-DD" >&2
    exit 2
fi
banco=$1
dia=$2
# Texts as the canonical form writes them: \ -> \\, TAB -> \t, LF -> \n, CR -> \r.
esc() { echo "replace(replace(replace(replace($1, '\\', '\\\\'), char(9), '\\t'), char(10), '\\n'), char(13), '\\r')"; }
# Each query's rows in the order of their bytes (LC_ALL=C), as the canonical form sorts them.
consulta() { sqlite3 -readonly -batch -noheader -list -separator $'\t' -newline $'\n' -nullvalue '' "$banco" "$1" | LC_ALL=C sort; }
{
    printf '#tb_resultadoGERAL\nTotalgeral\tTotalbranco\tTotalnulo\tTotallegenda\tTotalnormal\n'
    consulta "select count(data) as Totalgeral,
 (select count(voto) from contagem_votacao where voto = 'BRANCO' and data = '$dia') as Totalbranco,
 (select count(voto) from contagem_votacao where voto = 'NULO' and data = '$dia') as Totalnulo,
 (select count(voto) from contagem_votacao where voto = 'LEGENDA' and data = '$dia') as Totallegenda,
(select count(voto) from contagem_votacao where voto = 'NORMAL' and data = '$dia') as Totalnormal
from contagem_votacao where data = '$dia'"
    printf '#tb_resultadoCANDIDATO\nid_candidato\tnumero_candidato\tid_cargo\tid_partido\tTotalvotos\n'
    consulta "SELECT id_candidato, $(esc numero_candidato), id_cargo, id_partido, count(id_candidato) AS Totalvotos
 FROM contagem_votacao WHERE data= '$dia' and voto='NORMAL'
GROUP BY id_cargo, id_partido, id_candidato, numero_candidato order by id_cargo, count(id_candidato) desc, id_partido"
    printf '#tb_resultadoLEGENDA\nid_candidato\tlegenda\tTotalvotos\n'
    consulta "SELECT id_candidato,$(esc legenda), count(legenda) AS Totalvotos
 FROM contagem_votacao
 WHERE data = '$dia' And voto='LEGENDA'
 GROUP BY legenda, id_candidato"
    printf '#tb_candidatos_votacao\nnome_candidato\tcargo\tpartido\n'
    consulta "select $(esc candidatos.nome_candidato), $(esc cargo), $(esc partido) from candidatos_votacao, candidatos,cargo,partido
where candidatos_votacao.id_candidato = candidatos.numcad_candidato and candidatos_votacao.id_cargo = cargo.numcad_cargo and candidatos_votacao.id_partido = partido.numcad_partido
 and data_votacao = '$dia' order by cargo, partido, candidatos.nome_candidato"
} | sha256sum | cut -d' ' -f1
