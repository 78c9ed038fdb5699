#include "data/query_p.h"

#include "data/arquivo.h"
#include "data/diatexto.h"

#include <QFile>
#include <cmath>

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
