// The day's result read from the database: each section by its own query, or
// built from the rows the report's day queries already hold, with the names and
// the day's map looked up. Either way the figures are the same: the rows are
// taken only where they say exactly what the section's own query would.

#include "apuracao/apuracao.h"

#include "data/database.h"
#include "data/diatexto.h"

#include <QHash>

#include <sqlite3.h>

namespace Apuracao
{

namespace
{

const QString kSemCargo = QStringLiteral("sem cargo registrado");
const QString kCargoRemovido = QStringLiteral("(cargo removido)");
const QString kCandidatoRemovido = QStringLiteral("(candidato removido)");
const QString kPartidoRemovido = QStringLiteral("(partido removido)");

// ---- Reading by column index, straight from the engine

Chave chave(sqlite3_stmt *s, int i)
{
    if (sqlite3_column_type(s, i) == SQLITE_NULL) return std::nullopt;
    return sqlite3_column_int64(s, i);
}

QString texto(sqlite3_stmt *s, int i)
{
    const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(s, i));
    return p ? QString::fromUtf8(p, sqlite3_column_bytes(s, i)) : QString();
}

// Runs a statement for the stored day, calling linha for every row.
template <class F> void percorre(Database &db, const QString &sql, const QString &diaBanco, F &&linha)
{
    Statement st(db, sql);
    if (st.parameterCount() > 0) st.bind(1, diaBanco);
    while (st.step())
        linha(st.get());
}

QString nomeOu(sqlite3_stmt *s, int coluna, const Chave &id, const QString &removido)
{
    if (sqlite3_column_type(s, coluna) != SQLITE_NULL) return texto(s, coluna);
    return id ? removido : QString();
}

// ---- Each section by its own query

void leTotais(Database &db, const QString &diaBanco, Resultado &r)
{
    // The kinds as texts, as the balance and the ranking compare them: bytes that
    // spell a kind are not a vote of it.
    percorre(
        db,
        QStringLiteral("select voto, count(*) from contagem_votacao where data = ?1 and voto in ('NORMAL', "
                       "'LEGENDA', 'BRANCO', 'NULO') group by voto"),
        diaBanco, [&](sqlite3_stmt *s) {
            r.totais.append({texto(s, 0), sqlite3_column_int64(s, 1), {}});
        });
}

void leBalanco(Database &db, const QDate &dia, const QString &diaBanco, Resultado &r)
{
    const QString balanco =
        Database::translate(textoBalanco(DiaTexto::escreve(dia)).join(QStringLiteral("\r\n")));
    percorre(db, balanco, diaBanco, [&](sqlite3_stmt *s) {
        r.cargos.append({chave(s, 0), chave(s, 1), texto(s, 2), sqlite3_column_int64(s, 3),
                         sqlite3_column_int64(s, 4), sqlite3_column_int64(s, 5), sqlite3_column_int64(s, 6),
                         sqlite3_column_int64(s, 7)});
    });
}

void leRanking(Database &db, const QString &diaBanco, Resultado &r)
{
    percorre(
        db,
        QStringLiteral(
            "select v.id_cargo, c.cargo, v.id_candidato, v.numero_candidato, k.nome_candidato, v.id_partido, "
            "p.partido, v.votos from (select id_cargo, id_partido, id_candidato, numero_candidato, count(*) "
            "as "
            "votos from contagem_votacao where data = ?1 and voto = 'NORMAL' group by id_cargo, id_partido, "
            "id_candidato, numero_candidato) v left join cargo c on c.numcad_cargo = v.id_cargo left join "
            "candidatos k on k.numcad_candidato = v.id_candidato left join partido p on p.numcad_partido = "
            "v.id_partido"),
        diaBanco, [&](sqlite3_stmt *s) {
            const Chave cargo = chave(s, 0), candidato = chave(s, 2), partido = chave(s, 5);
            r.ranking.append({cargo,
                              cargo ? nomeOu(s, 1, cargo, kCargoRemovido) : kSemCargo,
                              0,
                              candidato,
                              texto(s, 3),
                              nomeOu(s, 4, candidato, kCandidatoRemovido),
                              partido,
                              nomeOu(s, 6, partido, kPartidoRemovido),
                              sqlite3_column_int64(s, 7),
                              {},
                              {}});
        });
}

void leLegendas(Database &db, const QString &diaBanco, Resultado &r)
{
    percorre(db,
             QStringLiteral(
                 "select v.id_candidato, v.legenda, p.partido, v.votos from (select id_candidato, "
                 "legenda, count(*) as votos from contagem_votacao where data = ?1 and voto = 'LEGENDA' "
                 "group by legenda, id_candidato) v left join partido p on p.numcad_partido = "
                 "v.id_candidato"),
             diaBanco, [&](sqlite3_stmt *s) {
                 const Chave partido = chave(s, 0);
                 r.legendas.append({partido,
                                    texto(s, 1),
                                    nomeOu(s, 2, partido, kPartidoRemovido),
                                    sqlite3_column_int64(s, 3),
                                    {}});
             });
}

void leConcorrentes(Database &db, const QString &diaBanco, Resultado &r)
{
    percorre(
        db,
        QStringLiteral("select distinct m.id_cargo, c.cargo, m.id_partido, p.partido, m.id_candidato, "
                       "k.numero_candidato, k.nome_candidato from candidatos_votacao m join candidatos k on "
                       "k.numcad_candidato = m.id_candidato join cargo c on c.numcad_cargo = m.id_cargo join "
                       "partido p on p.numcad_partido = m.id_partido where m.data_votacao = ?1"),
        diaBanco, [&](sqlite3_stmt *s) {
            r.concorrentes.append({chave(s, 0),
                                   texto(s, 1),
                                   chave(s, 2),
                                   texto(s, 3),
                                   chave(s, 4),
                                   texto(s, 5),
                                   texto(s, 6),
                                   {}});
        });
}

// ---- From rows already read

// A value of a row already read, as the engine's column reading would give it;
// false for a type a plain day never holds in that place.
bool comoChave(const QVariant &v, Chave &c)
{
    if (!v.isValid()) {
        c.reset();
        return true;
    }
    if (v.typeId() != QMetaType::LongLong) return false;
    c = v.toLongLong();
    return true;
}

bool comoNumero(const QVariant &v, qint64 &n)
{
    if (v.typeId() != QMetaType::LongLong) return false;
    n = v.toLongLong();
    return true;
}

bool comoTexto(const QVariant &v, QString &t)
{
    if (!v.isValid()) {
        t.clear();
        return true;
    }
    if (v.typeId() == QMetaType::QString) {
        t = v.toString();
        return true;
    }
    if (v.typeId() != QMetaType::LongLong) return false;
    t = QString::number(v.toLongLong());
    return true;
}

// The name of a key in one table, as a left join on its primary key gives it,
// each key looked up once.
class Nomes
{
  public:
    Nomes(Database &db, const QString &sql, const QString &removido) : m_st(db, sql), m_removido(removido) {}

