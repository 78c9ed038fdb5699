// The report engine on a large report: 10,000 detail rows, each with a text line
// and a 100 × 100 picture from a blob field, to PDF, against the leanest way to
// make the same PDF (QPdfWriter drawing the same lines and pictures directly);
// 1,000 rows the same way, for the growth with the rows; and the preview's page
// turn, against drawing the same page straight onto an image.
//
// Each measurement runs in a child process of its own (the same program with a
// mode argument), so that its peak memory (ru_maxrss) is its own; engine and
// baseline alternate. The pictures are generated per row (noise over a colour
// that changes with the row), the same for both, and never all held at once.
//
// Usage: bench_relatorio [RUNS]      (RUNS of each measurement, default 5)

#include "comum.h"

#include "reportengine/dataconnection.h"
#include "reportengine/layout.h"
#include "reportengine/preview.h"
#include "reportengine/project.h"
#include "reportengine/render.h"

#include <QApplication>
#include <QBuffer>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QTemporaryDir>
#include <QWidget>
#include <cstdio>
#include <sys/resource.h>

namespace
{

using namespace ReportEngine;

constexpr int kLado = 100; // the picture's side in pixels
constexpr double kLinhaMm = 11;
constexpr double kFotoMm = 10;

// A 24-bit BMP of 100 × 100, different for every row.
QByteArray foto(int linha)
{
    const int largura = kLado * 3; // 300 bytes: already a multiple of 4
    QByteArray b(54 + largura * kLado, '\0');
    auto poe32 = [&b](int at, quint32 v) {
        for (int i = 0; i < 4; ++i)
            b[at + i] = char((v >> (8 * i)) & 0xff);
    };
    b[0] = 'B';
    b[1] = 'M';
    poe32(2, quint32(b.size()));
    poe32(10, 54);
    poe32(14, 40);
    poe32(18, kLado);
    poe32(22, kLado);
    b[26] = 1;
    b[28] = 24;
    poe32(34, quint32(largura * kLado));
    quint32 x = 2463534242u ^ quint32(linha * 2654435761u);
    const int r = (linha * 37) % 200, g = (linha * 91) % 200, bl = (linha * 53) % 200;
    char *p = b.data() + 54;
    for (int i = 0; i < kLado * kLado; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        *p++ = char(bl + (x & 31));
        *p++ = char(g + ((x >> 5) & 31));
        *p++ = char(r + ((x >> 10) & 31));
    }
    return b;
}

QString texto(int linha)
{
    return QStringLiteral("Linha %1 de teste: candidato número %1, com o nome por extenso").arg(linha + 1);
}

// Rows made on demand, as a database cursor would give them.
class LinhasGeradas : public DataConnection
{
  public:
    explicit LinhasGeradas(int n) : m_n(n) {}
    void begin() override {}
    void first() override { m_atual = 0; }
    void next() override { ++m_atual; }
    bool atEnd() const override { return m_atual >= m_n; }
    QList<FieldInfo> fields() const override
    {
        return {FieldInfo(QStringLiteral("numero"), FieldType::Integer),
                FieldInfo(QStringLiteral("nome"), FieldType::Text, 100),
                FieldInfo(QStringLiteral("foto"), FieldType::Blob)};
    }
    QVariant value(int f) const override
    {
        if (f == 0) return m_atual + 1;
        if (f == 1) return texto(m_atual);
        return foto(m_atual);
    }
    void setFilter(const QString &) override {}
    void end() override {}

  private:
    int m_n;
    int m_atual = 0;
};

const char *const kProjeto = R"RAV(<project version="1" locale="pt_BR" font="DejaVu Sans" size="9">
  <report name="grande" title="Relatório grande" page="A4" margins="15">
    <pghead h="10"><text x="0" y="0" w="180" h="8" size="12" bold="1">Votarim: relatório de desempenho</text></pghead>
    <section data="linhas">
      <detail h="11">
        <text x="0" y="0" w="165" h="10">{nome}</text>
        <image x="170" y="0" w="10" h="10" field="foto"/>
      </detail>
    </section>
    <pgfoot h="8"><text x="0" y="1" w="180" h="6" align="right">página {page()} de {pages()}</text></pgfoot>
  </report>
</project>)RAV";

// Rows per page as the layout places them: the body between header and footer.
int linhasPorPagina()
{
    return int((297 - 30 - 10 - 8) / kLinhaMm);
}

double picoKib()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_maxrss);
}

int motor(int linhas, const QString &saida)
{
    const qint64 t0 = Bench::agoraNs();
    auto projeto = readProject(kProjeto, QStringLiteral("bench.rav"));
    LinhasGeradas dados(linhas);
    ConnectionRegistry conexoes;
    conexoes.add(QStringLiteral("linhas"), &dados);
    auto paginas = layoutReport(*projeto->find(QStringLiteral("grande")), *projeto, conexoes, {});
    const qint64 t1 = Bench::agoraNs();
    writePdf(*paginas, saida, QStringLiteral("Votarim"));
    const qint64 t2 = Bench::agoraNs();
    std::printf("RESULT %.3f %.0f %zu %.3f\n", double(t2 - t0) / 1e6, picoKib(), paginas->pages.size(),
                double(t1 - t0) / 1e6);
    return 0;
}

