#pragma once
// Reading a file someone handed in (a bulletin, a key) without being fooled by it:
// only a regular file reached without following a link, never a FIFO or a device
// (which could hang the reader), and never more than a given size.

#include <QByteArray>
#include <QString>

#include <sys/types.h>

namespace Apuracao
{

struct ArquivoLido {
    QByteArray bytes;
    mode_t modo = 0; // the permission bits
};

// Throws std::runtime_error with a Portuguese sentence naming the file and the reason.
ArquivoLido leArquivoRegular(const QString &caminho, qint64 limite);

} // namespace Apuracao
