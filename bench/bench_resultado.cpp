// The result of a day: the four day queries through our data layer against the
// same SQL run by the sqlite3 command-line tool on the same file (the day written
// as the stored value, since the tool has no datevalue), and against a full count
// scan of the vote table (the floor: every vote row read once from the table); warm, and with
// the file evicted from the page cache before each query. Then the whole result
// report to PDF through votarim-banco resultado --pdf (the shipped project, the
// same engine), with its peak memory.
//
// The day: 1,000,000 votes over 5,000 candidates in 5 offices (70 % NORMAL, 10 %
// each LEGENDA, BRANCO, NULO), generated once into BENCH_DIR/resultado.mdb through
// the program's schema (random row ids included).
//
// Usage: bench_resultado BENCH_DIR [RUNS]    (RUNS default 5; needs sqlite3 and
// votarim-banco beside this program's build, in ../votarim/)

#include "comum.h"

#include "data/database.h"
#include "data/diatexto.h"
#include "data/esquema.h"
#include "data/query.h"
#include "reports/ufrmimpressao.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

const QString kDiaIso = QStringLiteral("2024-10-06");
constexpr int kCargos = 5;
constexpr int kPorCargo = 1000;
constexpr int kPartidos = 90;
constexpr int kVotos = 1000000;

[[noreturn]] void falha(const QString &texto)
{
    std::fprintf(stderr, "bench_resultado: %s\n", qPrintable(texto));
    std::exit(1);
}

void gera(const QString &arquivo)
{
    if (QFileInfo::exists(arquivo)) return;
    std::fprintf(stderr, "bench_resultado: generating %s (1,000,000 votes)...\n", qPrintable(arquivo));
    Esquema::criaBanco(arquivo, [](Database &db) {
        Transaction t(db);
        const auto executa = [&db](const QString &sql, const QVariantList &valores) {
            Statement st(db, Database::translate(sql));
            for (int i = 0; i < valores.size(); ++i)
                st.bind(i + 1, valores[i]);
            st.step();
        };
        for (int c = 1; c <= kCargos; ++c)
            executa(QStringLiteral("insert into cargo (cargo, quantidade_numeros) values (:c, 5)"),
                    {QStringLiteral("Cargo %1").arg(c)});
        for (int p = 0; p < kPartidos; ++p)
            executa(QStringLiteral("insert into partido (partido, legenda) values (:p, :l)"),
                    {QStringLiteral("Partido %1").arg(p + 10), QString::number(p + 10)});
        std::mt19937 rng(20241006);
        std::vector<int> partidoDe(kCargos * kPorCargo + 1);
        for (int i = 1; i <= kCargos * kPorCargo; ++i) {
            partidoDe[size_t(i)] = int(rng() % kPartidos) + 1;
            const int cargo = (i - 1) / kPorCargo + 1;
            executa(QStringLiteral(
                        "insert into candidatos (nome_candidato, numero_candidato, id_partido, id_cargo) "
                        "values (:n, :num, :p, :c)"),
                    {QStringLiteral("Candidato %1").arg(i), QString::number(10000 + i), partidoDe[size_t(i)],
                     cargo});
            executa(QStringLiteral(
                        "insert into candidatos_votacao (id_candidato, id_cargo, id_partido, data_votacao) "
                        "values (:i, :c, :p, :d)"),
                    {i, cargo, partidoDe[size_t(i)], kDiaIso});
        }
        Statement voto(
            db, Database::translate(QStringLiteral(
                    "insert into contagem_votacao (id_candidato, numero_candidato, voto, data, legenda, "
                    "id_cargo, id_partido) values (:a, :b, :c, :d, :e, :f, :g)")));
        std::geometric_distribution<int> preferido(0.002); // some candidates far ahead of others
        for (int v = 0; v < kVotos; ++v) {
            const int tipo = int(rng() % 10);
            const QVariant nulo;
            QVariantList valores;
            if (tipo < 7) {
                const int cargo = int(rng() % kCargos);
                const int i = cargo * kPorCargo + (preferido(rng) % kPorCargo) + 1;
                valores = {i,         QString::number(10000 + i), QStringLiteral("NORMAL"), kDiaIso, nulo,
                           cargo + 1, partidoDe[size_t(i)]};
            } else if (tipo == 7) {
                const int p = int(rng() % kPartidos);
                valores = {p + 1, nulo, QStringLiteral("LEGENDA"), kDiaIso, QString::number(p + 10),
                           nulo,  nulo};
            } else {
                valores = {nulo,    nulo, tipo == 8 ? QStringLiteral("BRANCO") : QStringLiteral("NULO"),
                           kDiaIso, nulo, nulo,
                           nulo};
            }
            for (int k = 0; k < valores.size(); ++k)
                voto.bind(k + 1, valores[k]);
            voto.step();
            sqlite3_reset(voto.get());
        }
        t.commit();
    });
}

