#include "data/query_p.h"

#include <QRegularExpression>
#include <algorithm>

// How a text's result is read: its columns with their types and origins, and for
// "select * from <table>" the statements that edit its rows.

namespace
{

// "select * from <table> ..." is the one form whose rows can be edited.
const QRegularExpression &editableForm()
{
    static const QRegularExpression re(
        QStringLiteral(R"(^\s*select\s+\*\s+(from\s+([A-Za-z_][A-Za-z0-9_]*)(\s.*)?)$)"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    return re;
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

} // namespace

namespace QueryInternals
{

int indiceDe(const std::vector<QueryColumn> &columns, const QString &name)
{
    for (size_t i = 0; i < columns.size(); ++i)
        if (columns[i].def.name.compare(name, Qt::CaseInsensitive) == 0) return int(i);
    return -1;
}

QString quoted(const QString &identifier)
{
    return u'"' + QString(identifier).replace(u'"', QStringLiteral("\"\"")) + u'"';
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

} // namespace QueryInternals
