#include "reportengine/dataconnection.h"

#include "reportengine/reporterror.h"

#include "filtro/filtro.h"

#include <QCryptographicHash>
#include <QDate>
#include <QDateTime>
#include <algorithm>

namespace ReportEngine
{

QString filterText(const QList<Condition> &conditions)
{
    QStringList parts;
    for (const Condition &c : conditions) {
        QString value = c.value;
        value.replace(u'\'', QStringLiteral("''"));
        parts << QStringLiteral("[%1] %2 '%3'").arg(c.field, c.op, value);
    }
    return parts.join(QStringLiteral(" and "));
}

QList<Condition> parseFilter(const QString &filter)
{
    const std::optional<QList<Filtro::Condicao>> lidas = Filtro::le(filter);
    if (!lidas) throw ReportError(Filtro::mensagemDeFiltroInvalido(filter));
    QList<Condition> result;
    for (const Filtro::Condicao &c : *lidas)
        result << Condition{c.campo, Filtro::textoDoOperador(c.operador), c.valor};
    return result;
}

namespace
{

QString canonicalValue(const QVariant &v)
{
    if (v.isNull()) return {};
    switch (v.typeId()) {
    case QMetaType::Bool:
        return v.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::Double:
    case QMetaType::Float:
        return QString::number(v.toDouble(), 'g', 17);
    case QMetaType::QDate:
        return v.toDate().toString(Qt::ISODate);
    case QMetaType::QDateTime:
        return v.toDateTime().toString(Qt::ISODate);
    case QMetaType::QByteArray:
        return QString::fromLatin1(v.toByteArray().toHex());
    default:
        break;
    }
    QString s = v.toString();
    s.replace(u'\\', QStringLiteral("\\\\"));
    s.replace(u'\t', QStringLiteral("\\t"));
    s.replace(u'\n', QStringLiteral("\\n"));
    s.replace(u'\r', QStringLiteral("\\r"));
    return s;
}

} // namespace

QByteArray canonicalText(DataConnection &connection, const QString &name)
{
    const QList<FieldInfo> fields = connection.fields();
    QStringList names;
    for (const FieldInfo &f : fields)
        names << f.name;
    QByteArray text = (u'#' + name + u'\n' + names.join(u'\t') + u'\n').toUtf8();
    connection.setFilter(QString());
    connection.first();
    // Rows go in the order of their bytes, not the order the data came in: where a
    // query leaves ties (or has no ordering at all) the engine's plan decides that
    // order, and the same rows must give the same fingerprint under any plan.
    std::vector<QByteArray> rows;
    QStringList values;
    while (!connection.atEnd()) {
        values.clear();
        for (int i = 0; i < fields.size(); ++i)
            values << canonicalValue(connection.value(i));
        rows.push_back(values.join(u'\t').toUtf8()); // compared without its line end, as sort does
        connection.next();
    }
    std::sort(rows.begin(), rows.end());
    for (const QByteArray &row : rows)
        text += row + '\n';
    return text;
}

QString fingerprint(const QList<QPair<QString, DataConnection *>> &connections)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const auto &[name, connection] : connections)
        hash.addData(canonicalText(*connection, name));
    return QString::fromLatin1(hash.result().toHex());
}

void ConnectionRegistry::add(const QString &name, DataConnection *connection)
{
    m_byName.insert(name.toLower(), Entry{name, connection});
}

void ConnectionRegistry::remove(const QString &name)
{
    m_byName.remove(name.toLower());
}

DataConnection *ConnectionRegistry::find(const QString &name) const
{
    const auto it = m_byName.constFind(name.toLower());
    return it == m_byName.cend() ? nullptr : it->connection;
}

QString ConnectionRegistry::registeredName(const QString &name) const
{
    const auto it = m_byName.constFind(name.toLower());
    return it == m_byName.cend() ? name : it->name;
}

MemoryTable::MemoryTable(QList<FieldInfo> fields) : m_fields(std::move(fields)) {}

void MemoryTable::appendRow(const QVariantList &values)
{
    QVariantList row = values;
    while (row.size() < m_fields.size())
        row.append(QVariant());
    row.resize(m_fields.size());
    m_rows.push_back(std::move(row));
    if (m_open) applyFilter();
}

void MemoryTable::open()
{
    m_open = true;
    applyFilter();
    m_cursor = 0;
}

void MemoryTable::close()
{
    m_open = false;
    m_cursor = 0;
}

void MemoryTable::moveTo(int row)
{
    m_cursor = std::clamp(row, 0, int(m_visible.size()));
}

void MemoryTable::applyFilter()
{
    m_visible.clear();
    QList<QPair<int, Condition>> conditions;
    for (const Condition &c : parseFilter(m_filter)) {
        int field = -1;
        for (int f = 0; f < m_fields.size(); ++f)
            if (m_fields[f].name.compare(c.field, Qt::CaseInsensitive) == 0) field = f;
        if (field < 0)
            throw ReportError(QStringLiteral("Filtro com o campo desconhecido \"%1\"").arg(c.field));
        conditions.append({field, c});
    }
    for (int r = 0; r < int(m_rows.size()); ++r) {
        bool passes = true;
        for (const auto &[field, c] : conditions) {
            const QVariant &v = m_rows[size_t(r)][field];
            // A null value equals no text: it meets "<>" only.
            const std::optional<Filtro::Operador> op = Filtro::operadorDe(c.op);
            const bool meets = v.isNull() ? c.op == QStringLiteral("<>")
                                          : op && Filtro::atende(*op, v.toString().compare(c.value));
            if (!meets) {
                passes = false;
                break;
            }
        }
        if (passes) m_visible.append(r);
    }
}

void MemoryTable::begin()
{
    const int absolute = m_open && m_cursor < m_visible.size() ? m_visible[m_cursor] : -1;
    m_saved.push_back(Saved{m_open, m_filter, absolute});
    if (!m_open) open();
}

void MemoryTable::first()
{
    if (!m_open) throw ReportError(QStringLiteral("A tabela não está aberta"));
    m_cursor = 0;
}

void MemoryTable::next()
{
    if (m_open && m_cursor < m_visible.size()) ++m_cursor;
}

bool MemoryTable::atEnd() const
{
    return !m_open || m_cursor >= m_visible.size();
}

QVariant MemoryTable::value(int field) const
{
    if (atEnd()) throw ReportError(QStringLiteral("Não há linha atual"));
    if (field < 0 || field >= m_fields.size()) throw ReportError(QStringLiteral("Campo inexistente"));
    return m_rows[size_t(m_visible[m_cursor])][field];
}

void MemoryTable::setFilter(const QString &filter)
{
    const QString before = m_filter;
    m_filter = filter;
    if (!m_open) return;
    try {
        applyFilter();
    } catch (...) {
        m_filter = before;
        applyFilter();
        throw;
    }
    m_cursor = 0;
}

void MemoryTable::end()
{
    if (m_saved.empty()) return;
    const Saved s = m_saved.back();
    m_saved.pop_back();
    m_filter = s.filter;
    if (!s.open) {
        close();
        return;
    }
    open();
    const int at = s.row < 0 ? -1 : int(m_visible.indexOf(s.row));
    m_cursor = at < 0 ? int(m_visible.size()) : at;
}

} // namespace ReportEngine
