#include "platform/instalacao.h"

#include <QCoreApplication>
#include <QDir>

namespace {
QString &pastaDefinida()
{
    static QString p;
    return p;
}
} // namespace

namespace Instalacao {

QString pasta()
{
    QString p = pastaDefinida().isEmpty() ? QCoreApplication::applicationDirPath() : pastaDefinida();
    if (!p.endsWith(u'/')) p += u'/';
    return p;
}

void definePasta(const QString &p) { pastaDefinida() = p; }

QString caminho(const QString &relativo) { return pasta() + relativo; }

} // namespace Instalacao
