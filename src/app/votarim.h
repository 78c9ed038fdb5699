#pragma once

// The program's start: title, fonts, the terminal as the main window with the
// registration window behind its hidden button, and the event loop.
namespace Votarim {

// Lets the terminal's hidden button open the registration window.
void ligaJanelas();

// Runs the program once the application object exists; its exit code.
int executa();

} // namespace Votarim
