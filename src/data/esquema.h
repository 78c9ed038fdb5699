#pragma once

// The election database: six tables, their columns in order, and the rules the
// file itself enforces (column sizes and types, no duplicate candidate number in
// an office, legend or order position).

#include <QString>
#include <QStringList>
#include <functional>

class Database;

namespace Esquema {

inline const QString kArquivoBanco = QStringLiteral("candidatos.mdb");

inline const QString kVotoNormal = QStringLiteral("NORMAL");
inline const QString kVotoLegenda = QStringLiteral("LEGENDA");
inline const QString kVotoNulo = QStringLiteral("NULO");
inline const QString kVotoBranco = QStringLiteral("BRANCO");

// The one statement that stores a vote, as CONFIRMA sends it; its seven parameters in
// this order. The schema's trigger stores the row at a random row id in its place.
inline const QString kInsereVoto =
    QStringLiteral("insert into contagem_votacao (id_candidato,numero_candidato,voto,data,legenda,id_cargo,"
                   "id_partido) values (:id_candidato,:numero_candidato,:voto,:data,:legenda,:id_cargo,"
                   ":id_partido)");

// The statements that create the tables and their indexes, in order.
QStringList ddl();

// The vote table apart, for rebuilding it: its statement under another name, its
// columns, its indexes with their names, and the trigger that draws its row ids.
struct IndiceVotos {
    QString nome;
    QString sql;
};
QString criaTabelaVotos(const QString &nome);
QString colunasVotos();
QList<IndiceVotos> indicesVotos();
QString gatilhoVotos();

// Creates a new database file with the schema, filled by preenche when given. The
// file appears whole or not at all, and an existing file is never replaced. Throws DbError.
void criaBanco(const QString &path, const std::function<void(Database &)> &preenche = {});

// Gives a connection the schema's message translation and its check on open: a file
// without the election's tables is refused before anything is written to it.
void prepara(Database &db);

// Refuses (DbError) a database that lacks the election's tables or their columns.
void verificaTabelas(Database &db);

// Turns an engine message into one for the operator (constraint names and column
// lists, a full disk, a read-only file or folder, a locked or damaged file, an I/O
// error become sentences in Portuguese); other texts pass unchanged.
QString traduzMensagem(const QString &engineMessage);

} // namespace Esquema
