#pragma once

// The result of a voting day, computed once: the day's totals by kind, each
// office's balance, the ranking of every office (ties share a position, every
// candidate standing that day appears), the legend votes per party and the
// candidates who stood. Its canonical text holds every figure the result report,
// the preview's CSV and votarim-banco print; the fingerprint is that text's
// SHA-256. Results of several terminals of the same day add up (soma). The text's
// layout is described in docs/resultado.md.

#include <QByteArray>
#include <QDate>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>
#include <stdexcept>

class Database;

namespace Apuracao
{

inline constexpr int kVersao = 1;

// A key of the election (office, party, candidate) or a position in the voting
// order; absent where the vote or the order holds none.
using Chave = std::optional<qint64>;

// One kind of vote of the day: NORMAL, LEGENDA, BRANCO, NULO, then TOTAL.
struct Total {
    QString voto;
    qint64 votos = 0;
    QString percentual; // of the day's votes
};

// One office's balance: the voters who reached it, by the kind of their vote.
struct Cargo {
    Chave ordem;   // position in the voting order; absent for an office no longer in it
    Chave idCargo; // absent: votes stored without office
    QString cargo;
    qint64 normal = 0, legenda = 0, branco = 0, nulo = 0, total = 0;
};

// One row of an office's ranking: a candidate, party and number voted.
struct Colocacao {
    Chave idCargo;
    QString cargo;
    int posicao = 0;
    Chave idCandidato;
    QString numero, nome;
    Chave idPartido;
    QString partido;
    qint64 votos = 0;
    QString percentual; // of the office's nominal votes
    QString situacao;   // "sem votos" for a candidate who stood and got none
};

struct Legenda {
    Chave idPartido;
    QString legenda, partido;
    qint64 votos = 0;
    QString percentual; // of the day's legend votes
};

// A candidate of the day's voting-day map.
struct Concorrente {
    Chave idCargo;
    QString cargo;
    Chave idPartido;
    QString partido;
    Chave idCandidato;
    QString numero, nome;
    QString situacao; // "com votos" or "sem votos"
};

struct Resultado {
    QDate dia;
    QList<Total> totais;
    QList<Cargo> cargos;
    QList<Colocacao> ranking;
    QList<Legenda> legendas;
    QList<Concorrente> concorrentes;
};

// A section of the canonical text as a table: what the text writes, the report's
// data connections serve and the parser reads back, row for row. Values are
// qint64, QString or null.
struct Tabela {
    QString nome;
    QStringList colunas;
    QList<bool> inteiras; // per column: a whole number (else a text)
    QList<QVariantList> linhas;
};

// Bad canonical text, results that cannot be added up: the message says why, in Portuguese.
class ErroApuracao : public std::runtime_error
{
  public:
    using std::runtime_error::runtime_error;
};

// The day's result read from the database, in one read transaction.
Resultado calcula(Database &db, const QDate &dia);

// The rows the report's day queries already read, each row in its query's column
// order: the totals query's one row, the candidate, legend and balance queries'
// rows. The result built from them is the one calcula reads, figure for figure.
struct LinhasDoDia {
    QVariantList totais;
    QList<QVariantList> candidatos, legendas, cargos;
};

// The day's result from those rows, so that the day's votes are read once; the
// names and the day's map come from the database, and so does any section whose
// rows hold what a plain day never stores (a null key in a counted group, a
// value of another type), read then as calcula reads it.
Resultado calcula(Database &db, const QDate &dia, const LinhasDoDia &linhas);

// The six sections, in the text's order.
QList<Tabela> tabelas(const Resultado &r);
QByteArray textoCanonico(const Resultado &r);
// SHA-256 of the text, 64 lower-case hexadecimal digits.
QString impressaoDigital(const QByteArray &texto);

// Reads a canonical text back; throws ErroApuracao on anything textoCanonico does not write.
Resultado interpreta(const QByteArray &texto);

// Results of terminals of the same day added up one at a time, in memory bounded
// by the election; positions, percentages and orders are worked out once, by
// resultado().
class Soma
{
  public:
    // Throws ErroApuracao for a result of another day, adding nothing.
    void adiciona(const Resultado &x);
    // Throws ErroApuracao when nothing was added.
    Resultado resultado() const;

  private:
    Resultado m_r;
    bool m_algum = false;
    QHash<QString, qsizetype> m_cargos, m_ranking, m_legendas, m_concorrentes;
};

// The results of several terminals of the same day added up, with positions,
// percentages and orders worked out again. Throws ErroApuracao for different days
// or an empty list.
Resultado soma(const QList<Resultado> &resultados);

// Orders the offices, rankings, legends and candidates, gives the positions and
// works out every percentage and the totals' TOTAL row from the votes.
void classifica(Resultado &r);

// "12,35": the share in hundredths, rounded half up; "0,00" when the whole is 0.
QString percentual(qint64 parte, qint64 todo);

// The day query of the per-office balance, line by line, for a day text in the
// short date format; its rows are the balance section of the text.
QStringList textoBalanco(const QString &diaTexto);

} // namespace Apuracao
