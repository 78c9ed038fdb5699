// Ballot secrecy on the benchmark election: CONFIRMA's vote and the "FIM" step with
// the page ordering, against a plain SQLite connection (no secrecy layer, the same
// schema, connection pragmas and votes) storing the same ballots and emptying its log
// with a plain checkpoint, the two taking turns to go first; the rollback journal in
// the log's place; the one-time rebuild of a vote table written before the ordering.
//
// Usage: bench_sigilo FOLDER [VOTERS]     (FOLDER holds the benchmark election)
// Environment: BENCH_VACUUM=1 also times VACUUM INTO of the whole election.

#include "comum.h"
#include "data/database.h"
#include "data/esquema.h"
#include "data/query.h"
#include "data/sigilo.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cstdio>
#include <sqlite3.h>

namespace
{

constexpr int kCargos = 5;

[[noreturn]] void falha(const QString &m)
{
    std::fprintf(stderr, "bench_sigilo: %s\n", qPrintable(m));
    std::exit(1);
}

double msDesde(qint64 t0)
{
    return double(Bench::agoraNs() - t0) / 1e6;
}

struct Voto {
    qint64 candidato, cargo, partido;
    QByteArray numero;
};

void abre(Database &db, const QString &banco)
{
    Esquema::prepara(db);
    db.setConnectionString(Database::connectionStringFor(banco));
    db.open();
}

// One candidate of each office, as a voter keys them.
std::vector<Voto> cedula(Database &db)
{
    std::vector<Voto> out;
    for (int c = 1; c <= kCargos; ++c) {
        Statement st(db,
                     QStringLiteral("select numcad_candidato, numero_candidato, id_cargo, id_partido from "
                                    "candidatos where id_cargo = ? limit 1 offset ?"));
        st.bind(1, c);
        st.bind(2, QRandomGenerator::global()->bounded(c == 5 ? 10 : 90));
        if (!st.step()) falha(QStringLiteral("no candidate for office %1").arg(c));
        out.push_back({st.column(0).toLongLong(), st.column(2).toLongLong(), st.column(3).toLongLong(),
                       st.column(1).toString().toUtf8()});
    }
    return out;
}

// CONFIRMA's way: a query object with the terminal's statement, keys passed as text.
void votaComoTerminal(Database &db, const Voto &v)
{
    Query q(db);
    q.setSql(Esquema::kInsereVoto);
    const QVariantList valores = {QString::number(v.candidato),
                                  QString::fromUtf8(v.numero),
                                  Esquema::kVotoNormal,
                                  QDate::currentDate(),
                                  QVariant(),
                                  QString::number(v.cargo),
                                  QString::number(v.partido)};
    for (int i = 0; i < valores.size(); ++i)
        q.setParam(i, valores[i]);
    if (q.execSql() != 1) falha(QStringLiteral("the vote was not counted"));
}

// The leanest means: the same statement prepared once, bound and stepped.
void votaCru(sqlite3 *h, sqlite3_stmt *st, const Voto &v, const QByteArray &hoje)
{
    sqlite3_bind_int64(st, 1, v.candidato);
    sqlite3_bind_text(st, 2, v.numero.constData(), int(v.numero.size()), SQLITE_STATIC);
    sqlite3_bind_text(st, 3, "NORMAL", 6, SQLITE_STATIC);
    sqlite3_bind_text(st, 4, hoje.constData(), int(hoje.size()), SQLITE_STATIC);
    sqlite3_bind_null(st, 5);
    sqlite3_bind_int64(st, 6, v.cargo);
    sqlite3_bind_int64(st, 7, v.partido);
    const int rc = sqlite3_step(st);
    sqlite3_reset(st);
    if (rc != SQLITE_DONE) falha(QString::fromUtf8(sqlite3_errmsg(h)));
}

// A vote table of 1,000,000 votes as the program wrote it before the ordering (the
// (data, voto) index, pages in casting order), rebuilt by the start-up step.
double reconstrucao(const QString &pasta)
{
    const QString arquivo = pasta + QStringLiteral("/sigilo-antigo.mdb");
    QFile::remove(arquivo);
    Esquema::criaBanco(arquivo);
    sqlite3 *cru = nullptr;
    sqlite3_open_v2(arquivo.toUtf8().constData(), &cru, SQLITE_OPEN_READWRITE, "unix");
    const char *sql =
        "PRAGMA recursive_triggers=OFF; PRAGMA synchronous=OFF;"
        "DROP INDEX contagem_votacao_normal; DROP INDEX contagem_votacao_legenda;"
        "CREATE INDEX contagem_votacao_dia ON contagem_votacao (data, voto); BEGIN;"
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1000000),"
        " v AS (SELECT abs(random()) % 100 AS t, abs(random()) % 100000 AS c, abs(random()) % 90 AS p FROM n)"
        "INSERT INTO contagem_votacao (id_candidato, numero_candidato, voto, data, legenda, id_cargo, "
        "id_partido)"
        " SELECT CASE WHEN t < 70 THEN c + 1 WHEN t < 82 THEN p + 1 END, CASE WHEN t < 70 THEN c END,"
        " CASE WHEN t < 70 THEN 'NORMAL' WHEN t < 82 THEN 'LEGENDA' WHEN t < 91 THEN 'NULO' ELSE 'BRANCO' "
        "END,"
        " date('now'), CASE WHEN t >= 70 AND t < 82 THEN p + 10 END, CASE WHEN t < 70 THEN c % 5 + 1 END,"
        " CASE WHEN t < 70 THEN c % 200 + 1 END FROM v; COMMIT";
    char *erro = nullptr;
    if (sqlite3_exec(cru, sql, nullptr, nullptr, &erro) != SQLITE_OK) falha(QString::fromUtf8(erro));
    sqlite3_close(cru);
    const qint64 t0 = Bench::agoraNs();
    {
        Database db;
        abre(db, arquivo);
        Sigilo::abreArquivo(db);
        Statement conta(db, QStringLiteral("select count(*) from contagem_votacao"));
        if (!conta.step() || conta.column(0).toLongLong() != 1000000) falha(QStringLiteral("votes lost"));
    }
    const double ms = msDesde(t0);
    QFile::remove(arquivo);
    return ms;
}

