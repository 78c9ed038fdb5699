#include "data/arquivo.h"

#include "data/dberror.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace Arquivo
{

QString motivo(int erro)
{
    switch (erro) {
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("o disco está cheio");
    case EACCES:
    case EPERM:
        return QStringLiteral("sem permissão de escrita");
    case EROFS:
        return QStringLiteral("o disco ou a pasta é somente leitura");
    case EISDIR:
        return QStringLiteral("existe uma pasta com este nome");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("a pasta não existe");
    case EIO:
        return QStringLiteral("erro de entrada e saída no disco");
    default:
        return QStringLiteral("erro %1 do sistema (%2)")
            .arg(erro)
            .arg(QString::fromLocal8Bit(std::strerror(erro)));
    }
}

void substitui(const QString &caminho, const QByteArray &bytes)
{
    const auto falha = [&](int erro) {
        throw DbError(QStringLiteral("Não foi possível gravar o arquivo %1: %2").arg(caminho, motivo(erro)));
    };
    QByteArray novo = QFile::encodeName(caminho) + ".novo-XXXXXX";
    const int fd = ::mkostemp(novo.data(), O_CLOEXEC); // created anew (O_EXCL): no link is followed
    if (fd < 0) falha(errno);
    qsizetype escritos = 0;
    int erro = 0;
    while (escritos < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + escritos, size_t(bytes.size() - escritos));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            erro = n < 0 ? errno : EIO;
            break;
        }
        escritos += n;
    }
    if (::close(fd) != 0 && erro == 0) erro = errno;
    // rename() replaces the name itself, whatever it is; a directory there makes it fail.
    if (erro == 0 && ::rename(novo.constData(), QFile::encodeName(caminho).constData()) != 0) erro = errno;
    if (erro != 0) {
        ::unlink(novo.constData());
        falha(erro);
    }
}

} // namespace Arquivo
