#include "reportengine/layout.h"

#include "reportengine/qrcode.h"
#include "reportengine/reporterror.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QHash>
#include <QImageReader>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <deque>

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

namespace
{

struct Cancelled {
};

constexpr int kPending = -1;      // in Deferred::pending: the value is ready
constexpr int kPendingPages = -2; // the page count
constexpr double kMeasureDpi = 1200;
constexpr qint64 kLookupCacheBytes = 32 * 1024 * 1024;

// The text a lookup's value takes in a filter, and a group key in comparisons:
// the same whatever the report's locale.
QString plainText(const QVariant &v)
{
    if (v.isNull()) return {};
    switch (v.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
        return QString::number(v.toDouble(), 'g', 15);
    case QMetaType::QDate:
        return v.toDate().toString(Qt::ISODate);
    case QMetaType::QDateTime:
        return v.toDateTime().toString(Qt::ISODate);
    default:
        return v.toString();
    }
}

QVariant numeric(const QVariant &v)
{
    if (v.isNull()) return {};
    bool ok = false;
    switch (v.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = v.toDouble();
        return std::isfinite(d) ? QVariant(d) : QVariant();
    }
    case QMetaType::QString: {
        const qlonglong i = v.toString().trimmed().toLongLong(&ok);
        if (ok) return i;
        const double d = v.toString().trimmed().toDouble(&ok);
        return ok && std::isfinite(d) ? QVariant(d) : QVariant();
    }
    default:
        break;
    }
    const qlonglong i = v.toLongLong(&ok);
    return ok ? QVariant(i) : QVariant();
}

struct Row {
    std::vector<QVariant> values; // by slot
    std::vector<bool> found;      // by lookup
    QStringList keys;             // group keys
};

struct Slot {
    int source; // 0: the section's connection; k + 1: lookup k
    int field;
};

struct SectionRun {
    DataConnection *connection = nullptr;
    std::vector<DataConnection *> lookups;
    std::vector<Slot> fieldSlots;
    std::vector<std::vector<int>> slotsOf; // by source
    std::vector<int> aggregates;           // definitions accumulated on each row
    std::vector<int> charts;
    std::vector<const Item *> csvItems; // the detail band's texts, left to right
    int csvTable = -1;
};

struct AggregateState {
    qint64 count = 0;
    qint64 wholeSum = 0;
    double sum = 0;
    bool whole = true;
    QVariant min, max;
    bool complete = false;
};

struct ChartState {
    std::vector<std::pair<QString, double>> bars;
    bool complete = false;
};

struct Deferred {
    enum class Target { PageText, CsvCell } target = Target::PageText;
    int a = 0, b = 0, c = 0; // page and text, or table, row and column
    const TextTemplate *text = nullptr;
    std::vector<QVariant> values;
    std::vector<int> pending;
};

// Texts that grew their band: the text and its measured height.
using Grown = QHash<const Item *, std::pair<QString, double>>;

struct DeferredChart {
    int page;
    QRectF rect;
    const Item *item;
    int instance;
};

class ValuesResolver : public Resolver
{
  public:
    explicit ValuesResolver(const std::vector<QVariant> &values) : m_values(values) {}
    QVariant resolve(const Expr &node) const override
    {
        return node.context >= 0 && size_t(node.context) < m_values.size() ? m_values[size_t(node.context)]
                                                                           : QVariant();
    }

  private:
    const std::vector<QVariant> &m_values;
};

class Generator
{
  public:
    Generator(Report &report, const Project &project, const ConnectionRegistry &connections,
              const Parameters &parameters, const Progress &progress, const PageStamp &stamp)
        : m_report(report), m_project(project), m_registry(connections), m_parameters(parameters),
          m_progress(progress), m_stamp(stamp), m_locale(project.locale), m_started(QDateTime::currentDateTime())
    {
        m_measure = QImage(1, 1, QImage::Format_ARGB32);
        const int dpm = int(std::lround(kMeasureDpi / 0.0254));
        m_measure.setDotsPerMeterX(dpm);
        m_measure.setDotsPerMeterY(dpm);
    }

    ~Generator()
    {
        // Every connection is put back as it was, in the reverse order of its begin.
        for (auto it = m_begun.rbegin(); it != m_begun.rend(); ++it) {
            try {
                (*it)->end();
            } catch (...) {
            }
        }
    }