    QString de(const Chave &id)
    {
        if (!id) return QString();
        const auto achado = m_cache.constFind(*id);
        if (achado != m_cache.cend()) return *achado;
        sqlite3_reset(m_st.get());
        m_st.bind(1, *id);
        const QString nome = m_st.step() ? nomeOu(m_st.get(), 0, id, m_removido) : m_removido;
        m_cache.insert(*id, nome);
        return nome;
    }

  private:
    Statement m_st;
    QString m_removido;
    QHash<qint64, QString> m_cache;
};

bool totaisDe(const QVariantList &linha, Resultado &r)
{
    // Totalgeral, Totalbranco, Totalnulo, Totallegenda, Totalnormal: each kind counted
    // as a text, as the day's own count does; Totalgeral, which counts any kind, is not used.
    qint64 v[5];
    if (linha.size() != 5) return false;
    for (int i = 0; i < 5; ++i)
        if (!comoNumero(linha[i], v[i])) return false;
    r.totais = {{QStringLiteral("NORMAL"), v[4], {}},
                {QStringLiteral("LEGENDA"), v[3], {}},
                {QStringLiteral("BRANCO"), v[1], {}},
                {QStringLiteral("NULO"), v[2], {}}};
    return true;
}

bool balancoDe(const QList<QVariantList> &linhas, Resultado &r)
{
    QList<Cargo> cargos;
    for (const QVariantList &l : linhas) {
        Cargo c;
        if (l.size() != 8 || !comoChave(l[0], c.ordem) || !comoChave(l[1], c.idCargo) ||
            !comoTexto(l[2], c.cargo) || !comoNumero(l[3], c.normal) || !comoNumero(l[4], c.legenda) ||
            !comoNumero(l[5], c.branco) || !comoNumero(l[6], c.nulo) || !comoNumero(l[7], c.total))
            return false;
        cargos.append(std::move(c));
    }
    r.cargos = std::move(cargos);
    return true;
}

// Rows of the candidate query: id_candidato, numero_candidato, id_cargo, id_partido,
// Totalvotos. Its count skips a null candidate, so such a group is read again.
bool rankingDe(Database &db, const QList<QVariantList> &linhas, Resultado &r)
{
    struct Linha {
        Chave candidato, cargo, partido;
        QString numero;
        qint64 votos = 0;
    };
    QList<Linha> lidas;
    lidas.reserve(linhas.size());
    for (const QVariantList &l : linhas) {
        Linha x;
        if (l.size() != 5 || !comoChave(l[0], x.candidato) || !x.candidato || !comoTexto(l[1], x.numero) ||
            !comoChave(l[2], x.cargo) || !comoChave(l[3], x.partido) || !comoNumero(l[4], x.votos))
            return false;
        lidas.append(std::move(x));
    }
    Nomes cargos(db, QStringLiteral("select cargo from cargo where numcad_cargo = ?1"), kCargoRemovido);
    Nomes candidatos(db, QStringLiteral("select nome_candidato from candidatos where numcad_candidato = ?1"),
                     kCandidatoRemovido);
    Nomes partidos(db, QStringLiteral("select partido from partido where numcad_partido = ?1"),
                   kPartidoRemovido);
    r.ranking.reserve(lidas.size());
    for (const Linha &x : std::as_const(lidas))
        r.ranking.append({x.cargo,
                          x.cargo ? cargos.de(x.cargo) : kSemCargo,
                          0,
                          x.candidato,
                          x.numero,
                          candidatos.de(x.candidato),
                          x.partido,
                          partidos.de(x.partido),
                          x.votos,
                          {},
                          {}});
    return true;
}

// Rows of the legend query: id_candidato (the party), legenda, Totalvotos. Its
// count skips a null legend, so such a group is read again.
bool legendasDe(Database &db, const QList<QVariantList> &linhas, Resultado &r)
{
    QList<Legenda> legendas;
    for (const QVariantList &l : linhas) {
        Legenda x;
        if (l.size() != 3 || !l[1].isValid() || !comoChave(l[0], x.idPartido) ||
            !comoTexto(l[1], x.legenda) || !comoNumero(l[2], x.votos))
            return false;
        legendas.append(std::move(x));
    }
    Nomes partidos(db, QStringLiteral("select partido from partido where numcad_partido = ?1"),
                   kPartidoRemovido);
    for (Legenda &x : legendas)
        x.partido = partidos.de(x.idPartido);
    r.legendas = std::move(legendas);
    return true;
}

} // namespace

