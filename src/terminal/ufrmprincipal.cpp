#include "terminal/ufrmprincipal.h"

#include "terminal/desenhos.h"
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

const QString Tfrmprincipal::kNumeroErrado = QStringLiteral("NÚMERO ERRADO");
const QString Tfrmprincipal::kCandidatoInexistente = QStringLiteral("CANDIDATO INEXISTENTE");
const QString Tfrmprincipal::kMarcaLegenda = QStringLiteral("(Voto de legenda)");
const QString Tfrmprincipal::kMarcaNulo = QStringLiteral("(Voto nulo)");
const QString Tfrmprincipal::kMarcaBranco = QStringLiteral("(Voto em branco)");

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

QString corta7(const QString &s) { return s.left(7); }

// A picture as stored with the program, when the screen has one device pixel per
// pixel; otherwise drawn here, sharp at the screen's ratio.
QPixmap figura(const QString &nome, QSize tamanho, qreal dpr, const std::function<void(QPainter &)> &desenha)
{
    if (dpr == 1) {
        const QImage pronta = Desenhos::pronta(nome);
        if (pronta.size() == tamanho) return QPixmap::fromImage(pronta);
    }
    QPixmap pm(tamanho * dpr);
    pm.setDevicePixelRatio(dpr);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    desenha(p);
    return pm;
}

// A picture stored with the program, or drawn when none is stored.
QImage imagemGuardada(const QString &nome, QImage (*desenha)())
{
    const QImage pronta = Desenhos::pronta(nome);
    return pronta.isNull() ? desenha() : pronta;
}

void corDoTexto(QWidget *w, const QColor &cor)
{
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, cor);
    w->setPalette(p);
}

// A digit box: flat, a one-pixel line instead of a sunken 3-D border (drawn here
// rather than through a style sheet, which would slow every repaint of a digit).
class CaixaDigito : public QLineEdit
{
public:
    using QLineEdit::QLineEdit;

protected:
    void paintEvent(QPaintEvent *e) override
    {
        QLineEdit::paintEvent(e);
        QPainter p(this);
        p.setPen(Qt::black);
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
};

} // namespace

// ---- Keys

TeclaImagem::TeclaImagem(Desenhos::Tecla tipo, const QString &rotulo, QWidget *parent)
    : RotuloClicavel(parent), m_tipo(tipo), m_rotulo(rotulo)
{
    setCursor(Qt::PointingHandCursor);
    setAccessibleName(rotulo);
}

void TeclaImagem::paintEvent(QPaintEvent *)
{
    QPixmap &face = m_faces[pressionado() ? 1 : 0];
    const qreal dpr = devicePixelRatioF();
    if (face.isNull() || face.devicePixelRatio() != dpr || face.deviceIndependentSize() != QSizeF(size()))
        face = figura(Desenhos::nomeDaTecla(m_rotulo, pressionado()), size(), dpr, [this](QPainter &p) {
            Desenhos::desenhaTecla(p, QRectF(rect()), m_tipo, m_rotulo, pressionado());
        });
    QPainter(this).drawPixmap(0, 0, face);
}

void TeclaImagem::mousePressEvent(QMouseEvent *e)
{
    RotuloClicavel::mousePressEvent(e);
    update();
}

void TeclaImagem::mouseReleaseEvent(QMouseEvent *e)
{
    update(); // before the click's handler runs, so the key is seen released
    RotuloClicavel::mouseReleaseEvent(e);
}

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

void Tfrmprincipal::prepara_cargo()
{
    qtd_digitos = 0;
    Label11->hide();
    for (QWidget *w : std::initializer_list<QWidget *>{Label3, Label6, Shape1, Label2, Label4, Label5}) w->show();
    for (int i = 0; i < 5; ++i) caixa(i)->clear();
    for (QLabel *l : {Label7, Label8, Label9, Label10}) l->hide();
    piscaatencaodovoto->stop();
    tipo_candidato->show();
    descricaovoto->hide();
    atencaodovoto->hide();
    atencaodovoto->clear();
    foto_candidato->clear();
    textoAjustado(tipo_candidato, tb_ordem_votacao->field(QStringLiteral("cargo")).asString());
    qint64 n = 0;
    try {
        n = tb_ordem_votacao->field(QStringLiteral("quantidade_numeros")).asInteger();
    } catch (const DbError &) {
        // A count that is no number is as unusable as none.
    }
    // An office without a valid digit count shows no box: nothing can be keyed there,
    // but BRANCO still works, so the voter can go on (semDigitos).
    for (int i = 0; i < 5; ++i) caixa(i)->setVisible(n >= 1 && n <= 5 && i < n);
    if (n >= 1 && n <= 5) {
        qtd_digitos = int(n);
        Edit1->setFocus();
    }
}

