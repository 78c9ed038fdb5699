#!/usr/bin/env bash
# Recomputes the SHA-256 fingerprint of the result of a day from the database file
# alone, with the sqlite3 command-line tool and coreutils: an independent check of
# `votarim-banco resultado ARQUIVO AAAA-MM-DD` and of the printed result report. It
# rebuilds the canonical text described in docs/resultado.md with SQL of its own
# (window functions for the positions) and prints its SHA-256, and nothing at all
# on standard output unless every query succeeded.
#
# The folder is left as it was found: a database in WAL mode without a "-wal" file
# beside it is held by nobody (the program keeps that file while it runs), so it
# is read as an immutable file, which makes sqlite3 create no "-wal" or "-shm";
# the file's size and time are compared before and after, so a program that
# opened it meanwhile makes the check fail instead of hashing a changing file.
#
# Usage: tools/confere_digital.sh ARQUIVO AAAA-MM-DD   (with the program closed)
set -euo pipefail
if [ $# -ne 2 ] || ! [[ $2 =~ ^[0-9]{4}-[0-9]{2}-[0-9]{2}$ ]] || [ "$(date -u -d "$2" +%F 2>/dev/null)" != "$2" ]; then
    echo "Uso: $0 ARQUIVO AAAA-MM-DD" >&2
    exit 2
fi
banco=$1
dia=$2
if [ ! -f "$banco" ]; then
    echo "O banco de dados $banco não foi encontrado" >&2
    exit 1
fi

# Texts as the canonical form writes them: \ -> \\, TAB -> \t, LF -> \n, CR -> \r.
esc() { echo "replace(replace(replace(replace($1, '\\', '\\\\'), char(9), '\\t'), char(10), '\\n'), char(13), '\\r')"; }
# A share in hundredths rounded half up, written "12,35"; "0,00" when the whole is 0.
pct() {
    local h="((($1) * 20000 + ($2)) / (2 * ($2)))"
    echo "CASE WHEN ($2) > 0 THEN printf('%d,%02d', $h / 100, $h % 100) ELSE '0,00' END"
}
# A section's name and column titles.
secao() {
    local nome=$1
    shift
    local titulos
    titulos=$(IFS=$'\t'; echo "$*")
    echo "SELECT '#$nome' || char(10) || '${titulos//$'\t'/\' || char(9) || \'}';"
}

sql="BEGIN;
SELECT '#votarim-resultado' || char(9) || '1';
$(secao tb_apuracaoDIA dia dia_texto)
SELECT '$dia' || char(9) || strftime('%d/%m/%Y', '$dia');
$(secao tb_apuracaoTOTAIS voto votos percentual)
WITH k(ord, voto) AS (VALUES (1, 'NORMAL'), (2, 'LEGENDA'), (3, 'BRANCO'), (4, 'NULO')),
 c AS (SELECT k.ord, k.voto, (SELECT count(*) FROM contagem_votacao v WHERE v.data = '$dia' AND v.voto = k.voto) AS votos FROM k),
 todos AS (SELECT ord, voto, votos FROM c UNION ALL SELECT 5, 'TOTAL', (SELECT sum(votos) FROM c)),
 t AS (SELECT sum(votos) AS total FROM c)
SELECT voto, votos, $(pct votos total) FROM todos, t ORDER BY ord;
$(secao tb_apuracaoCARGOS ordem id_cargo cargo Totalnormal Totallegenda Totalbranco Totalnulo Totalgeral)
WITH o AS (SELECT ordem_votacao.id_cargo, min(ordem_votacao.ordem_votacao) AS ordem FROM ordem_votacao JOIN cargo ON cargo.numcad_cargo = ordem_votacao.id_cargo GROUP BY ordem_votacao.id_cargo),
 a AS (SELECT id_cargo, count(CASE WHEN voto = 'NORMAL' THEN 1 END) AS n, count(CASE WHEN voto = 'LEGENDA' THEN 1 END) AS l,
         count(CASE WHEN voto = 'BRANCO' THEN 1 END) AS b, count(CASE WHEN voto = 'NULO' THEN 1 END) AS u,
         count(CASE WHEN voto IN ('NORMAL', 'LEGENDA', 'BRANCO', 'NULO') THEN 1 END) AS t
       FROM contagem_votacao WHERE data = '$dia' GROUP BY id_cargo),
 ids AS (SELECT id_cargo FROM o UNION SELECT id_cargo FROM a)
SELECT o.ordem, ids.id_cargo,
 $(esc "CASE WHEN ids.id_cargo IS NULL THEN 'sem cargo registrado' ELSE coalesce((SELECT cargo FROM cargo WHERE numcad_cargo = ids.id_cargo), '(cargo removido)') END"),
 coalesce(a.n, 0), coalesce(a.l, 0), coalesce(a.b, 0), coalesce(a.u, 0), coalesce(a.t, 0)
FROM ids LEFT JOIN o ON o.id_cargo = ids.id_cargo LEFT JOIN a ON a.id_cargo IS ids.id_cargo
ORDER BY ids.id_cargo IS NULL, o.ordem IS NULL, o.ordem, ids.id_cargo;
CREATE TEMP TABLE o AS SELECT ordem_votacao.id_cargo, min(ordem_votacao.ordem_votacao) AS ordem FROM ordem_votacao JOIN cargo ON cargo.numcad_cargo = ordem_votacao.id_cargo GROUP BY ordem_votacao.id_cargo;
CREATE TEMP TABLE vot AS SELECT id_cargo, id_partido, id_candidato, numero_candidato, count(*) AS votos FROM contagem_votacao WHERE data = '$dia' AND voto = 'NORMAL' GROUP BY id_cargo, id_partido, id_candidato, numero_candidato;
CREATE TEMP TABLE votados AS SELECT DISTINCT id_cargo, id_candidato FROM vot;
CREATE INDEX temp.votados_chave ON votados (id_cargo, id_candidato);
CREATE TEMP TABLE mapa AS SELECT DISTINCT m.id_cargo, c.cargo, m.id_partido, p.partido, m.id_candidato, k.numero_candidato, k.nome_candidato
 FROM candidatos_votacao m JOIN candidatos k ON k.numcad_candidato = m.id_candidato JOIN cargo c ON c.numcad_cargo = m.id_cargo
 JOIN partido p ON p.numcad_partido = m.id_partido WHERE m.data_votacao = '$dia';
$(secao tb_apuracaoRANKING id_cargo cargo posicao id_candidato numero_candidato nome_candidato id_partido partido votos percentual situacao)
WITH lin AS (
 SELECT v.id_cargo, CASE WHEN v.id_cargo IS NULL THEN 'sem cargo registrado' ELSE coalesce(c.cargo, '(cargo removido)') END AS cargo,
  v.id_candidato, v.numero_candidato AS numero, CASE WHEN v.id_candidato IS NULL THEN NULL ELSE coalesce(k.nome_candidato, '(candidato removido)') END AS nome,
  v.id_partido, CASE WHEN v.id_partido IS NULL THEN NULL ELSE coalesce(p.partido, '(partido removido)') END AS partido, v.votos
 FROM vot v LEFT JOIN cargo c ON c.numcad_cargo = v.id_cargo LEFT JOIN candidatos k ON k.numcad_candidato = v.id_candidato
  LEFT JOIN partido p ON p.numcad_partido = v.id_partido
 UNION ALL
 SELECT m.id_cargo, m.cargo, m.id_candidato, m.numero_candidato, m.nome_candidato, m.id_partido, m.partido, 0
 FROM mapa m WHERE NOT EXISTS (SELECT 1 FROM votados x WHERE x.id_cargo = m.id_cargo AND x.id_candidato = m.id_candidato))
SELECT lin.id_cargo, $(esc lin.cargo), rank() OVER (PARTITION BY lin.id_cargo ORDER BY votos DESC), lin.id_candidato, $(esc numero), $(esc nome),
 lin.id_partido, $(esc partido), votos, $(pct votos "sum(votos) OVER (PARTITION BY lin.id_cargo)"), CASE WHEN votos = 0 THEN 'sem votos' ELSE '' END
FROM lin LEFT JOIN o ON o.id_cargo = lin.id_cargo
ORDER BY lin.id_cargo IS NULL, o.ordem IS NULL, o.ordem, lin.id_cargo, votos DESC, lin.id_partido, numero, lin.id_candidato;
$(secao tb_apuracaoLEGENDAS id_partido legenda partido votos percentual)
SELECT l.id_candidato, $(esc l.legenda), $(esc "CASE WHEN l.id_candidato IS NULL THEN NULL ELSE coalesce(p.partido, '(partido removido)') END"), l.votos,
 $(pct l.votos "(SELECT count(*) FROM contagem_votacao WHERE data = '$dia' AND voto = 'LEGENDA')")
FROM (SELECT id_candidato, legenda, count(*) AS votos FROM contagem_votacao WHERE data = '$dia' AND voto = 'LEGENDA' GROUP BY legenda, id_candidato) l
 LEFT JOIN partido p ON p.numcad_partido = l.id_candidato
ORDER BY l.votos DESC, l.legenda, l.id_candidato;
$(secao tb_apuracaoCONCORRENTES id_cargo cargo id_partido partido id_candidato numero_candidato nome_candidato situacao)
SELECT m.id_cargo, $(esc m.cargo), m.id_partido, $(esc m.partido), m.id_candidato, $(esc m.numero_candidato), $(esc m.nome_candidato),
 CASE WHEN EXISTS (SELECT 1 FROM votados x WHERE x.id_cargo = m.id_cargo AND x.id_candidato = m.id_candidato) THEN 'com votos' ELSE 'sem votos' END
FROM mapa m LEFT JOIN o ON o.id_cargo = m.id_cargo
ORDER BY o.ordem IS NULL, o.ordem, m.id_cargo, m.partido, m.nome_candidato, m.id_candidato, m.id_partido;
COMMIT;"

# A WAL database that nobody holds is read as immutable (no -wal, -shm created);
# anything else is opened read-only as usual (a held file then fails as busy).
origem=$banco
modo_wal=$(od -An -tu1 -j18 -N1 "$banco" | tr -d ' ')
if [ "$modo_wal" = 2 ] && [ ! -e "$banco-wal" ]; then
    caminho=$(realpath -- "$banco")
    # The URI's path, with the characters a URI reserves written as %XX.
    uri=$(printf '%s' "$caminho" | sed -e 's/%/%25/g' -e 's/?/%3f/g' -e 's/#/%23/g')
    origem="file:$uri?immutable=1"
fi
antes=$(stat -c '%s %Y' -- "$banco")
saida=$(mktemp)
trap 'rm -f "$saida"' EXIT
# The canonical text goes to a temporary file; only a complete one is hashed.
if ! sqlite3 -readonly -bail -batch -noheader -list -separator $'\t' -newline $'\n' -nullvalue '' \
    -cmd '.timeout 0' "$origem" "$sql" >"$saida"; then
    echo "Não foi possível ler o banco de dados $banco (ele está aberto pelo Votarim?)" >&2
    exit 5
fi
if [ "$origem" != "$banco" ] && { [ -e "$banco-wal" ] || [ "$(stat -c '%s %Y' -- "$banco")" != "$antes" ]; }; then
    echo "O banco de dados $banco foi aberto por outro programa durante a conferência: repita-a" >&2
    exit 5
fi
sha256sum "$saida" | cut -d' ' -f1
