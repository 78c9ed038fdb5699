// The election of a day as a terminal's database holds it.

#include "apuracao/assinatura.h"
#include "apuracao/eleicao.h"

#include "data/database.h"
#include "data/query.h"

namespace Apuracao
{

Eleicao leEleicao(Database &db, const QString &dia)
{
    Eleicao e;
    const auto le = [&db](const QString &sql, const auto &porLinha) {
        Query q(db);
        q.setSql(sql);
        q.open();
        for (q.first(); !q.eof(); q.next())
            porLinha(q);
    };
    le(QStringLiteral("select numcad_cargo, cargo, quantidade_numeros from cargo"), [&](Query &q) {
        e.cargos.append({q.field(0).asInteger(), q.field(1).asString(), q.field(2).asInteger()});
    });
    le(QStringLiteral("select numcad_partido, partido, legenda from partido"), [&](Query &q) {
        e.partidos.append({q.field(0).asInteger(), q.field(1).asString(), q.field(2).asString()});
    });
    le(QStringLiteral("select numcad_candidato, nome_candidato, numero_candidato, id_partido, id_cargo, foto "
                      "from candidatos"),
       [&](Query &q) {
           const QByteArray foto = q.field(5).asBytes();
           e.candidatos.append({q.field(0).asInteger(), q.field(1).asString(), q.field(2).asString(),
                                q.field(3).asInteger(), q.field(4).asInteger(),
                                foto.isEmpty() ? QString() : sha256(foto)});
       });
    le(QStringLiteral("select ordem_votacao, id_cargo from ordem_votacao order by ordem_votacao, id_cargo"),
       [&](Query &q) { e.ordem.append({q.field(0).asInteger(), q.field(1).asInteger()}); });
    le(QStringLiteral("select id_candidato, id_cargo, id_partido from candidatos_votacao "
                      "where data_votacao = datevalue(\"%1\")")
           .arg(dia),
       [&](Query &q) {
           e.mapa.append({q.field(0).asInteger(), q.field(1).asInteger(), q.field(2).asInteger()});
       });
    return e;
}

} // namespace Apuracao
