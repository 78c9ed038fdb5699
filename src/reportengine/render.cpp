#include "reportengine/render.h"

#include "reportengine/reporterror.h"

#include <QDir>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QSaveFile>

#include <array>
#include <optional>

namespace ReportEngine
{

QString cannotWrite(const QString &path, const QString &reason)
{
    return QStringLiteral("Não foi possível gravar o arquivo \"%1\": %2")
        .arg(QDir::toNativeSeparators(path), reason);
}

void renderPage(QPainter &p, const PreparedReport &report, int pageIndex, QSizeF pixelsPerPoint)
{
    if (pageIndex < 0 || size_t(pageIndex) >= report.pages.size()) return;
    const Page &page = report.pages[size_t(pageIndex)];
    p.save();
    p.scale(pixelsPerPoint.width(), pixelsPerPoint.height());
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    // A font's point size is turned into device pixels by the device's resolution
    // before the painter's scale applies, so it is given here in points of the page.
    const double dpi = p.device() ? p.device()->logicalDpiY() : 72;
    // Each style's font, metrics and Latin-1 advances, made when the page first uses the style.
    struct Fonte {
        QFont font;
        QFontMetricsF metrics;
        std::array<float, 256> avanco;
    };
    std::vector<std::optional<Fonte>> fonts(report.textStyles.size());
    const auto fontOf = [&](int style) -> Fonte & {
        auto &made = fonts[size_t(style)];
        if (!made) {
            QFont f = report.textStyles[size_t(style)].font;
            f.setPointSizeF(f.pointSizeF() * 72.0 / dpi);
            made.emplace(Fonte{f, QFontMetricsF(f, p.device()), {}});
            made->avanco.fill(-1); // measured when a text first uses the character
        }
        return *made;
    };
    // A text surely narrower than the width needs no eliding, which would shape it a
    // second time: the sum of its characters' advances, with room for kerning.
    const auto cabe = [](Fonte &f, const QString &text, double largura) {
        double soma = 0;
        for (const QChar c : text) {
            if (c.unicode() < 32 || c.unicode() > 255) return false;
            float &avanco = f.avanco[c.unicode()];
            if (avanco < 0) avanco = float(f.metrics.horizontalAdvance(c));
            soma += avanco;
        }
        return soma * 1.1 + f.metrics.averageCharWidth() <= largura;
    };
    int estiloAtual = -1;
    for (const Op &op : page.ops) {
        switch (op.kind) {
        case Op::Kind::Text: {
            const TextStyle &style = report.textStyles[size_t(op.style)];
            const QString &text = page.texts[op.ref];
            if (text.isEmpty()) break;
            Fonte &fonte = fontOf(op.style);
            if (op.style != estiloAtual) {
                p.setFont(fonte.font);
                p.setPen(style.color);
                estiloAtual = op.style;
            }
            if (style.wrap)
                p.drawText(op.rect, int(style.align | Qt::TextWordWrap), text);
            else if (cabe(fonte, text, op.rect.width()))
                p.drawText(op.rect, int(style.align), text);
            else
                p.drawText(op.rect, int(style.align),
                           fonte.metrics.elidedText(text, Qt::ElideRight, op.rect.width() + 0.5));
            break;
        }
        case Op::Kind::Line: {
            estiloAtual = -1;
            const PenStyle &s = report.penStyles[size_t(op.style)];
            p.setPen(QPen(s.color, s.width));
            p.drawLine(op.rect.topLeft(), op.rect.bottomRight());
            break;
        }
        case Op::Kind::Rect: {
            estiloAtual = -1;
            const PenStyle &s = report.penStyles[size_t(op.style)];
            p.setPen(s.width > 0 ? QPen(s.color, s.width) : QPen(Qt::NoPen));
            p.setBrush(s.fill.isValid() ? QBrush(s.fill) : QBrush(Qt::NoBrush));
            p.drawRect(op.rect);
            p.setBrush(Qt::NoBrush);
            break;
        }
        case Op::Kind::Image: {
            estiloAtual = -1;
            const QImage image = report.images.image(op.ref);
            if (!image.isNull()) {
                p.drawImage(op.rect, image);
                break;
            }
            // Bytes that are not a picture: the place is marked, the report goes on.
            p.setPen(QPen(Qt::gray, 0.5));
            p.setBrush(Qt::NoBrush);
            p.drawRect(op.rect);
            QFont f(QStringLiteral("DejaVu Sans"));
            f.setPointSizeF(6 * 72.0 / dpi);
            p.setFont(f);
            p.drawText(op.rect, int(Qt::AlignCenter | Qt::TextWordWrap), QStringLiteral("imagem inválida"));
            break;
        }
        }
    }
    p.restore();
}

namespace
{

QPageLayout pageLayout(const PreparedReport &report)
{
    const QSizeF s = report.pageSize;
    const QSizeF portrait(std::min(s.width(), s.height()), std::max(s.width(), s.height()));
    return QPageLayout(QPageSize(portrait, QPageSize::Point, QString(), QPageSize::FuzzyMatch),
                       report.landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                       QMarginsF(0, 0, 0, 0));
}

} // namespace

QString csvField(const QString &s)
{
    if (!s.contains(u';') && !s.contains(u'"') && !s.contains(u'\n') && !s.contains(u'\r')) return s;
    QString q = s;
    q.replace(u'"', QStringLiteral("\"\""));
    return u'"' + q + u'"';
}

bool writePdf(const PreparedReport &report, const QString &path, const QString &creator,
              const PageProgress &progress)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) throw ReportError(cannotWrite(path, file.errorString()));
    bool cancelled = false;
    {
        QPdfWriter writer(&file);
        writer.setPdfVersion(QPagedPaintDevice::PdfVersion_A1b);
        writer.setTitle(report.title);
        writer.setCreator(creator);
        writer.setResolution(1200);
        writer.setPageLayout(pageLayout(report));
        QPainter painter;
        if (!painter.begin(&writer)) {
            file.cancelWriting();
            throw ReportError(cannotWrite(path, QStringLiteral("o PDF não pôde ser iniciado")));
        }
        const double k = writer.resolution() / 72.0;
        for (size_t i = 0; i < report.pages.size(); ++i) {
            if (progress && !progress(int(i) + 1)) {
                cancelled = true;
                break;
            }
            if (i > 0) writer.newPage();
            renderPage(painter, report, int(i), QSizeF(k, k));
        }
        painter.end();
    }
    if (cancelled) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) throw ReportError(cannotWrite(path, file.errorString()));
    return true;
}

