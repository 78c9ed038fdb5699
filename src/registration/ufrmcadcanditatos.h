#pragma once

// The operator's registration window, shown modally over the terminal and destroyed
// when it closes. Six tabs: candidates (with their photos), offices, parties, the
// voting order, the map of the candidates standing on each voting day, and reports.
// Every tab works on the shared queries of frmdados through its record navigator;
// the window keeps no data of its own.

#include "data/ufrmdados.h"
#include "platform/dbnavigator.h"

#include <QDialog>

class DbEdit;
class DbGrid;
class DbLookupComboBox;
class DbText;
class QCheckBox;
class QFrame;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QPushButton;
class QTabWidget;
class SeletorData;
class SeletorDataComCaixa;
class TabRelatorio;

class Tfrmcadastro : public QDialog
{
    Q_OBJECT
  public:
    explicit Tfrmcadastro(QWidget *owner);
    ~Tfrmcadastro() override;

    QTabWidget *pg_principal;
    QWidget *pg_candidato, *pg_cargo, *pg_partido, *pg_votacao, *tab_candidatos_votacao;
    TabRelatorio *tab_relatorio;
    QGroupBox *GroupBox1, *GroupBox2, *GroupBox3, *GroupBox4, *GroupBox5, *GroupBox6;

    // Candidates
    DbText *DBText1;
    DbEdit *cmp_nome_candidato, *cmp_numero_candidato;
    DbLookupComboBox *cmp_id_cargo, *cmp_id_partido;
    DbNavigator *navegador_candidato;
    DbGrid *DBGrid2;
    QCheckBox *ck_vizualiza_foto;
    QPushButton *add_imagem, *del_imagem;
    QFrame *painel_foto;
    QLabel *cmp_foto;
    // Offices
    DbText *cmp_numcad_cargo;
    DbEdit *cmp_cargo, *cmp_quantidade_numeros;
    DbNavigator *navegador_cargo;
    DbGrid *DBGrid3;
    // Parties
    DbText *cmp_numcad_partido;
    DbEdit *cmp_partido, *cmp_legenda;
    DbNavigator *navegador_partido;
    DbGrid *DBGrid4;
    // Voting order
    DbLookupComboBox *cmp_id_cargo_odemvotacao;
    DbEdit *cmp_ordem_votacao;
    DbNavigator *navegador_ordemvotacao;
    DbGrid *listagem_ordematual;
    // Voting-day map
    SeletorData *cmp_data_votacao;
    SeletorDataComCaixa *cmp_filtro_candidatosvotacao;
    QCheckBox *cheq_filtro_candidatosvotacao;
    DbLookupComboBox *cmp_id_candidato_cand_votacao, *cmp_id_cargocand_votacao, *cmp_id_partido_cand_votacao;
    DbNavigator *DBNavigator1;
    DbGrid *DBGrid1;

    void FormCreate();
    void FormShow();
    void FormClose();

    // Key filters: whether the typed character reaches the box.
    bool cmp_numero_candidatoKeyPress(const QKeyEvent *e) const;
    bool cmp_legendaKeyPress(const QKeyEvent *e) const;
    bool cmp_quantidade_numerosKeyPress(const QKeyEvent *e) const;

    void add_imagemClick();
    void del_imagemClick();
    void ck_vizualiza_fotoClick();

    // Whether the navigator's action goes ahead.
    bool navegador_ordemvotacaoBeforeAction(DbNavigator::Button botao);
    void cheq_filtro_candidatosvotacaoClick();
    void cmp_filtro_candidatosvotacaoChange();
    void filtra_mapa_votacao(bool filtrado);

    // The texts the window shows the operator.
    static const QString kFotoSoEditando, kRemoveSoEditando, kOrdemObrigatoria, kMudancasNaProximaAbertura;

  protected:
    void showEvent(QShowEvent *e) override;
    void closeEvent(QCloseEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    bool eventFilter(QObject *obj, QEvent *e) override;

  private:
    // The day picker of the map, as the data module's handlers reach it.
    class SeletorDoMapa : public SeletorDeDia
    {
      public:
        explicit SeletorDoMapa(Tfrmcadastro *janela) : m_janela(janela) {}
        QDate dia() const override;
        void defineDia(const QDate &dia) override;

      private:
        Tfrmcadastro *m_janela;
    };

    QWidget *createTab(const char *nome, const QString &titulo, QGroupBox *&quadro, const char *nomeQuadro);
    void ajustaAbasALargura();
    void createComponents();
    void createPhotoControls();
    void createMapPickers();
    void setTabOrders();
    void fechaConsultas();
    // The voting order and the offices as stored now, in a comparable text.
    QString ordemECargos() const;

    SeletorDoMapa m_seletor{this};
    bool m_mostrada = false;
    bool m_fechada = false;
    // What the voting order and the offices were when the window opened: the terminal
    // read them once at its start and will not see a change before the next one.
    QString m_ordemECargosNaAbertura;
};

// Meaningful only while a registration window is open.
extern Tfrmcadastro *frmcadastro;
