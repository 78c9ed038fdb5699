#pragma once

#include <QByteArray>
#include <QString>

// Files the program writes beside itself for a moment (the photo files).
namespace Arquivo
{

// Puts bytes at a name by writing a new file beside it and renaming it over the
// name: whatever was there (a file, a symbolic link) is replaced, never written
// through, so a link cannot make the program overwrite another file. The new file
// is readable by the owner only. Throws DbError with the reason in Portuguese.
void substitui(const QString &caminho, const QByteArray &bytes);

// The reason of a failed file operation, in Portuguese, from errno.
QString motivo(int erro);

} // namespace Arquivo
