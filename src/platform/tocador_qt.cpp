// The sound module: one QSoundEffect per cue file. Without an audio device the
// effects fail to start and stay silent.

#include "platform/tocador.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSoundEffect>
#include <QUrl>

namespace {

class TocadorQt : public QObject, public Tocador
{
public:
    using QObject::QObject;

    void toca(const QString &caminho) override
    {
        QPointer<QSoundEffect> &efeito = m_efeitos[caminho];
        if (!efeito) {
            efeito = new QSoundEffect(this);
            efeito->setSource(QUrl::fromLocalFile(caminho));
        }
        if (m_tocando && m_tocando != efeito) m_tocando->stop();
        efeito->stop();
        efeito->play();
        m_tocando = efeito;
    }

private:
    QHash<QString, QPointer<QSoundEffect>> m_efeitos;
    QPointer<QSoundEffect> m_tocando;
};

} // namespace

extern "C" Q_DECL_EXPORT Tocador *votarim_cria_tocador(QObject *dono) { return new TocadorQt(dono); }
