#pragma once
// What the reading commands share: the day argument, the message for a file that
// cannot be read (or is held by the program), and a new file written whole or not at all.

#include <QDate>
#include <QString>

class Database;

namespace Banco
{

// AAAA-MM-DD; an invalid day prints the reason and gives an invalid date.
QDate diaDoArgumento(const QString &texto);

// The message for a database error while reading, with the held-file case in the operator's words.
QString mensagemDeLeitura(const std::exception &e, const QString &arquivo);

// Writes the bytes to a new file as gravaArquivo does; also refused (false, with a
// message) when anything already stands at the path: a bulletin is never replaced.
bool gravaArquivoNovo(const QString &caminho, const QByteArray &bytes, const QString &banco = QString());

} // namespace Banco
