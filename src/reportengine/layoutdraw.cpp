// Drawing onto a page: bands and their items, images, charts, QR codes, the stamp
// and the text and pen styles they share.

#include "reportengine/layout_p.h"

namespace ReportEngine::internal
{

int Generator::textStyle(const Item &item)
{
    const auto it = m_textStyles.constFind(&item);
    if (it != m_textStyles.cend()) return *it;
    m_out->textStyles.push_back(TextStyle{reportFont(item.font), item.color, item.align, item.wrap});
    const int id = int(m_out->textStyles.size() - 1);
    m_textStyles.insert(&item, id);
    return id;
}

int Generator::penStyle(const QColor &color, double width, const QColor &fill)
{
    for (size_t i = 0; i < m_out->penStyles.size(); ++i) {
        const PenStyle &p = m_out->penStyles[i];
        if (p.color == color && p.width == width && p.fill == fill) return int(i);
    }
    m_out->penStyles.push_back(PenStyle{color, width, fill});
    return int(m_out->penStyles.size() - 1);
}

void Generator::measureStamp()
{
    const QSizeF page = m_report.pageSize;
    m_stampTop = page.height();
    if (m_stamp.lines.empty()) return;
    // The whole printable width, whatever the margins: a hash in full fits on one line.
    const double left = kStampEdge;
    const double width = page.width() - 2 * kStampEdge;
    if (width <= 0) throw ReportError(QStringLiteral("A página é estreita demais para o rodapé do programa"));
    FontSpec stampFont;
    stampFont.family = m_stamp.family;
    stampFont.size = m_stamp.size;
    const QFont font = reportFont(stampFont);
    const QFontMetricsF fm(font, &m_measure);
    const double scale = kMeasureDpi / 72.0;
    double y = 0;
    for (const PageStampLine &line : m_stamp.lines) {
        const QRectF r = fm.boundingRect(QRectF(0, 0, width * scale * 0.97, 1e7),
                                         int(Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop), line.text);
        const double h = std::max(r.height() / scale, fm.height() / scale);
        m_stampBoxes.push_back(QRectF(left, y, width, h));
        m_out->textStyles.push_back(TextStyle{font, line.color, Qt::AlignLeft | Qt::AlignTop, true});
        m_stampStyles.push_back(int(m_out->textStyles.size() - 1));
        y += h;
    }
    const double bottom = page.height() - std::max(m_report.margins.bottom(), kStampEdge);
    m_stampTop = bottom - y;
    for (QRectF &box : m_stampBoxes)
        box.translate(0, m_stampTop);
}

void Generator::drawStamp()
{
    Page &page = m_out->pages.back();
    for (size_t i = 0; i < m_stampBoxes.size(); ++i) {
        page.ops.push_back(Op{Op::Kind::Text, m_stampBoxes[i], m_stampStyles[i], int(page.texts.size())});
        page.texts << m_stamp.lines[i].text;
    }
}

double Generator::grownChartHeight(const Item &item) const
{
    const int instance = m_currentChart[size_t(item.chart)];
    if (instance < 0 || !m_charts[size_t(instance)].complete) return item.box.height();
    const ChartState &chart = m_charts[size_t(instance)];
    const size_t n = item.limit > 0 ? std::min(chart.bars.size(), size_t(item.limit)) : chart.bars.size();
    return std::max(item.box.height(), double(n) * item.bar);
}

double Generator::qrHeight(const Item &item, qsizetype codes)
{
    const double gap = item.codeSize / 10;
    const qsizetype perRow =
        std::max<qsizetype>(1, qsizetype((item.box.width() + gap) / (item.codeSize + gap)));
    const qsizetype rows = (codes + perRow - 1) / perRow;
    return std::max(item.box.height(), double(rows) * item.codeSize + double(rows - 1) * gap);
}

void Generator::qrCodes(Page &page, const Item &item, const QRectF &box, const QString &text)
{
    const QList<QByteArray> contents = qrContents(text.toUtf8(), item.prefix, item.sliceBytes);
    const double gap = item.codeSize / 10;
    const qsizetype perRow = std::max<qsizetype>(1, qsizetype((box.width() + gap) / (item.codeSize + gap)));
    for (qsizetype k = 0; k < contents.size(); ++k) {
        // Whole pixels per module, so that no printer or viewer has to smooth the edges.
        const int id = m_out->images.addImage(qrImage(contents[k], 8));
        const QRectF r(box.x() + double(k % perRow) * (item.codeSize + gap),
                       box.y() + double(k / perRow) * (item.codeSize + gap), item.codeSize, item.codeSize);
        page.ops.push_back(Op{Op::Kind::Image, r, -1, id});
    }
}

void Generator::emitBand(const Band &band, const Row *row, double height, const Grown &grown)
{
    Page &page = m_out->pages.back();
    const int pageIndex = int(m_out->pages.size() - 1);
    const QPointF origin(m_report.margins.left(), m_y);
    for (const Item &item : band.items) {
        const QRectF box = item.box.translated(origin);
        switch (item.kind) {
        case Item::Kind::Text: {
            if (!item.show) break;
            Op op{Op::Kind::Text, box, textStyle(item), int(page.texts.size())};
            const auto measured = grown.constFind(&item);
            if (measured != grown.cend()) {
                op.rect.setHeight(measured->second);
                page.texts << measured->first;
            } else {
                page.texts << text(item.text, row, Deferred::Target::PageText, pageIndex, op.ref, 0);
            }
            page.ops.push_back(op);
            break;
        }
        case Item::Kind::Line:
            page.ops.push_back(Op{Op::Kind::Line, box, penStyle(item.color, item.penWidth, QColor()), -1});
            break;
        case Item::Kind::Rect:
            page.ops.push_back(Op{Op::Kind::Rect, box, penStyle(item.color, item.penWidth, item.fill), -1});
            break;
        case Item::Kind::Image:
            image(page, item, box, row);
            break;
        case Item::Kind::QrCode: {
            const auto measured = grown.constFind(&item);
            qrCodes(page, item, box,
                    measured != grown.cend()
                        ? measured->first
                        : toText(evaluate(*item.value, LiveResolver(*this, row), m_locale), m_locale));
            break;
        }
        case Item::Kind::Chart: {
            const auto measured = grown.constFind(&item);
            QRectF chartBox = box;
            if (measured != grown.cend()) chartBox.setHeight(measured->second);
            const int instance = m_currentChart[size_t(item.chart)];
            if (instance >= 0 && m_charts[size_t(instance)].complete)
                drawChart(page, chartBox, item, m_charts[size_t(instance)]);
            else if (instance >= 0)
                m_deferredCharts.push_back(DeferredChart{pageIndex, chartBox, &item, instance});
            break;
        }
        }
    }
    if (band.kind == Band::Kind::Detail && m_section >= 0) csvRow(band, row);
    if (band.kind == Band::Kind::Summary && m_summaryCsvTable >= 0) summaryCsvRows(band);
    m_y += height;
}

void Generator::image(Page &page, const Item &item, const QRectF &box, const Row *row)
{
    int id = -1;
    QSize size;
    if (item.imageField) {
        const QVariant v = evaluate(*item.imageField, LiveResolver(*this, row), m_locale);
        const QByteArray bytes = v.typeId() == QMetaType::QByteArray ? v.toByteArray() : QByteArray();
        if (bytes.isEmpty()) return; // no picture: nothing drawn
        QBuffer buffer;
        buffer.setData(bytes);
        size = QImageReader(&buffer).size();
        id = m_out->images.addBytes(bytes);
    } else {
        // A picture file beside the project is optional, like a logo: when it is
        // missing or unreadable, nothing is drawn.
        auto it = m_fileImages.constFind(item.imageFile);
        if (it == m_fileImages.cend()) {
            QImageReader reader(QDir(m_project.folder).filePath(item.imageFile));
            const QImage img = reader.read();
            it = m_fileImages.insert(item.imageFile, img.isNull() ? -1 : m_out->images.addImage(img));
        }
        id = *it;
        if (id < 0) return;
        size = m_out->images.image(id).size();
    }
    QRectF r = box;
    if (item.keepAspect) {
        // The picture's own proportions decide its box, read from its header only.
        if (size.isValid() && !size.isEmpty()) {
            const QSizeF fitted = QSizeF(size).scaled(box.size(), Qt::KeepAspectRatio);
            r = QRectF(QPointF(box.x() + (box.width() - fitted.width()) / 2,
                               box.y() + (box.height() - fitted.height()) / 2),
                       fitted);
        }
    }
    page.ops.push_back(Op{Op::Kind::Image, r, -1, id});
}

void Generator::drawChart(Page &page, const QRectF &box, const Item &item, const ChartState &chart)
{
    size_t n = item.limit > 0 ? std::min(chart.bars.size(), size_t(item.limit)) : chart.bars.size();
    if (n == 0) return;
    double top = 0;
    for (size_t i = 0; i < n; ++i)
        top = std::max(top, chart.bars[i].second);
    // Fixed bars, as many as fit the box it got; else the bars share the box.
    const size_t fits = item.bar > 0 ? size_t(std::max(1.0, std::floor(box.height() / item.bar + 1e-6))) : n;
    n = std::min(n, fits);
    const double barHeight = item.bar > 0 ? item.bar : box.height() / double(n);
    const double labelWidth = box.width() * 0.35, valueWidth = box.width() * 0.15;
    const double barArea = box.width() - labelWidth - valueWidth;
    FontSpec fontDef = item.font;
    fontDef.size = std::max(1.0, std::min(fontDef.size, barHeight * 0.75));
    // The labels' style, then the values': one pair per chart and size, however often it is drawn.
    auto styles = m_chartStyles.constFind({&item, fontDef.size});
    if (styles == m_chartStyles.cend()) {
        const QFont font = reportFont(fontDef);
        m_out->textStyles.push_back(TextStyle{font, item.color, Qt::AlignRight | Qt::AlignVCenter, false});
        m_out->textStyles.push_back(TextStyle{font, item.color, Qt::AlignLeft | Qt::AlignVCenter, false});
        styles = m_chartStyles.insert({&item, fontDef.size}, int(m_out->textStyles.size() - 2));
    }
    const int labelStyle = *styles, valueStyle = *styles + 1;
    const int barStyle = penStyle(item.fill, 0, item.fill);
    const int axisStyle = penStyle(item.color, 0.5, QColor());
    const double gap = std::min(2.0, barHeight * 0.15);
    for (size_t i = 0; i < n; ++i) {
        const double y = box.y() + double(i) * barHeight;
        const auto &[label, value] = chart.bars[i];
        page.ops.push_back(Op{Op::Kind::Text, QRectF(box.x(), y, labelWidth - 3, barHeight), labelStyle,
                              int(page.texts.size())});
        page.texts << label;
        const double length = top > 0 && value > 0 ? barArea * value / top : 0;
        if (length > 0)
            page.ops.push_back(Op{Op::Kind::Rect,
                                  QRectF(box.x() + labelWidth, y + gap / 2, length, barHeight - gap),
                                  barStyle, -1});
        page.ops.push_back(
            Op{Op::Kind::Text,
               QRectF(box.x() + labelWidth + length + 2, y, valueWidth + barArea - length - 2, barHeight),
               valueStyle, int(page.texts.size())});
        page.texts << toText(std::floor(value) == value && std::abs(value) < 9e15 ? QVariant(qlonglong(value))
                                                                                  : QVariant(value),
                             m_locale);
    }
    page.ops.push_back(Op{Op::Kind::Line,
                          QRectF(QPointF(box.x() + labelWidth, box.y()),
                                 QPointF(box.x() + labelWidth, box.y() + double(n) * barHeight)),
                          axisStyle, -1});
}

} // namespace ReportEngine::internal
