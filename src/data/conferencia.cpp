#include "data/conferencia.h"

#include "data/database.h"
#include "data/esquema.h"

namespace
{

// Every row of a statement that takes the day (ISO text) as its parameters, as the
// text of its first column.
QStringList linhas(Database &db, const QString &sql, const QDate &dia = QDate())
{
    Statement st(db, sql);
    for (int i = 1; i <= st.parameterCount(); ++i)
        st.bind(i, dia.toString(Qt::ISODate));
    QStringList out;
    while (st.step())
        out << st.column(0).toString();
    return out;
}

} // namespace

namespace Conferencia
{

QStringList achadosDoDia(Database &db, const QDate &dia)
{
    QStringList achados;

    // Whether on the day's map or not: the terminal offers every office of the order.
    achados << linhas(
        db, QStringLiteral(
                "select 'O candidato \"' || coalesce(c.nome_candidato, '') || '\" (número ' || "
                "coalesce(c.numero_candidato, 'vazio') || ') não pode receber votos: ' || m || '.' from "
                "(select c.*, %1 as m from candidatos c "
                "left join cargo g on g.numcad_cargo = c.id_cargo "
                "left join partido p on p.numcad_partido = c.id_partido) c "
                "where m is not null order by c.numcad_candidato")
                .arg(Esquema::motivoNaoVotavel(QStringLiteral("c.numero_candidato"),
                                               QStringLiteral("g.numcad_cargo"), QStringLiteral("g.cargo"),
                                               QStringLiteral("g.quantidade_numeros"),
                                               QStringLiteral("p.numcad_partido"),
                                               QStringLiteral("p.partido"), QStringLiteral("p.legenda"))));

    achados << linhas(
        db,
        QStringLiteral("select 'Uma linha do mapa de votação do dia (' || coalesce('candidato \"' || "
                       "c.nome_candidato || "
                       "'\"', 'sem candidato') || ', cargo \"' || coalesce(gl.cargo, '') || '\", partido \"' "
                       "|| coalesce(pl.partido, '') || "
                       "'\") não está completa: ' || %1 || '.' from candidatos_votacao v "
                       "left join candidatos c on c.numcad_candidato = v.id_candidato "
                       "left join cargo g on g.numcad_cargo = c.id_cargo "
                       "left join partido p on p.numcad_partido = c.id_partido "
                       "left join cargo gl on gl.numcad_cargo = v.id_cargo "
                       "left join partido pl on pl.numcad_partido = v.id_partido "
                       "where v.data_votacao = ? and %1 is not null order by v.rowid")
            .arg(Esquema::motivoLinhaIncompleta(
                QStringLiteral("c.numcad_candidato"), QStringLiteral("c.nome_candidato"),
                QStringLiteral("c.id_cargo"), QStringLiteral("g.cargo"), QStringLiteral("c.id_partido"),
                QStringLiteral("p.partido"), QStringLiteral("v.id_cargo"), QStringLiteral("v.id_partido"))),
        dia);

    achados << linhas(
        db, QStringLiteral("select 'O cargo \"' || coalesce(cargo, '') || '\" tem ' || "
                           "coalesce(quantidade_numeros, 'nenhuma') || ' como quantidade de dígitos: "
                           "ela deve ser de 1 a 5, ou o cargo não pode ser votado.' from cargo "
                           "where typeof(quantidade_numeros) <> 'integer' or quantidade_numeros not "
                           "between 1 and 5 order by numcad_cargo"));

    achados << linhas(
        db, QStringLiteral("select 'A posição ' || coalesce(o.ordem_votacao, 'vazia') || ' da ordem de "
                           "votação não tem um cargo cadastrado: o terminal a pula.' from ordem_votacao o "
                           "left join cargo g on g.numcad_cargo = o.id_cargo where g.numcad_cargo is null "
                           "order by o.ordem_votacao"));
    achados << linhas(
        db, QStringLiteral("select 'A posição ' || coalesce(ordem_votacao, 'vazia') || ' da ordem de "
                           "votação tem mais de um cargo: \"' || group_concat(coalesce(g.cargo, ''), "
                           "'\", \"') || '\".' from ordem_votacao o join cargo g on g.numcad_cargo = "
                           "o.id_cargo group by ordem_votacao having count(*) > 1 order by ordem_votacao"));

    // The map row's own office: a row that is not whole is found above.
    achados << linhas(
        db,
        QStringLiteral("select 'O cargo \"' || coalesce(g.cargo, '') || '\" (posição ' || o.ordem_votacao "
                       "|| ' da ordem de votação) não tem candidato no mapa de votação do dia.' from "
                       "ordem_votacao o join cargo g on g.numcad_cargo = o.id_cargo where not exists "
                       "(select 1 from candidatos_votacao v where v.id_cargo = g.numcad_cargo and "
                       "v.data_votacao = ?) order by o.ordem_votacao"),
        dia);

    achados << linhas(
        db, QStringLiteral("select 'O partido \"' || coalesce(partido, '') || '\" não tem legenda de dois "
                           "dígitos: ninguém pode votar na sua legenda.' from partido where legenda is "
                           "null or length(legenda) <> 2 or legenda glob '*[^0-9]*' order by "
                           "numcad_partido"));

    achados << linhas(
        db,
        QStringLiteral("select 'O candidato \"' || coalesce(c.nome_candidato, '') || '\" está ' || "
                       "count(*) || ' vezes no mapa de votação do dia.' from candidatos_votacao v join "
                       "candidatos c on c.numcad_candidato = v.id_candidato where v.data_votacao = ? "
                       "group by v.id_candidato having count(*) > 1 order by v.id_candidato"),
        dia);

    achados << linhas(
        db,
        QStringLiteral("select 'Já há ' || count(*) || case when count(*) = 1 then ' voto registrado' "
                       "else ' votos registrados' end || ' neste dia: a votação não começaria do zero.' "
                       "from contagem_votacao where data = ? having count(*) > 0"),
        dia);
    return achados;
}

} // namespace Conferencia
