#pragma once
// The commands of votarim-banco, one file each. A command takes the arguments
// after its own name, checks them itself and returns the process's exit status:
// 0 done, 1 refused or failed (a Portuguese message on standard error), 2 wrong use.

#include <QStringList>

class Database;
class Tfrmimpressao;

#include <cstdio>
#include <functional>

namespace Banco
{

constexpr int kSaidaUso = 2;

// The usage text of every command, on standard output for --help, on standard error after a wrong use.
void escreveUso(std::FILE *saida);

// Writes the bytes to standard output and flushes them; false (with a message) when that fails.
bool escreveSaida(const QByteArray &bytes);

// Opens a database file only to read it, as every check of the tool does: shared with
// other readers, refused while the program holds it, and leaving nothing beside the
// file (no log or index files). Throws DbError.
void abreParaLeitura(Database &db, const QString &arquivo);

// Why a command may not write its output file at `saida`: it is, or resolves to (by
// path, through links, or by device and inode), the database `banco` or a file the
// engine keeps beside it ("-wal", "-shm", "-journal"), or it is a folder. Empty when
// the file may be written.
QString saidaProibida(const QString &saida, const QString &banco);

// Writes a command's output file. `escreve` fills a temporary file (its path is the
// argument) in the folder of `saida`; only when it returns does that file take the
// place of `saida`, by rename, so a link standing at `saida` is replaced, never written
// through, and a failure leaves `saida` as it was. Throws std::runtime_error with a
// Portuguese message when saidaProibida refuses or the file cannot be written.
void gravaArquivo(const QString &saida, const QString &banco,
                  const std::function<void(const QString &temporario)> &escreve);
// The same for bytes already at hand.
void gravaArquivo(const QString &saida, const QString &banco, const QByteArray &bytes);
// Lays out the report `nome` of the shipped project over the module's connections
// and parameters and writes it as PDF through gravaArquivo. Throws std::runtime_error
// (Portuguese) when the project is missing or has no such report.
void gravaRelatorio(Tfrmimpressao &modulo, const QString &nome, const QString &saida, const QString &banco);

int novo(const QStringList &argumentos);
int exemplo(const QStringList &argumentos);
int resultado(const QStringList &argumentos);
int confere(const QStringList &argumentos);
int chave(const QStringList &argumentos);
int boletim(const QStringList &argumentos);
int totaliza(const QStringList &argumentos);
int zero(const QStringList &argumentos);

} // namespace Banco