QByteArray csvText(const PreparedReport &report)
{
    QString text;
    bool firstTable = true;
    for (const CsvTable &table : report.csv) {
        if (!firstTable) text += QStringLiteral("\r\n");
        firstTable = false;
        QStringList fields;
        for (const QString &h : table.header)
            fields << csvField(h);
        // A table of names and values has no title row.
        if (!table.header.isEmpty()) text += fields.join(u';') + QStringLiteral("\r\n");
        for (const QStringList &row : table.rows) {
            fields.clear();
            for (const QString &cell : row)
                fields << csvField(cell);
            text += fields.join(u';') + QStringLiteral("\r\n");
        }
    }
    return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
}

void writeCsv(const PreparedReport &report, const QString &path)
{
    writeFile(path, csvText(report));
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) throw ReportError(cannotWrite(path, file.errorString()));
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        throw ReportError(cannotWrite(path, reason));
    }
    if (!file.commit()) throw ReportError(cannotWrite(path, file.errorString()));
}

bool printReport(const PreparedReport &report, QPrinter &printer, const PrintSettings &settings,
                 const PageProgress &progress)
{
    printer.setDocName(settings.jobTitle);
    printer.setFullPage(true);
    printer.setPageLayout(pageLayout(report));
    // Copies the print system cannot make are printed here, in the order asked for.
    const int copies = printer.supportsMultipleCopies() ? 1 : std::max(1, printer.copyCount());
    std::vector<int> order;
    const int n = int(report.pages.size());
    if (printer.collateCopies()) {
        for (int c = 0; c < copies; ++c)
            for (int i = 0; i < n; ++i)
                order.push_back(i);
    } else {
        for (int i = 0; i < n; ++i)
            for (int c = 0; c < copies; ++c)
                order.push_back(i);
    }
    QPainter painter;
    if (!painter.begin(&printer))
        throw ReportError(
            QStringLiteral("Não foi possível iniciar a impressão em \"%1\"").arg(printer.printerName()));
    const double kx = printer.resolution() / 72.0 * settings.scaleX / 100.0;
    const double ky = printer.resolution() / 72.0 * settings.scaleY / 100.0;
    for (size_t i = 0; i < order.size(); ++i) {
        if (progress && !progress(order[i] + 1)) {
            printer.abort();
            painter.end();
            return false;
        }
        if (i > 0 && !printer.newPage()) {
            painter.end();
            throw ReportError(QStringLiteral("A impressora recusou a página %1").arg(order[i] + 1));
        }
        renderPage(painter, report, order[i], QSizeF(kx, ky));
    }
    if (!painter.end())
        throw ReportError(QStringLiteral("A impressão em \"%1\" não terminou").arg(printer.printerName()));
    return true;
}

} // namespace ReportEngine
