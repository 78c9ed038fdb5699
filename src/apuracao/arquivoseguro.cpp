#include "apuracao/arquivoseguro.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace Apuracao
{

ArquivoLido leArquivoRegular(const QString &caminho, qint64 limite)
{
    const auto falha = [&](const QString &motivo) {
        return std::runtime_error(QStringLiteral("%1: %2").arg(caminho, motivo).toStdString());
    };
    const QByteArray nome = QFile::encodeName(caminho);
    struct stat st;
    if (::lstat(nome.constData(), &st) != 0) throw falha(QStringLiteral("arquivo não encontrado ou ilegível"));
    if (S_ISLNK(st.st_mode)) throw falha(QStringLiteral("é um link simbólico, não um arquivo comum"));
    if (!S_ISREG(st.st_mode)) throw falha(QStringLiteral("não é um arquivo comum"));
    // O_NONBLOCK and O_NOFOLLOW: a file swapped for a FIFO or a link after the test above is not waited on.
    const int fd = ::open(nome.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw falha(QStringLiteral("arquivo ilegível"));
    ArquivoLido lido;
    struct stat aberto;
    if (::fstat(fd, &aberto) != 0 || !S_ISREG(aberto.st_mode)) {
        ::close(fd);
        throw falha(QStringLiteral("não é um arquivo comum"));
    }
    if (aberto.st_size > limite) {
        ::close(fd);
        throw falha(QStringLiteral("arquivo grande demais (mais de %1 bytes)").arg(limite));
    }
    lido.modo = aberto.st_mode & 07777;
    lido.bytes.resize(qsizetype(aberto.st_size));
    qsizetype lidos = 0;
    for (;;) {
        if (lidos == lido.bytes.size()) {
            // One byte more than the size said means the file grew while read.
            char extra;
            const ssize_t n = ::read(fd, &extra, 1);
            if (n == 0) break;
            if (n < 0 && errno == EINTR) continue;
            ::close(fd);
            throw falha(n < 0 ? QStringLiteral("erro de leitura") : QStringLiteral("o arquivo mudou durante a leitura"));
        }
        const ssize_t n = ::read(fd, lido.bytes.data() + lidos, size_t(lido.bytes.size() - lidos));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ::close(fd);
            throw falha(n < 0 ? QStringLiteral("erro de leitura") : QStringLiteral("o arquivo mudou durante a leitura"));
        }
        lidos += n;
    }
    ::close(fd);
    return lido;
}

} // namespace Apuracao