    std::unique_ptr<PreparedReport> run()
    {
        if (QCoreApplication::instance() &&
            QThread::currentThread() != QCoreApplication::instance()->thread())
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

  private:
    // ---- preparing a run: connections, fields, styles

    [[noreturn]] void failAt(SourcePos p, const QString &why) const
    {
        throw ReportError(QStringLiteral("Relatório \"%1\", linha %2, coluna %3: %4")
                              .arg(m_report.name)
                              .arg(p.line)
                              .arg(p.column)
                              .arg(why));
    }

    DataConnection *connection(const QString &name, SourcePos pos)
    {
        DataConnection *c = m_registry.find(name);
        if (!c) failAt(pos, QStringLiteral("a conexão de dados \"%1\" não existe").arg(name));
        if (std::find(m_begun.begin(), m_begun.end(), c) == m_begun.end()) {
            c->begin();
            m_begun.push_back(c);
        }
        return c;
    }

    int fieldIndex(DataConnection *c, const QString &connectionName, const QString &field, SourcePos pos)
    {
        const QList<FieldInfo> fields = c->fields();
        for (int i = 0; i < fields.size(); ++i)
            if (fields[i].name.compare(field, Qt::CaseInsensitive) == 0) return i;
        failAt(pos, QStringLiteral("o campo \"%1\" não existe na conexão \"%2\"").arg(field, connectionName));
    }

    void prepare()
    {
        m_sections.resize(m_report.sections.size());
        for (size_t si = 0; si < m_report.sections.size(); ++si) {
            Section &s = m_report.sections[si];
            SectionRun &run = m_sections[si];
            run.connection = connection(s.data, s.pos);
            for (const Lookup &l : s.lookups) {
                DataConnection *c = connection(l.data, l.pos);
                if (c == run.connection)
                    failAt(l.pos,
                           QStringLiteral("a busca \"%1\" lê a mesma conexão que a seção").arg(l.name));
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
                if (item.kind == Item::Kind::Text && expressionCount(item.text) > 0) run.csvItems.push_back(&item);
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

    // The column's own name, else the column title printed above it, else its field's name.
    QString csvTitle(const Section &s, const Item &item, int column) const
    {
        if (!item.column.isEmpty()) return item.column;
        // The column titles may stand in the section's head or in a group's header.
        std::vector<const Band *> heads;
        if (s.head) heads.push_back(&*s.head);
        for (const Group &g : s.groups)
            if (g.header) heads.push_back(&*g.header);
        for (const Band *head : heads) {
            for (const Item &title : head->items) {
                if (title.kind != Item::Kind::Text ||
                    std::abs(title.box.x() - item.box.x()) > 0.5 * kPointsPerMm)
                    continue;
                QString literal;
                for (const auto &part : title.text.parts)
                    if (!part.expr) literal += part.literal;
                if (title.text.contextNodes.empty() && !literal.trimmed().isEmpty()) return literal.trimmed();
            }
        }
        for (const Expr *node : item.text.contextNodes)
            if (node->role == Expr::Role::Field) return node->name;
        return QStringLiteral("Coluna %1").arg(column + 1);
    }

    void bindField(const Section &s, SectionRun &run, Expr &node)
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

    int textStyle(const Item &item)
    {
        const auto it = m_textStyles.constFind(&item);
        if (it != m_textStyles.cend()) return *it;
        m_out->textStyles.push_back(TextStyle{reportFont(item.font), item.color, item.align, item.wrap});
        const int id = int(m_out->textStyles.size() - 1);
        m_textStyles.insert(&item, id);
        return id;
    }

    int penStyle(const QColor &color, double width, const QColor &fill)
    {
        for (size_t i = 0; i < m_out->penStyles.size(); ++i) {
            const PenStyle &p = m_out->penStyles[i];
            if (p.color == color && p.width == width && p.fill == fill) return int(i);
        }
        m_out->penStyles.push_back(PenStyle{color, width, fill});
        return int(m_out->penStyles.size() - 1);
    }

    // ---- rows

    class LiveResolver : public Resolver
    {
      public:
        LiveResolver(const Generator &g, const Row *row) : m_g(g), m_row(row) {}
        QVariant resolve(const Expr &node) const override { return m_g.contextValue(node, m_row, nullptr); }

      private:
        const Generator &m_g;
        const Row *m_row;
    };

    // The value of a context node now; with `pending` given, a scope that is not
    // complete yet is noted there instead.
    QVariant contextValue(const Expr &node, const Row *row, int *pending) const
    {
        switch (node.role) {
        case Expr::Role::Field:
            return row && node.index >= 0 && size_t(node.index) < row->values.size()
                       ? row->values[size_t(node.index)]
                       : QVariant();
        case Expr::Role::Found:
            return row && node.index >= 0 && size_t(node.index) < row->found.size()
                       ? QVariant(bool(row->found[size_t(node.index)]))
                       : QVariant(false);
        case Expr::Role::Parameter: {
            const QString name = node.args[0]->literal.toString();
            for (const auto &[n, v] : m_parameters)
                if (n.compare(name, Qt::CaseInsensitive) == 0) return v;
            return {};
        }
        case Expr::Role::Page:
            return qlonglong(m_out->pages.size());
        case Expr::Role::Pages:
            if (pending) *pending = kPendingPages;
            return {};
        case Expr::Role::RowNumber: {
            const int instance = m_currentAggregate[size_t(node.index)];
            return instance < 0 ? QVariant() : QVariant(m_aggregates[size_t(instance)].count);
        }
        case Expr::Role::Aggregate: {
            const int instance = m_currentAggregate[size_t(node.index)];
            if (instance < 0) return {};
            if (!m_aggregates[size_t(instance)].complete && pending) {
                *pending = instance;
                return {};
            }
            return aggregateValue(node.index, instance);
        }
        case Expr::Role::Digest:
            return m_digests.value(&node);
        case Expr::Role::Today:
            return m_locale.toString(m_started.date(), QLocale::ShortFormat);
        case Expr::Role::Now:
            return m_locale.toString(m_started.time(), QLocale::ShortFormat);
        case Expr::Role::Pure:
        case Expr::Role::Scope:
            break;
        }
        return {};
    }

    QVariant aggregateValue(int definition, int instance) const
    {
        const AggregateState &s = m_aggregates[size_t(instance)];
        switch (m_report.aggregates[size_t(definition)].kind) {
        case AggregateDef::Kind::Count:
            return s.count;
        case AggregateDef::Kind::Sum:
            return s.whole ? QVariant(s.wholeSum) : QVariant(s.sum);
        case AggregateDef::Kind::Min:
            return s.min;
        case AggregateDef::Kind::Max:
            return s.max;
        }
        return {};
    }

    void openAggregate(int definition)
    {
        m_aggregates.emplace_back();
        m_currentAggregate[size_t(definition)] = int(m_aggregates.size() - 1);
    }

    void openChart(int definition)
    {
        m_charts.emplace_back();
        m_currentChart[size_t(definition)] = int(m_charts.size() - 1);
    }

    void completeScopes(int section, int fromLevel)
    {
        const SectionRun &run = m_sections[size_t(section)];
        for (int a : run.aggregates) {
            const int level = m_report.aggregates[size_t(a)].level;
            if ((fromLevel < 0 ? level < 0 : level >= fromLevel) && m_currentAggregate[size_t(a)] >= 0)
                m_aggregates[size_t(m_currentAggregate[size_t(a)])].complete = true;
        }
        for (int c : run.charts) {
            const int level = m_report.charts[size_t(c)].level;
            if ((fromLevel < 0 ? level < 0 : level >= fromLevel) && m_currentChart[size_t(c)] >= 0)
                m_charts[size_t(m_currentChart[size_t(c)])].complete = true;
        }
    }

    void openScopes(int section, int fromLevel)
    {
        const SectionRun &run = m_sections[size_t(section)];
        for (int a : run.aggregates)
            if (m_report.aggregates[size_t(a)].level >= fromLevel) openAggregate(a);
        for (int c : run.charts)
            if (m_report.charts[size_t(c)].level >= fromLevel) openChart(c);
    }

    void accumulate(int section, const Row &row)
    {
        const SectionRun &run = m_sections[size_t(section)];
        const LiveResolver live(*this, &row);
        for (int a : run.aggregates) {
            AggregateState &s = m_aggregates[size_t(m_currentAggregate[size_t(a)])];
            const AggregateDef &def = m_report.aggregates[size_t(a)];
            ++s.count;
            if (!def.argument) continue;
            const QVariant v = numeric(evaluate(*def.argument, live, m_locale));
            if (v.isNull()) continue;
            if (def.kind == AggregateDef::Kind::Sum) {
                s.sum += v.toDouble();
                if (v.typeId() != QMetaType::LongLong ||
                    __builtin_add_overflow(s.wholeSum, v.toLongLong(), &s.wholeSum))
                    s.whole = false;
            } else if (def.kind == AggregateDef::Kind::Min) {
                if (s.min.isNull() || v.toDouble() < s.min.toDouble()) s.min = v;
            } else if (def.kind == AggregateDef::Kind::Max) {
                if (s.max.isNull() || v.toDouble() > s.max.toDouble()) s.max = v;
            }
        }
        for (int c : run.charts) {
            const Item &item = *m_report.charts[size_t(c)].item;
            const QVariant v = numeric(evaluate(*item.value, live, m_locale));
            m_charts[size_t(m_currentChart[size_t(c)])].bars.emplace_back(
                toText(evaluate(*item.label, live, m_locale), m_locale), v.isNull() ? 0.0 : v.toDouble());
        }
    }

    void readRow(int section, Row &row)
    {
        const Section &s = m_report.sections[size_t(section)];
        const SectionRun &run = m_sections[size_t(section)];
        row.values.assign(run.fieldSlots.size(), QVariant());
        row.found.assign(s.lookups.size(), false);
        for (int slot : run.slotsOf[0])
            row.values[size_t(slot)] = run.connection->value(run.fieldSlots[size_t(slot)].field);
        for (size_t l = 0; l < s.lookups.size(); ++l)
            lookUp(section, l, row);
        const LiveResolver live(*this, &row);
        row.keys.clear();
        for (const Group &g : s.groups) {
            const QVariant k = evaluate(*g.key, live, m_locale);
            row.keys << (k.isNull() ? QStringLiteral("\x01null") : plainText(k));
        }
    }

    // Finds the first row of a lookup's connection that meets its conditions;
    // repeated keys are served from a bounded cache.
    void lookUp(int section, size_t l, Row &row)
    {
        const Lookup &lookup = m_report.sections[size_t(section)].lookups[l];
        const SectionRun &run = m_sections[size_t(section)];
        const LiveResolver live(*this, &row);
        QList<Condition> conditions;
        for (const auto &on : lookup.conditions)
            conditions.append(Condition{on.field, on.op, plainText(evaluate(*on.value, live, m_locale))});
        const QString filter = filterText(conditions);
        const std::vector<int> &fieldSlots = run.slotsOf[l + 1];
        const QString key = QString::number(section) + u':' + QString::number(l) + u':' + filter;
        auto cached = m_lookupCache.constFind(key);
        if (cached == m_lookupCache.cend()) {
            DataConnection *c = run.lookups[l];
            c->setFilter(filter);
            c->first();
            CachedLookup entry;
            entry.found = !c->atEnd();
            for (int slot : fieldSlots) {
                const QVariant v = entry.found ? c->value(run.fieldSlots[size_t(slot)].field) : QVariant();
                if (v.typeId() == QMetaType::QByteArray) m_lookupCacheBytes += v.toByteArray().size();
                entry.values.push_back(v);
            }
            if (m_lookupCacheBytes > kLookupCacheBytes || m_lookupCache.size() > 100000) {
                m_lookupCache.clear();
                m_lookupCacheBytes = 0;
            }
            cached = m_lookupCache.insert(key, std::move(entry));
        }
        row.found[l] = cached->found;
        for (size_t i = 0; i < fieldSlots.size(); ++i)
            row.values[size_t(fieldSlots[i])] = cached->values[i];
    }

    // ---- pages

    double bodyBottom() const
    {
        return std::min(m_report.pageSize.height() - m_report.margins.bottom(), m_stampTop) -
               (m_report.pageFooter ? m_report.pageFooter->height : 0);
    }

    // The stamp's box on every page: at least kStampEdge from the paper's edges,
    // each line wrapped to the width, as tall as its wrapped text.
    void measureStamp()
    {
        const QSizeF page = m_report.pageSize;
        m_stampTop = page.height();
        if (m_stamp.lines.empty()) return;
        // The whole printable width, whatever the margins: a hash in full fits on one line.
        const double left = kStampEdge;
        const double width = page.width() - 2 * kStampEdge;
        if (width <= 0) throw ReportError(QStringLiteral("A página é estreita demais para o rodapé do programa"));
        FontSpec spec;
        spec.family = m_stamp.family;
        spec.size = m_stamp.size;
        const QFont font = reportFont(spec);
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

    void drawStamp()
    {
        Page &page = m_out->pages.back();
        for (size_t i = 0; i < m_stampBoxes.size(); ++i) {
            page.ops.push_back(Op{Op::Kind::Text, m_stampBoxes[i], m_stampStyles[i], int(page.texts.size())});
            page.texts << m_stamp.lines[i].text;
        }
    }

    void checkProgress()
    {
        if (m_progress && !m_progress(int(m_out->pages.size()))) throw Cancelled{};
    }

    void startPage()
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

    void finishPage()
    {
        if (m_report.pageFooter) {
            m_y = bodyBottom();
            emitBand(*m_report.pageFooter, nullptr, m_report.pageFooter->height);
        }
        drawStamp();
    }

    void newPage()
    {
        finishPage();
        startPage();
    }

    void placeRepeated(const Band &band, const Row *row)
    {
        Grown grown;
        const double h = measure(band, row, grown);
        if (m_y + h > bodyBottom() + 1e-6)
            failAt(band.pos, QStringLiteral("os cabeçalhos repetidos não cabem na página"));
        emitBand(band, row, h, grown);
    }

    void place(const Band &band, const Row *row)
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

    // Starts a new page unless the bands given fit together below what is on this one.
    void keepTogether(double height)
    {
        if (m_pageHasBody && m_y + height > bodyBottom() + 1e-6) newPage();
    }

    double measure(const Band &band, const Row *row, Grown &grown)
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

    // A chart of fixed bars is as tall as its bars, at least its box; one whose
    // rows are not all read yet keeps its box.
    double grownChartHeight(const Item &item) const
    {
        const int instance = m_currentChart[size_t(item.chart)];
        if (instance < 0 || !m_charts[size_t(instance)].complete) return item.box.height();
        const ChartState &chart = m_charts[size_t(instance)];
        const size_t n = item.limit > 0 ? std::min(chart.bars.size(), size_t(item.limit)) : chart.bars.size();
        return std::max(item.box.height(), double(n) * item.bar);
    }

    // Codes side by side across the box, in as many rows as they need.
    static double qrHeight(const Item &item, qsizetype codes)
    {
        const double gap = item.codeSize / 10;
        const qsizetype perRow = std::max<qsizetype>(1, qsizetype((item.box.width() + gap) / (item.codeSize + gap)));
        const qsizetype rows = (codes + perRow - 1) / perRow;
        return std::max(item.box.height(), double(rows) * item.codeSize + double(rows - 1) * gap);
    }

    void qrCodes(Page &page, const Item &item, const QRectF &box, const QString &text)
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

    // The values a text needs from the run; true when some of them must wait for the final pass.
    bool capture(const TextTemplate &t, const Row *row, std::vector<QVariant> &values,
                 std::vector<int> &pending) const
    {
        values.resize(t.contextNodes.size());
        pending.assign(t.contextNodes.size(), kPending);
        bool waits = false;
        for (size_t i = 0; i < t.contextNodes.size(); ++i) {
            values[i] = contextValue(*t.contextNodes[i], row, &pending[i]);
            waits = waits || pending[i] != kPending;
        }
        return waits;
    }

    // With `valueOnly`, a text of one expression gives that value without the words
    // and signs around it ("{x} %" gives x): a CSV cell is a figure a spreadsheet reads.
    QString expand(const TextTemplate &t, const std::vector<QVariant> &values, bool valueOnly = false) const
    {
        const ValuesResolver r(values);
        valueOnly = valueOnly && expressionCount(t) == 1;
        QString s;
        for (const auto &part : t.parts)
            s += part.expr ? toText(evaluate(*part.expr, r, m_locale), m_locale) : valueOnly ? QString() : part.literal;
        return valueOnly ? s.trimmed() : s;
    }

    static int expressionCount(const TextTemplate &t)
    {
        int n = 0;
        for (const auto &part : t.parts)
            n += part.expr != nullptr;
        return n;
    }

    // A text now, or an empty one that the final pass fills.
    QString text(const TextTemplate &t, const Row *row, Deferred::Target target, int a, int b, int c)
    {
        std::vector<QVariant> values;
        std::vector<int> pending;
        if (!capture(t, row, values, pending)) return expand(t, values, target == Deferred::Target::CsvCell);
        m_deferred.push_back(Deferred{target, a, b, c, &t, std::move(values), std::move(pending)});
        return {};
    }

    void emitBand(const Band &band, const Row *row, double height, const Grown &grown = {})
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
                page.ops.push_back(
                    Op{Op::Kind::Line, box, penStyle(item.color, item.penWidth, QColor()), -1});
                break;
            case Item::Kind::Rect:
                page.ops.push_back(
                    Op{Op::Kind::Rect, box, penStyle(item.color, item.penWidth, item.fill), -1});
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

    void image(Page &page, const Item &item, const QRectF &box, const Row *row)
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

    void csvRow(const Band &, const Row *row)
    {
        SectionRun &run = m_sections[size_t(m_section)];
        if (run.csvTable < 0) return;
        CsvTable &table = m_out->csv[size_t(run.csvTable)];
        const int rowIndex = int(table.rows.size());
        table.rows.emplace_back();
        QStringList cells;
        for (size_t c = 0; c < run.csvItems.size(); ++c)
            cells << text(run.csvItems[c]->text, row, Deferred::Target::CsvCell, run.csvTable, rowIndex,
                          int(c));
        table.rows.back() = std::move(cells);
    }

    void summaryCsvRows(const Band &band)
    {
        CsvTable &table = m_out->csv[size_t(m_summaryCsvTable)];
        for (const Item &item : band.items) {
            if (item.kind != Item::Kind::Text || item.column.isEmpty()) continue;
            const int rowIndex = int(table.rows.size());
            table.rows.push_back({item.column, QString()});
            table.rows.back()[1] =
                text(item.text, nullptr, Deferred::Target::CsvCell, m_summaryCsvTable, rowIndex, 1);
        }
    }

    void drawChart(Page &page, const QRectF &box, const Item &item, const ChartState &chart)
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
            m_out->textStyles.push_back(
                TextStyle{font, item.color, Qt::AlignRight | Qt::AlignVCenter, false});
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
            page.texts << toText(std::floor(value) == value && std::abs(value) < 9e15
                                     ? QVariant(qlonglong(value))
                                     : QVariant(value),
                                 m_locale);
        }
        page.ops.push_back(
            Op{Op::Kind::Line,
               QRectF(QPointF(box.x() + labelWidth, box.y()),
                      QPointF(box.x() + labelWidth, box.y() + double(n) * barHeight)),
               axisStyle, -1});
    }

    // ---- the report

    void layout()
    {
        startPage();
        if (m_report.titleBand) place(*m_report.titleBand, nullptr);
        for (int s = 0; s < int(m_report.sections.size()); ++s)
            runSection(s);
        if (m_report.summary) place(*m_report.summary, nullptr);
        finishPage();
    }

    void runSection(int si)
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

    // A group footer's height as it would print with `rows` rows in its group (a
    // chart of fixed bars as tall as its bars); -1: the rows read so far.
    double footerHeight(const Group &g, qint64 rows = -1) const
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

    // The body of an empty page: between the page header and the page footer.
    double bodyRoom() const
    {
        return bodyBottom() - m_report.margins.top() - (m_report.pageHeader ? m_report.pageHeader->height : 0);
    }

    // Prints the footers of the groups from the innermost down to `level`, with
    // the last row of each group.
    void closeGroups(int si, size_t level, const Row &last)
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

    void finalPass()
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

    struct CachedLookup {
        bool found = false;
        std::vector<QVariant> values;
    };

    Report &m_report;
    const Project &m_project;
    const ConnectionRegistry &m_registry;
    const Parameters &m_parameters;
    const Progress &m_progress;
    const PageStamp &m_stamp;
    double m_stampTop = 0;
    std::vector<QRectF> m_stampBoxes;
    std::vector<int> m_stampStyles;
    QLocale m_locale;
    QDateTime m_started;
    QImage m_measure;

    std::unique_ptr<PreparedReport> m_out;
    std::vector<DataConnection *> m_begun;
    std::vector<SectionRun> m_sections;
    int m_summaryCsvTable = -1;
    QHash<const Expr *, QString> m_digests;
    QHash<const Item *, int> m_textStyles;
    QHash<QPair<const Item *, double>, int> m_chartStyles;
    QHash<QString, int> m_fileImages;
    QHash<QString, CachedLookup> m_lookupCache;
    qint64 m_lookupCacheBytes = 0;

    std::vector<AggregateState> m_aggregates;
    std::vector<int> m_currentAggregate;
    std::vector<ChartState> m_charts;
    std::vector<int> m_currentChart;
    std::vector<Deferred> m_deferred;
    std::vector<DeferredChart> m_deferredCharts;

    double m_y = 0;
    bool m_pageHasBody = false;
    int m_section = -1;
    bool m_headPrinted = false;
    const Row *m_currentRow = nullptr;
    std::vector<Row> m_openGroups; // the row each open group began with
};

} // namespace

std::unique_ptr<PreparedReport> layoutReport(Report &report, const Project &project,
                                             const ConnectionRegistry &connections,
                                             const Parameters &parameters, const Progress &progress,
                                             const PageStamp &stamp)
{
    Generator g(report, project, connections, parameters, progress, stamp);
    return g.run();
}

} // namespace ReportEngine
