#include "terminal/ufrmprincipal.h"

#include "terminal/pecas.h"
#include "terminal/fala.h"
#include "terminal/guiavoz.h"
#include "data/esquema.h"
#include "data/sigilo.h"
#include "platform/bitmap.h"
#include "platform/instalacao.h"
#include "platform/mensagens.h"
#include "platform/som.h"
#include "data/ufrmdados.h"
#include "platform/untutils.h"

#include <QCloseEvent>
#include <QCursor>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

Tfrmprincipal *frmprincipal = nullptr;

using Mensagens::protegido;

namespace
{

// Labels sized to their text keep their left edge and grow to the right.
void textoAjustado(QLabel *l, const QString &texto)
{
    l->setText(texto);
    l->adjustSize();
}

void habilita(QTimer *t)
{
    if (!t->isActive()) t->start();
}

} // namespace

// ---- Start-up

void Tfrmprincipal::FormCreate()
{
    // Only a regular file counts: a folder or a pipe of that name is no database (and
    // opening a pipe would wait for a writer with no window shown).
    if (!QFileInfo(Instalacao::caminho(Esquema::kArquivoBanco)).isFile()) {
        Mensagens::mostra(Mensagens::Icone::Erro, QStringLiteral("O banco de dados não foi encontrado !  "));
        pede_encerramento();
        return;
    }
    conecta_banco();
    if (encerramento_pedido()) return; // one message only: the logo is not worth a second
    m_cedula = std::make_unique<Cedula>(frmdados->conexaoDB);
    tb_ordem_votacao = std::make_unique<Query>(frmdados->conexaoDB);
    tb_ordem_votacao->setSql(QStringList{
        QStringLiteral("select ordem_votacao.ordem_votacao, cargo.cargo, quantidade_numeros, id_cargo  from "
                       "ordem_votacao"),
        QStringLiteral("inner join cargo on ordem_votacao.id_cargo = cargo.numcad_cargo"),
        QStringLiteral("order by ordem_votacao")});
    protegido([this] { carrega_logo(); });
}

void Tfrmprincipal::carrega_logo()
{
    const QString caminho = Instalacao::caminho(Instalacao::kLogo);
    if (!QFileInfo::exists(caminho)) return;
    const QImage imagem = Bitmap::carrega(caminho, Instalacao::kLogo);
    Image1->setPixmap(QPixmap::fromImage(imagem)); // drawn from the top-left corner, clipped to the box
}

void Tfrmprincipal::FormShow()
{
    if (!tb_ordem_votacao) return;
    tb_ordem_votacao->open();
    if (tb_ordem_votacao->recordCount() <= 0)
        Mensagens::mostra(Mensagens::Icone::Informacao,
                          QStringLiteral("Defina uma ordem de votação para os candidatos"));
    else
        prepara_cargo();
}

void Tfrmprincipal::showEvent(QShowEvent *e)
{
    QWidget::showEvent(e);
    if (m_mostrada) return;
    m_mostrada = true;
    protegido([this] { FormShow(); });
}

// ---- Ballot cycle

void Tfrmprincipal::prepara_cargo() { preparaCargo(Cedula::Evento::Cargo); }

void Tfrmprincipal::preparaCargo(Cedula::Evento motivo)
{
    MostraCedula mostra(this);
    const QString cargo = tb_ordem_votacao->field(QStringLiteral("cargo")).asString();
    const QString idCargo = tb_ordem_votacao->field(QStringLiteral("id_cargo")).asString();
    qint64 n = 0;
    try {
        n = tb_ordem_votacao->field(QStringLiteral("quantidade_numeros")).asInteger();
    } catch (const DbError &) {
        // A count that is no number is as unusable as none.
    }
    m_cedula->prepara_cargo(cargo, idCargo, n, motivo);
}

