#include "data/query_p.h"

// A filter narrows the rows a query shows without running its text again; the
// text's form is read by the filter library that the report engine reads it with.

std::vector<Query::Condition> Query::parseFilter(const QString &text)
{
    const std::optional<QList<Filtro::Condicao>> lidas = Filtro::le(text);
    if (!lidas) throw DbError(Filtro::mensagemDeFiltroInvalido(text));
    std::vector<Condition> out;
    for (const Filtro::Condicao &c : *lidas)
        out.push_back(Condition{c});
    return out;
}

void Query::resolveConditions(std::vector<Condition> &conditions, const std::vector<QueryColumn> &columns)
{
    for (Condition &c : conditions) {
        c.column = QueryInternals::indiceDe(columns, c.campo);
        if (c.column < 0) throw DbError(QStringLiteral("Campo não encontrado no filtro: %1").arg(c.campo));
    }
}

bool Query::passes(quint32 id) const
{
    for (const Condition &c : *m_conditions) {
        const int cmp = textOf(cellValue(id, c.column)).compare(c.valor, Qt::CaseSensitive);
        const bool ok = Filtro::atende(c.operador, cmp);
        if (!ok) return false;
    }
    return true;
}

void Query::applyFilter()
{
    const bool wanted = m_conditions && !m_conditions->empty();
    if (!wanted) {
        if (m_filtered) m_view = std::move(m_order);
        m_order = {};
        m_filtered = false;
        return;
    }
    if (!m_filtered) m_order = m_view;
    m_filtered = true;
    // Only the rows whose text equals the first equality's value need a look.
    const std::vector<quint32> *candidates = &m_order;
    static const std::vector<quint32> none;
    constexpr size_t kRowsWorthAnIndex = 64;
    const auto eq = std::find_if(m_conditions->begin(), m_conditions->end(),
                                 [](const Condition &c) { return c.operador == Filtro::Operador::Igual; });
    if (eq != m_conditions->end() && m_order.size() > kRowsWorthAnIndex &&
        (*m_columns)[size_t(eq->column)].def.type != FieldType::Blob) {
        if (!m_filterIndex) m_filterIndex = std::make_unique<FilterIndex>();
        auto column = m_filterIndex->byColumn.find(eq->column);
        if (column == m_filterIndex->byColumn.end()) {
            column = m_filterIndex->byColumn.insert(eq->column, {});
            for (quint32 id : m_order)
                (*column)[textOf(cellValue(id, eq->column))].push_back(id);
        }
        const auto rows = column->constFind(eq->valor);
        candidates = rows == column->cend() ? &none : &*rows;
    }
    std::vector<quint32> view;
    for (quint32 id : *candidates)
        if (passes(id)) view.push_back(id);
    m_view = std::move(view);
}

void Query::setFilter(const QString &text, Events events)
{
    auto conditions = std::make_shared<std::vector<Condition>>(parseFilter(text));
    if (!isActive()) {
        m_conditions = conditions->empty() ? nullptr : conditions;
        m_filter = text;
        return;
    }
    checkBrowseMode();
    resolveConditions(*conditions, *m_columns);
    m_conditions = conditions->empty() ? nullptr : conditions;
    m_filter = text;
    applyFilter();
    // The rows are the same: the filter index stays.
    m_index.reset();
    m_blob = BlobCache();
    m_cur = m_view.empty() ? -1 : 0;
    m_bof = true;
    m_eof = m_view.empty();
    notify([this](QueryListener &l) { l.rowsReset(*this); });
    if (events == Events::Raise && !m_view.empty()) fire(afterScroll);
}
