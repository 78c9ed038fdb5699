#pragma once

// Ballot secrecy in the file itself.
//
// The random row id hides the casting order from a select, but not from the pages:
// the engine writes each new cell of a b-tree page below the cells already there, so
// the offsets of a page's cells would tell in which order its votes were cast. Every
// page the program writes into the database file therefore goes through a thin layer
// of the engine's file interface that lays the page's cells out in key order, as the
// engine's own defragmentation does, and zeroes its free space. A page keeps the same
// cells, keys, child pointers and free byte count: only where the cells lie changes.
//
// With the write-ahead log, pages reach the file only at a checkpoint. The log is
// emptied at each "FIM" and at start-up, so between two voters nothing holds the
// pages in their written order; while a voter votes, the log holds that ballot only.

#include <QString>
#include <functional>

class Database;

namespace Sigilo
{

// The name of the engine file interface that orders pages on their way to the file;
// registered at the first call. Every connection of the program opens through it.
const char *nomeVfs();

// Lays the cells of one b-tree page out in key order from the end of the page, with
// no free blocks and zeroed free space; inicio is 100 on the file's first page. A
// page that is not a well-formed b-tree page is left as it is (false).
bool ordenaPagina(unsigned char *pagina, int tamanhoPagina, int inicio, int usavel);

// Start-up, before the window shows: a log left by a crash goes into the file and the
// log is emptied; a vote table written before its pages were ordered, or without the
// indexes the day's result needs, is rebuilt once in key order with those indexes.
// Nothing is lost: the rebuild is one transaction and checks the count of votes. On
// failure the connection is closed and DbError thrown.
void abreArquivo(Database &db);

// The "FIM" step: the log goes into the file and is emptied, and the engine's page
// cache is dropped, so the next voter's ballot starts from the ordered pages of the
// file instead of images that kept earlier ballots' cells in their casting order.
void encerraCiclo(Database &db);

// For the crash tests: called at each step of the mechanism ("pagina" after each page
// written to the file, "copiada" and "trocada" inside the rebuild, "reconstruida" after
// its commit). Unset, nothing is called.
void defineObservador(std::function<void(const char *ponto)> observador);

} // namespace Sigilo
