// The registration window built: its six tabs, and the tables of its labels,
// editors, lists, navigators and grids, tab by tab, fed to one helper each.

#include "registration/ufrmcadcanditatos.h"

#include "platform/dbedit.h"
#include "platform/dbgrid.h"
#include "platform/dblookupcombo.h"
#include "platform/dbtext.h"
#include "platform/mensagens.h"
#include "platform/rotulotexto.h"
#include "registration/seletordata.h"
#include "registration/tabrelatorio.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>

namespace
{

using Quadro = QGroupBox *Tfrmcadastro::*;
using Fonte = DataSource Tfrmdados::*;

// The tables of components, tab by tab. Positions are relative to the frame named in
// each row, as left, top, width and height.
struct Rotulo {
    Quadro quadro;
    const char *texto;
    int x, y;
};
struct Texto {
    DbText *Tfrmcadastro::*membro;
    const char *nome;
    Quadro quadro;
    Fonte fonte;
    const char *campo;
    QRect r;
};
struct Edicao {
    DbEdit *Tfrmcadastro::*membro;
    const char *nome;
    Quadro quadro;
    Fonte fonte;
    const char *campo;
    QRect r;
    int maximo;
    const char *dica;
};
struct Lista {
    DbLookupComboBox *Tfrmcadastro::*membro;
    const char *nome;
    Quadro quadro;
    Fonte fonte;
    const char *campo;
    QRect r;
    Fonte lista;
    const char *chave;
    const char *mostra;
    bool deleteEsvazia;
    const char *dica;
};
struct Navegador {
    DbNavigator *Tfrmcadastro::*membro;
    const char *nome;
    Quadro quadro;
    Fonte fonte;
    QRect r;
};
struct Grade {
    DbGrid *Tfrmcadastro::*membro;
    const char *nome;
    Quadro quadro;
    Fonte fonte;
    QRect r;
    QList<GridColumn> colunas;
    bool redimensiona;
    const char *dica;
};

using T = Tfrmcadastro;
using D = Tfrmdados;

// clang-format off
const Rotulo kRotulos[] = {
    {&T::GroupBox1, "Nº cadastro :", 3, 8},
    {&T::GroupBox1, "Nome do candidato :", 3, 31},
    {&T::GroupBox1, "Nº candidato :", 3, 76},
    {&T::GroupBox1, "Cargo :", 136, 76},
    {&T::GroupBox1, "Partido :", 293, 76},
    {&T::GroupBox2, "Nº cadastro :", 3, 8},
    {&T::GroupBox2, "Nome do cargo :", 3, 31},
    {&T::GroupBox2, "Qtn. de Nº :", 377, 31},
    {&T::GroupBox3, "Nº cadastro :", 3, 8},
    {&T::GroupBox3, "Nome do partido :", 3, 31},
    {&T::GroupBox3, "Nº legenda :", 371, 31},
    {&T::GroupBox5, "Cargo :", 6, 17},
    {&T::GroupBox5, "Ordem :", 379, 17},
    {&T::GroupBox5, "Ordem atual :", 8, 90},
    {&T::GroupBox6, "Dia da votação:", 3, 7},
    {&T::GroupBox6, "Filtrar candidatos por data:", 300, 7},
    {&T::GroupBox6, "Candidato:", 3, 44},
    {&T::GroupBox6, "Cargo:", 3, 81},
    {&T::GroupBox6, "Partido:", 231, 82},
    {&T::GroupBox6, "Candidatos:", 6, 143},
};

const Texto kTextos[] = {
    {&T::DBText1,            "DBText1",            &T::GroupBox1, &D::dts_candidatos, "numcad_candidato", {81, 8, 183, 17}},
    {&T::cmp_numcad_cargo,   "cmp_numcad_cargo",   &T::GroupBox2, &D::dts_cargo,      "numcad_cargo",     {81, 8, 183, 17}},
    {&T::cmp_numcad_partido, "cmp_numcad_partido", &T::GroupBox3, &D::dts_partido,    "numcad_partido",   {81, 8, 183, 17}},
};

const Edicao kEdicoes[] = {
    {&T::cmp_nome_candidato, "cmp_nome_candidato", &T::GroupBox1, &D::dts_candidatos, "nome_candidato",
     {3, 45, 456, 21}, 100, "Nome do candidato."},
    {&T::cmp_numero_candidato, "cmp_numero_candidato", &T::GroupBox1, &D::dts_candidatos, "numero_candidato",
     {3, 91, 127, 21}, 5, "Número do candidato."},
    {&T::cmp_cargo, "cmp_cargo", &T::GroupBox2, &D::dts_cargo, "cargo",
     {3, 45, 368, 21}, 60, "Nome do cargo. (Ex: Prefeito, Senador)"},
    {&T::cmp_quantidade_numeros, "cmp_quantidade_numeros", &T::GroupBox2, &D::dts_cargo, "quantidade_numeros",
     {377, 45, 74, 21}, 1,
     "Quantidade de digitos do cargo. \n"
     "(Ex. 1: O número para presisente é 21 Qtn de Nº ficaria 2)\n"
     "(Ex. 2: O número para senador 324 Qtn de Nº ficaria 3)"},
    {&T::cmp_partido, "cmp_partido", &T::GroupBox3, &D::dts_partido, "partido",
     {3, 45, 362, 21}, 50, "Nome do partido do candidato:"},
    {&T::cmp_legenda, "cmp_legenda", &T::GroupBox3, &D::dts_partido, "legenda",
     {371, 45, 85, 21}, 2, "Número que será usado para voto na legenda."},
    {&T::cmp_ordem_votacao, "cmp_ordem_votacao", &T::GroupBox5, &D::dts_ordemvotacao, "ordem_votacao",
     {379, 32, 57, 21}, 2,
     "Sequência que será seguida para o ciclo de votação.\n"
     "(Ex.: Normalmente a votação é composta por um ciclo\n"
     "onde temos votação para Deputado Estadual, Deputado\n"
     "Federal, Senador, Governador)"},
};

const Lista kListas[] = {
    {&T::cmp_id_cargo, "cmp_id_cargo", &T::GroupBox1, &D::dts_candidatos, "id_cargo",
     {136, 91, 151, 21}, &D::dts_cargo, "numcad_cargo", "cargo", true, "Cargo do candidato."},
    {&T::cmp_id_partido, "cmp_id_partido", &T::GroupBox1, &D::dts_candidatos, "id_partido",
     {293, 91, 156, 21}, &D::dts_partido, "numcad_partido", "partido", true, "Partido do candidato."},
    {&T::cmp_id_cargo_odemvotacao, "cmp_id_cargo_odemvotacao", &T::GroupBox5, &D::dts_ordemvotacao, "id_cargo",
     {3, 32, 370, 21}, &D::dts_cargo, "numcad_cargo", "cargo", false, "Nome do cargo que entrará na ordem definida."},
    {&T::cmp_id_candidato_cand_votacao, "cmp_id_candidato_cand_votacao", &T::GroupBox6, &D::dts_candidato_votacao, "id_candidato",
     {3, 58, 450, 21}, &D::dts_candidatos, "numcad_candidato", "nome_candidato", false, nullptr},
    {&T::cmp_id_cargocand_votacao, "cmp_id_cargocand_votacao", &T::GroupBox6, &D::dts_candidato_votacao, "id_cargo",
     {3, 96, 222, 21}, &D::dts_cargo, "numcad_cargo", "cargo", false, nullptr},
    {&T::cmp_id_partido_cand_votacao, "cmp_id_partido_cand_votacao", &T::GroupBox6, &D::dts_candidato_votacao, "id_partido",
     {231, 96, 222, 21}, &D::dts_partido, "numcad_partido", "partido", false, nullptr},
};

const Navegador kNavegadores[] = {
    {&T::navegador_candidato,    "navegador_candidato",    &T::GroupBox1, &D::dts_candidatos,        {6, 118, 450, 19}},
    {&T::navegador_cargo,        "navegador_cargo",        &T::GroupBox2, &D::dts_cargo,             {5, 72, 450, 25}},
    {&T::navegador_partido,      "navegador_partido",      &T::GroupBox3, &D::dts_partido,           {6, 72, 450, 25}},
    {&T::navegador_ordemvotacao, "navegador_ordemvotacao", &T::GroupBox5, &D::dts_ordemvotacao,      {6, 59, 432, 25}},
    {&T::DBNavigator1,           "DBNavigator1",           &T::GroupBox6, &D::dts_candidato_votacao, {5, 120, 450, 22}},
};

// The grids, built in a function: their column lists are not constant expressions.
std::vector<Grade> grades()
{
    const auto c = [](const char *campo, const char *titulo, int largura) {
        return GridColumn{QLatin1String(campo), QString::fromUtf8(titulo), largura};
    };
    return {
        {&T::DBGrid2, "DBGrid2", &T::GroupBox1, &D::dts_candidatos, {3, 140, 456, 127},
         {c("nome_candidato", "Canditato", 304), c("numero_candidato", "Nº Canditato", 107)},
         true, "Vizualização geral dos candidatos cadastrados."},
        {&T::DBGrid3, "DBGrid3", &T::GroupBox2, &D::dts_cargo, {3, 103, 456, 164},
         {c("cargo", "Cargo", 360), c("quantidade_numeros", "Qtn. de Nº", 70)},
         true, "Vizualização geral dos cargos cadastrados."},
        {&T::DBGrid4, "DBGrid4", &T::GroupBox3, &D::dts_partido, {3, 103, 456, 164},
         {c("partido", "Partido", 370), c("legenda", "Legenda", -1)},
         true, "Vizualização geral dos partidos cadastrados."},
        {&T::listagem_ordematual, "listagem_ordematual", &T::GroupBox5, &D::dts_ova, {6, 109, 437, 137},
         {c("ordem_votacao", "Ordem", 70), c("cargo", "Cargo", 340)},
         false, nullptr},
        {&T::DBGrid1, "DBGrid1", &T::GroupBox6, &D::dts_candidato_votacaoG, {3, 157, 456, 110},
         {c("nome_candidato", "Nome", 230), c("cargo", "Cargo", 70), c("partido", "Partido", 60), c("data_votacao", "Dt. votação", 70)},
         false, "Vizualização geral do mapa de votação."},
    };
}

// Each tab's tab order, by name.
const std::vector<std::vector<const char *>> kOrdensDeTab = {
    {"cmp_nome_candidato", "cmp_id_cargo", "navegador_candidato", "cmp_numero_candidato", "cmp_id_partido",
     "DBGrid2", "painel_foto", "add_imagem", "ck_vizualiza_foto", "del_imagem"},
    {"cmp_cargo", "navegador_cargo", "DBGrid3", "cmp_quantidade_numeros"},
    {"cmp_partido", "navegador_partido", "DBGrid4", "cmp_legenda"},
    {"cmp_id_cargo_odemvotacao", "cmp_ordem_votacao", "navegador_ordemvotacao", "listagem_ordematual"},
    {"cmp_filtro_candidatosvotacao", "cmp_data_votacao", "cmp_id_candidato_cand_votacao", "cmp_id_cargocand_votacao",
     "cmp_id_partido_cand_votacao", "DBNavigator1", "DBGrid1", "cheq_filtro_candidatosvotacao"},
};
// clang-format on

QString texto(const char *t)
{
    return t ? QString::fromUtf8(t) : QString();
}

template <class W> W *poe(W *w, const char *nome, const QRect &r)
{
    w->setObjectName(QLatin1String(nome));
    w->setGeometry(r);
    return w;
}

} // namespace