void Tfrmprincipal::avanca_ordem()
{
    tb_ordem_votacao->next();
    if (!tb_ordem_votacao->eof()) {
        prepara_cargo();
        return;
    }
    for (QWidget *w : std::initializer_list<QWidget *>{Label2, Label3, Label4, Label5, Label6, Label7, Label8, Label9,
                                                        Label10, foto_candidato, Edit1, Edit2, Edit3, Edit4, Edit5,
                                                        Shape1, descricaovoto, tipo_candidato})
        w->hide();
    atencaodovoto->clear();
    piscaatencaodovoto->stop();
    Label11->show();
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
        if (key != Qt::Key_Tab && key != Qt::Key_Backtab) {
            Edit1KeyPress();
            return true;
        }
    }
    return QWidget::eventFilter(obj, e);
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
        digita_tecla(digito);
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
    if (atencaodovoto->text() == kMarcaNulo) return;
    int k = 0;
    while (k < 5 && (caixa(k)->isHidden() || !caixa(k)->text().isEmpty())) ++k;
    if (k == 5) return;
    caixa(k)->setText(d);
    if (k == 0) {
        if (qtd_digitos == 1)
            valida_numero();
        else if (!Edit2->isHidden())
            Edit2->setFocus();
        return;
    }
    valida_numero();
    if (k + 1 < 5 && !caixa(k + 1)->isHidden()) caixa(k + 1)->setFocus();
}

QString Tfrmprincipal::numero_digitado() const
{
    for (int ultimo = 4; ultimo >= 0; --ultimo) {
        if (caixa(ultimo)->isHidden()) continue;
        QString n;
        for (int i = 0; i <= ultimo; ++i) n += caixa(i)->text();
        return n;
    }
    return QString();
}

void Tfrmprincipal::valida_numero()
{
    const int q = qtd_digitos;
    const int n = int(numero_digitado().size());
    // Keys are cleared before the checks that may set them: a check or lookup that fails
    // must not leave an earlier ballot's keys for CONFIRMA to store.
    candidato_atual.clear();
    partido_atual.clear();
    cargo_atual.clear();
    if (q >= 3 && n == 2) partido_legenda.clear();
    if (q <= 2) {
        if (existe_numero(false, true)) {
            if (n == q) {
                sinaliza_voto(false, false, false, true);
                if (!mostra_dados_voto(false)) sinaliza_voto(true, false, false, false);
            }
        } else {
            sinaliza_voto(true, false, false, false);
        }
    } else if (n == 2) {
        if (existe_numero(true, false)) {
            sinaliza_voto(false, true, false, false);
            mostra_dados_voto(true);
        } else {
            sinaliza_voto(true, false, false, false);
        }
    } else if (n > 2) {
        // A candidate the lookup cannot show (its party is gone) counts as no candidate.
        const bool candidato = existe_numero(false, true);
        if (candidato && n < q) return;
        if (candidato) {
            sinaliza_voto(false, false, false, true);
            if (mostra_dados_voto(false)) return;
        }
        if (existe_numero(true, false)) {
            if (n == q) sinaliza_voto(false, false, true, false);
        } else {
            sinaliza_voto(true, false, false, false);
        }
    }
}

bool Tfrmprincipal::existe_numero(bool legenda, bool candidato)
{
    Query q(frmdados->conexaoDB);
    bool existe = false;
    if (legenda) {
        q.setSql(QStringLiteral("select legenda from partido where legenda = :legenda"));
        q.setParam(QStringLiteral("legenda"), Edit1->text() + Edit2->text());
        q.open();
        existe = q.recordCount() > 0;
    }
    if (candidato) {
        q.setSql(QStringLiteral("select numero_candidato from candidatos where numero_candidato = :numero_candidato "
                                "and id_cargo = :id_cargo"));
        q.setParam(QStringLiteral("numero_candidato"), numero_digitado());
        q.setParam(QStringLiteral("id_cargo"), tb_ordem_votacao->field(QStringLiteral("id_cargo")).asString());
        q.open();
        existe = q.recordCount() > 0;
    }
    return existe;
}

void Tfrmprincipal::sinaliza_voto(bool numero_errado, bool voto_legenda, bool candidato_inexistente, bool limpa)
{
    if (limpa) {
        piscaatencaodovoto->stop();
        atencaodovoto->clear();
        atencaodovoto->hide();
    }
    if (numero_errado) {
        textoAjustado(tipo_candidato, kNumeroErrado);
        textoAjustado(atencaodovoto, kMarcaNulo);
        atencaodovoto->show();
        habilita(piscaatencaodovoto);
    }
    if (voto_legenda) {
        textoAjustado(atencaodovoto, kMarcaLegenda);
        atencaodovoto->show();
        habilita(piscaatencaodovoto);
    }
    if (candidato_inexistente) {
        textoAjustado(tipo_candidato, kCandidatoInexistente);
        textoAjustado(atencaodovoto, kMarcaLegenda);
        atencaodovoto->show();
        habilita(piscaatencaodovoto);
    }
}

