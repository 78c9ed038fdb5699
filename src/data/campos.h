#pragma once

// The fields as the operator knows them. A message about a field names it by the
// label the registration window shows beside it ("Qtn. de Nº"), never by its
// column; no engine text in English reaches the operator. And a name of an office,
// a party or a candidate is never empty or blank: the voter would see nothing.
//
// The name rule lives in the connection (temporary triggers), like the delete
// guards, so files created before it are guarded all the same.

#include <QString>
#include <QStringList>

class Database;

namespace Campos
{

// The label of a column as the registration window shows it; the column itself
// when it has none.
QString rotulo(const QString &coluna);

// The schema's translation of an engine message, with every column named by its
// label and any engine text left in English replaced by a Portuguese sentence.
QString traduzMensagem(const QString &engineMessage);

// The statements that put the name rule on a connection.
QStringList gatilhos();

// Puts the name rule on an open connection. Throws DbError.
void protege(Database &db);

} // namespace Campos