void Tfrmprincipal::avanca_ordem()
{
    tb_ordem_votacao->next();
    if (!tb_ordem_votacao->eof()) {
        prepara_cargo();
        return;
    }
    {
        MostraCedula mostra(this);
        m_cedula->encerra_ciclo();
    }
    tb_ordem_votacao->first();
    habilita(MostraFim);
    toca_som(Instalacao::kSomFim);
    // While "FIM" shows, not inside a voter's CONFIRMA: the log goes into the file, its
    // pages ordered, and is emptied, so it never holds more than the ballot just cast.
    Sigilo::encerraCiclo(frmdados->conexaoDB);
}

void Tfrmprincipal::MostraFimTimer()
{
    Label11->hide();
    MostraFim->stop(); // one tick only
    prepara_cargo();
}

// The screen panel shows the ballot's state; the blink of the mark is the window's own.
void Tfrmprincipal::mostraCedula()
{
    if (!m_cedula) return;
    const Cedula &c = *m_cedula;
    if (c.fase() == Cedula::Fase::SemCargo) return; // the screen as designed: no office to show
    if (c.fase() == Cedula::Fase::Fim) {
        for (QWidget *w : std::initializer_list<QWidget *>{Label2, Label3, Label4, Label5, Label6, Label7, Label8,
                                                            Label9, Label10, foto_candidato, Edit1, Edit2, Edit3,
                                                            Edit4, Edit5, Shape1, descricaovoto, tipo_candidato})
            w->hide();
        atencaodovoto->clear();
        piscaatencaodovoto->stop();
        Label11->show();
        m_sinalizacoesVistas = c.sinalizacoes();
        return;
    }
    const bool branco = c.marca() == Cedula::Marca::Branco;
    Label11->hide();
    for (QWidget *w : std::initializer_list<QWidget *>{Label3, Shape1, Label2, Label4, Label5, tipo_candidato})
        w->show();
    Label6->setVisible(!branco);
    if (tipo_candidato->text() != c.titulo()) textoAjustado(tipo_candidato, c.titulo());
    const QString numero = c.numero_digitado();
    for (int i = 0; i < 5; ++i) {
        const QString digito = i < numero.size() ? numero.mid(i, 1) : QString();
        if (caixa(i)->text() != digito) caixa(i)->setText(digito);
        caixa(i)->setVisible(!branco && i < c.qtd_digitos());
    }
    if (c.mostraNome()) Label8->setText(c.nome());
    Label7->setVisible(c.mostraNome());
    Label8->setVisible(c.mostraNome());
    if (c.mostraPartido()) Label10->setText(c.partido());
    Label9->setVisible(c.mostraPartido());
    Label10->setVisible(c.mostraPartido());
    if (branco) descricaovoto->setText(QStringLiteral("VOTO EM BRANCO"));
    descricaovoto->setVisible(branco);

    const QString marca = c.textoMarca();
    if (marca.isEmpty()) {
        piscaatencaodovoto->stop();
        atencaodovoto->hide();
        atencaodovoto->clear();
    } else {
        if (atencaodovoto->text() != marca) textoAjustado(atencaodovoto, marca);
        // A mark set by a lookup shows at once; a blank's shows at the first blink.
        if (c.sinalizacoes() != m_sinalizacoesVistas) atencaodovoto->show();
        habilita(piscaatencaodovoto);
    }
    m_sinalizacoesVistas = c.sinalizacoes();

    if (c.foto().cacheKey() != m_fotoMostrada) {
        m_fotoMostrada = c.foto().cacheKey();
        if (c.foto().isNull()) {
            foto_candidato->clear(); // its visibility does not change
        } else {
            foto_candidato->setPixmap(QPixmap::fromImage(c.foto()));
            foto_candidato->show();
        }
    }
    // The focus stands on the next box to fill, or on the last one.
    if (!branco && c.qtd_digitos() >= 1) caixa(std::min(int(numero.size()), c.qtd_digitos() - 1))->setFocus();
}

