#include "data/query_p.h"

#include "data/diatexto.h"

#include <optional>

// The query's life and its cursor: the text and its parameters, opening into the
// store, the moves, reading values, the change channel and a reader's visit.

using QueryInternals::buildPlan;
using QueryInternals::indiceDe;
using QueryInternals::quoted;

Query::Query(Database &db) : m_db(db) {}

Query::~Query()
{
    // Neither events nor the channel speak from a destructor: what they reach may be gone.
    m_destroying = true;
    const auto listeners = m_listeners;
    for (QueryListener *l : listeners)
        if (l) l->queryDestroyed(*this);
}

void Query::addListener(QueryListener *listener)
{
    if (listener && std::find(m_listeners.begin(), m_listeners.end(), listener) == m_listeners.end())
        m_listeners.push_back(listener);
}

void Query::removeListener(QueryListener *listener)
{
    const auto it = std::find(m_listeners.begin(), m_listeners.end(), listener);
    if (it == m_listeners.end()) return;
    if (m_notifying)
        *it = nullptr;
    else
        m_listeners.erase(it);
}

void Query::disableControls()
{
    ++m_disabled;
}

void Query::enableControls()
{
    if (m_disabled == 0 || --m_disabled > 0) return;
    notify([this](QueryListener &l) { l.stateChanged(*this); });
    notify([this](QueryListener &l) { l.rowsReset(*this); });
}

QString Query::text() const
{
    QString t;
    for (const QString &line : m_lines)
        t += line + QStringLiteral("\r\n");
    return t;
}

void Query::setSql(const QStringList &lines)
{
    close();
    // The fields of another text are not this one's: they are known again at the next open.
    m_columns.reset();
    m_plan.reset();
    m_lines = lines;
    m_text = m_db.sqlText(m_lines);
    m_params = QVector<QVariant>(m_text->parameterNames.size());
}

void Query::addSql(const QString &line)
{
    QStringList l = m_lines;
    l << line;
    setSql(l);
}

QStringList Query::parameterNames() const
{
    return m_text ? m_text->parameterNames : QStringList();
}

void Query::setParam(const QString &name, const QVariant &value)
{
    const QStringList &names = m_text ? m_text->parameterNames : QStringList();
    for (int i = 0; i < names.size(); ++i) {
        if (names[i].compare(name, Qt::CaseInsensitive) == 0) {
            m_params[i] = value;
            return;
        }
    }
    throw DbError(QStringLiteral("Parâmetro não encontrado: %1").arg(name));
}

void Query::setParam(int index, const QVariant &value)
{
    if (index < 0 || index >= m_params.size())
        throw DbError(QStringLiteral("Parâmetro não encontrado: %1").arg(index));
    m_params[index] = value;
}

void Query::bindAll(Statement &st) const
{
    if (st.parameterCount() != m_params.size())
        throw DbError(QStringLiteral("Número de parâmetros incorreto"));
    for (int i = 0; i < m_params.size(); ++i)
        st.bind(i + 1, m_params[i]);
}

void Query::fire(const Event &e)
{
    if (e) e(*this);
}

void Query::invalidateCaches()
{
    m_filterIndex.reset();
    m_index.reset();
    m_blob = BlobCache();
}

void Query::setCursor(int row, bool bof, bool eof)
{
    m_blob = BlobCache(); // a move reads the blob afresh, as it is in its table now
    const bool changed = row != m_cur || bof != m_bof || eof != m_eof;
    m_cur = row;
    m_bof = bof;
    m_eof = eof;
    if (changed) notify([this](QueryListener &l) { l.currentChanged(*this); });
}

