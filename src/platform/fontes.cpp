#include "platform/fontes.h"

#include "platform/instalacao.h"

#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>

namespace Fontes {

void carrega()
{
    const QStringList pastas = {Instalacao::caminho(QStringLiteral("fonts/")), QStringLiteral("/usr/share/wine/fonts/")};
    for (const char *arquivo : {"tahoma.ttf", "tahomabd.ttf"}) {
        for (const QString &p : pastas) {
            const QString c = p + QLatin1String(arquivo);
            if (QFileInfo::exists(c) && QFontDatabase::addApplicationFont(c) >= 0) break;
        }
    }
    QFont::insertSubstitution(QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans"));
    if (!QFontDatabase::hasFamily(QStringLiteral("Tahoma")))
        QFont::insertSubstitution(QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans"));
}

} // namespace Fontes