bool Tfrmprincipal::mostra_dados_voto(bool legenda)
{
    Query q(frmdados->conexaoDB);
    if (legenda) {
        q.setSql(QStringLiteral("select numcad_partido,partido from partido where legenda = :legenda"));
        q.setParam(QStringLiteral("legenda"), Edit1->text() + Edit2->text());
        q.open();
        if (q.recordCount() == 0) return false;
        Label10->setText(q.field(QStringLiteral("partido")).asString());
        partido_legenda = corta7(q.field(QStringLiteral("numcad_partido")).asString());
        Label9->show();
        Label10->show();
        return true;
    }
    // The typed number is bound as a parameter rather than written into the text.
    q.setSql(QStringList{
        QStringLiteral("select numcad_candidato, nome_candidato as candidato, partido, id_partido, id_cargo, foto "
                       "from candidatos"),
        QStringLiteral(" inner join partido on candidatos.id_partido = partido.numcad_partido where "
                       "numero_candidato = :numero_candidato and id_cargo = :id_cargo")});
    q.setParam(QStringLiteral("numero_candidato"), numero_digitado());
    q.setParam(QStringLiteral("id_cargo"), tb_ordem_votacao->field(QStringLiteral("id_cargo")).asString());
    q.open();
    if (q.recordCount() == 0) return false;
    Label7->show();
    Label8->setText(q.field(QStringLiteral("candidato")).asString());
    Label8->show();
    Label9->show();
    Label10->setText(q.field(QStringLiteral("partido")).asString());
    Label10->show();
    candidato_atual = corta7(q.field(QStringLiteral("numcad_candidato")).asString());
    partido_atual = corta7(q.field(QStringLiteral("id_partido")).asString());
    cargo_atual = corta7(q.field(QStringLiteral("id_cargo")).asString());
    Field foto = q.field(QStringLiteral("foto"));
    if (foto.blobSize() > 0) {
        const QString arquivo = Instalacao::caminho(Instalacao::kFotoTerminal);
        foto.saveToFile(arquivo);
        foto_candidato->setPixmap(QPixmap::fromImage(Bitmap::carrega(arquivo)));
        foto_candidato->show();
        QFile::remove(arquivo);
    }
    return true;
}

// ---- Casting

bool Tfrmprincipal::semOrdem() const
{
    return !tb_ordem_votacao || !tb_ordem_votacao->isActive() || tb_ordem_votacao->recordCount() <= 0;
}

bool Tfrmprincipal::semDigitos() const
{
    return qtd_digitos == 0 && !semOrdem() && Label11->isHidden();
}

void Tfrmprincipal::btn_brancoClick()
{
    protegido([this] {
        const bool pronto = !Edit1->isHidden() && Edit1->text().isEmpty();
        if (!pronto && !(semDigitos() && atencaodovoto->text() != kMarcaBranco)) return;
        toca_som(Instalacao::kSomBip);
        descricaovoto->setText(QStringLiteral("VOTO EM BRANCO"));
        descricaovoto->show();
        Label6->hide();
        for (int i = 0; i < 5; ++i) caixa(i)->hide();
        atencaodovoto->setText(kMarcaBranco);
        atencaodovoto->adjustSize();
        habilita(piscaatencaodovoto);
    });
}

void Tfrmprincipal::btn_corrigeClick()
{
    protegido([this] {
        if (semOrdem()) return; // no office to start over
        Som::instancia().tocaOuPadrao(Instalacao::caminho(Instalacao::kSomBip));
        prepara_cargo();
    });
}

void Tfrmprincipal::btn_confirmaClick()
{
    protegido([this] {
        // No office on screen: nothing to store. At an office whose digit count is
        // unusable only a blank vote can be cast.
        if (semOrdem()) return;
        const QString marca = atencaodovoto->text();
        if (qtd_digitos < 1 && marca != kMarcaBranco) return;
        const bool marcada = marca == kMarcaLegenda || marca == kMarcaBranco || marca == kMarcaNulo;
        if (!marcada && numero_digitado().size() != qtd_digitos) return;
        // A verdict whose lookup failed found no key: as for a number still incomplete.
        if ((marca.isEmpty() && candidato_atual.isEmpty()) || (marca == kMarcaLegenda && partido_legenda.isEmpty()))
            return;
        toca_som(Instalacao::kSomConfirma);

        Query q(frmdados->conexaoDB);
        q.setSql(Esquema::kInsereVoto);
        const QVariant nulo;
        QVariantList valores;
        const QDate hoje = QDate::currentDate();
        // Every kind names the office on screen, so that a day's blank, null and legend
        // votes can be counted office by office.
        const QString cargo = corta7(tb_ordem_votacao->field(QStringLiteral("id_cargo")).asString());
        if (marca.isEmpty())
            valores = {candidato_atual, numero_digitado(), Esquema::kVotoNormal, hoje, nulo, cargo_atual, partido_atual};
        else if (marca == kMarcaLegenda)
            valores = {partido_legenda, nulo, Esquema::kVotoLegenda, hoje, Edit1->text() + Edit2->text(), cargo, nulo};
        else if (marca == kMarcaNulo)
            valores = {nulo, nulo, Esquema::kVotoNulo, hoje, nulo, cargo, nulo};
        else if (marca == kMarcaBranco)
            valores = {nulo, nulo, Esquema::kVotoBranco, hoje, nulo, cargo, nulo};
        else
            return;
        for (int i = 0; i < valores.size(); ++i) q.setParam(i, valores[i]);
        q.execSql();
        avanca_ordem();
    });
}