void Query::open()
{
    if (isActive()) return;
    if (!m_text) m_text = m_db.sqlText(m_lines);
    std::shared_ptr<QueryPlan> plan = m_text->plan;
    if (!plan) plan = m_text->plan = buildPlan(m_db, m_text->engine);
    std::optional<Statement> st(std::in_place, m_db, plan->runText);
    if (st->columnCount() != plan->statementColumns) { // the tables changed since the text last ran
        st.reset();
        plan = m_text->plan = buildPlan(m_db, m_text->engine);
        st.emplace(m_db, plan->runText);
    }
    bindAll(*st);

    std::shared_ptr<const std::vector<QueryColumn>> columns = plan->columns;
    if (!m_fixed.isEmpty()) {
        auto fixed = std::make_shared<std::vector<QueryColumn>>();
        for (const FieldDef &def : m_fixed) {
            const int i = indiceDe(*plan->columns, def.name);
            if (i < 0)
                throw DbError(QStringLiteral("O resultado da consulta não tem o campo %1").arg(def.name));
            QueryColumn c = (*plan->columns)[size_t(i)];
            c.def = def;
            if (c.def.displayName.isEmpty()) c.def.displayName = c.def.name;
            c.isDate = c.isDate || def.type == FieldType::Date;
            c.settled = true;
            fixed->push_back(c);
        }
        columns = fixed;
    }
    auto conditions = m_conditions;
    if (conditions) resolveConditions(*conditions, *columns);

    auto store = std::make_unique<Store>(plan->keySources.size());
    std::vector<quint32> rows;
    sqlite3_stmt *s = st->get();
    const size_t keyCount = plan->keySources.size();
    // A result that selects its blobs has read them already: the first few rows keep
    // theirs (a lookup of one candidate shows its photo without reading it twice),
    // later rows find them again through their key. A blob whose key is null cannot
    // be found again: it is kept.
    constexpr size_t kRowsKeepingBlobs = 16;
    const auto keep = [&](const QueryColumn &c) {
        return c.keySlot >= 0 && (rows.size() < kRowsKeepingBlobs ||
                                  sqlite3_column_type(s, plan->keySources[size_t(c.keySlot)]) == SQLITE_NULL);
    };
    while (st->step()) {
        const quint32 id = store->beginRow();
        for (size_t k = 0; k < keyCount; ++k)
            store->keys[k][id] = sqlite3_column_int64(s, plan->keySources[k]);
        for (const QueryColumn &c : *columns)
            store->put(s, c, keep(c));
        if (rows.empty())
            for (QueryColumn &c : *plan->columns) { // an expression's type, from the first row it gives
                if (c.settled) continue;
                const int t = sqlite3_column_type(s, c.source);
                c.def.type = t == SQLITE_INTEGER ? FieldType::Integer
                             : t == SQLITE_FLOAT ? FieldType::Float
                             : t == SQLITE_BLOB  ? FieldType::Blob
                                                 : FieldType::String;
                c.settled = t != SQLITE_NULL;
            }
        rows.push_back(id);
    }
    st.reset();

    m_plan = plan;
    m_columns = columns;
    m_store = std::move(store);
    m_conditions = conditions;
    m_filtered = false;
    m_view = std::move(rows);
    m_buffer.clear();
    m_modified = false;
    invalidateCaches(); // before the filter, which would read the last result's index
    applyFilter();
    m_state = State::Browse;
    m_cur = m_view.empty() ? -1 : 0;
    m_bof = true;
    m_eof = m_view.empty();
    notify([this](QueryListener &l) { l.stateChanged(*this); });
    notify([this](QueryListener &l) { l.rowsReset(*this); });
    fire(afterOpen);
    if (!m_view.empty()) fire(afterScroll);
}

void Query::close()
{
    if (!isActive()) return;
    m_state = State::Inactive;
    m_store.reset();
    m_view = {};
    m_order = {};
    m_filtered = false;
    m_buffer.clear();
    m_cur = -1;
    m_bof = true;
    m_eof = true;
    m_modified = false;
    invalidateCaches();
    notify([this](QueryListener &l) { l.stateChanged(*this); });
    notify([this](QueryListener &l) { l.rowsReset(*this); });
    fire(afterClose);
}

int Query::execSql()
{
    if (!m_text) m_text = m_db.sqlText(m_lines);
    const qint64 antes = sqlite3_total_changes64(m_db.handle());
    Statement st(m_db, m_text->engine);
    bindAll(st);
    while (st.step()) {
    }
    m_db.tablesMayHaveChanged(m_text->engine);
    // A vote is stored by the schema's trigger in the place of the statement's own row,
    // which the engine then leaves out of its count: count the rows stored instead.
    const int diretas = m_db.changes();
    return diretas ? diretas : int(sqlite3_total_changes64(m_db.handle()) - antes);
}

