#include "reportengine/layout.h"
#include "reportengine/layout_p.h"

// Running a report: setting the run up, the sections with their groups, paging and
// the final pass that fills what had to wait.

namespace ReportEngine
{

QFont reportFont(const FontSpec &fontDef)
{
    QFont f(fontDef.family);
    f.setPointSizeF(fontDef.size);
    f.setBold(fontDef.bold);
    f.setItalic(fontDef.italic);
    // The same glyph widths on screen, paper and PDF, so that text measured here fits there.
    f.setHintingPreference(QFont::PreferNoHinting);
    // Any letter spacing turns ligatures off, so that the PDF's text reads and
    // searches as typed ("fi" stays two letters); a 64th of a pixel shows nowhere.
    f.setLetterSpacing(QFont::AbsoluteSpacing, 1.0 / 64);
    return f;
}

namespace internal
{

Generator::Generator(Report &report, const Project &project, const ConnectionRegistry &connections,
                     const Parameters &parameters, const Progress &progress, const PageStamp &stamp)
    : m_report(report), m_project(project), m_registry(connections), m_parameters(parameters),
      m_progress(progress), m_stamp(stamp), m_locale(project.locale), m_started(QDateTime::currentDateTime())
{
    m_measure = QImage(1, 1, QImage::Format_ARGB32);
    const int dpm = int(std::lround(kMeasureDpi / 0.0254));
    m_measure.setDotsPerMeterX(dpm);
    m_measure.setDotsPerMeterY(dpm);
}

Generator::~Generator()
{
    // Every connection is put back as it was, in the reverse order of its begin.
    for (auto it = m_begun.rbegin(); it != m_begun.rend(); ++it) {
        try {
            (*it)->end();
        } catch (...) {
        }
    }
}

std::unique_ptr<PreparedReport> Generator::run()
{
    if (QCoreApplication::instance() && QThread::currentThread() != QCoreApplication::instance()->thread())
        throw ReportError(
            QStringLiteral("Relatórios só podem ser gerados na linha de execução da interface"));
    m_out = std::make_unique<PreparedReport>();
    m_out->name = m_report.name;
    m_out->title = m_report.title;
    m_out->pageSize = m_report.pageSize;
    m_out->landscape = m_report.landscape;
    measureStamp();
    try {
        prepare();
        layout();
        finalPass();
    } catch (const Cancelled &) {
        return nullptr;
    }
    // The connections end before the pages are delivered.
    for (auto it = m_begun.rbegin(); it != m_begun.rend(); ++it)
        (*it)->end();
    m_begun.clear();
    return std::move(m_out);
}

[[noreturn]] void Generator::failAt(SourcePos p, const QString &why) const
{
    throw ReportError(QStringLiteral("Relatório \"%1\", linha %2, coluna %3: %4")
                          .arg(m_report.name)
                          .arg(p.line)
                          .arg(p.column)
                          .arg(why));
}

DataConnection *Generator::connection(const QString &name, SourcePos pos)
{
    DataConnection *c = m_registry.find(name);
    if (!c) failAt(pos, QStringLiteral("a conexão de dados \"%1\" não existe").arg(name));
    if (std::find(m_begun.begin(), m_begun.end(), c) == m_begun.end()) {
        c->begin();
        m_begun.push_back(c);
    }
    return c;
}

int Generator::fieldIndex(DataConnection *c, const QString &connectionName, const QString &field,
                          SourcePos pos)
{
    const QList<FieldInfo> fields = c->fields();
    for (int i = 0; i < fields.size(); ++i)
        if (fields[i].name.compare(field, Qt::CaseInsensitive) == 0) return i;
    failAt(pos, QStringLiteral("o campo \"%1\" não existe na conexão \"%2\"").arg(field, connectionName));
}

void Generator::prepare()
{
    m_sections.resize(m_report.sections.size());
    for (size_t si = 0; si < m_report.sections.size(); ++si) {
        Section &s = m_report.sections[si];
        SectionRun &run = m_sections[si];
        run.connection = connection(s.data, s.pos);
        for (const Lookup &l : s.lookups) {
            DataConnection *c = connection(l.data, l.pos);
            if (c == run.connection)
                failAt(l.pos, QStringLiteral("a busca \"%1\" lê a mesma conexão que a seção").arg(l.name));
            for (const auto &on : l.conditions)
                fieldIndex(c, l.data, on.field, on.pos);
            run.lookups.push_back(c);
        }
        run.slotsOf.assign(s.lookups.size() + 1, {});
        for (Expr *e : s.rowExpressions)
            forEachNode(*e, [&](Expr &node) { bindField(s, run, node); });
    }
    for (size_t a = 0; a < m_report.aggregates.size(); ++a)
        m_sections[size_t(m_report.aggregates[a].section)].aggregates.push_back(int(a));
    for (size_t c = 0; c < m_report.charts.size(); ++c)
        m_sections[size_t(m_report.charts[c].section)].charts.push_back(int(c));
    // A fingerprint printed in more than one place reads its connections once.
    QHash<QStringList, QString> fingerprints;
    for (Expr *d : m_report.digests) {
        QList<QPair<QString, DataConnection *>> list;
        QStringList names;
        for (const auto &a : d->args) {
            list.append({m_registry.registeredName(a->name), connection(a->name, a->pos)});
            names << list.back().first;
        }
        auto known = fingerprints.constFind(names);
        if (known == fingerprints.cend()) known = fingerprints.insert(names, fingerprint(list));
        m_digests.insert(d, *known);
    }
    m_currentAggregate.assign(m_report.aggregates.size(), -1);
    m_currentChart.assign(m_report.charts.size(), -1);
    // Whole-section scopes exist from the start, so that a title can name them.
    for (size_t a = 0; a < m_report.aggregates.size(); ++a)
        if (m_report.aggregates[a].level < 0) openAggregate(int(a));
    for (size_t c = 0; c < m_report.charts.size(); ++c)
        if (m_report.charts[c].level < 0) openChart(int(c));

    for (size_t si = 0; si < m_report.sections.size(); ++si) {
        const Section &s = m_report.sections[si];
        if (!s.detail) continue;
        SectionRun &run = m_sections[si];
        // Words alone (a row's label) are no column: every column holds a value.
        for (const Item &item : s.detail->items)
            if (item.kind == Item::Kind::Text && expressionCount(item.text) > 0)
                run.csvItems.push_back(&item);
        std::stable_sort(run.csvItems.begin(), run.csvItems.end(), [](const Item *a, const Item *b) {
            return a->box.x() < b->box.x() || (a->box.x() == b->box.x() && a->box.y() < b->box.y());
        });
        CsvTable table;
        for (const Item *item : run.csvItems)
            table.header << csvTitle(s, *item, int(table.header.size()));
        run.csvTable = int(m_out->csv.size());
        m_out->csv.push_back(std::move(table));
    }
    // The summary's named texts (a fingerprint, a grand total) close the CSV as
    // rows of name and value.
    if (m_report.summary)
        for (const Item &item : m_report.summary->items)
            if (item.kind == Item::Kind::Text && !item.column.isEmpty() && m_summaryCsvTable < 0) {
                m_summaryCsvTable = int(m_out->csv.size());
                m_out->csv.emplace_back();
            }
}

void Generator::bindField(const Section &s, SectionRun &run, Expr &node)
{
    if (node.role != Expr::Role::Field) return;
    int source = 0;
    DataConnection *c = run.connection;
    QString connectionName = s.data;
    if (!node.qualifier.isEmpty() && s.name.compare(node.qualifier, Qt::CaseInsensitive) != 0 &&
        s.data.compare(node.qualifier, Qt::CaseInsensitive) != 0) {
        for (size_t l = 0; l < s.lookups.size(); ++l) {
            if (s.lookups[l].name.compare(node.qualifier, Qt::CaseInsensitive) == 0) {
                source = int(l) + 1;
                c = run.lookups[l];
                connectionName = s.lookups[l].data;
            }
        }
    }
    const int field = fieldIndex(c, connectionName, node.name, node.pos);
    for (size_t i = 0; i < run.fieldSlots.size(); ++i) {
        if (run.fieldSlots[i].source == source && run.fieldSlots[i].field == field) {
            node.index = int(i);
            return;
        }
    }
    node.index = int(run.fieldSlots.size());
    run.fieldSlots.push_back(Slot{source, field});
    run.slotsOf[size_t(source)].push_back(node.index);
}

double Generator::bodyBottom() const
{
    return std::min(m_report.pageSize.height() - m_report.margins.bottom(), m_stampTop) -
           (m_report.pageFooter ? m_report.pageFooter->height : 0);
}

void Generator::checkProgress()
{
    if (m_progress && !m_progress(int(m_out->pages.size()))) throw Cancelled{};
}

void Generator::startPage()
{
    m_out->pages.emplace_back();
    m_y = m_report.margins.top();
    m_pageHasBody = false;
    checkProgress();
    if (m_report.pageHeader) emitBand(*m_report.pageHeader, nullptr, m_report.pageHeader->height);
    if (m_section >= 0) {
        const Section &s = m_report.sections[size_t(m_section)];
        if (m_headPrinted && s.head) placeRepeated(*s.head, m_currentRow);
        for (size_t g = 0; g < m_openGroups.size(); ++g)
            if (s.groups[g].header && s.groups[g].header->repeat)
                placeRepeated(*s.groups[g].header, &m_openGroups[g]);
    }
}

void Generator::finishPage()
{
    if (m_report.pageFooter) {
        m_y = bodyBottom();
        emitBand(*m_report.pageFooter, nullptr, m_report.pageFooter->height);
    }
    drawStamp();
}

void Generator::newPage()
{
    finishPage();
    startPage();
}

void Generator::placeRepeated(const Band &band, const Row *row)
{
    Grown grown;
    const double h = measure(band, row, grown);
    if (m_y + h > bodyBottom() + 1e-6)
        failAt(band.pos, QStringLiteral("os cabeçalhos repetidos não cabem na página"));
    emitBand(band, row, h, grown);
}

void Generator::place(const Band &band, const Row *row)
{
    Grown grown;
    double h = measure(band, row, grown);
    if (m_y + h > bodyBottom() + 1e-6) {
        if (!m_pageHasBody) failAt(band.pos, QStringLiteral("a faixa não cabe na página"));
        newPage();
        // A growing text may show the page number: measured again on the page it goes on.
        grown.clear();
        h = measure(band, row, grown);
        if (m_y + h > bodyBottom() + 1e-6) failAt(band.pos, QStringLiteral("a faixa não cabe na página"));
    }
    emitBand(band, row, h, grown);
    m_pageHasBody = true;
}

void Generator::keepTogether(double height)
{
    if (m_pageHasBody && m_y + height > bodyBottom() + 1e-6) newPage();
}

double Generator::measure(const Band &band, const Row *row, Grown &grown)
{
    // No band grows taller than the body of a page.
    const double room =
        bodyBottom() - m_report.margins.top() - (m_report.pageHeader ? m_report.pageHeader->height : 0);
    double h = band.height;
    for (const Item &item : band.items) {
        if (item.kind == Item::Kind::Chart && item.bar > 0) {
            const double chartHeight = std::min(grownChartHeight(item), room - item.box.y());
            grown.insert(&item, {QString(), chartHeight});
            h = std::max(h, item.box.y() + chartHeight);
            continue;
        }
        if (item.kind == Item::Kind::QrCode) {
            // The codes' rows make the band taller; the text is kept for drawing them.
            const QString text = toText(evaluate(*item.value, LiveResolver(*this, row), m_locale), m_locale);
            const qsizetype codes = qrContents(text.toUtf8(), item.prefix, item.sliceBytes).size();
            const double height = qrHeight(item, codes);
            if (item.box.y() + height > room + 1e-6)
                failAt(item.pos, QStringLiteral("os %1 códigos QR do texto não cabem numa página: aumente "
                                                "\"bytes\" ou diminua \"size\"")
                                     .arg(codes));
            grown.insert(&item, {text, height});
            h = std::max(h, item.box.y() + height);
            continue;
        }
        if (item.kind != Item::Kind::Text || !item.grow || !item.show) continue;
        std::vector<QVariant> values;
        std::vector<int> pending;
        if (capture(item.text, row, values, pending)) continue; // filled later: it keeps its height
        const QString text = expand(item.text, values);
        const QFontMetricsF fm(reportFont(item.font), &m_measure);
        const double scale = kMeasureDpi / 72.0;
        // A little narrower than the box, so that text measured here never needs another line elsewhere.
        const QRectF r = fm.boundingRect(QRectF(0, 0, item.box.width() * scale * 0.97, 1e7),
                                         int(Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop), text);
        const double textHeight = std::min(r.height() / scale, room - item.box.y());
        grown.insert(&item, {text, std::max(item.box.height(), textHeight)});
        h = std::max(h, item.box.y() + std::max(item.box.height(), textHeight));
    }
    return std::min(h, room);
}

void Generator::layout()
{
    startPage();
    if (m_report.titleBand) place(*m_report.titleBand, nullptr);
    for (int s = 0; s < int(m_report.sections.size()); ++s)
        runSection(s);
    if (m_report.summary) place(*m_report.summary, nullptr);
    finishPage();
}

void Generator::runSection(int si)
{
    const Section &s = m_report.sections[size_t(si)];
    SectionRun &run = m_sections[size_t(si)];
    if (s.newPage && m_pageHasBody) newPage();
    run.connection->setFilter(QString());
    run.connection->first();
    m_section = si;
    m_headPrinted = false;
    m_openGroups.clear();
    if (run.connection->atEnd()) {
        completeScopes(si, -1);
        if (s.empty) place(*s.empty, nullptr);
        m_section = -1;
        return;
    }
    const double detailHeight = s.detail ? s.detail->height : 0;
    // Rows read ahead of the one being placed, so that a group's size is known
    // as it begins, up to one more than a page can hold.
    std::deque<Row> ahead;
    qint64 rows = 0;
    const auto readAhead = [&](size_t n) {
        while (ahead.size() < n && !run.connection->atEnd()) {
            ahead.emplace_back();
            readRow(si, ahead.back());
            run.connection->next();
            if (++rows % 256 == 0) checkProgress();
        }
    };
    const size_t pageOfRows =
        detailHeight > 0 ? size_t(std::min(100000.0, bodyRoom() / detailHeight)) + 1 : size_t(1000);
    qint64 leftInGroup = 0; // the rows of a group that begins (one more than a page: a long one)
    Row current, previous;
    readAhead(1);
    current = std::move(ahead.front());
    ahead.pop_front();
    bool first = true;
    for (;;) {
        size_t level = 0;
        if (!first) {
            while (level < s.groups.size() &&
                   current.keys[qsizetype(level)] == previous.keys[qsizetype(level)])
                ++level;
            closeGroups(si, level, previous);
        }
        if (level < s.groups.size()) openScopes(si, int(level));
        accumulate(si, current);
        m_currentRow = &current;
        const bool groupBegins = level < s.groups.size();
        if (groupBegins) {
            // The innermost group ends where any key changes.
            size_t n = 1;
            for (;; ++n) {
                readAhead(n);
                if (ahead.size() < n || ahead[n - 1].keys != current.keys || n > pageOfRows) break;
            }
            leftInGroup = qint64(n);
        }

        // What must go on one page with the row: the column titles at the start,
        // the headers of the groups that begin here and the first two rows, so
        // that no row stands alone under its titles at a page's foot; a group
        // short enough goes whole, with its footer, onto one page.
        // A group that asks for a page of its own gets one when it follows
        // another; the section's first group follows whatever came before.
        for (size_t g = level; g < s.groups.size() && !first; ++g)
            if (s.groups[g].newPage && m_pageHasBody) newPage();
        // This row at its own height (a text may grow it); the rows after it at the band's.
        double chain = detailHeight;
        if (s.detail && !s.groups.empty()) {
            Grown grown;
            chain = measure(*s.detail, &current, grown);
        }
        if (first && s.head) chain += s.head->height;
        for (size_t g = level; g < s.groups.size(); ++g)
            if (s.groups[g].header) chain += s.groups[g].header->height;
        if (groupBegins) {
            // Each row ahead at its own height, up to a page of them.
            double whole = chain + footerHeight(s.groups.back(), leftInGroup);
            double second = 0;
            for (qint64 i = 0; i + 1 < leftInGroup && whole <= bodyRoom() + 1e-6; ++i) {
                Grown grown;
                const double h = s.detail ? measure(*s.detail, &ahead[size_t(i)], grown) : 0;
                if (i == 0) second = h;
                whole += h;
            }
            if (whole <= bodyRoom() + 1e-6)
                chain = whole;
            else
                chain += second;
        } else if (!s.groups.empty()) {
            // The group's last row goes with its footer: a total never stands alone on a page.
            readAhead(1);
            if (ahead.empty() || ahead.front().keys != current.keys) chain += footerHeight(s.groups.back());
        }
        keepTogether(chain);
        if (first && s.head) {
            place(*s.head, &current);
            m_headPrinted = true;
        }
        for (size_t g = level; g < s.groups.size(); ++g) {
            m_openGroups.push_back(current);
            if (s.groups[g].header) place(*s.groups[g].header, &current);
        }
        if (s.detail) place(*s.detail, &current);

        std::swap(previous, current);
        first = false;
        m_currentRow = &previous;
        readAhead(1);
        if (ahead.empty()) break;
        current = std::move(ahead.front());
        ahead.pop_front();
    }
    closeGroups(si, 0, previous);
    completeScopes(si, -1);
    if (s.foot) place(*s.foot, &previous);
    m_section = -1;
    m_currentRow = nullptr;
    m_headPrinted = false;
}

double Generator::footerHeight(const Group &g, qint64 rows) const
{
    if (!g.footer) return 0;
    double h = g.footer->height;
    for (const Item &item : g.footer->items) {
        if (item.kind != Item::Kind::Chart || item.bar <= 0) continue;
        const int instance = m_currentChart[size_t(item.chart)];
        if (instance < 0) continue;
        const size_t bars = rows >= 0 ? size_t(rows) : m_charts[size_t(instance)].bars.size();
        const size_t n = item.limit > 0 ? std::min(bars, size_t(item.limit)) : bars;
        h = std::max(h, item.box.y() + std::max(item.box.height(), double(n) * item.bar));
    }
    return h;
}

double Generator::bodyRoom() const
{
    return bodyBottom() - m_report.margins.top() - (m_report.pageHeader ? m_report.pageHeader->height : 0);
}

void Generator::closeGroups(int si, size_t level, const Row &last)
{
    const Section &s = m_report.sections[size_t(si)];
    if (m_openGroups.size() <= level) return;
    completeScopes(si, int(level));
    m_currentRow = &last;
    while (m_openGroups.size() > level) {
        const size_t g = m_openGroups.size() - 1;
        if (s.groups[g].footer) place(*s.groups[g].footer, &last);
        m_openGroups.pop_back();
    }
}

void Generator::finalPass()
{
    const qlonglong pages = qlonglong(m_out->pages.size());
    for (Deferred &d : m_deferred) {
        for (size_t i = 0; i < d.pending.size(); ++i) {
            if (d.pending[i] == kPendingPages) {
                d.values[i] = pages;
            } else if (d.pending[i] >= 0) {
                const Expr &node = *d.text->contextNodes[i];
                d.values[i] = aggregateValue(node.index, d.pending[i]);
            }
        }
        const QString s = expand(*d.text, d.values, d.target == Deferred::Target::CsvCell);
        if (d.target == Deferred::Target::PageText)
            m_out->pages[size_t(d.a)].texts[d.b] = s;
        else
            m_out->csv[size_t(d.a)].rows[size_t(d.b)][d.c] = s;
    }
    m_deferred.clear();
    for (const DeferredChart &c : m_deferredCharts)
        drawChart(m_out->pages[size_t(c.page)], c.rect, *c.item, m_charts[size_t(c.instance)]);
    m_deferredCharts.clear();
}

} // namespace internal

std::unique_ptr<PreparedReport> layoutReport(Report &report, const Project &project,
                                             const ConnectionRegistry &connections,
                                             const Parameters &parameters, const Progress &progress,
                                             const PageStamp &stamp)
{
    internal::Generator g(report, project, connections, parameters, progress, stamp);
    return g.run();
}

} // namespace ReportEngine
