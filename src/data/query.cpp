#include "data/query.h"

#include "data/arquivo.h"
#include "data/diatexto.h"

#include <QFile>
#include <QMultiHash>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <sqlite3.h>

// A result column as the query exposes it, and where its value comes from.
struct QueryColumn {
    FieldDef def;
    int source = -1;     // the statement column
    bool isDate = false; // "yyyy-mm-dd" texts read as dates
    bool marker = false; // the statement gives typeof() of a blob in its place
    bool settled = true; // the type is known (an expression's is learnt from its first row)
    int keySlot = -1;    // >= 0: a blob read when asked for, through that key
    QString table;       // the table the column comes from, when one does
    QString origin;      // its name in that table
};

// What the result of a text looks like, learnt the first time a query runs it and
// kept with the text (SqlText::plan).
struct QueryPlan {
    QString runText;    // what the engine runs: blobs of an editable result as typeof()
    QString reloadText; // editable: one row by its rowid, with the same columns
    QString table;      // editable: the table whose rows are edited, as the text names it
    int statementColumns = 0;
    std::vector<int> keySources; // the statement column of each key; an editable result's rowid is key 0
    std::shared_ptr<std::vector<QueryColumn>> columns;
};

namespace
{

// The first column of that name, in any letter case; -1 when there is none.
int indiceDe(const std::vector<QueryColumn> &columns, const QString &name)
{
    for (size_t i = 0; i < columns.size(); ++i)
        if (columns[i].def.name.compare(name, Qt::CaseInsensitive) == 0) return int(i);
    return -1;
}

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

// "select * from <table> ..." is the one form whose rows can be edited.
const QRegularExpression &editableForm()
{
    static const QRegularExpression re(
        QStringLiteral(R"(^\s*select\s+\*\s+(from\s+([A-Za-z_][A-Za-z0-9_]*)(\s.*)?)$)"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    return re;
}

QString quoted(const QString &identifier)
{
    return u'"' + QString(identifier).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

FieldType typeFromDeclaration(const QString &declared, bool autoIncrement)
{
    const QString t = declared.toUpper();
    if (t.contains(QLatin1String("INT"))) {
        if (autoIncrement) return FieldType::AutoInc;
        return t.startsWith(QLatin1String("SMALL")) || t.startsWith(QLatin1String("TINY"))
                   ? FieldType::SmallInt
                   : FieldType::Integer;
    }
    if (t.contains(QLatin1String("DATE"))) return FieldType::Date;
    if (t.contains(QLatin1String("BLOB"))) return FieldType::Blob;
    if (t.contains(QLatin1String("REAL")) || t.contains(QLatin1String("FLOA")) ||
        t.contains(QLatin1String("DOUB")))
        return FieldType::Float;
    return FieldType::String;
}

// "VARCHAR(100)" or "TEXT(100)": the characters a text field holds.
int sizeFromDeclaration(const QString &declared)
{
    const qsizetype open = declared.indexOf(u'(');
    const qsizetype close = declared.indexOf(u')', open + 1);
    if (open < 0 || close < 0) return 0;
    bool ok = false;
    const int n = declared.mid(open + 1, close - open - 1).trimmed().toInt(&ok);
    return ok ? n : 0;
}

struct TableInfo {
    bool hasRowid = false;
    QString rowidAlias; // the INTEGER PRIMARY KEY column, when the table has one
};

TableInfo tableInfo(Database &db, const QString &table)
{
    TableInfo info;
    {
        Statement st(db, QStringLiteral("select type, wr from pragma_table_list(?)"));
        st.bind(1, table);
        if (!st.step()) return info;
        info.hasRowid = st.column(0).toString() == QLatin1String("table") && st.column(1).toInt() == 0;
    }
    if (!info.hasRowid) return info;
    Statement st(db, QStringLiteral("select name, type from pragma_table_info(?) where pk > 0"));
    st.bind(1, table);
    QStringList keys;
    QString type;
    while (st.step()) {
        keys << st.column(0).toString();
        type = st.column(1).toString();
    }
    if (keys.size() == 1 && type.compare(QLatin1String("INTEGER"), Qt::CaseInsensitive) == 0)
        info.rowidAlias = keys.first();
    return info;
}

std::shared_ptr<QueryPlan> buildPlan(Database &db, const QString &engineText)
{
    auto plan = std::make_shared<QueryPlan>();
    plan->columns = std::make_shared<std::vector<QueryColumn>>();
    auto &cols = *plan->columns;
    Statement probe(db, engineText);
    const int n = probe.columnCount();
    cols.resize(size_t(n));
    for (int i = 0; i < n; ++i) {
        QueryColumn &c = cols[size_t(i)];
        c.source = i;
        c.def.name = probe.columnName(i);
        c.def.displayName = c.def.name;
        c.table = probe.columnTableName(i);
        c.origin = probe.columnOriginName(i);
        const QString declared = probe.columnDeclType(i);
        int autoInc = 0;
        if (!c.table.isEmpty()) {
            const QByteArray t = c.table.toUtf8(), o = c.origin.toUtf8();
            const int rc = sqlite3_table_column_metadata(db.handle(), nullptr, t.constData(), o.constData(),
                                                         nullptr, nullptr, nullptr, nullptr, &autoInc);
            if (rc != SQLITE_OK) db.raise(rc);
        }
        c.def.type = typeFromDeclaration(declared, autoInc != 0);
        c.def.size = c.def.type == FieldType::String ? sizeFromDeclaration(declared) : 0;
        c.isDate = c.def.type == FieldType::Date;
        c.settled = !declared.isEmpty();
    }
    plan->runText = engineText;
    plan->statementColumns = n;

    // An editable result is run with its blobs replaced by their kind and its
    // rowid last (so that "order by 2" still means the second column).
    const auto m = editableForm().match(engineText);
    if (n > 0 && m.hasMatch()) {
        const QString table = m.captured(2);
        bool fromTable = true;
        for (const QueryColumn &c : cols)
            fromTable = fromTable && c.table.compare(table, Qt::CaseInsensitive) == 0;
        if (fromTable && tableInfo(db, table).hasRowid) {
            QStringList list;
            for (const QueryColumn &c : cols)
                list << (c.def.type == FieldType::Blob
                             ? QStringLiteral("typeof(%1) as %1").arg(quoted(c.origin))
                             : quoted(c.origin));
            const QString runText =
                QStringLiteral("select ") + list.join(u',') + QStringLiteral(", rowid ") + m.captured(1);
            bool ok = false;
            try {
                Statement check(db, runText);
                ok = check.columnCount() == n + 1;
            } catch (const DbError &) { // a text the engine reads otherwise stays a plain result
            }
            if (ok) {
                plan->runText = runText;
                plan->reloadText = QStringLiteral("select ") + list.join(u',') +
                                   QStringLiteral(", rowid from ") + quoted(table) +
                                   QStringLiteral(" where rowid = ?");
                plan->table = table;
                plan->statementColumns = n + 1;
                plan->keySources = {n};
                for (QueryColumn &c : cols) {
                    if (c.def.type != FieldType::Blob) continue;
                    c.marker = true;
                    c.keySlot = 0;
                }
                return plan;
            }
        }
    }

    // Another result finds its blobs again through the key of their table, when it
    // selects that key; without one it keeps them.
    for (QueryColumn &c : cols) {
        if (c.def.type != FieldType::Blob || c.table.isEmpty()) continue;
        const QString alias = tableInfo(db, c.table).rowidAlias;
        if (alias.isEmpty()) continue;
        for (int j = 0; j < n; ++j) {
            const QueryColumn &k = cols[size_t(j)];
            if (k.table.compare(c.table, Qt::CaseInsensitive) != 0 ||
                k.origin.compare(alias, Qt::CaseInsensitive) != 0)
                continue;
            const auto slot = std::find(plan->keySources.begin(), plan->keySources.end(), j);
            c.keySlot = int(slot - plan->keySources.begin());
            if (slot == plan->keySources.end()) plan->keySources.push_back(j);
            break;
        }
    }
    return plan;
}

// 'yyyy-mm-dd', as dates are stored: its Julian day, or 0 for any other text.
qint64 isoDay(const char *p, int n)
{
    if (n != 10 || p[4] != '-' || p[7] != '-') return 0;
    int v[3] = {0, 0, 0};
    const int starts[3] = {0, 5, 8}, lengths[3] = {4, 2, 2};
    for (int k = 0; k < 3; ++k)
        for (int i = starts[k]; i < starts[k] + lengths[k]; ++i) {
            if (p[i] < '0' || p[i] > '9') return 0;
            v[k] = v[k] * 10 + (p[i] - '0');
        }
    const QDate d(v[0], v[1], v[2]);
    return d.isValid() ? d.toJulianDay() : 0;
}

[[noreturn]] void outOfMemory()
{
    throw DbError(QStringLiteral("Memória insuficiente para ler o resultado da consulta"), SQLITE_NOMEM);
}

} // namespace

// ---- The rows of a result, encoded one after the other: a row costs a few bytes
// more than its values. A row is known by an id that stays while rows around it
// come and go; a saved row is written again at the end.

class Query::Store
{
  public:
    enum Tag : char { Null, Int8, Int16, Int32, Int64, Double, Text, Blob, Deferred, Date };

    explicit Store(size_t keySlots) : keys(keySlots) { bytes.reserve(256); }

    quint32 beginRow()
    {
        offsets.push_back(bytes.size());
        for (auto &k : keys)
            k.push_back(0);
        return quint32(offsets.size() - 1);
    }
    void rewriteRow(quint32 id) { offsets[id] = bytes.size(); }
    quint32 emptyRow(int columns)
    {
        const quint32 id = beginRow();
        bytes.insert(bytes.end(), size_t(columns), char(Null));
        return id;
    }

    void put(sqlite3_stmt *s, const QueryColumn &c, bool keepBlob)
    {
        const int src = c.source;
        switch (sqlite3_column_type(s, src)) {
        case SQLITE_NULL:
            bytes.push_back(Null);
            return;
        case SQLITE_INTEGER:
            putInt(sqlite3_column_int64(s, src));
            return;
        case SQLITE_FLOAT: {
            const double d = sqlite3_column_double(s, src);
            bytes.push_back(Double);
            append(&d, sizeof d);
            return;
        }
        case SQLITE_TEXT: {
            const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(s, src));
            if (!p) outOfMemory();
            const int n = sqlite3_column_bytes(s, src);
            if (c.marker) {
                bytes.push_back(n == 4 && std::memcmp(p, "null", 4) == 0 ? Null : Deferred);
                return;
            }
            if (c.isDate) {
                if (const qint64 day = isoDay(p, n)) {
                    const qint32 d = qint32(day);
                    bytes.push_back(Date);
                    append(&d, sizeof d);
                    return;
                }
            }
            bytes.push_back(Text);
            putLength(quint64(n));
            append(p, size_t(n));
            return;
        }
        default: { // SQLITE_BLOB
            if (c.keySlot >= 0 && !keepBlob) {
                bytes.push_back(Deferred);
                return;
            }
            const int n = sqlite3_column_bytes(s, src);
            const void *p = sqlite3_column_blob(s, src);
            if (!p && n > 0) outOfMemory();
            bytes.push_back(Blob);
            putLength(quint64(n));
            append(p, size_t(n));
        }
        }
    }

    QVariant read(quint32 id, int column, bool *deferred) const
    {
        const char *p = bytes.data() + offsets[id];
        for (int i = 0; i < column; ++i)
            p = skip(p);
        *deferred = false;
        const char tag = *p++;
        switch (tag) {
        case Null:
            return QVariant();
        case Int8:
            return QVariant(qint64(qint8(*p)));
        case Int16: {
            qint16 v;
            std::memcpy(&v, p, sizeof v);
            return QVariant(qint64(v));
        }
        case Int32: {
            qint32 v;
            std::memcpy(&v, p, sizeof v);
            return QVariant(qint64(v));
        }
        case Int64: {
            qint64 v;
            std::memcpy(&v, p, sizeof v);
            return QVariant(v);
        }
        case Double: {
            double v;
            std::memcpy(&v, p, sizeof v);
            return QVariant(v);
        }
        case Date: {
            qint32 v;
            std::memcpy(&v, p, sizeof v);
            return QVariant(QDate::fromJulianDay(v));
        }
        case Text: {
            const quint64 n = readLength(p);
            return QVariant(QString::fromUtf8(p, qsizetype(n)));
        }
        case Blob: {
            const quint64 n = readLength(p);
            return QVariant(QByteArray(p, qsizetype(n)));
        }
        default: // Deferred
            *deferred = true;
            return QVariant();
        }
    }

    std::vector<char> bytes;
    std::vector<size_t> offsets;           // by row id
    std::vector<std::vector<qint64>> keys; // by key slot, then row id

  private:
    void append(const void *p, size_t n)
    {
        const char *c = static_cast<const char *>(p);
        bytes.insert(bytes.end(), c, c + n);
    }
    void putInt(qint64 v)
    {
        if (v >= -128 && v <= 127) {
            bytes.push_back(Int8);
            bytes.push_back(char(qint8(v)));
        } else if (v >= -32768 && v <= 32767) {
            const qint16 x = qint16(v);
            bytes.push_back(Int16);
            append(&x, sizeof x);
        } else if (v >= INT32_MIN && v <= INT32_MAX) {
            const qint32 x = qint32(v);
            bytes.push_back(Int32);
            append(&x, sizeof x);
        } else {
            bytes.push_back(Int64);
            append(&v, sizeof v);
        }
    }
    void putLength(quint64 n)
    {
        do {
            const char b = char(n & 0x7f);
            n >>= 7;
            bytes.push_back(n ? char(b | 0x80) : b);
        } while (n);
    }
    static quint64 readLength(const char *&p)
    {
        quint64 n = 0;
        for (int shift = 0;; shift += 7) {
            const auto b = quint8(*p++);
            n |= quint64(b & 0x7f) << shift;
            if (!(b & 0x80)) return n;
        }
    }
    static const char *skip(const char *p)
    {
        switch (*p++) {
        case Int8:
            return p + 1;
        case Int16:
            return p + 2;
        case Int32:
        case Date:
            return p + 4;
        case Int64:
        case Double:
            return p + 8;
        case Text:
        case Blob: {
            const quint64 n = readLength(p);
            return p + n;
        }
        default: // Null, Deferred
            return p;
        }
    }
};

struct Query::Condition {
    enum Op { Eq, Ne, Lt, Le, Gt, Ge };
    QString field;
    Op op = Eq;
    QString value;
    int column = -1;
};

// Rows of one column by the case-folded text, for locate() over long results.
struct Query::Index {
    int column = -1;
    QMultiHash<size_t, int> rows;
};

struct Query::FilterIndex {
    QHash<int, QHash<QString, std::vector<quint32>>> byColumn; // ids in the result's order
};

std::vector<Query::Condition> Query::parseFilter(const QString &t)
{
    std::vector<Query::Condition> out;
    const qsizetype n = t.size();
    qsizetype i = 0;
    const auto blanks = [&] {
        while (i < n && t[i].isSpace())
            ++i;
    };
    const auto fail = [&]() { throw DbError(QStringLiteral("Filtro inválido: %1").arg(t)); };
    blanks();
    if (i == n) return out;
    for (;;) {
        Query::Condition c;
        blanks();
        if (i >= n || t[i] != u'[') fail();
        const qsizetype close = t.indexOf(u']', i + 1);
        if (close < 0) fail();
        c.field = t.mid(i + 1, close - i - 1).trimmed();
        if (c.field.isEmpty()) fail();
        i = close + 1;
        blanks();
        static const std::pair<const char16_t *, Query::Condition::Op> ops[] = {
            {u"<>", Query::Condition::Ne}, {u"<=", Query::Condition::Le}, {u">=", Query::Condition::Ge},
            {u"=", Query::Condition::Eq},  {u"<", Query::Condition::Lt},  {u">", Query::Condition::Gt}};
        bool found = false;
        for (const auto &[text, op] : ops) {
            const QString o = QString::fromUtf16(text);
            if (t.mid(i, o.size()) == o) {
                c.op = op;
                i += o.size();
                found = true;
                break;
            }
        }
        if (!found) fail();
        blanks();
        if (i >= n || t[i] != u'\'') fail();
        ++i;
        for (;;) {
            if (i >= n) fail();
            if (t[i] == u'\'') {
                if (i + 1 < n && t[i + 1] == u'\'') {
                    c.value += u'\'';
                    i += 2;
                    continue;
                }
                ++i;
                break;
            }
            c.value += t[i++];
        }
        out.push_back(c);
        blanks();
        if (i == n) break;
        if (i + 3 >= n || t.mid(i, 3).compare(QLatin1String("and"), Qt::CaseInsensitive) != 0 ||
            !t[i + 3].isSpace())
            fail();
        i += 3;
    }
    return out;
}

void Query::resolveConditions(std::vector<Condition> &conditions, const std::vector<QueryColumn> &columns)
{
    for (Condition &c : conditions) {
        c.column = indiceDe(columns, c.field);
        if (c.column < 0) throw DbError(QStringLiteral("Campo não encontrado no filtro: %1").arg(c.field));
    }
}

namespace
{

// Keeps the count of notifications under way right when a listener throws.
struct Depth {
    int &n;
    explicit Depth(int &d) : n(d) { ++n; }
    ~Depth() { --n; }
};

} // namespace

// ---- Field

QString Field::name() const
{
    return m_query->fieldName(m_column);
}

FieldDef Field::def() const
{
    m_query->requireColumn(m_column);
    return (*m_query->m_columns)[size_t(m_column)].def;
}

QVariant Field::value() const
{
    return m_query->current(m_column);
}
bool Field::isNull() const
{
    return value().isNull();
}
QString Field::asString() const
{
    return m_query->textOf(value());
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

qint64 Field::blobSize() const
{
    return isNull() ? 0 : asBytes().size();
}

void Field::setValue(const QVariant &v)
{
    m_query->setCurrent(m_column, v);
}
void Field::clear()
{
    setValue(QVariant());
}

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
    // A new file renamed over the name, never a write through whatever is there (a link).
    Arquivo::substitui(path, asBytes());
}

// ---- Query

Query::Query(Database &db) : m_db(db) {}

Query::~Query()
{
    // Neither events nor the channel speak from a destructor: what they reach may be gone.
    m_destroying = true;
    const auto listeners = m_listeners;
    for (QueryListener *l : listeners)
        if (l) l->queryDestroyed(*this);
}

template <class F> void Query::notify(F &&f)
{
    if (m_disabled > 0 || m_destroying) return;
    {
        Depth depth(m_notifying);
        // A listener may add or remove listeners while it is told.
        for (size_t i = 0; i < m_listeners.size(); ++i)
            if (QueryListener *l = m_listeners[i]) f(*l);
    }
    if (m_notifying == 0) std::erase(m_listeners, nullptr);
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

bool Query::canModify() const
{
    return isActive() && m_plan && !m_plan->table.isEmpty();
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

bool Query::passes(quint32 id) const
{
    for (const Condition &c : *m_conditions) {
        const int cmp = textOf(cellValue(id, c.column)).compare(c.value, Qt::CaseSensitive);
        const bool ok = c.op == Condition::Eq   ? cmp == 0
                        : c.op == Condition::Ne ? cmp != 0
                        : c.op == Condition::Lt ? cmp < 0
                        : c.op == Condition::Le ? cmp <= 0
                        : c.op == Condition::Gt ? cmp > 0
                                                : cmp >= 0;
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
                                 [](const Condition &c) { return c.op == Condition::Eq; });
    if (eq != m_conditions->end() && m_order.size() > kRowsWorthAnIndex &&
        (*m_columns)[size_t(eq->column)].def.type != FieldType::Blob) {
        if (!m_filterIndex) m_filterIndex = std::make_unique<FilterIndex>();
        auto column = m_filterIndex->byColumn.find(eq->column);
        if (column == m_filterIndex->byColumn.end()) {
            column = m_filterIndex->byColumn.insert(eq->column, {});
            for (quint32 id : m_order)
                (*column)[textOf(cellValue(id, eq->column))].push_back(id);
        }
        const auto rows = column->constFind(eq->value);
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