int Query::recordCount() const
{
    return rowCount() - (m_state == State::Insert ? 1 : 0);
}

void Query::requireActive() const
{
    if (!isActive()) throw DbError(QStringLiteral("A operação não é permitida com a consulta fechada"));
}

void Query::requireColumn(int column) const
{
    if (!m_columns || column < 0 || column >= int(m_columns->size()))
        throw DbError(QStringLiteral("Campo não encontrado: %1").arg(column));
}

void Query::checkBrowseMode()
{
    requireActive();
    if (m_state == State::Edit || m_state == State::Insert) {
        notify([this](QueryListener &l) { l.flushPending(*this); });
        if (m_modified)
            post();
        else
            cancel();
    }
}

void Query::first()
{
    checkBrowseMode();
    const bool empty = m_view.empty();
    setCursor(empty ? -1 : 0, true, empty);
    if (!empty) fire(afterScroll);
}

void Query::next()
{
    checkBrowseMode();
    if (m_cur + 1 < rowCount()) {
        setCursor(m_cur + 1, false, false);
        fire(afterScroll);
    } else {
        setCursor(m_cur, m_view.empty(), true);
    }
}

void Query::prior()
{
    checkBrowseMode();
    if (m_cur > 0) {
        setCursor(m_cur - 1, false, false);
        fire(afterScroll);
    } else {
        setCursor(m_cur, true, m_view.empty());
    }
}

void Query::last()
{
    checkBrowseMode();
    const bool empty = m_view.empty();
    setCursor(empty ? -1 : rowCount() - 1, empty, true);
    if (!empty) fire(afterScroll);
}

void Query::moveTo(int row)
{
    requireActive();
    if (row < 0 || row >= rowCount() || row == m_cur) return;
    // Saving or dropping the row being edited may shift the rows: aim at the row itself.
    const quint32 target = m_view[size_t(row)];
    checkBrowseMode();
    const auto it = std::find(m_view.begin(), m_view.end(), target);
    if (it == m_view.end()) return;
    const int at = int(it - m_view.begin());
    if (at == m_cur) return;
    setCursor(at, false, false);
    fire(afterScroll);
}

QString Query::textOf(const QVariant &v) const
{
    if (v.isNull()) return QString();
    switch (v.typeId()) {
    case QMetaType::QDate:
        return DiaTexto::escreve(v.toDate());
    case QMetaType::Double:
        return QString::number(v.toDouble(), 'g', 15);
    case QMetaType::QByteArray:
        return QString::fromUtf8(v.toByteArray());
    default:
        return v.toString();
    }
}

int Query::find(const QString &column, const QString &value) const
{
    requireActive();
    const int col = fieldIndex(column);
    if (col < 0) throw DbError(QStringLiteral("Campo não encontrado: %1").arg(column));
    const int n = rowCount();
    const bool editing = m_state == State::Edit || m_state == State::Insert;
    if (n <= 64 || editing) {
        for (int r = 0; r < n; ++r) {
            const QVariant v = this->value(r, col);
            if (!v.isNull() && textOf(v).compare(value, Qt::CaseInsensitive) == 0) return r;
        }
        return -1;
    }
    if (!m_index || m_index->column != col) {
        auto index = std::make_unique<Index>();
        index->column = col;
        index->rows.reserve(n);
        for (int r = 0; r < n; ++r) {
            const QVariant v = this->value(r, col);
            if (!v.isNull()) index->rows.insert(qHash(textOf(v).toCaseFolded()), r);
        }
        m_index = std::move(index);
    }
    int best = -1;
    const auto range = m_index->rows.equal_range(qHash(value.toCaseFolded()));
    for (auto it = range.first; it != range.second; ++it)
        if ((best < 0 || *it < best) &&
            textOf(this->value(*it, col)).compare(value, Qt::CaseInsensitive) == 0)
            best = *it;
    return best;
}

