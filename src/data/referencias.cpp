#include "data/referencias.h"

#include "data/database.h"

namespace
{

struct Referencia {
    const char *tabela;   // the row being deleted
    const char *nome;     // a name for the trigger
    const char *condicao; // rows that still refer to OLD
    const char *mensagem;
};

// A legend vote keeps the party's key in id_candidato (and no id_partido).
const Referencia kReferencias[] = {
    {"cargo", "cargo_candidatos", "select 1 from candidatos where id_cargo = OLD.numcad_cargo",
     "O cargo não pode ser excluído: há candidatos cadastrados neste cargo"},
    {"cargo", "cargo_ordem", "select 1 from ordem_votacao where id_cargo = OLD.numcad_cargo",
     "O cargo não pode ser excluído: ele está na sequência da votação"},
    {"cargo", "cargo_mapa", "select 1 from candidatos_votacao where id_cargo = OLD.numcad_cargo",
     "O cargo não pode ser excluído: ele está no mapa de candidatos da votação"},
    {"cargo", "cargo_votos", "select 1 from contagem_votacao where id_cargo = OLD.numcad_cargo",
     "O cargo não pode ser excluído: há votos registrados para este cargo"},
    {"partido", "partido_candidatos", "select 1 from candidatos where id_partido = OLD.numcad_partido",
     "O partido não pode ser excluído: há candidatos cadastrados neste partido"},
    {"partido", "partido_mapa", "select 1 from candidatos_votacao where id_partido = OLD.numcad_partido",
     "O partido não pode ser excluído: ele está no mapa de candidatos da votação"},
    {"partido", "partido_votos",
     "select 1 from contagem_votacao where id_partido = OLD.numcad_partido or "
     "(voto = 'LEGENDA' and id_candidato = OLD.numcad_partido)",
     "O partido não pode ser excluído: há votos registrados para este partido"},
    {"candidatos", "candidato_mapa",
     "select 1 from candidatos_votacao where id_candidato = OLD.numcad_candidato",
     "O candidato não pode ser excluído: ele está no mapa de candidatos da votação"},
    {"candidatos", "candidato_votos",
     "select 1 from contagem_votacao where voto = 'NORMAL' and id_candidato = OLD.numcad_candidato",
     "O candidato não pode ser excluído: há votos registrados para este candidato"},
};

} // namespace

namespace Referencias
{

QStringList gatilhos()
{
    QStringList out;
    for (const Referencia &r : kReferencias)
        out << QStringLiteral("CREATE TEMP TRIGGER IF NOT EXISTS em_uso_%1 BEFORE DELETE ON main.%2 "
                              "WHEN EXISTS (%3) BEGIN SELECT RAISE(ABORT, '%4'); END")
                   .arg(QLatin1String(r.nome), QLatin1String(r.tabela), QLatin1String(r.condicao),
                        QString::fromUtf8(r.mensagem));
    return out;
}

void protege(Database &db)
{
    // One script: each statement that creates something makes the connection forget
    // its prepared texts, so once is enough.
    db.execScript(gatilhos().join(QStringLiteral(";\n")));
}

} // namespace Referencias
