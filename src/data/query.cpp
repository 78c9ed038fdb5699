#include "data/query.h"

#include "data/diatexto.h"

#include <QFile>
#include <QRegularExpression>
#include <cmath>
#include <optional>
#include <sqlite3.h>

namespace {

// "select * from <table> ..." is the one form whose rows can be edited.
const QRegularExpression &editableForm()
{
    static const QRegularExpression re(QStringLiteral(R"(^\s*select\s+\*\s+from\s+([A-Za-z_][A-Za-z0-9_]*)(\s.*)?$)"),
                                       QRegularExpression::CaseInsensitiveOption |
                                           QRegularExpression::DotMatchesEverythingOption);
    return re;
}

QString noCurrentRow() { return QStringLiteral("Não há registro corrente"); }

} // namespace

// ---- Field

QString Field::name() const { return m_query->m_columns.value(m_column); }
QVariant Field::value() const { return m_query->current(m_column); }
bool Field::isNull() const { return value().isNull(); }

QString Field::asString() const
{
    const QVariant v = value();
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

qint64 Field::asInteger() const
{
    const QVariant v = value();
    if (v.isNull()) return 0;
    switch (v.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
        return v.toLongLong();
    case QMetaType::Double:
        return qint64(std::llround(v.toDouble()));
    default: {
        bool ok = false;
        const qint64 n = v.toString().trimmed().toLongLong(&ok);
        if (!ok) throw DbError(QStringLiteral("\"%1\" não é um valor inteiro válido").arg(v.toString()));
        return n;
    }
    }
}

QDate Field::asDate() const
{
    const QVariant v = value();
    if (v.isNull()) return QDate();
    if (v.typeId() == QMetaType::QDate) return v.toDate();
    const QString t = v.toString();
    QDate d = DiaTexto::doBanco(t);
    if (!d.isValid()) d = DiaTexto::le(t);
    if (!d.isValid()) throw DbError(QStringLiteral("\"%1\" não é uma data válida").arg(t));
    return d;
}

QByteArray Field::asBytes() const
{
    const QVariant v = value();
    return v.typeId() == QMetaType::QByteArray ? v.toByteArray() : v.toString().toUtf8();
}

qint64 Field::blobSize() const { return isNull() ? 0 : asBytes().size(); }

void Field::setValue(const QVariant &v) { m_query->setCurrent(m_column, v); }
void Field::clear() { setValue(QVariant()); }

void Field::loadFromFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw DbError(QStringLiteral("Não foi possível abrir o arquivo %1: %2").arg(path, f.errorString()));
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        throw DbError(QStringLiteral("Não foi possível ler o arquivo %1: %2").arg(path, f.errorString()));
    setValue(bytes);
}

void Field::saveToFile(const QString &path) const
{
    // A plain write: the files this makes are read back at once and need no trip to the disk.
    const QByteArray bytes = asBytes();
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size() || !f.flush())
        throw DbError(QStringLiteral("Não foi possível gravar o arquivo %1: %2").arg(path, f.errorString()));
    f.close();
    if (f.error() != QFileDevice::NoError)
        throw DbError(QStringLiteral("Não foi possível gravar o arquivo %1: %2").arg(path, f.errorString()));
}

// ---- Query

Query::Query(Database &db) : m_db(db) {}

Query::~Query()
{
    // Events are not raised from a destructor: the objects they reach may be gone.
    afterClose = nullptr;
    afterScroll = nullptr;
    if (isActive()) close();
}

QString Query::text() const
{
    QString t;
    for (const QString &line : m_lines) t += line + QStringLiteral("\r\n");
    return t;
}

void Query::setSql(const QStringList &lines)
{
    close();
    m_lines = lines;
    m_paramNames.clear();
    m_engineText = Database::translate(text(), &m_paramNames);
    m_params = QVector<QVariant>(m_paramNames.size());
}

void Query::addSql(const QString &line)
{
    QStringList l = m_lines;
    l << line;
    setSql(l);
}

