#include "data/query_p.h"

// Editing the rows of a "select * from <table>" result: a row is changed in a
// buffer and written to its table by post(), then read back as the table holds it.

using QueryInternals::quoted;

namespace
{

QString noCurrentRow()
{
    return QStringLiteral("Não há registro corrente");
}
QString notEditing()
{
    return QStringLiteral("A consulta não está em modo de edição ou inclusão");
}
QString readOnly()
{
    return QStringLiteral("Esta consulta não permite alterações");
}

} // namespace

void Query::setCurrent(int column, const QVariant &value)
{
    if (m_state != State::Edit && m_state != State::Insert) throw DbError(notEditing());
    requireColumn(column);
    Cell &c = m_buffer[size_t(column)];
    if (!c.deferred && c.value == value && c.value.isNull() == value.isNull()) return;
    c.value = value;
    c.deferred = false;
    m_modified = true;
    notify([&](QueryListener &l) { l.fieldChanged(*this, column); });
}

void Query::removeFromView(int at)
{
    const quint32 id = m_view[size_t(at)];
    m_view.erase(m_view.begin() + at);
    if (m_filtered) std::erase(m_order, id);
}

void Query::insert()
{
    checkBrowseMode();
    if (!canModify()) throw DbError(readOnly());
    const int at = m_cur < 0 ? 0 : m_cur;
    const int n = fieldCount();
    const quint32 id = m_store->emptyRow(n);
    if (m_filtered) {
        const auto before =
            at < rowCount() ? std::find(m_order.begin(), m_order.end(), m_view[size_t(at)]) : m_order.end();
        m_order.insert(before, id);
    }
    m_view.insert(m_view.begin() + at, id);
    m_buffer.assign(size_t(n), Cell());
    m_state = State::Insert;
    m_modified = false;
    invalidateCaches();
    m_cur = at;
    m_bof = m_eof = false;
    notify([&](QueryListener &l) { l.rowInserted(*this, at); });
    notify([this](QueryListener &l) { l.stateChanged(*this); });
    notify([this](QueryListener &l) { l.currentChanged(*this); });
    fire(afterInsert);
    fire(afterScroll);
}

void Query::edit()
{
    requireActive();
    if (m_state == State::Edit || m_state == State::Insert) return;
    if (!canModify()) throw DbError(readOnly());
    if (m_cur < 0) {
        insert();
        return;
    }
    const quint32 id = m_view[size_t(m_cur)];
    std::vector<Cell> buffer{size_t(fieldCount())};
    for (int i = 0; i < fieldCount(); ++i)
        buffer[size_t(i)].value = m_store->read(id, i, &buffer[size_t(i)].deferred);
    m_buffer = std::move(buffer);
    m_state = State::Edit;
    m_modified = false;
    notify([this](QueryListener &l) { l.stateChanged(*this); });
}

void Query::reloadRow(quint32 id)
{
    Statement st(m_db, m_plan->reloadText);
    st.bind(1, m_store->keys[0][id]);
    if (!st.step()) throw DbError(QStringLiteral("O registro não foi encontrado após a gravação"));
    m_store->rewriteRow(id);
    for (const QueryColumn &c : *m_columns)
        m_store->put(st.get(), c, false);
}

void Query::post()
{
    requireActive();
    if (m_state != State::Edit && m_state != State::Insert) return;
    notify([this](QueryListener &l) { l.flushPending(*this); });
    fire(beforePost);
    if (m_state != State::Edit && m_state != State::Insert) return; // the handler dropped the row
    const quint32 id = m_view[size_t(m_cur)];
    QStringList cols;
    QVariantList vals;
    for (int i = 0; i < fieldCount(); ++i) {
        const Cell &c = m_buffer[size_t(i)];
        if (c.deferred) continue; // the stored blob, untouched
        bool changed;
        if (m_state == State::Insert) {
            changed = !c.value.isNull();
        } else {
            const QVariant stored = cellValue(id, i);
            changed = c.value != stored || c.value.isNull() != stored.isNull();
        }
        if (changed) {
            cols << quoted((*m_columns)[size_t(i)].origin);
            vals << c.value;
        }
    }
    qint64 rowid = m_store->keys[0][id];
    if (m_state == State::Insert) {
        const QString sql = cols.isEmpty()
                                ? QStringLiteral("insert into %1 default values").arg(quoted(m_plan->table))
                                : QStringLiteral("insert into %1 (%2) values (%3)")
                                      .arg(quoted(m_plan->table), cols.join(u','),
                                           QStringList(cols.size(), QStringLiteral("?")).join(u','));
        Statement st(m_db, sql);
        for (int i = 0; i < vals.size(); ++i)
            st.bind(i + 1, vals[i]);
        st.step();
        rowid = m_db.lastInsertRowid();
    } else if (!cols.isEmpty()) {
        QStringList sets;
        for (const QString &c : cols)
            sets << c + QStringLiteral(" = ?");
        Statement st(
            m_db,
            QStringLiteral("update %1 set %2 where rowid = ?").arg(quoted(m_plan->table), sets.join(u',')));
        for (int i = 0; i < vals.size(); ++i)
            st.bind(i + 1, vals[i]);
        st.bind(int(vals.size()) + 1, rowid);
        st.step();
    }
    m_store->keys[0][id] = rowid;
    reloadRow(id);
    m_state = State::Browse;
    m_buffer.clear();
    m_modified = false;
    invalidateCaches();
    notify([this](QueryListener &l) { l.fieldChanged(*this, -1); });
    notify([this](QueryListener &l) { l.stateChanged(*this); });
    fire(afterPost);
}

void Query::cancel()
{
    requireActive();
    if (m_state == State::Insert) {
        const int at = m_cur;
        removeFromView(at);
        m_state = State::Browse;
        m_buffer.clear();
        m_modified = false;
        invalidateCaches();
        const bool empty = m_view.empty();
        m_cur = empty ? -1 : std::min(at, rowCount() - 1);
        m_bof = m_eof = empty;
        notify([&](QueryListener &l) { l.rowRemoved(*this, at); });
        notify([this](QueryListener &l) { l.stateChanged(*this); });
        notify([this](QueryListener &l) { l.currentChanged(*this); });
        fire(afterScroll);
    } else if (m_state == State::Edit) {
        m_state = State::Browse;
        m_buffer.clear();
        m_modified = false;
        notify([this](QueryListener &l) { l.fieldChanged(*this, -1); });
        notify([this](QueryListener &l) { l.stateChanged(*this); });
    }
}

void Query::remove()
{
    requireActive();
    if (m_state == State::Insert) {
        cancel();
        return;
    }
    if (m_state == State::Edit) cancel();
    if (!canModify()) throw DbError(readOnly());
    if (m_cur < 0) throw DbError(noCurrentRow());
    const int at = m_cur;
    {
        Statement st(m_db, QStringLiteral("delete from %1 where rowid = ?").arg(quoted(m_plan->table)));
        st.bind(1, m_store->keys[0][m_view[size_t(at)]]);
        st.step();
    }
    removeFromView(at);
    invalidateCaches();
    const bool empty = m_view.empty();
    m_cur = empty ? -1 : std::min(at, rowCount() - 1);
    m_bof = m_eof = empty;
    notify([&](QueryListener &l) { l.rowRemoved(*this, at); });
    notify([this](QueryListener &l) { l.currentChanged(*this); });
    fire(afterDelete);
    fire(afterScroll);
}

bool Query::canModify() const
{
    return isActive() && m_plan && !m_plan->table.isEmpty();
}
