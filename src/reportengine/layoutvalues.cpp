// The values a report prints: context values, aggregate and chart scopes, the rows
// read and the lookups with their bounded cache, and the texts they fill.

#include "reportengine/layout_p.h"

namespace ReportEngine::internal
{

namespace
{

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

} // namespace

QVariant Generator::contextValue(const Expr &node, const Row *row, int *pending) const
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

QVariant Generator::aggregateValue(int definition, int instance) const
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

void Generator::openAggregate(int definition)
{
    m_aggregates.emplace_back();
    m_currentAggregate[size_t(definition)] = int(m_aggregates.size() - 1);
}

void Generator::openChart(int definition)
{
    m_charts.emplace_back();
    m_currentChart[size_t(definition)] = int(m_charts.size() - 1);
}

void Generator::completeScopes(int section, int fromLevel)
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

void Generator::openScopes(int section, int fromLevel)
{
    const SectionRun &run = m_sections[size_t(section)];
    for (int a : run.aggregates)
        if (m_report.aggregates[size_t(a)].level >= fromLevel) openAggregate(a);
    for (int c : run.charts)
        if (m_report.charts[size_t(c)].level >= fromLevel) openChart(c);
}

void Generator::accumulate(int section, const Row &row)
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

void Generator::readRow(int section, Row &row)
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

void Generator::lookUp(int section, size_t l, Row &row)
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

bool Generator::capture(const TextTemplate &t, const Row *row, std::vector<QVariant> &values,
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

QString Generator::expand(const TextTemplate &t, const std::vector<QVariant> &values, bool valueOnly) const
{
    const ValuesResolver r(values);
    valueOnly = valueOnly && expressionCount(t) == 1;
    QString s;
    for (const auto &part : t.parts)
        s += part.expr   ? toText(evaluate(*part.expr, r, m_locale), m_locale)
             : valueOnly ? QString()
                         : part.literal;
    return valueOnly ? s.trimmed() : s;
}

int Generator::expressionCount(const TextTemplate &t)
{
    int n = 0;
    for (const auto &part : t.parts)
        n += part.expr != nullptr;
    return n;
}

QString Generator::text(const TextTemplate &t, const Row *row, Deferred::Target target, int a, int b, int c)
{
    std::vector<QVariant> values;
    std::vector<int> pending;
    if (!capture(t, row, values, pending)) return expand(t, values, target == Deferred::Target::CsvCell);
    m_deferred.push_back(Deferred{target, a, b, c, &t, std::move(values), std::move(pending)});
    return {};
}

} // namespace ReportEngine::internal
