#include "data/ufrmdados.h"

#include "data/campos.h"
#include "data/esquema.h"
#include "data/referencias.h"

Tfrmdados *frmdados = nullptr;

namespace
{
void reabre(Query &q)
{
    q.close();
    q.open();
}
} // namespace

void Tfrmdados::protegeReferencias()
{
    if (m_referenciasProtegidas) return;
    // Offices, parties and candidates still referred to are never deleted, whatever the file's age.
    Referencias::protege(conexaoDB);
    // Every candidate can be voted for, every map row is whole.
    Esquema::protegeEleicao(conexaoDB);
    Campos::protege(conexaoDB); // and no office, party or candidate without a name
    m_referenciasProtegidas = true;
}

QStringList Tfrmdados::sqlMapa()
{
    return {QStringLiteral("select * from candidatos_votacao")};
}

QStringList Tfrmdados::sqlMapaGeral()
{
    return {
        QStringLiteral(
            "select candidatos.nome_candidato, cargo, partido,candidatos_votacao.data_votacao from "
            "candidatos_votacao, candidatos,cargo,partido"),
        QStringLiteral("where candidatos_votacao.id_candidato = candidatos.numcad_candidato and "
                       "candidatos_votacao.id_cargo = cargo.numcad_cargo and candidatos_votacao.id_partido = "
                       "partido.numcad_partido")};
}

Tfrmdados::Tfrmdados(QObject *owner)
    : QObject(owner), tb_candidatos(conexaoDB), tb_cargo(conexaoDB), tb_partido(conexaoDB),
      dts_candidatos(this, &tb_candidatos), dts_cargo(this, &tb_cargo), dts_partido(this, &tb_partido),
      tb_ordemvotacao(conexaoDB), dts_ordemvotacao(this, &tb_ordemvotacao), tb_ova(conexaoDB),
      dts_ova(this, &tb_ova), tb_candidato_votacao(conexaoDB),
      dts_candidato_votacao(this, &tb_candidato_votacao), tb_candidato_votacaoG(conexaoDB),
      dts_candidato_votacaoG(this, &tb_candidato_votacaoG)
{
    setObjectName(QStringLiteral("frmdados"));
    Esquema::prepara(conexaoDB);
    // What the operator reads names the fields as the windows label them.
    conexaoDB.setMessageTranslator(Campos::traduzMensagem);

    tb_candidatos.setSql(QStringLiteral("select *  from candidatos"));
    tb_cargo.setSql(QStringLiteral("select * from cargo"));
    tb_partido.setSql(QStringLiteral("select * from partido"));
    tb_ordemvotacao.setSql(
        QStringList{QStringLiteral("select * from ordem_votacao"), QStringLiteral("order by ordem_votacao")});
    tb_ova.setSql(
        QStringList{QStringLiteral("select ordem_votacao.ordem_votacao, cargo.cargo from ordem_votacao"),
                    QStringLiteral("inner join cargo on ordem_votacao.id_cargo = cargo.numcad_cargo"),
                    QStringLiteral("order by ordem_votacao")});
    tb_candidato_votacao.setSql(sqlMapa());
    tb_candidato_votacaoG.setSql(sqlMapaGeral());

    const auto liga = [this](Query::Event &evento, void (Tfrmdados::*handler)(Query &)) {
        evento = [this, handler](Query &q) { (this->*handler)(q); };
    };
    liga(tb_ordemvotacao.afterOpen, &Tfrmdados::tb_ordemvotacaoAfterOpen);
    liga(tb_ordemvotacao.afterClose, &Tfrmdados::tb_ordemvotacaoAfterClose);
    liga(tb_ordemvotacao.afterInsert, &Tfrmdados::tb_ordemvotacaoAfterInsert);
    liga(tb_ordemvotacao.afterPost, &Tfrmdados::tb_ordemvotacaoAfterPost);
    liga(tb_ordemvotacao.afterDelete, &Tfrmdados::tb_ordemvotacaoAfterDelete);
    liga(tb_ova.afterScroll, &Tfrmdados::tb_ovaAfterScroll);
    liga(tb_candidato_votacao.afterOpen, &Tfrmdados::tb_candidato_votacaoAfterOpen);
    liga(tb_candidato_votacao.afterClose, &Tfrmdados::tb_candidato_votacaoAfterClose);
    liga(tb_candidato_votacao.afterInsert, &Tfrmdados::tb_candidato_votacaoAfterInsert);
    liga(tb_candidato_votacao.afterPost, &Tfrmdados::tb_candidato_votacaoAfterPost);
    liga(tb_candidato_votacao.afterDelete, &Tfrmdados::tb_candidato_votacaoAfterDelete);
    liga(tb_candidato_votacao.beforePost, &Tfrmdados::tb_candidato_votacaoBeforePost);
    liga(tb_candidato_votacao.afterScroll, &Tfrmdados::tb_candidato_votacaoAfterScroll);
    m_preencheLinhaDoMapa.banco = &conexaoDB;
    tb_candidato_votacao.addListener(&m_preencheLinhaDoMapa);
}

