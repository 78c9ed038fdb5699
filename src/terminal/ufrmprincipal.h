#pragma once

// The voting terminal: the screen panel on the left, the keypad on the right, the
// walk through the voting order, number entry with its lookups after each digit,
// and the casting of votes. The ballot state lives in what the screen shows: the
// text of the status mark decides what the keys accept and what CONFIRMA stores.

#include "data/query.h"
#include "platform/rotuloclicavel.h"

#include <QWidget>
#include <functional>
#include <memory>

class QFrame;
class QLineEdit;
class QPushButton;
class QTimer;

namespace Desenhos {
enum class Tecla;
}

// A keypad key: a picture drawn for its face that takes clicks.
class TeclaImagem : public RotuloClicavel
{
    Q_OBJECT
public:
    TeclaImagem(Desenhos::Tecla tipo, const QString &rotulo, QWidget *parent);

protected:
    void paintEvent(QPaintEvent *) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;

private:
    Desenhos::Tecla m_tipo;
    QString m_rotulo;
    // The face drawn once per state (up, pressed) at the screen's pixel ratio.
    QPixmap m_faces[2];
};

class Tfrmprincipal : public QWidget
{
    Q_OBJECT
public:
    explicit Tfrmprincipal(QWidget *parent = nullptr);
    ~Tfrmprincipal() override;

    // On the window
    RotuloClicavel *Label1;
    QLabel *Image1;
    QLabel *Label13;
    QLabel *Label12;
    QPushButton *btn_cadastro;
    QLabel *banner;
    QFrame *tela_votos;
    QFrame *tela_teclado;
    // On the screen panel
    QLabel *Label3, *tipo_candidato, *Label11, *Label6;
    QLineEdit *Edit1, *Edit2, *Edit3, *Edit4, *Edit5;
    QLabel *foto_candidato, *descricaovoto;
    QLabel *Label7, *Label8, *Label9, *Label10;
    QFrame *Shape1;
    QLabel *Label2, *Label4, *Label5, *atencaodovoto;
    // On the keypad
    TeclaImagem *btn_1, *btn_2, *btn_4, *Image3, *btn_5, *btn_6, *btn_7, *btn_8, *btn_9, *btn_0;
    TeclaImagem *btn_branco, *btn_corrige, *btn_confirma;

    QTimer *piscaatencaodovoto;
    QTimer *MostraFim;
    std::unique_ptr<Query> tb_ordem_votacao;

    int qtd_digitos = 0;
    // Keys found by the last lookups, as texts of at most 7 characters.
    QString candidato_atual, partido_atual, cargo_atual, partido_legenda;

    void FormCreate();
    void FormShow();
    bool FormCloseQuery();
    void carrega_logo();

    void prepara_cargo();
    void avanca_ordem();
    void toca_som(const QString &nome);
    void piscaatencaodovotoTimer();
    void MostraFimTimer();
    void Label1Click();
    void Label12MouseEnter();
    void btn_cadastroMouseLeave();
    void btn_cadastroClick();

    void btn_1Click();
    void btn_2Click();
    void btn_4Click();
    void Image3Click();
    void btn_5Click();
    void btn_6Click();
    void btn_7Click();
    void btn_8Click();
    void btn_9Click();
    void btn_0Click();
    void digita_tecla(const QString &digito);
    QString numero_digitado() const;
    void valida_numero();
    bool existe_numero(bool legenda, bool candidato);
    void sinaliza_voto(bool numero_errado, bool voto_legenda, bool candidato_inexistente, bool limpa);
    // False when the lookup finds no row (a candidate whose party is gone).
    bool mostra_dados_voto(bool legenda);
    void Edit1KeyPress();

    void btn_brancoClick();
    void btn_corrigeClick();
    void btn_confirmaClick();

    // How the hidden button opens the registration window: set by the application, so
    // that the terminal knows no operator's window.
    static inline std::function<void(Tfrmprincipal *dono)> abreCadastro;

    static const QString kNumeroErrado, kCandidatoInexistente;
    static const QString kMarcaLegenda, kMarcaNulo, kMarcaBranco;

protected:
    void showEvent(QShowEvent *e) override;
    void closeEvent(QCloseEvent *e) override;
    bool event(QEvent *e) override;
    bool eventFilter(QObject *obj, QEvent *e) override;

private:
    QWidget *createScreenPanel();
    QWidget *createKeypad();
    void teclaDigito(const QString &digito);
    bool semOrdem() const;
    // An office is on screen whose digit count is empty or not 1 to 5: no box to fill.
    bool semDigitos() const;
    QLineEdit *caixa(int i) const;

    bool m_mostrada = false;
};

extern Tfrmprincipal *frmprincipal;
