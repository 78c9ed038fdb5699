#pragma once
// The commands of votarim-banco, one file each. A command takes the arguments
// after its own name, checks them itself and returns the process's exit status:
// 0 done, 1 refused or failed (a Portuguese message on standard error), 2 wrong use.

#include <QStringList>

#include <cstdio>

namespace Banco
{

constexpr int kSaidaUso = 2;

// The usage text of every command, on standard output for --help, on standard error after a wrong use.
void escreveUso(std::FILE *saida);

// Writes the bytes to standard output and flushes them; false (with a message) when that fails.
bool escreveSaida(const QByteArray &bytes);

int novo(const QStringList &argumentos);
int exemplo(const QStringList &argumentos);
int resultado(const QStringList &argumentos);
int chave(const QStringList &argumentos);
int boletim(const QStringList &argumentos);
int totaliza(const QStringList &argumentos);
int zero(const QStringList &argumentos);

} // namespace Banco
