#pragma once

// The program's start: title, fonts, the terminal as the main window with the
// registration window behind its hidden button, and the event loop.
#include <QString>

namespace Votarim {

// Lets the terminal's hidden button open the registration window.
void ligaJanelas();

// Qt's own dialogs (the file choosers for photos and reports, their buttons) in the
// program's language, Portuguese, whatever the system's.
void traduzDialogos();

// Runs the program once the application object exists; its exit code. A guidance
// option ("--fala", "--fala=arquivo:CAMINHO") turns the spoken guidance on.
int executa(const QString &opcaoFala = QString());

} // namespace Votarim
