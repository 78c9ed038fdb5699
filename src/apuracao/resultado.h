#pragma once
// The day's result as one terminal's canonical result text gives it (the text
// whose SHA-256 is the result report's fingerprint, docs/resultado.md), read back
// with strict validation, and the totals of many terminals' results.

#include <QByteArray>
#include <QList>
#include <QHash>
#include <QString>


namespace Apuracao
{

struct ResultadoDia {
    qint64 total = 0, branco = 0, nulo = 0, legenda = 0, normal = 0;
    struct VotoNominal {
        QString candidato, numero, cargo, partido; // keys as the text writes them (a null key is empty)
        qint64 votos;
    };
    struct VotoLegenda {
        QString partido, legenda;
        qint64 votos;
    };
    QList<VotoNominal> nominais;
    QList<VotoLegenda> legendas;
};

// Throws std::runtime_error (Portuguese) on anything the result report would not
// have written, and when the counts do not add up (the kinds to the total, the
// candidates' votes to the nominal votes, the parties' to the legend votes).
ResultadoDia leTextoResultado(const QByteArray &texto);

// The sum of accepted results: memory bounded by the election, not by the number of terminals.
class Totais
{
public:
    void soma(const ResultadoDia &r);
    qint64 total = 0, branco = 0, nulo = 0, legenda = 0, normal = 0;
    // "office TAB candidate TAB number TAB party" (keys as the texts write them, the number
    // escaped as in the canonical texts, so the tabs are the only ones) -> votes
    QHash<QString, qint64> nominais;
    // "party TAB legend" (the legend escaped) -> votes
    QHash<QString, qint64> legendas;
};

} // namespace Apuracao