// A map row is whole only with its candidate's own office and party: choosing the
// candidate fills both in.
void Tfrmdados::PreencheLinhaDoMapa::fieldChanged(Query &q, int coluna)
{
    if (coluna < 0 || coluna != q.fieldIndex(QStringLiteral("id_candidato"))) return;
    if (q.state() != Query::State::Edit && q.state() != Query::State::Insert) return;
    const QVariant candidato = q.field(coluna).value();
    if (candidato.isNull()) return;
    Statement st(*banco,
                 QStringLiteral("select id_cargo, id_partido from candidatos where numcad_candidato = ?"));
    st.bind(1, candidato);
    if (!st.step()) return;
    q.field(QStringLiteral("id_cargo")).setValue(st.column(0));
    q.field(QStringLiteral("id_partido")).setValue(st.column(1));
}

Tfrmdados::~Tfrmdados()
{
    tb_candidato_votacao.removeListener(&m_preencheLinhaDoMapa);
    // The events reach this object: none may run while its members go.
    for (Query *q : {&tb_candidatos, &tb_cargo, &tb_partido, &tb_ordemvotacao, &tb_ova, &tb_candidato_votacao,
                     &tb_candidato_votacaoG})
        q->afterOpen = q->afterClose = q->afterInsert = q->beforePost = q->afterPost = q->afterDelete =
            q->afterScroll = nullptr;
}

void Tfrmdados::tb_ordemvotacaoAfterOpen(Query &)
{
    tb_ova.open();
}
void Tfrmdados::tb_ordemvotacaoAfterClose(Query &)
{
    tb_ova.close();
}
void Tfrmdados::tb_ordemvotacaoAfterInsert(Query &)
{
    reabre(tb_ova);
}
void Tfrmdados::tb_ordemvotacaoAfterPost(Query &)
{
    reabre(tb_ova);
}
void Tfrmdados::tb_ordemvotacaoAfterDelete(Query &)
{
    reabre(tb_ova);
}

void Tfrmdados::tb_ovaAfterScroll(Query &)
{
    // The row being added or edited stays current.
    if (tb_ordemvotacao.state() == Query::State::Edit || tb_ordemvotacao.state() == Query::State::Insert)
        return;
    tb_ordemvotacao.locate(QStringLiteral("ordem_votacao"),
                           tb_ova.field(QStringLiteral("ordem_votacao")).asString());
}

void Tfrmdados::tb_candidato_votacaoAfterOpen(Query &)
{
    tb_candidato_votacaoG.open();
}
void Tfrmdados::tb_candidato_votacaoAfterClose(Query &)
{
    tb_candidato_votacaoG.close();
}
void Tfrmdados::tb_candidato_votacaoAfterInsert(Query &)
{
    reabre(tb_candidato_votacaoG);
}
void Tfrmdados::tb_candidato_votacaoAfterPost(Query &)
{
    reabre(tb_candidato_votacaoG);
}
// A deleted row must not stay listed in the overview until its next re-run.
void Tfrmdados::tb_candidato_votacaoAfterDelete(Query &)
{
    reabre(tb_candidato_votacaoG);
}

void Tfrmdados::tb_candidato_votacaoBeforePost(Query &)
{
    // The picker's date always replaces the stored one, for inserts and edits alike.
    if (m_seletorDia)
        tb_candidato_votacao.field(QStringLiteral("data_votacao")).setValue(m_seletorDia->dia());
}

void Tfrmdados::tb_candidato_votacaoAfterScroll(Query &)
{
    if (!m_seletorDia) return;
    const QDate dia = tb_candidato_votacao.field(QStringLiteral("data_votacao")).asDate();
    m_seletorDia->defineDia(dia.isValid() ? dia : diaInicial());
}