void despeja(const QString &arquivo)
{
    const int fd = ::open(QFile::encodeName(arquivo).constData(), O_RDONLY);
    if (fd < 0) falha(QStringLiteral("cannot open %1").arg(arquivo));
    ::fdatasync(fd);
    const int rc = ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
    if (rc != 0) falha(QStringLiteral("posix_fadvise failed"));
}

// The four texts as the program sends them (CR LF between lines), and as the
// command-line tool gets them: the day as stored instead of datevalue("...").
struct Consulta {
    QString nome;
    QStringList linhas;
    QString cli;
};

QList<Consulta> consultas(const QString &diaTexto)
{
    const QList<QPair<QString, QStringList>> textos = {
        {QStringLiteral("totals query"), Relatorios::textoTotais(diaTexto)},
        {QStringLiteral("candidate query"), Relatorios::textoCandidatos(diaTexto)},
        {QStringLiteral("legend query"), Relatorios::textoLegendas(diaTexto)},
        {QStringLiteral("day's candidates query"), Relatorios::textoCandidatosDoDia(diaTexto)}};
    QList<Consulta> out;
    static const QRegularExpression dia(QStringLiteral("datevalue ?\\('[^']*'\\)"));
    for (const auto &[nome, linhas] : textos) {
        QString cli = Database::translate(linhas.join(QStringLiteral("\r\n")));
        cli.replace(dia, QStringLiteral("'%1'").arg(kDiaIso));
        cli.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        out.append({nome, linhas, cli});
    }
    return out;
}

// Every vote row read from the table itself (count(*) alone would only count the
// cells of the smallest index's pages, never looking at a row).
const QString kPiso = QStringLiteral("select count(voto) from contagem_votacao not indexed");

Database *abre(const QString &arquivo)
{
    auto *db = new Database;
    Esquema::prepara(*db);
    db->setConnectionString(Database::connectionStringFor(arquivo));
    db->open();
    return db;
}

double msDesde(qint64 t0)
{
    return double(Bench::agoraNs() - t0) / 1e6;
}

// Our data layer: a fresh query object with the text, opened (every row read).
double nossa(Database &db, const Consulta &c)
{
    Query q(db);
    q.setSql(c.linhas);
    const qint64 t0 = Bench::agoraNs();
    q.open();
    const double ms = msDesde(t0);
    if (q.recordCount() < 0) falha(QStringLiteral("no rows"));
    return ms;
}

double piso(Database &db)
{
    const qint64 t0 = Bench::agoraNs();
    Statement st(db, kPiso);
    if (!st.step() || st.column(0).toLongLong() < kVotos) falha(QStringLiteral("the vote table is short"));
    return msDesde(t0);
}

// The command-line tool's own timer ("Run Time: real S"), rows sent to /dev/null;
// with `frio`, the file evicted (by dd, from inside the tool) after the schema is read.
QList<double> cli(const QString &arquivo, const QStringList &sqls, int vezes, bool frio)
{
    QString script = QStringLiteral(".output /dev/null\nselect count(*) from sqlite_master;\n");
    for (int i = 0; i < vezes; ++i)
        for (const QString &s : sqls) {
            if (frio)
                script += QStringLiteral(".timer off\n.system dd if='%1' iflag=nocache count=0 status=none\n")
                              .arg(arquivo);
            script += QStringLiteral(".timer on\n") + s.trimmed() + QStringLiteral(";\n.timer off\n");
        }
    QProcess p;
    p.start(QStringLiteral("sqlite3"), {QStringLiteral("-readonly"), arquivo});
    p.write(script.toUtf8());
    p.closeWriteChannel();
    if (!p.waitForFinished(600000) || p.exitCode() != 0)
        falha(QStringLiteral("sqlite3 failed: %1").arg(QString::fromUtf8(p.readAllStandardError())));
    QList<double> out;
    static const QRegularExpression tempo(QStringLiteral("Run Time: real ([0-9.]+)"));
    auto it = tempo.globalMatch(QString::fromUtf8(p.readAllStandardOutput()));
    while (it.hasNext())
        out << it.next().captured(1).toDouble() * 1000.0;
    if (out.size() != vezes * sqls.size())
        falha(QStringLiteral("sqlite3 printed %1 timings").arg(out.size()));
    return out;
}

