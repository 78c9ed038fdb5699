#include "terminal/ufrmprincipal.h"

#include "terminal/desenhos.h"
#include "terminal/pecas.h"
#include "terminal/fala.h"
#include "terminal/guiavoz.h"
#include "data/esquema.h"
#include "data/sigilo.h"
#include "platform/bitmap.h"
#include "platform/instalacao.h"
#include "platform/mensagens.h"
#include "platform/rotulotexto.h"
#include "platform/som.h"
#include "data/ufrmdados.h"
#include "platform/untutils.h"

#include <QCloseEvent>
#include <QCursor>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTimer>

Tfrmprincipal *frmprincipal = nullptr;

using Mensagens::protegido;

namespace {

const QColor kPrata(0xC0, 0xC0, 0xC0);
const QColor kTela(0xE5, 0xE5, 0xE5);

QFont verdana(int px, bool negrito = false)
{
    QFont f(QStringLiteral("Verdana"));
    f.setPixelSize(px);
    f.setBold(negrito);
    return f;
}

template<class W>
W *poe(W *w, const char *nome, int x, int y, int largura = -1, int altura = -1)
{
    w->setObjectName(QLatin1String(nome));
    if (largura < 0) {
        w->adjustSize();
        w->move(x, y);
    } else {
        w->setGeometry(x, y, largura, altura);
    }
    return w;
}

QLabel *rotulo(QWidget *pai, const char *nome, const QString &texto, int x, int y, const QFont &fonte, int largura = -1,
               int altura = -1)
{
    // Office, candidate and party names come from the database: plain text only.
    auto *l = new RotuloTexto(texto, pai);
    l->setFont(fonte);
    return poe(l, nome, x, y, largura, altura);
}

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

void corDoTexto(QWidget *w, const QColor &cor)
{
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, cor);
    w->setPalette(p);
}

} // namespace

// ---- Window

Tfrmprincipal::Tfrmprincipal(QWidget *parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("frmprincipal"));
    setWindowTitle(QStringLiteral("Votarim"));
    setWindowIcon(QIcon(QPixmap::fromImage(imagemGuardada(QStringLiteral("icone"), Desenhos::imagemIcone))));
    setFixedSize(579, 409);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kPrata);
    setPalette(pal);
    QFont tahoma(QStringLiteral("Tahoma"));
    tahoma.setPixelSize(11);
    setFont(tahoma);

    Label1 = new RotuloClicavel(QStringLiteral("Fechar"), this);
    Label1->setFont(verdana(11, true));
    corDoTexto(Label1, Qt::blue);
    Label1->setCursor(Qt::PointingHandCursor);
    poe(Label1, "Label1", 8, 8, 49, 13);

    Image1 = poe(new QLabel(this), "Image1", 79, 10, 100, 69);
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1->setPixmap(QPixmap::fromImage(imagemGuardada(QStringLiteral("logo"), Desenhos::logoPadrao)));

    Label13 = rotulo(this, "Label13", QStringLiteral("Simulador de Votarim"), 185, 32, verdana(24));
    corDoTexto(Label13, QColor(0x00, 0x00, 0x80));
    Label13->adjustSize();

    Label12 = rotulo(this, "Label12", QStringLiteral("          "), 517, 8, font(), 54, 18);
    btn_cadastro = poe(new QPushButton(QStringLiteral("Opções"), this), "btn_cadastro", 517, 6, 54, 20);
    btn_cadastro->setFlat(true);
    btn_cadastro->hide();

    banner = poe(new QLabel(this), "banner", 346, 82, 225, 50);
    banner->setPixmap(figura(QStringLiteral("banner"), QSize(225, 50), devicePixelRatioF(),
                             [](QPainter &p) { Desenhos::desenhaBanner(p, QRectF(0, 0, 225, 50)); }));

    tela_votos = poe(static_cast<QFrame *>(createScreenPanel()), "tela_votos", 10, 90, 321, 297);
    tela_teclado = poe(static_cast<QFrame *>(createKeypad()), "tela_teclado", 348, 138, 225, 265);

    piscaatencaodovoto = new QTimer(this);
    piscaatencaodovoto->setObjectName(QStringLiteral("piscaatencaodovoto"));
    piscaatencaodovoto->setInterval(500);
    MostraFim = new QTimer(this);
    MostraFim->setObjectName(QStringLiteral("MostraFim"));
    MostraFim->setInterval(2000);

    connect(Label1, &RotuloClicavel::clicked, this, [this] { protegido([this] { Label1Click(); }); });
    connect(btn_cadastro, &QPushButton::clicked, this, [this] { protegido([this] { btn_cadastroClick(); }); });
    connect(piscaatencaodovoto, &QTimer::timeout, this, [this] { protegido([this] { piscaatencaodovotoTimer(); }); });
    connect(MostraFim, &QTimer::timeout, this, [this] { protegido([this] { MostraFimTimer(); }); });
    Label12->installEventFilter(this);
    btn_cadastro->installEventFilter(this);
    // Every motion over the window, children included, reaches event() as a hover
    // move, so "Opções" is hidden as soon as the pointer is anywhere but on it.
    setAttribute(Qt::WA_Hover);

    protegido([this] { FormCreate(); });
}

