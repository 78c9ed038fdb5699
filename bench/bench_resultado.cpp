// The result of a day: the four day queries through our data layer against the
// same SQL run by the sqlite3 command-line tool on the same file (the day written
// as the stored value, since the tool has no datevalue), and against a floor read
// from the same pages: for the totals, one pass over the day's votes counted per
// kind (the covering index the query reads); for the others, a full count scan of
// the vote table (every vote row read once from the table); warm, and with the
// file evicted from the page cache before each query.
//
// Then the whole result report to PDF through votarim-banco resultado --pdf (the
// shipped project, the same engine), warm and cold, against a floor run the same
// way as a process of its own: the four day queries by bare statements and
// QPdfWriter drawing by hand the pages the engine laid out (written beforehand
// through the report data module: the same texts, fonts, boxes, lines and
// pictures); with its peak memory. And `votarim-banco resultado` as text on a day of 100,000 candidates
// against tools/confere_digital.sh, the sqlite3 tool running the same queries
// (both are checked to give the same fingerprint first).
//
// The day: 1,000,000 votes over 5,000 candidates in 5 offices (70 % NORMAL, 10 %
// each LEGENDA, BRANCO, NULO), generated once into BENCH_DIR/resultado.mdb through
// the program's schema (random row ids included); the same over 100,000
// candidates into BENCH_DIR/resultado-100mil.mdb.
//
// Usage: bench_resultado BENCH_DIR [RUNS]    (RUNS default 5; needs sqlite3 and
// votarim-banco beside this program's build, in ../votarim/)
//        bench_resultado piso-pdf FILE OUT.pdf PAGES   (the PDF's floor, drawing the
// pages written to PAGES)

#include "comum.h"

#include "data/database.h"
#include "data/diatexto.h"
#include "data/esquema.h"
#include "data/query.h"
#include "reportengine/prepared.h"
#include "reports/ufrmimpressao.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHash>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
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
constexpr int kPorCargoGrande = 20000; // 100,000 candidates for the result as text
constexpr int kPartidos = 90;
constexpr int kVotos = 1000000;

[[noreturn]] void falha(const QString &texto)
{
    std::fprintf(stderr, "bench_resultado: %s\n", qPrintable(texto));
    std::exit(1);
}

