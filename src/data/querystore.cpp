#include "data/query_p.h"

#include <QDate>
#include <cstring>

namespace
{

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

void Query::Store::put(sqlite3_stmt *s, const QueryColumn &c, bool keepBlob)
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

QVariant Query::Store::read(quint32 id, int column, bool *deferred) const
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

void Query::Store::putInt(qint64 v)
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

void Query::Store::putLength(quint64 n)
{
    do {
        const char b = char(n & 0x7f);
        n >>= 7;
        bytes.push_back(n ? char(b | 0x80) : b);
    } while (n);
}

quint64 Query::Store::readLength(const char *&p)
{
    quint64 n = 0;
    for (int shift = 0;; shift += 7) {
        const auto b = quint8(*p++);
        n |= quint64(b & 0x7f) << shift;
        if (!(b & 0x80)) return n;
    }
}

const char *Query::Store::skip(const char *p)
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
