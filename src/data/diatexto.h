#pragma once

#include <QDate>
#include <QLocale>
#include <QString>

// The day text: a date written in the system's short date format. Screens, SQL
// texts (inside datevalue("...")) and the engine all go through these two calls
// so that a day written by one is read back by the other.
namespace DiaTexto {

// The locale whose short date format is used: Brazilian Portuguese unless a test sets another.
QLocale locale();
void setLocale(const QLocale &locale);

// The short date format with a two-digit year widened to four, so that a day
// survives the round trip (Qt gives "M/d/yy" for en_US).
QString formato(const QLocale &locale);

QString escreve(const QDate &date);
QString escreve(const QDate &date, const QLocale &locale);
// An invalid QDate when the text is not a day in the format.
QDate le(const QString &text);
QDate le(const QString &text, const QLocale &locale);

// How dates are stored in the database file: ISO "yyyy-MM-dd", no time of day.
QString paraBanco(const QDate &date);
QDate doBanco(const QString &text);

} // namespace DiaTexto
