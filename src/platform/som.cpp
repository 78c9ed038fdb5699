#include "platform/som.h"

#include "platform/tocador.h"

#include <QApplication>
#include <QFileInfo>
#include <QLibrary>

namespace {
QString &moduloDefinido()
{
    static QString m;
    return m;
}
} // namespace

Som &Som::instancia()
{
    // Owned by the application, so that the cues go before the audio system does.
    static QPointer<Som> s;
    if (!s) s = new Som(QCoreApplication::instance());
    return *s;
}

QString Som::modulo()
{
    return moduloDefinido().isEmpty() ? QCoreApplication::applicationDirPath() + QStringLiteral("/votarim-som")
                                      : moduloDefinido();
}

void Som::defineModulo(const QString &caminho) { moduloDefinido() = caminho; }

Tocador *Som::tocador()
{
    if (!m_carregado) {
        m_carregado = true; // one try: a missing module means silence, not a search per key
        QLibrary modulo(Som::modulo());
        if (auto cria = reinterpret_cast<CriaTocador>(modulo.resolve(VOTARIM_CRIA_TOCADOR)))
            m_tocador = cria(this); // a child: destroyed with this object, the library stays loaded
    }
    return m_tocador;
}

void Som::tocaSeExistir(const QString &caminho)
{
    if (QFileInfo::exists(caminho)) toca(caminho);
}

void Som::tocaOuPadrao(const QString &caminho)
{
    if (QFileInfo::exists(caminho)) {
        toca(caminho);
    } else {
        QApplication::beep();
        emit bipPadrao();
    }
}

void Som::toca(const QString &caminho)
{
    if (Tocador *t = tocador()) t->toca(caminho);
    emit tocou(caminho);
}
