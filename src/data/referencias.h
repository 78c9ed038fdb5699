#pragma once

// What may not be deleted: an office, a party or a candidate that other rows still
// refer to (candidates, the voting order, the voting-day map, cast votes). Deleting
// it would leave those rows pointing at nothing: the votes would drop out of every
// result and the map rows out of the overview, unnoticed. The engine refuses such a
// delete with a sentence naming what still refers to the row.
//
// The rule lives in the connection (temporary triggers, gone when it closes), not in
// the file: files created before it keep their schema and are guarded all the same.

#include <QStringList>

class Database;

namespace Referencias
{

// The statements that put the rule on a connection.
QStringList gatilhos();

// Puts the rule on an open connection. Throws DbError.
void protege(Database &db);

} // namespace Referencias