// ---- The window and its tabs

Tfrmcadastro::Tfrmcadastro(QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                         Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    frmcadastro = this;
    setObjectName(QStringLiteral("frmcadastro"));
    setWindowTitle(QStringLiteral("Cadastro Candidatos"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(true);
    QFont tahoma(QStringLiteral("Tahoma"));
    tahoma.setPixelSize(11);
    setFont(tahoma);
    setFixedSize(492, 320);

    pg_principal = new QTabWidget(this);
    pg_principal->setObjectName(QStringLiteral("pg_principal"));
    pg_principal->setGeometry(8, 8, 476, 304);
    pg_candidato = createTab("pg_candidato", QStringLiteral("Cadastro candidato"), GroupBox1, "GroupBox1");
    pg_cargo = createTab("pg_cargo", QStringLiteral("Cadastro cargo"), GroupBox2, "GroupBox2");
    pg_partido = createTab("pg_partido", QStringLiteral("Cadastro partido "), GroupBox3, "GroupBox3");
    pg_votacao = createTab("pg_votacao", QStringLiteral("Sequência da votação"), GroupBox4, "GroupBox4");
    GroupBox5 =
        poe(new QGroupBox(QStringLiteral("Ordem de votação"), GroupBox4), "GroupBox5", {7, 8, 446, 253});
    tab_candidatos_votacao =
        createTab("tab_candidatos_votacao", QStringLiteral("Candidatos votação"), GroupBox6, "GroupBox6");
    GroupBox6->setToolTip(
        QStringLiteral("Cadastra um mapa com todos os candidatos da votação do dia determinado.\n"
                       "Para que no final, caso um candidato não tenha votos possamos ver que ele\n"
                       "esteve inscrito e não recebeu voto algum."));
    tab_relatorio = new TabRelatorio(pg_principal);
    pg_principal->addTab(tab_relatorio, QStringLiteral("Relatório"));

    ajustaAbasALargura();
    createComponents();
    createPhotoControls();
    createMapPickers();
    setTabOrders();

    if (const QScreen *tela = screen()) move(tela->availableGeometry().center() - rect().center());
    Mensagens::protegido([this] { FormCreate(); });
}

Tfrmcadastro::~Tfrmcadastro()
{
    // A window destroyed without being closed still leaves nothing open behind it:
    // the map's handlers would reach for a picker that is gone.
    if (!m_fechada) fechaConsultas();
    if (frmcadastro == this) frmcadastro = nullptr;
}

namespace
{
// Narrower tabs: the style's default side padding alone takes a third of the bar.
class EstiloDasAbas : public QProxyStyle
{
  public:
    int pixelMetric(PixelMetric metrica, const QStyleOption *opcao, const QWidget *widget) const override
    {
        if (metrica == PM_TabBarTabHSpace) return 8;
        return QProxyStyle::pixelMetric(metrica, opcao, widget);
    }
};
} // namespace

void Tfrmcadastro::ajustaAbasALargura()
{
    // All six captions in view at once, whole: a tab off-screen is a tab a new
    // operator does not find. Narrow padding first, then a smaller caption font
    // only as far as the machine's fonts need it.
    QTabBar *barra = pg_principal->tabBar();
    auto *estilo = new EstiloDasAbas;
    estilo->setParent(barra);
    barra->setStyle(estilo);
    barra->setElideMode(Qt::ElideNone);
    barra->setExpanding(false);
    const int largura = pg_principal->width() - 4; // the frame's corners
    QFont fonte = barra->font();
    while (barra->sizeHint().width() > largura && fonte.pixelSize() > 8) {
        fonte.setPixelSize(fonte.pixelSize() - 1);
        barra->setFont(fonte);
    }
}

QWidget *Tfrmcadastro::createTab(const char *nome, const QString &titulo, QGroupBox *&quadro,
                                 const char *nomeQuadro)
{
    auto *pagina = new QWidget(pg_principal);
    pagina->setObjectName(QLatin1String(nome));
    pg_principal->addTab(pagina, titulo);
    quadro = poe(new QGroupBox(pagina), nomeQuadro, {3, 3, 462, 270});
    return pagina;
}

void Tfrmcadastro::createComponents()
{
    Tfrmdados *dados = frmdados;
    const auto fonte = [dados](Fonte f) { return dados ? &(dados->*f) : nullptr; };

    QFont negrito = font();
    negrito.setBold(true);
    for (const Rotulo &r : kRotulos) {
        auto *l = new RotuloTexto(QString::fromUtf8(r.texto), this->*r.quadro);
        l->setFont(negrito);
        l->adjustSize();
        l->move(r.x, r.y);
    }
    for (const Texto &t : kTextos) {
        auto *w = poe(new DbText(this->*t.quadro), t.nome, t.r);
        w->setDataSource(fonte(t.fonte));
        w->setDataField(QLatin1String(t.campo));
        this->*t.membro = w;
    }
    for (const Edicao &e : kEdicoes) {
        auto *w = poe(new DbEdit(this->*e.quadro), e.nome, e.r);
        w->setMaxLength(e.maximo);
        w->setToolTip(texto(e.dica));
        w->setDataSource(fonte(e.fonte));
        w->setDataField(QLatin1String(e.campo));
        this->*e.membro = w;
    }
    for (const Lista &l : kListas) {
        auto *w = poe(new DbLookupComboBox(this->*l.quadro), l.nome, l.r);
        w->setToolTip(texto(l.dica));
        w->setDeleteClears(l.deleteEsvazia);
        w->setListSource(fonte(l.lista));
        w->setKeyField(QLatin1String(l.chave));
        w->setListField(QLatin1String(l.mostra));
        w->setDataSource(fonte(l.fonte));
        w->setDataField(QLatin1String(l.campo));
        this->*l.membro = w;
    }
    for (const Navegador &n : kNavegadores) {
        auto *w = poe(new DbNavigator(this->*n.quadro), n.nome, n.r);
        w->setDataSource(fonte(n.fonte));
        this->*n.membro = w;
    }
    for (const Grade &g : grades()) {
        auto *w = poe(new DbGrid(this->*g.quadro), g.nome, g.r);
        w->setToolTip(texto(g.dica));
        w->setColumns(g.colunas);
        w->setColumnsResizable(g.redimensiona);
        w->setDataSource(fonte(g.fonte));
        this->*g.membro = w;
    }

    for (DbEdit *e : {cmp_numero_candidato, cmp_legenda, cmp_quantidade_numeros})
        e->installEventFilter(this);
    navegador_ordemvotacao->setBeforeAction(
        [this](DbNavigator::Button b) { return navegador_ordemvotacaoBeforeAction(b); });
}

void Tfrmcadastro::createPhotoControls()
{
    ck_vizualiza_foto = poe(new QCheckBox(QStringLiteral("Visualizar foto"), GroupBox1), "ck_vizualiza_foto",
                            {193, 12, 88, 17});
    ck_vizualiza_foto->setToolTip(QStringLiteral("Clique aqui para visualizar a foto do candidato"));
    add_imagem =
        poe(new QPushButton(QStringLiteral("Adicionar foto"), GroupBox1), "add_imagem", {293, 8, 80, 25});
    add_imagem->setToolTip(QStringLiteral("Clique aqui para adicionar uma foto no cadastro do candidato."));
    del_imagem =
        poe(new QPushButton(QStringLiteral("Remover foto"), GroupBox1), "del_imagem", {377, 8, 80, 25});
    del_imagem->setToolTip(QStringLiteral("Clique aqui para remover a foto do cadastro do candidato."));
    for (QPushButton *b : {add_imagem, del_imagem})
        b->setAutoDefault(false); // Enter in an editor clicks nothing
    // In front of the tab's editors, navigator and grid; the top row stays in view.
    painel_foto = poe(new QFrame(GroupBox1), "painel_foto", {3, 33, 456, 234});
    painel_foto->setFrameStyle(QFrame::Box | QFrame::Plain);
    painel_foto->setAutoFillBackground(true);
    painel_foto->hide();
    painel_foto->raise();
    cmp_foto = poe(new QLabel(painel_foto), "cmp_foto", {106, 17, 256, 207});
    cmp_foto->setScaledContents(true); // stretched to the box, proportions not kept
    cmp_foto->setToolTip(QStringLiteral("Foto do candidato"));

    connect(add_imagem, &QPushButton::clicked, this,
            [this] { Mensagens::protegido([this] { add_imagemClick(); }); });
    connect(del_imagem, &QPushButton::clicked, this,
            [this] { Mensagens::protegido([this] { del_imagemClick(); }); });
    connect(ck_vizualiza_foto, &QCheckBox::clicked, this,
            [this] { Mensagens::protegido([this] { ck_vizualiza_fotoClick(); }); });
}

void Tfrmcadastro::createMapPickers()
{
    cmp_data_votacao = poe(new SeletorData(GroupBox6), "cmp_data_votacao", {3, 22, 102, 21});
    cmp_filtro_candidatosvotacao =
        poe(new SeletorDataComCaixa(GroupBox6), "cmp_filtro_candidatosvotacao", {300, 22, 153, 21});
    cmp_filtro_candidatosvotacao->setToolTip(
        QStringLiteral("Vizualiza o mapa de candidatos em um determinado dia."));
    cmp_filtro_candidatosvotacao->setEnabled(false);
    // White, without a caption, in front of the right-hand part of the filter picker.
    cheq_filtro_candidatosvotacao =
        poe(new QCheckBox(GroupBox6), "cheq_filtro_candidatosvotacao", {416, 26, 14, 15});
    QPalette branco = cheq_filtro_candidatosvotacao->palette();
    branco.setColor(QPalette::Window, Qt::white);
    cheq_filtro_candidatosvotacao->setPalette(branco);
    cheq_filtro_candidatosvotacao->setAutoFillBackground(true);
    cheq_filtro_candidatosvotacao->raise();

    connect(cheq_filtro_candidatosvotacao, &QCheckBox::clicked, this,
            [this] { Mensagens::protegido([this] { cheq_filtro_candidatosvotacaoClick(); }); });
    connect(cmp_filtro_candidatosvotacao, &SeletorDataComCaixa::mudou, this,
            [this] { Mensagens::protegido([this] { cmp_filtro_candidatosvotacaoChange(); }); });
}

void Tfrmcadastro::setTabOrders()
{
    for (const auto &ordem : kOrdensDeTab)
        for (size_t i = 1; i < ordem.size(); ++i)
            QWidget::setTabOrder(findChild<QWidget *>(QLatin1String(ordem[i - 1])),
                                 findChild<QWidget *>(QLatin1String(ordem[i])));
}
