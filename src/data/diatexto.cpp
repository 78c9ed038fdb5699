#include "diatexto.h"

#include <QRegularExpression>
#include <optional>

namespace {
std::optional<QLocale> &localeDefinido()
{
    static std::optional<QLocale> l;
    return l;
}
} // namespace

namespace DiaTexto {

// Portuguese whatever the machine's locale: every day text of the program reads dd/MM/yyyy.
QLocale locale()
{
    return localeDefinido() ? *localeDefinido() : QLocale(QLocale::Portuguese, QLocale::Brazil);
}
void setLocale(const QLocale &l) { localeDefinido() = l; }

QString formato(const QLocale &l)
{
    QString f = l.dateFormat(QLocale::ShortFormat);
    static const QRegularExpression anoCurto(QStringLiteral("(?<!y)yy(?!y)"));
    f.replace(anoCurto, QStringLiteral("yyyy"));
    return f;
}

QString escreve(const QDate &d) { return escreve(d, locale()); }
QString escreve(const QDate &d, const QLocale &l) { return d.isValid() ? l.toString(d, formato(l)) : QString(); }

QDate le(const QString &t) { return le(t, locale()); }
QDate le(const QString &t, const QLocale &l) { return l.toDate(t.trimmed(), formato(l)); }

QString paraBanco(const QDate &d) { return d.toString(Qt::ISODate); }
QDate doBanco(const QString &t) { return QDate::fromString(t, Qt::ISODate); }

} // namespace DiaTexto