void linhaRun(const QString &medida, double valor, double base, double meta)
{
    std::printf("RUN|%s|%.6f|%.6f|%g|ms\n", medida.toUtf8().constData(), valor, base, meta);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) falha(QStringLiteral("usage: bench_resultado BENCH_DIR [RUNS]"));
    QGuiApplication app(argc, argv);
    const QString pasta = QFile::decodeName(argv[1]);
    const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 5;
    const QString arquivo = QDir(pasta).filePath(QStringLiteral("resultado.mdb"));
    QDir().mkpath(pasta);
    try {
        gera(arquivo);
    } catch (const std::exception &e) {
        falha(QString::fromUtf8(e.what()));
    }
    const QString diaTexto = DiaTexto::escreve(QDate::fromString(kDiaIso, Qt::ISODate));
    const QList<Consulta> cs = consultas(diaTexto);
    QStringList sqls{kPiso};
    for (const Consulta &c : cs)
        sqls << c.cli;

    // The plans, as the engine chooses them on this file.
    {
        std::unique_ptr<Database> db(abre(arquivo));
        for (const Consulta &c : cs) {
            Statement st(*db, QStringLiteral("EXPLAIN QUERY PLAN ") + c.cli);
            QStringList passos;
            while (st.step())
                passos << st.column(3).toString();
            Bench::detalhe(QStringLiteral("plan of the %1").arg(c.nome), passos.join(QStringLiteral("; ")));
        }
    }

    for (int run = 0; run < runs; ++run) {
        std::fprintf(stderr, "bench_resultado: run %d of %d...\n", run + 1, runs);
        // Warm: one pass to fill the page cache, then the timed pass; ours and the tool by turns.
        QList<double> nossos, doCli;
        double pisoNosso = 0;
        const auto medeNossos = [&] {
            std::unique_ptr<Database> db(abre(arquivo));
            for (const Consulta &c : cs)
                nossa(*db, c);
            piso(*db);
            pisoNosso = piso(*db);
            nossos.clear();
            for (const Consulta &c : cs)
                nossos << nossa(*db, c);
        };
        const auto medeCli = [&] {
            const QList<double> t = cli(arquivo, sqls, 2, false);
            doCli = t.mid(sqls.size());
        };
        if (run % 2) {
            medeCli();
            medeNossos();
        } else {
            medeNossos();
            medeCli();
        }
        const double pisoCli = doCli[0];
        const double pisoQuente = std::min(pisoNosso, pisoCli);
        for (int i = 0; i < cs.size(); ++i) {
            linhaRun(QStringLiteral("%1, ours / sqlite3 tool, warm").arg(cs[i].nome), nossos[i], doCli[i + 1],
                     1.2);
            linhaRun(QStringLiteral("%1, ours / full count scan, warm").arg(cs[i].nome), nossos[i],
                     pisoQuente, i == 2 ? 2 : 10);
        }
        std::printf("RUNDETAIL|full count scan, warm, ms|%.3f\n", pisoQuente);

        // Cold: the file evicted before each query (ours on a new connection whose
        // schema is read first, as the tool's is), and the floor likewise.
        const QList<double> cliFrio = cli(arquivo, sqls, 1, true);
        double pisoFrio;
        {
            std::unique_ptr<Database> db(abre(arquivo));
            despeja(arquivo);
            pisoFrio = piso(*db);
        }
        for (int i = 0; i < cs.size(); ++i) {
            std::unique_ptr<Database> db(abre(arquivo));
            despeja(arquivo);
            const double t = nossa(*db, cs[i]);
            linhaRun(QStringLiteral("%1, ours / full count scan, cold").arg(cs[i].nome), t, pisoFrio, 1.5);
            std::printf("RUNDETAIL|%s, sqlite3 tool cold / cold full scan|%.3f\n", qPrintable(cs[i].nome),
                        cliFrio[i + 1] / cliFrio[0]);
        }
        std::printf("RUNDETAIL|full count scan, cold, ms|%.3f\n", pisoFrio);

        // The whole result report to PDF, in a child process of its own for its peak memory.
        const QString ferramenta =
            QCoreApplication::applicationDirPath() + QStringLiteral("/../votarim/votarim-banco");
        const QString pdf = QDir(pasta).filePath(QStringLiteral("resultado.pdf"));
        const qint64 t0 = Bench::agoraNs();
        const pid_t filho = ::fork();
        if (filho == 0) {
            const QByteArray f = QFile::encodeName(ferramenta), a = QFile::encodeName(arquivo),
                             s = QFile::encodeName(pdf);
            const int nulo = ::open("/dev/null", O_WRONLY);
            ::dup2(nulo, 1);
            ::execl(f.constData(), f.constData(), "resultado", a.constData(), "2024-10-06", "--pdf",
                    s.constData(), static_cast<char *>(nullptr));
            ::_exit(127);
        }
        int estado = 0;
        rusage uso{};
        if (filho < 0 || ::wait4(filho, &estado, 0, &uso) != filho || !WIFEXITED(estado) ||
            WEXITSTATUS(estado) != 0)
            falha(QStringLiteral("votarim-banco resultado --pdf failed"));
        const double ms = msDesde(t0);
        double consultasCli = 0;
        for (int i = 1; i < doCli.size(); ++i)
            consultasCli += doCli[i];
        std::printf("RUNDETAIL|result report to PDF (votarim-banco, whole process), ms; goal < 3000|%.1f\n",
                    ms);
        std::printf("RUNDETAIL|result report to PDF, peak memory MiB; goal < 300|%.1f\n",
                    double(uso.ru_maxrss) / 1024.0);
        std::printf("RUNDETAIL|the four queries by the sqlite3 tool, warm, ms (the data work alone)|%.3f\n",
                    consultasCli);
        std::fflush(stdout);
    }
    return 0;
}
