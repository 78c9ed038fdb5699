#pragma once

// Set only after the connection has opened; never reset.
extern bool banco_conectado;

// Creates the shared data module when needed and opens its connection once. A
// failure shows the connection message and asks the program to end.
void conecta_banco();

// Closes the connection and forgets the data module, so that a later
// conecta_banco starts afresh; the end of the run and the tests use it.
void desconecta_banco();

// The quit request of start-up: the program ends before its window is shown.
void pede_encerramento();
bool encerramento_pedido();