void Query::setParam(const QString &name, const QVariant &value)
{
    for (int i = 0; i < m_paramNames.size(); ++i) {
        if (m_paramNames[i].compare(name, Qt::CaseInsensitive) == 0) {
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
    for (int i = 0; i < m_params.size(); ++i) st.bind(i + 1, m_params[i]);
}

QVariant Query::fromEngine(int column, const QVariant &v) const
{
    if (m_isDate[size_t(column)] && v.typeId() == QMetaType::QString) {
        const QDate d = DiaTexto::doBanco(v.toString());
        if (d.isValid()) return d;
    }
    return v;
}

void Query::fire(const Event &e)
{
    if (e) e(*this);
}

void Query::open()
{
    if (isActive()) return;
    const QString &sqlText = m_engineText;
    QString table;
    QString runText = sqlText;
    if (const auto m = editableForm().match(sqlText); m.hasMatch()) {
        table = m.captured(1);
        runText = QStringLiteral("select rowid, * from ") + table + m.captured(2);
    }
    std::optional<Statement> st;
    if (!table.isEmpty()) {
        try {
            st.emplace(m_db, runText);
        } catch (const DbError &) { // a table without row ids: read, but not edited
            table.clear();
        }
    }
    if (table.isEmpty()) st.emplace(m_db, sqlText);

    bindAll(*st);
    const int hidden = table.isEmpty() ? 0 : 1;
    std::vector<QVector<QVariant>> rows;
    std::vector<qint64> rowids;
    QStringList columns;
    std::vector<bool> isDate;
    for (int i = hidden; i < st->columnCount(); ++i) {
        columns << st->columnName(i);
        isDate.push_back(st->columnDeclType(i).compare(QLatin1String("DATE"), Qt::CaseInsensitive) == 0);
    }
    m_columns = columns;
    m_isDate = isDate;
    while (st->step()) {
        QVector<QVariant> row(columns.size());
        for (int i = 0; i < columns.size(); ++i) row[i] = fromEngine(i, st->column(i + hidden));
        rows.push_back(std::move(row));
        if (hidden) rowids.push_back(st->column(0).toLongLong());
    }
    m_rows = std::move(rows);
    m_rowids = std::move(rowids);
    m_table = table;
    m_state = State::Browse;
    m_cur = m_rows.empty() ? -1 : 0;
    m_bof = true;
    m_eof = m_rows.empty();
    m_modified = false;
    fire(afterOpen);
    if (!m_rows.empty()) fire(afterScroll);
}

void Query::close()
{
    if (!isActive()) return;
    if (m_state == State::Insert) m_rows.erase(m_rows.begin() + m_cur);
    m_state = State::Inactive;
    m_rows.clear();
    m_rowids.clear();
    m_buffer.clear();
    m_cur = -1;
    m_bof = true;
    m_eof = true;
    m_modified = false;
    fire(afterClose);
}

int Query::execSql()
{
    const qint64 antes = sqlite3_total_changes64(m_db.handle());
    Statement st(m_db, m_engineText);
    bindAll(st);
    while (st.step()) {
    }
    // A vote is stored by the schema's trigger in the place of the statement's own row,
    // which the engine then leaves out of its count: count the rows stored instead.
    const int diretas = m_db.changes();
    return diretas ? diretas : int(sqlite3_total_changes64(m_db.handle()) - antes);
}

int Query::recordCount() const { return int(m_rows.size()) - (m_state == State::Insert ? 1 : 0); }

void Query::requireActive() const
{
    if (!isActive()) throw DbError(QStringLiteral("A operação não é permitida com a consulta fechada"));
}

void Query::checkBrowseMode()
{
    requireActive();
    if (m_state == State::Edit || m_state == State::Insert) {
        if (m_modified)
            post();
        else
            cancel();
    }
}

void Query::first()
{
    checkBrowseMode();
    m_bof = true;
    m_eof = m_rows.empty();
    if (m_rows.empty()) return;
    m_cur = 0;
    fire(afterScroll);
}

void Query::next()
{
    checkBrowseMode();
    m_bof = false;
    if (m_cur + 1 < int(m_rows.size())) {
        ++m_cur;
        m_eof = false;
        fire(afterScroll);
    } else {
        m_eof = true;
    }
}

void Query::prior()
{
    checkBrowseMode();
    m_eof = false;
    if (m_cur > 0) {
        --m_cur;
        m_bof = false;
        fire(afterScroll);
    } else {
        m_bof = true;
    }
}

void Query::last()
{
    checkBrowseMode();
    m_eof = true;
    m_bof = m_rows.empty();
    if (m_rows.empty()) return;
    m_cur = int(m_rows.size()) - 1;
    fire(afterScroll);
}

void Query::moveTo(int row)
{
    checkBrowseMode();
    if (row < 0 || row >= int(m_rows.size())) return;
    m_cur = row;
    m_bof = false;
    m_eof = false;
    fire(afterScroll);
}

bool Query::locate(const QString &column, const QString &value)
{
    checkBrowseMode();
    const int col = fieldIndex(column);
    if (col < 0) throw DbError(QStringLiteral("Campo não encontrado: %1").arg(column));
    for (int r = 0; r < int(m_rows.size()); ++r) {
        const QVariant &v = m_rows[size_t(r)][col];
        const QString t = v.typeId() == QMetaType::QDate ? DiaTexto::escreve(v.toDate()) : v.toString();
        if (!v.isNull() && t.compare(value, Qt::CaseInsensitive) == 0) {
            m_cur = r;
            m_bof = false;
            m_eof = false;
            fire(afterScroll);
            return true;
        }
    }
    return false;
}

int Query::fieldIndex(const QString &name) const
{
    for (int i = 0; i < m_columns.size(); ++i)
        if (m_columns[i].compare(name, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

Field Query::field(const QString &name)
{
    requireActive();
    const int i = fieldIndex(name);
    if (i < 0) throw DbError(QStringLiteral("Campo não encontrado: %1").arg(name));
    return Field(this, i);
}

QVariant Query::value(int row, int column) const
{
    if (row == m_cur && (m_state == State::Edit || m_state == State::Insert)) return m_buffer.value(column);
    if (row < 0 || row >= int(m_rows.size())) return QVariant();
    return m_rows[size_t(row)].value(column);
}

const QVariant &Query::current(int column) const
{
    requireActive();
    if (m_cur < 0 || column < 0 || column >= m_columns.size()) throw DbError(noCurrentRow());
    if (m_state == State::Edit || m_state == State::Insert) return m_buffer[column];
    return m_rows[size_t(m_cur)][column];
}

void Query::setCurrent(int column, const QVariant &value)
{
    if (m_state != State::Edit && m_state != State::Insert)
        throw DbError(QStringLiteral("A consulta não está em modo de edição ou inclusão"));
    if (column < 0 || column >= m_columns.size()) throw DbError(noCurrentRow());
    if (m_buffer[column] == value && m_buffer[column].isNull() == value.isNull()) return;
    m_buffer[column] = value;
    m_modified = true;
}

void Query::updateFlagsAfterChange()
{
    m_bof = m_eof = m_rows.empty();
    if (m_rows.empty()) m_cur = -1;
}

void Query::insert()
{
    checkBrowseMode();
    if (!canModify()) throw DbError(QStringLiteral("Esta consulta não permite alterações"));
    const int at = m_cur < 0 ? 0 : m_cur;
    m_rows.insert(m_rows.begin() + at, QVector<QVariant>(m_columns.size()));
    m_rowids.insert(m_rowids.begin() + at, -1);
    m_cur = at;
    m_buffer = QVector<QVariant>(m_columns.size());
    m_state = State::Insert;
    m_modified = false;
    m_bof = m_eof = false;
    fire(afterInsert);
    fire(afterScroll);
}

void Query::edit()
{
    requireActive();
    if (m_state == State::Edit || m_state == State::Insert) return;
    if (!canModify()) throw DbError(QStringLiteral("Esta consulta não permite alterações"));
    if (m_cur < 0) throw DbError(noCurrentRow());
    m_buffer = m_rows[size_t(m_cur)];
    m_state = State::Edit;
    m_modified = false;
}

void Query::reloadRow(int row, qint64 rowid)
{
    Statement st(m_db, QStringLiteral("select * from ") + m_table + QStringLiteral(" where rowid = ?"));
    st.bind(1, rowid);
    if (!st.step()) throw DbError(QStringLiteral("O registro não foi encontrado após a gravação"));
    QVector<QVariant> values(m_columns.size());
    for (int i = 0; i < m_columns.size() && i < st.columnCount(); ++i) values[i] = fromEngine(i, st.column(i));
    m_rows[size_t(row)] = values;
    m_rowids[size_t(row)] = rowid;
}

void Query::post()
{
    requireActive();
    if (m_state != State::Edit && m_state != State::Insert) return;
    fire(beforePost);
    QStringList cols;
    QVector<QVariant> vals;
    const QVector<QVariant> &orig = m_rows[size_t(m_cur)];
    for (int i = 0; i < m_columns.size(); ++i) {
        const QVariant &v = m_buffer[i];
        const bool changed = m_state == State::Insert ? !v.isNull() : (v != orig[i] || v.isNull() != orig[i].isNull());
        if (changed) {
            cols << m_columns[i];
            vals << v;
        }
    }
    qint64 rowid = m_rowids[size_t(m_cur)];
    if (m_state == State::Insert) {
        QString sql = cols.isEmpty() ? QStringLiteral("insert into %1 default values").arg(m_table)
                                     : QStringLiteral("insert into %1 (%2) values (%3)")
                                           .arg(m_table, cols.join(u','),
                                                QStringList(cols.size(), QStringLiteral("?")).join(u','));
        Statement st(m_db, sql);
        for (int i = 0; i < vals.size(); ++i) st.bind(i + 1, vals[i]);
        st.step();
        rowid = m_db.lastInsertRowid();
    } else if (!cols.isEmpty()) {
        QStringList sets;
        for (const QString &c : cols) sets << c + QStringLiteral(" = ?");
        Statement st(m_db, QStringLiteral("update %1 set %2 where rowid = ?").arg(m_table, sets.join(u',')));
        for (int i = 0; i < vals.size(); ++i) st.bind(i + 1, vals[i]);
        st.bind(int(vals.size()) + 1, rowid);
        st.step();
    }
    reloadRow(m_cur, rowid);
    m_state = State::Browse;
    m_buffer.clear();
    m_modified = false;
    fire(afterPost);
}

void Query::cancel()
{
    requireActive();
    if (m_state == State::Insert) {
        m_rows.erase(m_rows.begin() + m_cur);
        m_rowids.erase(m_rowids.begin() + m_cur);
        if (m_cur >= int(m_rows.size())) m_cur = int(m_rows.size()) - 1;
        m_state = State::Browse;
        m_buffer.clear();
        m_modified = false;
        updateFlagsAfterChange();
        if (!m_rows.empty()) fire(afterScroll);
    } else if (m_state == State::Edit) {
        m_state = State::Browse;
        m_buffer.clear();
        m_modified = false;
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
    if (!canModify()) throw DbError(QStringLiteral("Esta consulta não permite alterações"));
    if (m_cur < 0) throw DbError(noCurrentRow());
    Statement st(m_db, QStringLiteral("delete from %1 where rowid = ?").arg(m_table));
    st.bind(1, m_rowids[size_t(m_cur)]);
    st.step();
    m_rows.erase(m_rows.begin() + m_cur);
    m_rowids.erase(m_rowids.begin() + m_cur);
    if (m_cur >= int(m_rows.size())) m_cur = int(m_rows.size()) - 1;
    updateFlagsAfterChange();
    fire(afterDelete);
    fire(afterScroll);
}
