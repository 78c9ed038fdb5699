#pragma once

// The one picture loader of the program: photos and the logo are bitmap (BMP) files
// and nothing else is read. The header is checked before anything is allocated: a
// file that claims more than kLadoMaximo pixels a side (a 60,000 x 60,000 header
// would ask for gigabytes) is refused with a message, as is a file that is no bitmap.

#include <QImage>
#include <QString>

namespace Bitmap
{

inline constexpr int kLadoMaximo = 4096;

// The picture in the file; throws DbError with a Portuguese message naming the
// file as nomeNaMensagem gives it (nothing when empty).
QImage carrega(const QString &caminho, const QString &nomeNaMensagem = QString());

// The same picture from the bytes of a bitmap file already in memory, under the same checks.
QImage deBytes(const QByteArray &bytes, const QString &nomeNaMensagem = QString());

} // namespace Bitmap