void Tfrmprincipal::piscaatencaodovotoTimer() { atencaodovoto->setVisible(atencaodovoto->isHidden()); }

void Tfrmprincipal::toca_som(const QString &nome) { Som::instancia().tocaSeExistir(Instalacao::caminho(nome)); }

bool Tfrmprincipal::FormCloseQuery()
{
    // With no order open there is no cycle to protect.
    if (!tb_ordem_votacao || tb_ordem_votacao->bof()) return true;
    Mensagens::mostra(Mensagens::Icone::Aviso,
                      QStringLiteral("Para fechar a Votarim é necessário que se complete todo o ciclo da votação !"));
    return false;
}

void Tfrmprincipal::closeEvent(QCloseEvent *e)
{
    bool pode = false;
    protegido([&] { pode = FormCloseQuery(); });
    if (pode)
        e->accept();
    else
        e->ignore();
}

void Tfrmprincipal::Label1Click() { close(); }

void Tfrmprincipal::Label12MouseEnter() { btn_cadastro->show(); }
void Tfrmprincipal::btn_cadastroMouseLeave() { btn_cadastro->hide(); }

void Tfrmprincipal::btn_cadastroClick()
{
    if (abreCadastro) abreCadastro(this);
}

bool Tfrmprincipal::event(QEvent *e)
{
    switch (e->type()) {
    case QEvent::HoverMove:
        // Qt tells the button of its Leave only when a motion has reached it: a quick
        // move through the corner and out would leave it shown.
        if (!btn_cadastro->isHidden() &&
            !btn_cadastro->geometry().contains(static_cast<QHoverEvent *>(e)->position().toPoint()))
            protegido([this] { btn_cadastroMouseLeave(); });
        return true;
    case QEvent::HoverEnter:
    case QEvent::HoverLeave:
        return true; // nothing to repaint
    case QEvent::Leave:
        if (!btn_cadastro->isHidden()) protegido([this] { btn_cadastroMouseLeave(); });
        break;
    default:
        break;
    }
    return QWidget::event(e);
}

bool Tfrmprincipal::eventFilter(QObject *obj, QEvent *e)
{
    if (obj == Label12 && e->type() == QEvent::Enter) {
        protegido([this] {
            Label12MouseEnter();
            // The pointer may have gone on before this Enter was handled, with no motion
            // left to tell: ask where it is now.
            if (!btn_cadastro->geometry().contains(mapFromGlobal(QCursor::pos()))) btn_cadastroMouseLeave();
        });
    } else if (obj == btn_cadastro && e->type() == QEvent::Leave) {
        protegido([this] { btn_cadastroMouseLeave(); });
    } else if (e->type() == QEvent::KeyPress && qobject_cast<QLineEdit *>(obj)) {
        const int key = static_cast<QKeyEvent *>(e)->key();
        if (m_guia) {
            protegido([&] { teclaFisica(static_cast<QKeyEvent *>(e)); });
            return true;
        }
        if (key != Qt::Key_Tab && key != Qt::Key_Backtab) {
            Edit1KeyPress();
            return true;
        }
    }
    return QWidget::eventFilter(obj, e);
}

void Tfrmprincipal::keyPressEvent(QKeyEvent *e)
{
    // With no box to take it (a blank vote, "FIM"), the key reaches the window.
    if (m_guia)
        protegido([&] { teclaFisica(e); });
    else
        QWidget::keyPressEvent(e);
}

// ---- Spoken guidance and the keyboard as the keypad

void Tfrmprincipal::ligaGuia(std::unique_ptr<SaidaFala> saida)
{
    m_guia.reset(); // none given: the guidance is off
    if (m_cedula && saida) m_guia = std::make_unique<GuiaVoz>(m_cedula.get(), std::move(saida));
}

