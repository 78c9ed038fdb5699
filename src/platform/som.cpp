#include "som.h"

#include <QApplication>
#include <QFileInfo>
#include <QSoundEffect>
#include <QUrl>

Som &Som::instancia()
{
    // Owned by the application, so that the cues go before the audio system does.
    static QPointer<Som> s;
    if (!s) s = new Som(QCoreApplication::instance());
    return *s;
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
    QPointer<QSoundEffect> &efeito = m_efeitos[caminho];
    if (!efeito) {
        efeito = new QSoundEffect(this);
        efeito->setSource(QUrl::fromLocalFile(caminho));
    }
    if (m_tocando && m_tocando != efeito) m_tocando->stop();
    efeito->stop();
    efeito->play();
    m_tocando = efeito;
    emit tocou(caminho);
}
