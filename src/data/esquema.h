#pragma once

// The election database: six tables, their columns in order, and the rules the
// file itself enforces (column sizes and types, no duplicate candidate number in
// an office, legend or order position).

#include <QString>
#include <QStringList>
#include <functional>

class Database;

namespace Esquema {

inline const QString kArquivoBanco = QStringLiteral("candidatos.mdb");

inline const QString kVotoNormal = QStringLiteral("NORMAL");
inline const QString kVotoLegenda = QStringLiteral("LEGENDA");
inline const QString kVotoNulo = QStringLiteral("NULO");
inline const QString kVotoBranco = QStringLiteral("BRANCO");

// The statements that create the tables and their indexes, in order.
QStringList ddl();

// Creates a new database file with the schema, filled by preenche when given. The
// file appears whole or not at all, and an existing file is never replaced. Throws DbError.
void criaBanco(const QString &path, const std::function<void(Database &)> &preenche = {});

// Gives a connection the schema's message translation and its check on open: a file
// without the election's tables is refused before anything is written to it.
void prepara(Database &db);

// Refuses (DbError) a database that lacks the election's tables or their columns.
void verificaTabelas(Database &db);

// Turns an engine message into one for the operator (constraint names and column
// lists, a full disk, a read-only file or folder, a locked or damaged file, an I/O
// error become sentences in Portuguese); other texts pass unchanged.
QString traduzMensagem(const QString &engineMessage);

} // namespace Esquema