void Tfrmprincipal::teclaFisica(const QKeyEvent *e)
{
    using A = GuiaVoz::Acao;
    switch (GuiaVoz::acaoDaTecla(e->key(), e->modifiers() & Qt::KeypadModifier)) {
    case A::Nenhuma:
        return;
    case A::Digito:
        teclaDigito(QString(QChar('0' + (e->key() - Qt::Key_0))));
        return;
    case A::Confirma:
        btn_confirmaClick();
        return;
    case A::Corrige:
        btn_corrigeClick();
        return;
    case A::Branco:
        btn_brancoClick();
        return;
    case A::Repete:
        m_guia->repete();
        return;
    case A::MaisRapido:
        m_guia->maisRapido();
        return;
    case A::MaisDevagar:
        m_guia->maisDevagar();
        return;
    case A::SemEfeito:
        m_cedula->semEfeito();
        return;
    }
}

// ---- Number entry

void Tfrmprincipal::Edit1KeyPress()
{
    // The keyboard's character is dropped: the boxes take digits from the keypad only.
}

void Tfrmprincipal::teclaDigito(const QString &digito)
{
    protegido([&] {
        toca_som(Instalacao::kSomBip);
        if (m_cedula) digita_tecla(digito);
    });
}

void Tfrmprincipal::btn_1Click() { teclaDigito(QStringLiteral("1")); }
void Tfrmprincipal::btn_2Click() { teclaDigito(QStringLiteral("2")); }
void Tfrmprincipal::btn_4Click() { teclaDigito(QStringLiteral("3")); }
void Tfrmprincipal::Image3Click() { teclaDigito(QStringLiteral("4")); }
void Tfrmprincipal::btn_5Click() { teclaDigito(QStringLiteral("5")); }
void Tfrmprincipal::btn_6Click() { teclaDigito(QStringLiteral("6")); }
void Tfrmprincipal::btn_7Click() { teclaDigito(QStringLiteral("7")); }
void Tfrmprincipal::btn_8Click() { teclaDigito(QStringLiteral("8")); }
void Tfrmprincipal::btn_9Click() { teclaDigito(QStringLiteral("9")); }
void Tfrmprincipal::btn_0Click() { teclaDigito(QStringLiteral("0")); }

void Tfrmprincipal::digita_tecla(const QString &d)
{
    MostraCedula mostra(this);
    if (!m_cedula->digita_tecla(d)) m_cedula->semEfeito();
}

QString Tfrmprincipal::numero_digitado() const { return m_cedula ? m_cedula->numero_digitado() : QString(); }

void Tfrmprincipal::valida_numero()
{
    MostraCedula mostra(this);
    m_cedula->valida_numero();
}

// ---- Casting

bool Tfrmprincipal::semOrdem() const
{
    return !tb_ordem_votacao || !tb_ordem_votacao->isActive() || tb_ordem_votacao->recordCount() <= 0;
}

void Tfrmprincipal::btn_brancoClick()
{
    protegido([this] {
        if (!m_cedula) return;
        if (!m_cedula->podeBranco()) {
            m_cedula->semEfeito(); // not even the beep
            return;
        }
        toca_som(Instalacao::kSomBip);
        MostraCedula mostra(this);
        m_cedula->branco();
    });
}

void Tfrmprincipal::btn_corrigeClick()
{
    protegido([this] {
        if (!m_cedula) return;
        if (semOrdem()) { // no office to start over
            m_cedula->semEfeito();
            return;
        }
        Som::instancia().tocaOuPadrao(Instalacao::caminho(Instalacao::kSomBip));
        preparaCargo(Cedula::Evento::Corrigido);
    });
}

void Tfrmprincipal::btn_confirmaClick()
{
    protegido([this] {
        // No verdict to store (nothing keyed, an incomplete number, no office, "FIM"): nothing at all.
        if (!m_cedula) return;
        if (!m_cedula->podeConfirmar()) {
            m_cedula->semEfeito();
            return;
        }
        toca_som(Instalacao::kSomConfirma);
        m_cedula->grava();
        avanca_ordem();
    });
}
