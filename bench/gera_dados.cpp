// Generates the benchmark election: 5 offices of 1 to 5 digits in the voting
// order (the 5-digit one first, so the terminal opens on it), 200 parties (90
// with the legends 10..99, the rest without one), 100,000 candidates each with a
// ~30 KB photo and 1,000,000 votes of every kind dated today.
//
// Usage: bench_gera FILE     (does nothing when FILE exists)

#include "data/database.h"
#include "data/esquema.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <sqlite3.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kPartidos = 200;
constexpr int kComLegenda = 90; // "10".."99": the legend is unique and has two digits
constexpr int kVotos = 1000000;

struct Cargo {
    const char *nome;
    int digitos;
};
// Every number of every office exists: 10 + 90 + 900 + 9,000 + 90,000 = 100,000 candidates.
const Cargo kCargos[] = {
    {"Deputado Estadual", 5}, {"Deputado Federal", 4}, {"Senador", 3}, {"Presidente", 2}, {"Conselheiro", 1}};

struct Candidato {
    QByteArray numero;
    int cargo;
    int partido;
};

QByteArray foto()
{
    // 24-bit 100x100: 54-byte header + 100 rows of 300 bytes = 30,054 bytes.
    QImage img(100, 100, QImage::Format_RGB888);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x)
            img.setPixelColor(x, y, QColor(x * 2, y * 2, (x + y) % 256));
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "BMP");
    return bytes;
}

void verifica(sqlite3 *db, int rc)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        throw DbError(QStringLiteral("sqlite: %1").arg(QString::fromUtf8(sqlite3_errmsg(db))));
}

void roda(Statement &st)
{
    sqlite3 *db = sqlite3_db_handle(st.get());
    verifica(db, sqlite3_step(st.get()));
    sqlite3_reset(st.get());
    sqlite3_clear_bindings(st.get());
}

void bindTexto(Statement &st, int i, const QByteArray &t)
{
    sqlite3_bind_text(st.get(), i, t.constData(), int(t.size()), SQLITE_TRANSIENT);
}