Tfrmprincipal::~Tfrmprincipal()
{
    if (frmprincipal == this) frmprincipal = nullptr;
}

QWidget *Tfrmprincipal::createScreenPanel()
{
    auto *painel = new QFrame(this);
    painel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    painel->setLineWidth(2);
    painel->setAutoFillBackground(true);
    QPalette pal = painel->palette();
    pal.setColor(QPalette::Window, kTela);
    pal.setColor(QPalette::Base, kTela);
    painel->setPalette(pal);

    Label3 = rotulo(painel, "Label3", QStringLiteral("Seu voto para :"), 6, 5, verdana(12, true));
    tipo_candidato = rotulo(painel, "tipo_candidato", QStringLiteral("        "), 7, 48, verdana(19));
    tipo_candidato->setAlignment(Qt::AlignCenter);
    Label11 = rotulo(painel, "Label11", QStringLiteral("FIM"), 63, 77, verdana(96, true), 205, 116);
    Label11->hide();
    Label6 = rotulo(painel, "Label6", QStringLiteral("Número:"), 7, 100, verdana(11));
    Label6->hide();

    QLineEdit **caixas[] = {&Edit1, &Edit2, &Edit3, &Edit4, &Edit5};
    const char *nomes[] = {"Edit1", "Edit2", "Edit3", "Edit4", "Edit5"};
    const int esquerda[] = {6, 69, 132, 195, 258};
    for (int i = 0; i < 5; ++i) {
        auto *e = new CaixaDigito(painel);
        e->setMaxLength(1);
        e->setFont(verdana(48));
        e->setFrame(false);
        e->setAlignment(Qt::AlignCenter);
        // Filled only through the keypad: no typing, pasting, dropping or context menu.
        e->setReadOnly(true);
        e->setContextMenuPolicy(Qt::NoContextMenu);
        e->installEventFilter(this);
        e->hide();
        *caixas[i] = poe(e, nomes[i], esquerda[i], 119, 57, 65);
    }
    Edit5->setFocusPolicy(Qt::ClickFocus); // the Tab key skips it

    foto_candidato = poe(new QLabel(painel), "foto_candidato", 213, 9, 105, 104);
    foto_candidato->setScaledContents(true);
    descricaovoto = rotulo(painel, "descricaovoto", QString(), 69, 183, verdana(19), 199, 29);
    descricaovoto->setAlignment(Qt::AlignCenter);
    descricaovoto->setAttribute(Qt::WA_TranslucentBackground);
    descricaovoto->hide();

    Label7 = rotulo(painel, "Label7", QStringLiteral("Nome:"), 6, 218, verdana(11));
    Label8 = rotulo(painel, "Label8", QStringLiteral("          "), 57, 218, verdana(11, true), 256, 13);
    Label9 = rotulo(painel, "Label9", QStringLiteral("Partido:"), 6, 237, verdana(11));
    Label10 = rotulo(painel, "Label10", QStringLiteral("          "), 57, 237, verdana(11, true), 256, 13);
    for (QLabel *l : {Label7, Label8, Label9, Label10}) l->hide();

    Shape1 = poe(new QFrame(painel), "Shape1", 0, 261, 321, 1);
    Shape1->setFrameStyle(QFrame::NoFrame);
    Shape1->setAutoFillBackground(true);
    QPalette linha = Shape1->palette();
    linha.setColor(QPalette::Window, QColor(0x40, 0x40, 0x40));
    Shape1->setPalette(linha);

    Label2 = rotulo(painel, "Label2", QStringLiteral("Aperte a tecla:"), 7, 262, font());
    Label4 = rotulo(painel, "Label4", QStringLiteral("VERDE para CONFIRMAR"), 85, 263, font());
    Label5 = rotulo(painel, "Label5", QStringLiteral("LARANJA para CORRIGIR"), 85, 281, font());
    atencaodovoto = rotulo(painel, "atencaodovoto", QStringLiteral("          "), 223, 269, font());
    atencaodovoto->hide();
    return painel;
}

