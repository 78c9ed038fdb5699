#pragma once

// Sound cues: played asynchronously, a new cue replacing the one still playing.
// Without an audio device, or without the sound module beside the executable,
// they are silent.

#include <QObject>
#include <QPointer>
#include <QString>

class Tocador;

class Som : public QObject
{
    Q_OBJECT
public:
    static Som &instancia();

    // Plays the file when it exists; nothing otherwise.
    void tocaSeExistir(const QString &caminho);
    // Plays the file, or the platform's default sound when it is missing.
    void tocaOuPadrao(const QString &caminho);

    // Where the sound module is looked for: beside the executable unless a test says otherwise.
    static QString modulo();
    static void defineModulo(const QString &caminho);

signals:
    void tocou(const QString &caminho);
    void bipPadrao();

private:
    using QObject::QObject;
    void toca(const QString &caminho);
    Tocador *tocador();

    Tocador *m_tocador = nullptr;
    bool m_carregado = false;
};
