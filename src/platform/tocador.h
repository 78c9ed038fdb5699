#pragma once

#include <QString>

class QObject;

// What plays the cue files. It lives in a module of its own beside the executable,
// loaded at the first cue, so that the audio libraries cost start-up nothing.
class Tocador
{
public:
    virtual ~Tocador() = default;
    // Plays the file asynchronously, replacing the cue still playing.
    virtual void toca(const QString &caminho) = 0;
};

// The module's one entry point; the player is a child of dono.
#define VOTARIM_CRIA_TOCADOR "votarim_cria_tocador"
extern "C" {
using CriaTocador = Tocador *(*)(QObject *dono);
}