QWidget *Tfrmprincipal::createKeypad()
{
    auto *painel = new QFrame(this);
    painel->setAutoFillBackground(true);
    QPalette pal = painel->palette();
    pal.setColor(QPalette::Window, Qt::black);
    painel->setPalette(pal);

    using Desenhos::Tecla;
    struct Linha {
        TeclaImagem **membro;
        const char *nome;
        Tecla tipo;
        const char *rotulo;
        int x, y, w, h;
        void (Tfrmprincipal::*handler)();
    };
    const Linha teclas[] = {
        {&btn_1, "btn_1", Tecla::Digito, "1", 24, 8, 45, 35, &Tfrmprincipal::btn_1Click},
        {&btn_2, "btn_2", Tecla::Digito, "2", 87, 8, 45, 35, &Tfrmprincipal::btn_2Click},
        {&btn_4, "btn_4", Tecla::Digito, "3", 148, 8, 45, 35, &Tfrmprincipal::btn_4Click},
        {&Image3, "Image3", Tecla::Digito, "4", 24, 63, 45, 35, &Tfrmprincipal::Image3Click},
        {&btn_5, "btn_5", Tecla::Digito, "5", 87, 63, 45, 35, &Tfrmprincipal::btn_5Click},
        {&btn_6, "btn_6", Tecla::Digito, "6", 148, 63, 45, 35, &Tfrmprincipal::btn_6Click},
        {&btn_7, "btn_7", Tecla::Digito, "7", 24, 119, 45, 35, &Tfrmprincipal::btn_7Click},
        {&btn_8, "btn_8", Tecla::Digito, "8", 87, 119, 45, 35, &Tfrmprincipal::btn_8Click},
        {&btn_9, "btn_9", Tecla::Digito, "9", 148, 119, 45, 35, &Tfrmprincipal::btn_9Click},
        {&btn_0, "btn_0", Tecla::Digito, "0", 87, 172, 45, 35, &Tfrmprincipal::btn_0Click},
        {&btn_branco, "btn_branco", Tecla::Branco, "BRANCO", 5, 222, 67, 35, &Tfrmprincipal::btn_brancoClick},
        {&btn_corrige, "btn_corrige", Tecla::Corrige, "CORRIGE", 78, 222, 67, 35, &Tfrmprincipal::btn_corrigeClick},
        {&btn_confirma, "btn_confirma", Tecla::Confirma, "CONFIRMA", 153, 211, 67, 46,
         &Tfrmprincipal::btn_confirmaClick},
    };
    for (const Linha &t : teclas) {
        auto *k = new TeclaImagem(t.tipo, QLatin1String(t.rotulo), painel);
        *t.membro = poe(k, t.nome, t.x, t.y, t.w, t.h);
        const auto handler = t.handler;
        connect(k, &RotuloClicavel::clicked, this, [this, handler] { (this->*handler)(); });
    }
    return painel;
}

QLineEdit *Tfrmprincipal::caixa(int i) const
{
    QLineEdit *const caixas[] = {Edit1, Edit2, Edit3, Edit4, Edit5};
    return caixas[i];
}

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
