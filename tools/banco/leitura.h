#pragma once
// What the day's commands (boletim, zero) share: the day argument, the database
// opened to be looked at only, and a file written whole or not at all.

#include <QDate>
#include <QString>

class Database;

namespace Banco
{

// AAAA-MM-DD; an invalid day prints the reason and gives an invalid date.
QDate diaDoArgumento(const QString &texto);

// Opens the file read-only ("Mode=Read"); throws with a Portuguese message when it is not a database.
void abreParaLeitura(Database &db, const QString &arquivo);

// The message for a database error while reading, with the held-file case in the operator's words.
QString mensagemDeLeitura(const std::exception &e, const QString &arquivo);

// Writes the bytes to a new file through a temporary file renamed into place. Refused
// (false, with a message) when the path exists (a file, a link or anything else) or
// resolves to the database or a file beside it that SQLite uses.
bool gravaArquivoNovo(const QString &caminho, const QByteArray &bytes, const QString &banco = QString());

} // namespace Banco
