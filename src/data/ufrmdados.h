#pragma once

// The shared data module: the one connection, and the queries and data sources the
// registration window binds to. Two chains keep a read-only list in step with its
// editable partner (the voting order with its list, the voting-day map with its
// overview), and the map keeps the open window's day picker on the current row's day.

#include "data/database.h"
#include "data/fontedados.h"
#include "data/query.h"

#include <QDate>
#include <QObject>

// The registration window's day picker, as the shared data module's voting-day
// handlers reach it. The window installs its picker while it is open and removes
// it when it closes, so the data module needs no widget of its own.
class SeletorDeDia
{
  public:
    virtual ~SeletorDeDia() = default;
    virtual QDate dia() const = 0;
    // Changes only the date; the time of day stays midnight.
    virtual void defineDia(const QDate &dia) = 0;
};

// The module's connection, held in a base so that it is built before the queries
// that use it and goes after them.
struct ConexaoDoModulo {
    Database conexaoDB;
};

class Tfrmdados : public QObject, public ConexaoDoModulo
{
    Q_OBJECT
  public:
    explicit Tfrmdados(QObject *owner);
    ~Tfrmdados() override;

    // The open registration window's day picker; null while no window is open.
    SeletorDeDia *seletorDia() const { return m_seletorDia; }
    void instalaSeletorDia(SeletorDeDia *seletor) { m_seletorDia = seletor; }

    // Puts the rule that nothing still referred to is deleted on the connection, once:
    // only the registration window deletes, so it is done when the first one opens.
    void protegeReferencias();

    // The map's statement texts without a day filter: the texts the module starts with.
    static QStringList sqlMapa();
    static QStringList sqlMapaGeral();
    // The day a map row takes when it has none, and the picker's first day.
    // A new map row starts at today: a day nobody chose must at least be a plausible one.
    static QDate diaInicial() { return QDate::currentDate(); }

    // In this order, followed by conexaoDB (from ConexaoDoModulo).
    Query tb_candidatos;
    Query tb_cargo;
    Query tb_partido;
    DataSource dts_candidatos;
    DataSource dts_cargo;
    DataSource dts_partido;
    Query tb_ordemvotacao;
    DataSource dts_ordemvotacao;
    Query tb_ova;
    DataSource dts_ova;
    Query tb_candidato_votacao;
    DataSource dts_candidato_votacao;
    Query tb_candidato_votacaoG;
    DataSource dts_candidato_votacaoG;

    // The voting-order chain.
    void tb_ordemvotacaoAfterOpen(Query &);
    void tb_ordemvotacaoAfterClose(Query &);
    void tb_ordemvotacaoAfterInsert(Query &);
    void tb_ordemvotacaoAfterPost(Query &);
    void tb_ordemvotacaoAfterDelete(Query &);
    void tb_ovaAfterScroll(Query &);
    // The voting-day map chain.
    void tb_candidato_votacaoAfterOpen(Query &);
    void tb_candidato_votacaoAfterClose(Query &);
    void tb_candidato_votacaoAfterInsert(Query &);
    void tb_candidato_votacaoAfterPost(Query &);
    void tb_candidato_votacaoAfterDelete(Query &);
    void tb_candidato_votacaoBeforePost(Query &);
    void tb_candidato_votacaoAfterScroll(Query &);

  private:
    struct PreencheLinhaDoMapa : QueryListener {
        void fieldChanged(Query &q, int coluna) override;
        Database *banco = nullptr;
    };
    PreencheLinhaDoMapa m_preencheLinhaDoMapa;
    bool m_referenciasProtegidas = false;
    SeletorDeDia *m_seletorDia = nullptr;
};

// Created by conecta_banco, owned by the application; never more than one.
extern Tfrmdados *frmdados;
