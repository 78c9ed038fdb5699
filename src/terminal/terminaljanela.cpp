// The terminal window built: the screen panel with its labels and photo, and the
// keypad of pictures, in the places and colours of the real terminal.

#include "terminal/ufrmprincipal.h"

#include "terminal/desenhos.h"
#include "terminal/pecas.h"
#include "terminal/fala.h"
#include "terminal/guiavoz.h"
#include "platform/bitmap.h"
#include "platform/mensagens.h"
#include "platform/rotulotexto.h"

#include <QFrame>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTimer>

using Mensagens::protegido;

namespace
{

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