QStringList textoBalanco(const QString &diaTexto)
{
    // Every office of the voting order gets a row, also without votes; the votes of
    // the day add theirs (an office no longer in the order, or none at all). The
    // votes are counted per kind and office first, in the order of their index,
    // so the day is read once and never sorted. The total is the four kinds' sum,
    // as the day's: a vote of any other kind is in neither.
    return {
        QStringLiteral(
            "select (select min(ordem_votacao) from ordem_votacao, cargo where ordem_votacao.id_cargo = "
            "v.id_cargo and cargo.numcad_cargo = v.id_cargo) as ordem, v.id_cargo,"),
        QStringLiteral(
            " case when v.id_cargo is null then \"sem cargo registrado\" else coalesce((select cargo "
            "from cargo where numcad_cargo = v.id_cargo), \"(cargo removido)\") end as cargo,"),
        QStringLiteral(
            " sum(case when v.voto = \"NORMAL\" then v.n else 0 end) as Totalnormal, sum(case when "
            "v.voto = \"LEGENDA\" then v.n else 0 end) as Totallegenda,"),
        QStringLiteral(
            " sum(case when v.voto = \"BRANCO\" then v.n else 0 end) as Totalbranco, sum(case when "
            "v.voto = \"NULO\" then v.n else 0 end) as Totalnulo, sum(case when v.voto in (\"NORMAL\", "
            "\"LEGENDA\", \"BRANCO\", \"NULO\") then v.n else 0 end) as "
            "Totalgeral"),
        QStringLiteral(" from (select id_cargo, voto, count(voto) as n from contagem_votacao where data = "
                       "datevalue(\"%1\") group by voto, id_cargo")
            .arg(diaTexto),
        QStringLiteral(" union all select ordem_votacao.id_cargo, null, 0 from ordem_votacao, cargo where "
                       "ordem_votacao.id_cargo = cargo.numcad_cargo) as v"),
        QStringLiteral(" group by v.id_cargo order by v.id_cargo is null, ordem is null, ordem, v.id_cargo"),
    };
}

Resultado calcula(Database &db, const QDate &dia)
{
    Resultado r;
    r.dia = dia;
    const QString diaBanco = DiaTexto::paraBanco(dia);
    leTotais(db, diaBanco, r);
    leBalanco(db, dia, diaBanco, r);
    leRanking(db, diaBanco, r);
    leLegendas(db, diaBanco, r);
    leConcorrentes(db, diaBanco, r);
    classifica(r);
    return r;
}

Resultado calcula(Database &db, const QDate &dia, const LinhasDoDia &linhas)
{
    Resultado r;
    r.dia = dia;
    const QString diaBanco = DiaTexto::paraBanco(dia);
    if (!totaisDe(linhas.totais, r)) leTotais(db, diaBanco, r);
    if (!balancoDe(linhas.cargos, r)) leBalanco(db, dia, diaBanco, r);
    if (!rankingDe(db, linhas.candidatos, r)) leRanking(db, diaBanco, r);
    if (!legendasDe(db, linhas.legendas, r)) leLegendas(db, diaBanco, r);
    leConcorrentes(db, diaBanco, r);
    classifica(r);
    return r;
}

} // namespace Apuracao