int base(int linhas, const QString &saida)
{
    const qint64 t0 = Bench::agoraNs();
    QPdfWriter w(saida);
    w.setPageSize(QPageSize(QPageSize::A4));
    w.setPageMargins(QMarginsF(0, 0, 0, 0));
    w.setResolution(1200);
    QPainter p(&w);
    const double k = 1200 / 25.4; // device pixels per mm
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPointSizeF(9);
    QFont titulo = f;
    titulo.setPointSizeF(12);
    titulo.setBold(true);
    const int porPagina = linhasPorPagina();
    const int paginas = (linhas + porPagina - 1) / porPagina;
    for (int pg = 0; pg < paginas; ++pg) {
        if (pg > 0) w.newPage();
        p.setFont(titulo);
        p.drawText(QRectF(15 * k, 15 * k, 180 * k, 8 * k), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("Votarim: relatório de desempenho"));
        p.setFont(f);
        for (int i = pg * porPagina; i < std::min(linhas, (pg + 1) * porPagina); ++i) {
            const double y = (25 + (i - pg * porPagina) * kLinhaMm) * k;
            p.drawText(QRectF(15 * k, y, 165 * k, 10 * k), Qt::AlignLeft | Qt::AlignVCenter, texto(i));
            p.drawImage(QRectF(185 * k, y, kFotoMm * k, kFotoMm * k), QImage::fromData(foto(i)));
        }
        p.drawText(QRectF(15 * k, (297 - 15 - 7) * k, 180 * k, 6 * k), Qt::AlignRight | Qt::AlignVCenter,
                   QStringLiteral("página %1 de %2").arg(pg + 1).arg(paginas));
    }
    p.end();
    const qint64 t1 = Bench::agoraNs();
    std::printf("RESULT %.3f %.0f %d 0\n", double(t1 - t0) / 1e6, picoKib(), paginas);
    return 0;
}

// Page turns in the preview window: from the click to the page painted.
int visualizacao(int linhas)
{
    auto projeto = readProject(kProjeto, QStringLiteral("bench.rav"));
    LinhasGeradas dados(linhas);
    ConnectionRegistry conexoes;
    conexoes.add(QStringLiteral("linhas"), &dados);
    auto paginas = layoutReport(*projeto->find(QStringLiteral("grande")), *projeto, conexoes, {});
    PreviewDialog janela(*paginas, QStringLiteral("Visualização"), 100);
    janela.show();
    QCoreApplication::processEvents();
    QWidget *vista = janela.findChild<QWidget *>(QStringLiteral("pagina"));
    const int n = std::min(60, int(paginas->pages.size()));
    std::vector<double> motorMs, baseMs;
    for (int i = 1; i < n; ++i) {
        const qint64 t0 = Bench::agoraNs();
        janela.showPage(i);
        vista->repaint();
        motorMs.push_back(double(Bench::agoraNs() - t0) / 1e6);
    }
    // The same page drawn straight onto an image of the same size, as the leanest preview would.
    const double k = vista->logicalDpiX() / 25.4;
    QImage imagem(int(210 * k), int(297 * k), QImage::Format_RGB32);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPointSizeF(9);
    const int porPagina = linhasPorPagina();
    for (int pg = 1; pg < n; ++pg) {
        const qint64 t0 = Bench::agoraNs();
        imagem.fill(Qt::white);
        QPainter p(&imagem);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.setFont(f);
        for (int i = pg * porPagina; i < std::min(linhas, (pg + 1) * porPagina); ++i) {
            const double y = (25 + (i - pg * porPagina) * kLinhaMm) * k;
            p.drawText(QRectF(15 * k, y, 165 * k, 10 * k), Qt::AlignLeft | Qt::AlignVCenter, texto(i));
            p.drawImage(QRectF(185 * k, y, kFotoMm * k, kFotoMm * k), QImage::fromData(foto(i)));
        }
        p.end();
        baseMs.push_back(double(Bench::agoraNs() - t0) / 1e6);
    }
    std::printf("TURN %.3f %.3f %.3f %.3f\n", Bench::mediana(motorMs),
                *std::max_element(motorMs.begin(), motorMs.end()), Bench::mediana(baseMs),
                *std::max_element(baseMs.begin(), baseMs.end()));
    return 0;
}

struct Medida {
    std::vector<double> ms, kib;
    int paginas = 0;
    std::vector<double> layoutMs;
};

