#pragma once

// Sound cues: played asynchronously, a new cue replacing the one still playing.
// Without an audio device they are silent.

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>

class QSoundEffect;

class Som : public QObject
{
    Q_OBJECT
public:
    static Som &instancia();

    // Plays the file when it exists; nothing otherwise.
    void tocaSeExistir(const QString &caminho);
    // Plays the file, or the platform's default sound when it is missing.
    void tocaOuPadrao(const QString &caminho);

signals:
    void tocou(const QString &caminho);
    void bipPadrao();

private:
    using QObject::QObject;
    void toca(const QString &caminho);
    QHash<QString, QPointer<QSoundEffect>> m_efeitos;
    QPointer<QSoundEffect> m_tocando;
};
