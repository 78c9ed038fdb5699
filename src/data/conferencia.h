#pragma once

// The check before a voting day: everything in the database that would make that
// day go wrong, one Portuguese sentence per finding. It only reads; the database
// tool's "confere" prints it, and other checks (a day's zero report) refuse a day
// it finds anything for.

#include <QDate>
#include <QStringList>

class Database;

namespace Conferencia
{

// The findings for the day, in a fixed order: candidates who cannot be voted for,
// map rows of the day that are not whole, offices with an unusable digit count,
// voting-order positions without an office or with two, offices of the order with
// no candidate on the day's map, parties without a legend, candidates on the day's
// map twice, votes already stored for the day. Empty when nothing is wrong. Throws DbError.
QStringList achadosDoDia(Database &db, const QDate &dia);

} // namespace Conferencia