// The plain connection's file: the election's schema and its votes (the photos and
// the rest of the election are not read by a vote), made once and kept beside it.
QString bancoSimples(const QString &pasta, const QString &banco)
{
    const QString arquivo = pasta + QStringLiteral("/sigilo-simples.mdb");
    if (QFileInfo::exists(arquivo)) return arquivo;
    std::fprintf(stderr, "bench_sigilo: copying the election's votes for the plain connection...\n");
    const QString parcial = arquivo + QStringLiteral(".parcial");
    QFile::remove(parcial);
    Esquema::criaBanco(parcial);
    sqlite3 *h = nullptr;
    if (sqlite3_open_v2(parcial.toUtf8().constData(), &h, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        falha(QString::fromUtf8(sqlite3_errmsg(h)));
    const QByteArray sql =
        QStringLiteral("PRAGMA recursive_triggers=OFF; ATTACH DATABASE '%1' AS eleicao; BEGIN;"
                       "INSERT INTO contagem_votacao SELECT * FROM eleicao.contagem_votacao;"
                       "COMMIT; DETACH DATABASE eleicao")
            .arg(QString(banco).replace(u'\'', QStringLiteral("''")))
            .toUtf8();
    char *erro = nullptr;
    if (sqlite3_exec(h, sql.constData(), nullptr, nullptr, &erro) != SQLITE_OK)
        falha(QString::fromUtf8(erro));
    if (sqlite3_close(h) != SQLITE_OK) falha(QStringLiteral("could not close %1").arg(parcial));
    if (!QFile::rename(parcial, arquivo)) falha(QStringLiteral("could not rename %1").arg(parcial));
    return arquivo;
}

// A plain connection as the program's is set up, without the secrecy layer.
sqlite3 *abreSimples(const QString &arquivo)
{
    sqlite3 *h = nullptr;
    if (sqlite3_open_v2(arquivo.toUtf8().constData(), &h, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        falha(QString::fromUtf8(sqlite3_errmsg(h)));
    char *erro = nullptr;
    if (sqlite3_exec(h,
                     "PRAGMA locking_mode=EXCLUSIVE; PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; "
                     "PRAGMA recursive_triggers=OFF",
                     nullptr, nullptr, &erro) != SQLITE_OK)
        falha(QString::fromUtf8(erro));
    return h;
}

double checkpointSimples(sqlite3 *h)
{
    const qint64 t0 = Bench::agoraNs();
    if (sqlite3_wal_checkpoint_v2(h, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr) != SQLITE_OK)
        falha(QString::fromUtf8(sqlite3_errmsg(h)));
    return msDesde(t0);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2) falha(QStringLiteral("usage: bench_sigilo FOLDER [VOTERS]"));
    const QString pasta = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    const QString banco = pasta + QStringLiteral("/candidatos.mdb");
    const int eleitores = argc > 2 ? std::atoi(argv[2]) : 100;
    const QByteArray hoje = QDate::currentDate().toString(Qt::ISODate).toUtf8();

    const QString simples = bancoSimples(pasta, banco);
    Database db;
    qint64 t0 = Bench::agoraNs();
    abre(db, banco);
    const double abertura = msDesde(t0);
    t0 = Bench::agoraNs();
    Sigilo::abreArquivo(db);
    const double passoInicial = msDesde(t0);
    sqlite3 *h = db.handle();
    sqlite3 *hs = abreSimples(simples);
    sqlite3_stmt *cru = nullptr;
    const QByteArray texto = Database::translate(Esquema::kInsereVoto).toUtf8();
    if (sqlite3_prepare_v3(hs, texto.constData(), -1, SQLITE_PREPARE_PERSISTENT, &cru, nullptr) != SQLITE_OK)
        falha(QString::fromUtf8(sqlite3_errmsg(hs)));
    checkpointSimples(hs);
    const auto procura = [&](const Voto &v) {
        const qint64 t = Bench::agoraNs();
        Statement consulta(
            db, QStringLiteral("select numcad_candidato from candidatos where numero_candidato = ? "
                               "and id_cargo = ?"));
        consulta.bind(1, QString::fromUtf8(v.numero));
        consulta.bind(2, v.cargo);
        while (consulta.step()) {
        }
        return msDesde(t);
    };

    std::vector<double> voto, votoCru, fim, fimCru, eleitor, eleitorCru, primeira, segunda;
    for (int e = 0; e < eleitores; ++e) {
        // One ballot through the program's path, the same ballot through the plain
        // connection; each ends with its log emptied, the one going first alternating.
        const std::vector<Voto> c = cedula(db);
        const auto peloPrograma = [&] {
            double soma = 0;
            for (const Voto &v : c) {
                const qint64 t = Bench::agoraNs();
                votaComoTerminal(db, v);
                voto.push_back(msDesde(t));
                soma += voto.back();
            }
            const qint64 t = Bench::agoraNs();
            Sigilo::encerraCiclo(db);
            fim.push_back(msDesde(t));
            eleitor.push_back(soma + fim.back());
            // The next voter's first lookup reads its pages again from the file.
            primeira.push_back(procura(c[0]));
            segunda.push_back(procura(c[0]));
        };
        const auto simplesmente = [&] {
            double soma = 0;
            for (const Voto &v : c) {
                const qint64 t = Bench::agoraNs();
                votaCru(hs, cru, v, hoje);
                votoCru.push_back(msDesde(t));
                soma += votoCru.back();
            }
            fimCru.push_back(checkpointSimples(hs));
            eleitorCru.push_back(soma + fimCru.back());
        };
        if (e % 2) {
            simplesmente();
            peloPrograma();
        } else {
            peloPrograma();
            simplesmente();
        }
    }
    sqlite3_finalize(cru);
    if (sqlite3_close(hs) != SQLITE_OK) falha(QStringLiteral("could not close the plain connection"));
    db.checkpoint();

    // The rollback journal instead of the log: every commit writes the journal, syncs
    // it twice, writes the file, syncs it, truncates the journal and syncs again; the
    // cache is dropped after each vote so the journal never copies unordered images.
    std::vector<double> diario;
    db.execScript(QStringLiteral("PRAGMA journal_mode=TRUNCATE"));
    for (int e = 0; e < eleitores; ++e)
        for (const Voto &v : cedula(db)) {
            t0 = Bench::agoraNs();
            votaComoTerminal(db, v);
            sqlite3_db_release_memory(h);
            diario.push_back(msDesde(t0));
        }
    db.execScript(QStringLiteral("PRAGMA journal_mode=WAL"));

    // Ordering one page in memory, on the vote table's leaves as the file holds them.
    std::vector<double> ordena;
    {
        QFile f(banco);
        if (!f.open(QIODevice::ReadOnly)) falha(f.errorString());
        Statement folhas(db, QStringLiteral("select pageno from dbstat where name = 'contagem_votacao' and "
                                            "pagetype = 'leaf' limit 2000"));
        while (folhas.step()) {
            f.seek((folhas.column(0).toLongLong() - 1) * 4096);
            QByteArray pagina = f.read(4096);
            t0 = Bench::agoraNs();
            const bool ordenada =
                Sigilo::ordenaPagina(reinterpret_cast<unsigned char *>(pagina.data()), 4096, 0, 4096);
            ordena.push_back(msDesde(t0));
            if (!ordenada) falha(QStringLiteral("a leaf of the vote table was not taken for a b-tree page"));
        }
    }
    db.close();

    using namespace Bench;
    const QString n = QString::number(voto.size());
    const double mv = mediana(voto), mc = mediana(votoCru), mf = mediana(fim), mfc = mediana(fimCru);
    const double me = mediana(eleitor), mec = mediana(eleitorCru);
    linha(QStringLiteral("CONFIRMA's vote insert with ballot secrecy (log), median (%1 votes)").arg(n),
          ms(mv), ms(mc), razao(mv / mc), QStringLiteral("≤ 1.5x"), mv / mc <= 1.5);
    linha(QStringLiteral("\"FIM\" step: ballot's pages ordered into the file, log emptied, median (%1)")
              .arg(fim.size()),
          ms(mf), ms(mfc), razao(mf / mfc), QStringLiteral("< 50 ms"), mf < 50.0);
    linha(QStringLiteral("A voter: 5 votes and \"FIM\", median"), ms(me), ms(mec), razao(me / mec),
          QStringLiteral("≤ 5 ms more"), me - mec <= 5.0);
    detalhe(QStringLiteral("vote with secrecy / bare insert: p99"),
            ms(percentil(voto, 99)) + QStringLiteral(" / ") + ms(percentil(votoCru, 99)));
    detalhe(QStringLiteral("\"FIM\" step: p99 / max"),
            ms(percentil(fim, 99)) + QStringLiteral(" / ") + ms(*std::max_element(fim.begin(), fim.end())));
    detalhe(
        QStringLiteral("rollback journal (TRUNCATE) instead of the log, cache dropped: vote median / p99"),
        ms(mediana(diario)) + QStringLiteral(" / ") + ms(percentil(diario, 99)));
    detalhe(
        QStringLiteral("next voter's first lookup after \"FIM\" (pages read again) / the same lookup again"),
        ms(mediana(primeira)) + QStringLiteral(" / ") + ms(mediana(segunda)));
    detalhe(QStringLiteral("ordering one 4 KiB leaf of the vote table in memory (%1 leaves), median")
                .arg(ordena.size()),
            ms(mediana(ordena)));
    detalhe(QStringLiteral("start-up on the election: open / secrecy step with an empty log"),
            ms(abertura) + QStringLiteral(" / ") + ms(passoInicial));
    std::fprintf(stderr, "bench_sigilo: rebuilding a 1,000,000-vote table written before the ordering...\n");
    detalhe(QStringLiteral("one-time start-up rebuild of a 1,000,000-vote table written before the ordering"),
            ms(reconstrucao(pasta)));
    if (qgetenv("BENCH_VACUUM") == "1") {
        const QString copia = pasta + QStringLiteral("/sigilo-vacuum.mdb");
        QFile::remove(copia);
        Database v;
        abre(v, banco);
        t0 = Bench::agoraNs();
        v.execScript(QStringLiteral("VACUUM INTO '%1'").arg(copia));
        detalhe(QStringLiteral(
                    "VACUUM INTO of the whole election (what VACUUM at each voter would cost at least)"),
                ms(msDesde(t0)));
        QFile::remove(copia);
    }
    return 0;
}
