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

// The rules that make an election the operator cannot get wrong, refused by the
// engine on every write that would break them:
// - every candidate can be voted for as intended: the number has exactly the
//   office's digit count and, in an office of three or more digits, begins with the
//   legend of the candidate's own party (the terminal reads those two digits as a
//   legend, and only then looks for the candidate);
// - every voting-day map row is whole: it names a candidate, with that candidate's
//   own office and party, and a candidate on map rows keeps its office and party.
// Like the delete guards they live in the connection (temporary triggers), so files
// made earlier are guarded too; rows already stored are left as they are.
QStringList gatilhosDaEleicao();
// Puts those rules on an open connection, with the function that raises their refusals. Throws DbError.
void protegeEleicao(Database &db);

// Why a candidate cannot be voted for, as an SQL expression that is null for a
// candidate who can. Each argument is an SQL expression: the number, the office's
// key, name and digit count, the party's key, name and legend (keys null when the
// row does not exist). The text is a clause that follows "não pode receber votos: ".
QString motivoNaoVotavel(const QString &numero, const QString &idCargo, const QString &cargo,
                         const QString &digitos, const QString &idPartido, const QString &partido,
                         const QString &legenda);
// Why a voting-day map row is not whole, as an SQL expression null for a whole row:
// the candidate's key (null when the candidate does not exist), name, office and
// party keys and names, and the row's own office and party keys.
QString motivoLinhaIncompleta(const QString &idCandidato, const QString &candidato, const QString &idCargo,
                              const QString &cargo, const QString &idPartido, const QString &partido,
                              const QString &cargoDaLinha, const QString &partidoDaLinha);

// Turns an engine message into one for the operator (constraint names and column
// lists, a full disk, a read-only file or folder, a locked or damaged file, an I/O
// error become sentences in Portuguese); other texts pass unchanged.
QString traduzMensagem(const QString &engineMessage);

} // namespace Esquema
