#pragma once

// The voting terminal: the screen panel on the left, the keypad on the right and the
// walk through the voting order. The ballot of the office on screen (digits, lookups,
// verdict, the vote record) is a Cedula; the window passes the keys to it and shows
// its state after each one.

#include "data/query.h"
#include "platform/rotuloclicavel.h"
#include "terminal/pecas.h"
#include "terminal/cedula.h"

#include <QWidget>
#include <functional>
#include <memory>

class GuiaVoz;
class QFrame;
class QKeyEvent;
class QLineEdit;
class SaidaFala;
class QPushButton;
class QTimer;

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

    // The ballot of the office on screen; none before the database is connected.
    Cedula *cedula() const { return m_cedula.get(); }
    int qtd_digitos() const { return m_cedula ? m_cedula->qtd_digitos() : 0; }

    void FormCreate();
    void FormShow();
    bool FormCloseQuery();
    void carrega_logo();

    void prepara_cargo();
    // The same, told to the ballot as a fresh office or as one started over.
    void preparaCargo(Cedula::Evento motivo);
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
    void Edit1KeyPress();

    void btn_brancoClick();
    void btn_corrigeClick();
    void btn_confirmaClick();

    // Turns the spoken guidance on (before the window is shown), with the keyboard as the keypad.
    void ligaGuia(std::unique_ptr<SaidaFala> saida);
    GuiaVoz *guia() const { return m_guia.get(); }

    // How the hidden button opens the registration window: set by the application, so
    // that the terminal knows no operator's window.
    static inline std::function<void(Tfrmprincipal *dono)> abreCadastro;

protected:
    void showEvent(QShowEvent *e) override;
    void closeEvent(QCloseEvent *e) override;
    bool event(QEvent *e) override;
    bool eventFilter(QObject *obj, QEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;

private:
    QWidget *createScreenPanel();
    QWidget *createKeypad();
    void teclaDigito(const QString &digito);
    // A key of the computer's keyboard while the guidance is on: the keypad's keys, or "Tecla sem efeito.".
    void teclaFisica(const QKeyEvent *e);
    bool semOrdem() const;
    QLineEdit *caixa(int i) const;
    // The screen panel made to show the ballot's state.
    void mostraCedula();
    // Shows the ballot when the handler that changed it ends, even by an error.
    struct MostraCedula {
        Tfrmprincipal *janela;
        explicit MostraCedula(Tfrmprincipal *j) : janela(j) {}
        ~MostraCedula() { janela->mostraCedula(); }
    };

    bool m_mostrada = false;
    std::unique_ptr<Cedula> m_cedula;
    std::unique_ptr<GuiaVoz> m_guia;
    int m_sinalizacoesVistas = 0;
    qint64 m_fotoMostrada = 0;
};

extern Tfrmprincipal *frmprincipal;