void preenche(Database &db)
{
    QElapsedTimer relogio;
    relogio.start();
    // The file is thrown away on failure, so nothing needs to reach the disk before the end.
    db.execScript(QStringLiteral("PRAGMA synchronous=OFF; PRAGMA cache_size=-262144"));
    Transaction transacao(db);

    {
        Statement st(
            db, QStringLiteral("insert into cargo (numcad_cargo, cargo, quantidade_numeros) values (?,?,?)"));
        Statement ordem(db,
                        QStringLiteral("insert into ordem_votacao (ordem_votacao, id_cargo) values (?,?)"));
        for (int i = 0; i < 5; ++i) {
            sqlite3_bind_int(st.get(), 1, i + 1);
            bindTexto(st, 2, kCargos[i].nome);
            sqlite3_bind_int(st.get(), 3, kCargos[i].digitos);
            roda(st);
            sqlite3_bind_int(ordem.get(), 1, i + 1);
            sqlite3_bind_int(ordem.get(), 2, i + 1);
            roda(ordem);
        }
    }
    {
        Statement st(db,
                     QStringLiteral("insert into partido (numcad_partido, partido, legenda) values (?,?,?)"));
        for (int p = 1; p <= kPartidos; ++p) {
            sqlite3_bind_int(st.get(), 1, p);
            bindTexto(st, 2, QStringLiteral("Partido %1").arg(p, 3, 10, QLatin1Char('0')).toUtf8());
            if (p <= kComLegenda)
                bindTexto(st, 3, QByteArray::number(9 + p));
            else
                sqlite3_bind_null(st.get(), 3);
            roda(st);
        }
    }

    std::vector<Candidato> candidatos;
    for (int c = 0; c < 5; ++c) {
        const int d = kCargos[c].digitos;
        const int de = d == 1 ? 0 : int(std::pow(10, d - 1));
        const int ate = int(std::pow(10, d));
        for (int n = de; n < ate; ++n)
            candidatos.push_back({QByteArray::number(n), c + 1, 0});
    }
    std::mt19937 sorteio(20240601);
    // Row ids not in number order, as when candidates are registered over time.
    std::shuffle(candidatos.begin(), candidatos.end(), sorteio);
    for (size_t i = 0; i < candidatos.size(); ++i)
        candidatos[i].partido = 1 + int(i % kPartidos);

    const QByteArray imagem = foto();
    std::fprintf(stderr, "bench_gera: photo of %lld bytes\n", qint64(imagem.size()));
    {
        Statement st(
            db, QStringLiteral("insert into candidatos (numcad_candidato, nome_candidato, numero_candidato, "
                               "id_partido, id_cargo, foto) values (?,?,?,?,?,?)"));
        for (size_t i = 0; i < candidatos.size(); ++i) {
            const Candidato &c = candidatos[i];
            sqlite3_bind_int64(st.get(), 1, qint64(i + 1));
            bindTexto(st, 2, "Candidato " + c.numero + " do cargo " + QByteArray::number(c.cargo));
            bindTexto(st, 3, c.numero);
            sqlite3_bind_int(st.get(), 4, c.partido);
            sqlite3_bind_int(st.get(), 5, c.cargo);
            sqlite3_bind_blob(st.get(), 6, imagem.constData(), int(imagem.size()), SQLITE_STATIC);
            roda(st);
            if ((i + 1) % 10000 == 0)
                std::fprintf(stderr, "bench_gera: %zu candidates (%.0f s)\n", i + 1,
                             relogio.elapsed() / 1000.0);
        }
    }

    {
        const QByteArray hoje = QDate::currentDate().toString(Qt::ISODate).toUtf8();
        // The terminal's own statement, its seven parameters by position.
        Statement st(db, Database::translate(Esquema::kInsereVoto));
        std::uniform_int_distribution<size_t> qualCandidato(0, candidatos.size() - 1);
        std::uniform_int_distribution<int> tipo(0, 99), qualLegenda(1, kComLegenda);
        for (int v = 0; v < kVotos; ++v) {
            const int t = tipo(sorteio);
            bindTexto(st, 4, hoje);
            if (t < 70) { // NORMAL
                const size_t i = qualCandidato(sorteio);
                sqlite3_bind_int64(st.get(), 1, qint64(i + 1));
                bindTexto(st, 2, candidatos[i].numero);
                bindTexto(st, 3, "NORMAL");
                sqlite3_bind_int(st.get(), 6, candidatos[i].cargo);
                sqlite3_bind_int(st.get(), 7, candidatos[i].partido);
            } else if (t < 82) { // LEGENDA
                const int p = qualLegenda(sorteio);
                sqlite3_bind_int(st.get(), 1, p);
                bindTexto(st, 3, "LEGENDA");
                bindTexto(st, 5, QByteArray::number(9 + p));
            } else {
                bindTexto(st, 3, t < 91 ? "NULO" : "BRANCO");
            }
            roda(st);
            if ((v + 1) % 100000 == 0)
                std::fprintf(stderr, "bench_gera: %d votes (%.0f s)\n", v + 1, relogio.elapsed() / 1000.0);
        }
    }
    transacao.commit();
    std::fprintf(stderr, "bench_gera: committed (%.0f s), writing the file\n", relogio.elapsed() / 1000.0);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_gera FILE\n");
        return 2;
    }
    const QString arquivo = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    if (QFileInfo::exists(arquivo)) {
        std::fprintf(stderr, "bench_gera: reusing %s\n", qPrintable(arquivo));
        return 0;
    }
    QDir().mkpath(QFileInfo(arquivo).absolutePath());
    QElapsedTimer relogio;
    relogio.start();
    try {
        Esquema::criaBanco(arquivo, preenche);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "bench_gera: %s\n", e.what());
        return 1;
    }
    // Written without syncs: flushed now, so that the measurements do not run while
    // the kernel still writes gigabytes back and every fsync waits behind them.
    std::fprintf(stderr, "bench_gera: flushing to disk\n");
    for (const QString &p : {arquivo, QFileInfo(arquivo).absolutePath()}) {
        const int fd = ::open(QFile::encodeName(p).constData(), O_RDONLY);
        if (fd >= 0) {
            ::fsync(fd);
            ::close(fd);
        }
    }
    std::fprintf(stderr, "bench_gera: %s ready in %.0f s (%.2f GB)\n", qPrintable(arquivo),
                 relogio.elapsed() / 1000.0, QFileInfo(arquivo).size() / 1e9);
    return 0;
}