void filho(const QString &modo, int linhas, Medida &m)
{
    QTemporaryDir dir;
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(QCoreApplication::applicationFilePath(),
            {modo, QString::number(linhas), dir.filePath(QStringLiteral("saida.pdf"))});
    if (!p.waitForFinished(600000) || p.exitCode() != 0)
        qFatal("bench_relatorio: %s %d falhou", qPrintable(modo), linhas);
    const QStringList campos = QString::fromUtf8(p.readAllStandardOutput()).trimmed().split(u' ');
    if (campos.size() < 5 || campos[0] != u"RESULT")
        qFatal("bench_relatorio: saída inesperada de %s", qPrintable(modo));
    m.ms.push_back(campos[1].toDouble());
    m.kib.push_back(campos[2].toDouble());
    m.paginas = campos[3].toInt();
    m.layoutMs.push_back(campos[4].toDouble());
}

QString faixa(const std::vector<double> &v, const std::function<QString(double)> &f)
{
    return QStringLiteral("%1 / %2 / %3")
        .arg(f(*std::min_element(v.begin(), v.end())), f(Bench::mediana(v)),
             f(*std::max_element(v.begin(), v.end())));
}

int pai(int execucoes)
{
    Medida m10, b10, m1;
    for (int i = 0; i < execucoes; ++i) {
        std::fprintf(stderr, "bench_relatorio: run %d of %d\n", i + 1, execucoes);
        filho(QStringLiteral("motor"), 10000, m10);
        filho(QStringLiteral("base"), 10000, b10);
        filho(QStringLiteral("motor"), 1000, m1);
    }
    const auto s = [](double ms) { return QString::number(ms / 1000.0, 'f', 2) + QStringLiteral(" s"); };
    const double t = Bench::mediana(m10.ms), tb = Bench::mediana(b10.ms);
    Bench::linha(
        QStringLiteral("Report of 10,000 rows with a picture each, to PDF (median of %1)").arg(execucoes),
        s(t), s(tb), Bench::razao(t / tb), QStringLiteral("< 5 s"), t < 5000);
    const double mem = Bench::mediana(m10.kib), memb = Bench::mediana(b10.kib);
    Bench::linha(
        QStringLiteral("Report of 10,000 rows to PDF: peak memory, RSS (median of %1)").arg(execucoes),
        Bench::mib(mem), Bench::mib(memb), Bench::razao(mem / memb), QStringLiteral("< 300 MB"),
        mem * 1024 < 300e6);
    const double t1 = Bench::mediana(m1.ms);
    Bench::linha(QStringLiteral("Report to PDF: 10,000 rows against 1,000 (growth with the rows)"), s(t),
                 s(t1), Bench::razao(t / t1), QStringLiteral("≤ 11x"), t / t1 <= 11);
    Bench::detalhe(QStringLiteral("report of 10,000 rows to PDF: min / median / max"), faixa(m10.ms, s));
    Bench::detalhe(
        QStringLiteral("of which layout (reading rows, preparing %1 pages), median").arg(m10.paginas),
        s(Bench::mediana(m10.layoutMs)));
    Bench::detalhe(QStringLiteral("baseline (QPdfWriter drawing the same directly): min / median / max"),
                   faixa(b10.ms, s));
    Bench::detalhe(QStringLiteral("report of 1,000 rows to PDF: min / median / max"), faixa(m1.ms, s));
    Bench::detalhe(QStringLiteral("peak memory of 1,000 rows, median"), Bench::mib(Bench::mediana(m1.kib)));

    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(QCoreApplication::applicationFilePath(),
            {QStringLiteral("visualizacao"), QStringLiteral("1000")});
    if (!p.waitForFinished(600000) || p.exitCode() != 0) qFatal("bench_relatorio: visualização falhou");
    const QStringList v = QString::fromUtf8(p.readAllStandardOutput()).trimmed().split(u' ');
    if (v.size() < 5) qFatal("bench_relatorio: saída inesperada da visualização");
    const double mediana = v[1].toDouble(), maximo = v[2].toDouble();
    Bench::linha(QStringLiteral("Preview page turn, 100 % zoom, click to page painted (median of 59)"),
                 Bench::ms(mediana), Bench::ms(v[3].toDouble()), Bench::razao(mediana / v[3].toDouble()),
                 QStringLiteral("< 16.7 ms (one frame)"), mediana < 16.7);
    Bench::detalhe(QStringLiteral("preview page turn: max / baseline max"),
                   Bench::ms(maximo) + QStringLiteral(" / ") + Bench::ms(v[4].toDouble()));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString modo = args.value(1);
    if (modo == u"motor") return motor(args.value(2).toInt(), args.value(3));
    if (modo == u"base") return base(args.value(2).toInt(), args.value(3));
    if (modo == u"visualizacao") return visualizacao(args.value(2).toInt());
    return pai(std::max(1, modo.isEmpty() ? 5 : modo.toInt()));
}