void gera(const QString &arquivo, int porCargo)
{
    if (QFileInfo::exists(arquivo)) return;
    std::fprintf(stderr, "bench_resultado: generating %s (%d candidates, 1,000,000 votes)...\n",
                 qPrintable(arquivo), kCargos * porCargo);
    Esquema::criaBanco(arquivo, [porCargo](Database &db) {
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
        std::vector<int> partidoDe(kCargos * porCargo + 1);
        // Five digits: numbered through the election while they fit, else within the office.
        const auto numeroDe = [porCargo](int i) {
            return QString::number(kCargos * porCargo < 90000 ? 10000 + i : 10000 + (i - 1) % porCargo);
        };
        for (int i = 1; i <= kCargos * porCargo; ++i) {
            partidoDe[size_t(i)] = int(rng() % kPartidos) + 1;
            const int cargo = (i - 1) / porCargo + 1;
            executa(QStringLiteral(
                        "insert into candidatos (nome_candidato, numero_candidato, id_partido, id_cargo) "
                        "values (:n, :num, :p, :c)"),
                    {QStringLiteral("Candidato %1").arg(i), numeroDe(i), partidoDe[size_t(i)],
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
                const int i = cargo * porCargo + (preferido(rng) % porCargo) + 1;
                valores = {i,         numeroDe(i), QStringLiteral("NORMAL"), kDiaIso, nulo,
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

// The totals query's floor: the day's votes counted per kind in one pass, reading
// the same covering index the totals query reads (a scan of the whole table would
// read other pages than the query does).
const QString kPisoDia =
    QStringLiteral("select voto, count(*) from contagem_votacao where data = '%1' group by voto").arg(kDiaIso);

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

double pisoDoDia(Database &db)
{
    const qint64 t0 = Bench::agoraNs();
    Statement st(db, kPisoDia);
    qint64 votos = 0;
    while (st.step())
        votos += st.column(1).toLongLong();
    if (votos < kVotos) falha(QStringLiteral("the day has too few votes"));
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

// A program run from its spawn to its exit (stdout to /dev/null), in ms; its peak memory in `uso`.
double executa(const QStringList &argumentos, rusage *uso = nullptr)
{
    std::vector<QByteArray> bytes;
    for (const QString &a : argumentos)
        bytes.push_back(QFile::encodeName(a));
    std::vector<char *> argv;
    for (QByteArray &b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    const qint64 t0 = Bench::agoraNs();
    const pid_t filho = ::fork();
    if (filho == 0) {
        const int nulo = ::open("/dev/null", O_WRONLY);
        ::dup2(nulo, 1);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    int estado = 0;
    rusage r{};
    if (filho < 0 || ::wait4(filho, &estado, 0, &r) != filho || !WIFEXITED(estado) || WEXITSTATUS(estado) != 0)
        falha(QStringLiteral("%1 failed").arg(argumentos.join(u' ')));
    const double ms = msDesde(t0);
    if (uso) *uso = r;
    return ms;
}

// A program's standard output, for the checks made before the timed runs.
QByteArray saidaDe(const QString &programa, const QStringList &argumentos)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(programa, argumentos);
    if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        falha(QStringLiteral("%1 %2 failed").arg(programa, argumentos.join(u' ')));
    return p.readAllStandardOutput();
}

// The pages of the result report as the engine lays them out, written to a file
// for the floor to draw: each page's texts (font, colour, alignment, box), lines,
// boxes and pictures, in the engine's order. Returns the counts of pages and items.
std::pair<qsizetype, qsizetype> gravaPaginas(const QString &arquivo, const QString &diaTexto,
                                             const QString &projeto, const QString &destino)
{
    std::unique_ptr<Database> db(abre(arquivo));
    Tfrmimpressao modulo(nullptr, *db);
    modulo.relatorio->ProjectFile = projeto;
    Relatorios::preparaDia(modulo, diaTexto);
    modulo.relatorio->SetReportParameter(QStringLiteral("diarelatorio"), diaTexto);
    const auto r = modulo.relatorio->prepareReport(QStringLiteral("rel_resultadogeral"));
    if (!r || r->pages.empty()) falha(QStringLiteral("the result report laid out no page"));
    QFile f(destino);
    if (!f.open(QIODevice::WriteOnly)) falha(QStringLiteral("cannot write %1").arg(destino));
    QDataStream out(&f);
    out << QSizeF(r->pageSize) << bool(r->landscape) << qint32(r->textStyles.size());
    for (const ReportEngine::TextStyle &t : r->textStyles)
        out << t.font.toString() << t.color << qint32(t.align) << t.wrap;
    out << qint32(r->penStyles.size());
    for (const ReportEngine::PenStyle &c : r->penStyles)
        out << c.color << c.width << c.fill;
    QHash<int, qint32> imagens; // the engine's picture ids, each written once
    qsizetype itens = 0;
    out << qint32(r->pages.size());
    for (const ReportEngine::Page &pg : r->pages) {
        out << qint32(pg.ops.size());
        itens += qsizetype(pg.ops.size());
        for (const ReportEngine::Op &o : pg.ops) {
            out << qint32(o.kind) << o.rect << qint32(o.style);
            if (o.kind == ReportEngine::Op::Kind::Text) {
                out << pg.texts[o.ref];
            } else if (o.kind == ReportEngine::Op::Kind::Image) {
                const bool nova = !imagens.contains(o.ref);
                if (nova) imagens.insert(o.ref, qint32(imagens.size()));
                out << imagens.value(o.ref) << nova;
                if (nova) out << r->images.image(o.ref);
            }
        }
    }
    if (out.status() != QDataStream::Ok || !f.flush()) falha(QStringLiteral("cannot write %1").arg(destino));
    return {qsizetype(r->pages.size()), itens};
}

// The result PDF's floor, run as a child process like votarim-banco: the day
// queries by bare statements on a read-only connection, every cell kept as text,
// then QPdfWriter (the same PDF/A-1b) drawing by hand the engine's pages read from
// the file: the same texts in the same fonts and boxes, lines, boxes and pictures.
int pisoPdf(const QString &arquivo, const QString &saida, const QString &paginas, const QStringList &sqls)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(arquivo).constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        falha(QStringLiteral("cannot open %1").arg(arquivo));
    QStringList celulas;
    sqlite3_exec(db, "begin", nullptr, nullptr, nullptr);
    for (const QString &sql : sqls) {
        sqlite3_stmt *st = nullptr;
        if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK)
            falha(QString::fromUtf8(sqlite3_errmsg(db)));
        while (sqlite3_step(st) == SQLITE_ROW)
            for (int c = 0; c < sqlite3_column_count(st); ++c)
                celulas << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, c)),
                                             sqlite3_column_bytes(st, c));
        sqlite3_finalize(st);
    }
    sqlite3_exec(db, "commit", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    if (celulas.isEmpty()) falha(QStringLiteral("the day queries gave no rows"));

    QFile f(paginas);
    if (!f.open(QIODevice::ReadOnly)) falha(QStringLiteral("cannot read %1").arg(paginas));
    QDataStream in(&f);
    QSizeF tamanho;
    bool deitada = false;
    qint32 n = 0;
    in >> tamanho >> deitada >> n;
    struct Estilo {
        QFont fonte;
        QColor cor;
        int alinha = 0;
        bool quebra = false;
    };
    std::vector<Estilo> estilos(size_t(std::max(n, 0)));
    for (Estilo &e : estilos) {
        QString fonte;
        qint32 alinha = 0;
        in >> fonte >> e.cor >> alinha >> e.quebra;
        e.fonte.fromString(fonte);
        e.alinha = alinha | (e.quebra ? int(Qt::TextWordWrap) : 0);
    }
    in >> n;
    std::vector<ReportEngine::PenStyle> canetas(size_t(std::max(n, 0)));
    for (ReportEngine::PenStyle &c : canetas)
        in >> c.color >> c.width >> c.fill;

    QPdfWriter w(saida);
    w.setPdfVersion(QPagedPaintDevice::PdfVersion_A1b);
    const QSizeF retrato(std::min(tamanho.width(), tamanho.height()), std::max(tamanho.width(), tamanho.height()));
    w.setPageLayout(QPageLayout(QPageSize(retrato, QPageSize::Point), deitada ? QPageLayout::Landscape
                                                                               : QPageLayout::Portrait,
                                QMarginsF(0, 0, 0, 0)));
    w.setResolution(72); // points, as the engine's pages are measured
    QPainter p(&w);
    std::vector<QImage> imagens;
    in >> n;
    for (qint32 pg = 0; pg < n; ++pg) {
        if (pg > 0) w.newPage();
        qint32 ops = 0;
        in >> ops;
        int atual = -1;
        for (qint32 i = 0; i < ops; ++i) {
            qint32 tipo = 0, estilo = 0;
            QRectF r;
            in >> tipo >> r >> estilo;
            switch (ReportEngine::Op::Kind(tipo)) {
            case ReportEngine::Op::Kind::Text: {
                QString texto;
                in >> texto;
                const Estilo &e = estilos[size_t(estilo)];
                if (estilo != atual) {
                    p.setFont(e.fonte);
                    p.setPen(e.cor);
                    atual = estilo;
                }
                p.drawText(r, e.alinha, texto);
                break;
            }
            case ReportEngine::Op::Kind::Line:
                p.setPen(QPen(canetas[size_t(estilo)].color, canetas[size_t(estilo)].width));
                p.drawLine(r.topLeft(), r.bottomRight());
                atual = -1;
                break;
            case ReportEngine::Op::Kind::Rect: {
                const ReportEngine::PenStyle &c = canetas[size_t(estilo)];
                p.setPen(c.width > 0 ? QPen(c.color, c.width) : QPen(Qt::NoPen));
                p.setBrush(c.fill.isValid() ? QBrush(c.fill) : QBrush(Qt::NoBrush));
                p.drawRect(r);
                p.setBrush(Qt::NoBrush);
                atual = -1;
                break;
            }
            case ReportEngine::Op::Kind::Image: {
                qint32 id = 0;
                bool nova = false;
                in >> id >> nova;
                if (nova) {
                    QImage imagem;
                    in >> imagem;
                    imagens.push_back(imagem);
                }
                p.drawImage(r, imagens.at(size_t(id)));
                break;
            }
            }
        }
    }
    if (in.status() != QDataStream::Ok) falha(QStringLiteral("cannot read %1").arg(paginas));
    return p.end() && celulas.size() > 0 ? 0 : 1;
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
    const QString diaTexto = DiaTexto::escreve(QDate::fromString(kDiaIso, Qt::ISODate));
    const QList<Consulta> cs = consultas(diaTexto);
    if (argc == 5 && qstrcmp(argv[1], "piso-pdf") == 0) {
        QStringList sqls;
        for (const Consulta &c : cs)
            sqls << c.cli;
        return pisoPdf(QFile::decodeName(argv[2]), QFile::decodeName(argv[3]), QFile::decodeName(argv[4]), sqls);
    }
    const QString pasta = QFile::decodeName(argv[1]);
    const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 5;
    const QString arquivo = QDir(pasta).filePath(QStringLiteral("resultado.mdb"));
    QDir().mkpath(pasta);
    const QString grande = QDir(pasta).filePath(QStringLiteral("resultado-100mil.mdb"));
    try {
        gera(arquivo, kPorCargo);
        gera(grande, kPorCargoGrande);
    } catch (const std::exception &e) {
        falha(QString::fromUtf8(e.what()));
    }
    QStringList sqls{kPiso};
    for (const Consulta &c : cs)
        sqls << c.cli;
    sqls << kPisoDia; // last: the queries keep their places 1 to 4
    const int iPisoDia = int(sqls.size()) - 1;

    const QString programas = QCoreApplication::applicationDirPath() + QStringLiteral("/../votarim/");
    const QString ferramenta = programas + QStringLiteral("votarim-banco");
    const QString confere = QString::fromUtf8(VOTARIM_FONTE "/tools/confere_digital.sh");
    const QString pdf = QDir(pasta).filePath(QStringLiteral("resultado.pdf"));
    const QString pdfPiso = QDir(pasta).filePath(QStringLiteral("resultado-piso.pdf"));
    const QString paginas = QDir(pasta).filePath(QStringLiteral("resultado-paginas.bin"));
    const auto [nPaginas, itens] =
        gravaPaginas(arquivo, diaTexto, programas + QStringLiteral("relatorio.rav"), paginas);
    Bench::detalhe(QStringLiteral("result report of the day: pages / items (texts, lines, boxes, pictures) the "
                                  "floor draws too"),
                   QStringLiteral("%1 / %2").arg(nPaginas).arg(itens));
    QStringList comandoPdf{ferramenta, QStringLiteral("resultado"), arquivo, kDiaIso, QStringLiteral("--pdf"),
                                 pdf};
    QStringList comandoPiso{QCoreApplication::applicationFilePath(), QStringLiteral("piso-pdf"), arquivo,
                                  pdfPiso, paginas};
    const QStringList comandoTexto{ferramenta, QStringLiteral("resultado"), grande, kDiaIso};
    const QStringList comandoConfere{QStringLiteral("bash"), confere, grande, kDiaIso};
    // The two must compute the same result, or the comparison means nothing.
    {
        const QString texto = QString::fromUtf8(saidaDe(comandoTexto[0], comandoTexto.mid(1)));
        const QString digital = QString::fromUtf8(saidaDe(comandoConfere[0], comandoConfere.mid(1))).trimmed();
        if (digital.size() != 64 || !texto.contains(QStringLiteral("Impressão digital (SHA-256): ") + digital))
            falha(QStringLiteral("votarim-banco resultado and confere_digital.sh disagree on %1").arg(grande));
    }

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

    QList<double> doCliUltimo; // the tool's warm query times of the last run
    for (int run = 0; run < runs; ++run) {
        std::fprintf(stderr, "bench_resultado: run %d of %d...\n", run + 1, runs);
        // Warm: one pass to fill the page cache, then the timed pass; ours and the tool by turns.
        QList<double> nossos, doCli;
        double pisoNosso = 0, pisoDiaNosso = 0;
        const auto medeNossos = [&] {
            std::unique_ptr<Database> db(abre(arquivo));
            for (const Consulta &c : cs)
                nossa(*db, c);
            piso(*db);
            pisoNosso = piso(*db);
            pisoDiaNosso = pisoDoDia(*db);
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
        doCliUltimo = doCli;
        const double pisoQuente = std::min(pisoNosso, pisoCli);
        for (int i = 0; i < cs.size(); ++i) {
            linhaRun(QStringLiteral("%1, ours / sqlite3 tool, warm").arg(cs[i].nome), nossos[i], doCli[i + 1],
                     1.2);
            if (i == 0)
                linhaRun(QStringLiteral("%1, ours / one pass over the day (group by voto), warm").arg(cs[i].nome),
                         nossos[i], std::min(pisoDiaNosso, doCli[iPisoDia]), 10);
            else
                linhaRun(QStringLiteral("%1, ours / full count scan, warm").arg(cs[i].nome), nossos[i],
                         pisoQuente, i == 2 ? 2 : 10);
        }
        std::printf("RUNDETAIL|full count scan, warm, ms|%.3f\n", pisoQuente);

        // Cold: the file evicted before each query (ours on a new connection whose
        // schema is read first, as the tool's is), and the floor likewise.
        const QList<double> cliFrio = cli(arquivo, sqls, 1, true);
        double pisoFrio, pisoDiaFrio;
        {
            std::unique_ptr<Database> db(abre(arquivo));
            despeja(arquivo);
            pisoFrio = piso(*db);
        }
        {
            std::unique_ptr<Database> db(abre(arquivo));
            despeja(arquivo);
            pisoDiaFrio = pisoDoDia(*db);
        }
        for (int i = 0; i < cs.size(); ++i) {
            std::unique_ptr<Database> db(abre(arquivo));
            despeja(arquivo);
            const double t = nossa(*db, cs[i]);
            if (i == 0)
                linhaRun(QStringLiteral("%1, ours / one pass over the day (group by voto), cold").arg(cs[i].nome),
                         t, pisoDiaFrio, 1.5);
            else
                linhaRun(QStringLiteral("%1, ours / full count scan, cold").arg(cs[i].nome), t, pisoFrio, 1.5);
            std::printf("RUNDETAIL|%s, sqlite3 tool cold / its cold floor|%.3f\n", qPrintable(cs[i].nome),
                        cliFrio[i + 1] / cliFrio[i == 0 ? iPisoDia : 0]);
        }
        std::printf("RUNDETAIL|full count scan, cold, ms|%.3f\n", pisoFrio);

    }

    // The whole programs last: votarim-banco refuses a file that changed while it read.
    // They read a copy, which no connection of this process has ever touched.
    const QString copia = QDir(pasta).filePath(QStringLiteral("resultado-relatorio.mdb"));
    QFile::remove(copia);
    if (!QFile::copy(arquivo, copia)) falha(QStringLiteral("cannot copy %1").arg(arquivo));
    comandoPdf[2] = copia;
    comandoPiso[2] = copia;
    for (int run = 0; run < runs; ++run) {
        std::fprintf(stderr, "bench_resultado: the result report and text, run %d of %d...\n", run + 1, runs);
        // The whole result report to PDF, votarim-banco in a child process (its peak
        // memory its own) against the floor in another; warm (each run once before)
        // and with the file evicted before each; the order alternates with the run.
        const auto medePdf = [&](bool frio) {
            double motor = 0, base = 0;
            rusage uso{};
            for (int k = 0; k < 2; ++k) {
                if ((k + run) % 2 == 0) {
                    if (frio) despeja(copia);
                    motor = executa(comandoPdf, &uso);
                } else {
                    if (frio) despeja(copia);
                    base = executa(comandoPiso);
                }
            }
            linhaRun(QStringLiteral("Result report of 1,000,000 votes to PDF, %1 / day queries and "
                                    "QPdfWriter by hand, %2")
                         .arg(QStringLiteral("votarim-banco"), frio ? QStringLiteral("cold") : QStringLiteral("warm")),
                     motor, base, 1.3);
            std::printf("RUNDETAIL|result report to PDF (votarim-banco, whole process), %s, ms; goal < 3000|%.1f\n",
                        frio ? "cold" : "warm", motor);
            return uso;
        };
        executa(comandoPdf);
        executa(comandoPiso);
        const rusage uso = medePdf(false);
        medePdf(true);
        std::printf("RUNDETAIL|result report to PDF, peak memory MiB; goal < 300|%.1f\n",
                    double(uso.ru_maxrss) / 1024.0);
        double consultasCli = 0;
        for (int i = 1; i <= cs.size(); ++i)
            consultasCli += doCliUltimo[i];
        std::printf("RUNDETAIL|the four queries by the sqlite3 tool, warm, ms (the data work alone)|%.3f\n",
                    consultasCli);

        // The result as text at 100,000 candidates against the sqlite3 tool running
        // the same queries (tools/confere_digital.sh), both whole processes, warm.
        executa(comandoTexto);
        executa(comandoConfere);
        double texto = 0, ferramentaSql = 0;
        for (int k = 0; k < 2; ++k) {
            if ((k + run) % 2 == 0)
                texto = executa(comandoTexto);
            else
                ferramentaSql = executa(comandoConfere);
        }
        linhaRun(QStringLiteral("votarim-banco resultado as text, 100,000 candidates / sqlite3 tool "
                                "(confere_digital.sh), warm"),
                 texto, ferramentaSql, 1.3);
        std::fflush(stdout);
    }
    return 0;
}