bool Query::locate(const QString &column, const QString &value)
{
    checkBrowseMode();
    const int r = find(column, value);
    if (r < 0) return false;
    setCursor(r, false, false);
    fire(afterScroll);
    return true;
}

Query::Position Query::position() const
{
    return Position{m_cur >= 0 ? qint64(m_view[size_t(m_cur)]) : -1, m_bof, m_eof};
}

void Query::restorePosition(const Position &p)
{
    requireActive();
    if (m_state != State::Browse)
        throw DbError(QStringLiteral("Não é possível voltar a um registro enquanto outro é editado"));
    if (m_view.empty()) {
        setCursor(-1, true, true);
        return;
    }
    const auto it = p.row < 0 ? m_view.end() : std::find(m_view.begin(), m_view.end(), quint32(p.row));
    if (it == m_view.end())
        setCursor(0, true, false);
    else
        setCursor(int(it - m_view.begin()), p.bof, p.eof);
}

int Query::fieldCount() const
{
    return m_columns ? int(m_columns->size()) : 0;
}

QString Query::fieldName(int column) const
{
    if (!m_columns || column < 0 || column >= int(m_columns->size())) return QString();
    return (*m_columns)[size_t(column)].def.name;
}

int Query::fieldIndex(const QString &name) const
{
    return m_columns ? indiceDe(*m_columns, name) : -1;
}

Field Query::field(const QString &name)
{
    requireActive();
    const int i = fieldIndex(name);
    if (i < 0) throw DbError(QStringLiteral("Campo não encontrado: %1").arg(name));
    return Field(this, i);
}

QList<FieldDef> Query::fieldDefs() const
{
    if (!m_columns) return m_fixed;
    QList<FieldDef> out;
    for (const QueryColumn &c : *m_columns)
        out << c.def;
    return out;
}

void Query::setFixedFields(const QList<FieldDef> &fields)
{
    close();
    m_fixed = fields;
    m_columns.reset();
}

QVariant Query::blobOf(quint32 id, int column) const
{
    if (m_blob.column == column && m_blob.id == id) return m_blob.value;
    const QueryColumn &c = (*m_columns)[size_t(column)];
    Statement st(m_db,
                 QStringLiteral("select %1 from %2 where rowid = ?").arg(quoted(c.origin), quoted(c.table)));
    st.bind(1, m_store->keys[size_t(c.keySlot)][id]);
    // A row deleted since the query opened has nothing left to show.
    QVariant v = st.step() ? st.column(0) : QVariant();
    m_blob = BlobCache{id, column, v};
    return v;
}

QVariant Query::cellValue(quint32 id, int column) const
{
    bool deferred = false;
    QVariant v = m_store->read(id, column, &deferred);
    return deferred ? blobOf(id, column) : v;
}

QVariant Query::value(int row, int column) const
{
    if (row < 0 || row >= rowCount() || !m_columns || column < 0 || column >= int(m_columns->size()))
        return QVariant();
    const quint32 id = m_view[size_t(row)];
    if (row == m_cur && (m_state == State::Edit || m_state == State::Insert)) {
        const Cell &c = m_buffer[size_t(column)];
        return c.deferred ? blobOf(id, column) : c.value;
    }
    return cellValue(id, column);
}

QString Query::displayText(int row, int column) const
{
    return textOf(value(row, column));
}

QVariant Query::current(int column) const
{
    requireActive();
    requireColumn(column);
    return m_cur < 0 ? QVariant() : value(m_cur, column);
}

Query::ReaderState Query::beginReading()
{
    ReaderState s{isActive(), m_filter, position()};
    disableControls();
    try {
        if (!s.wasOpen) {
            open();
            first();
        }
    } catch (...) {
        enableControls();
        throw;
    }
    return s;
}

void Query::endReading(const ReaderState &s)
{
    struct Enable {
        Query *q;
        ~Enable() { q->enableControls(); }
    } enable{this};
    setFilter(s.filter, Events::Skip);
    if (!s.wasOpen)
        close();
    else
        restorePosition(s.position);
}
