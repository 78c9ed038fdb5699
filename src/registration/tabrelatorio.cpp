#include "registration/tabrelatorio.h"

#include "data/diatexto.h"
#include "platform/instalacao.h"
#include "platform/mensagens.h"
#include "registration/seletordata.h"
#include "reports/ufrmimpressao.h"

#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <stdexcept>

namespace
{

QFont verdanaNegrito()
{
    QFont f(QStringLiteral("Verdana"));
    f.setPixelSize(11);
    f.setBold(true);
    return f;
}

QLabel *rotulo(QWidget *pai, const char *nome, const QRect &r, const QString &texto)
{
    auto *l = new QLabel(texto, pai);
    l->setObjectName(QLatin1String(nome));
    l->setGeometry(r);
    l->setFont(verdanaNegrito());
    return l;
}

} // namespace

TabRelatorio::TabRelatorio(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("tab_relatorio"));

    GroupBox8 = new QGroupBox(this);
    GroupBox8->setObjectName(QStringLiteral("GroupBox8"));
    GroupBox8->setGeometry(3, 3, 458, 270);

    Label21 = rotulo(GroupBox8, "Label21", QRect(3, 11, 63, 13), QStringLiteral("Relatório:"));

    cbx_relatorio = new QComboBox(GroupBox8);
    cbx_relatorio->setObjectName(QStringLiteral("cbx_relatorio"));
    cbx_relatorio->setGeometry(3, 25, 363, 21);
    cbx_relatorio->setEditable(false);
    cbx_relatorio->addItems({QStringLiteral("Candidatos"), QStringLiteral("Cargo"), QStringLiteral("Partido"),
                             QStringLiteral("Resultado Votação")});
    for (int i = 0; i < cbx_relatorio->count(); ++i)
        cbx_relatorio->setItemData(i, QSize(0, 13), Qt::SizeHintRole);
    cbx_relatorio->setCurrentIndex(0);

    btn_impressao = new QPushButton(QStringLiteral("Imprimir"), GroupBox8);
    btn_impressao->setObjectName(QStringLiteral("btn_impressao"));
    btn_impressao->setGeometry(370, 25, 83, 21);

    Label22 = rotulo(GroupBox8, "Label22", QRect(3, 52, 101, 13), QStringLiteral("Dia da votação:"));
    Label22->hide();

    cmp_datavotacao_relatorio = new SeletorData(GroupBox8);
    cmp_datavotacao_relatorio->setObjectName(QStringLiteral("cmp_datavotacao_relatorio"));
    cmp_datavotacao_relatorio->setGeometry(3, 66, 115, 21);
    cmp_datavotacao_relatorio->hide();

    setTabOrder(cbx_relatorio, btn_impressao);
    setTabOrder(btn_impressao, cmp_datavotacao_relatorio);

    connect(cbx_relatorio, &QComboBox::currentIndexChanged, this,
            [this] { Mensagens::protegido([this] { cbx_relatorioChange(); }); });
    connect(btn_impressao, &QPushButton::clicked, this, [this] { btn_impressaoClick(); });
}

void TabRelatorio::cbx_relatorioChange()
{
    const int indice = cbx_relatorio->currentIndex();
    if (indice >= 0 && indice <= 2)
        mostra_dia_relatorio(false);
    else if (indice == 3)
        mostra_dia_relatorio(true);
}

void TabRelatorio::mostra_dia_relatorio(bool mostra)
{
    Label22->setVisible(mostra);
    cmp_datavotacao_relatorio->setVisible(mostra);
}

void TabRelatorio::btn_impressaoClick()
{
    Mensagens::protegido([this] { imprime(); });
}

void TabRelatorio::imprime()
{
    const QString projeto = Instalacao::caminho(QStringLiteral("relatorio.rav"));
    // Only a regular file counts: a pipe or a folder of that name would hang or fail the print.
    if (!QFileInfo(projeto).isFile()) {
        Mensagens::mostra(
            Mensagens::Icone::Aviso,
            QStringLiteral("O arquivo de relatório não foi localizado, não será possível fazer a impressão"));
        return;
    }
    if (!frmimpressao) throw std::runtime_error("O módulo de relatórios não foi criado");
    Tfrmimpressao &m = *frmimpressao;

    switch (cbx_relatorio->currentIndex()) {
    case 0:
        m.relatorio->RunReport(QStringLiteral("rel_candidato"));
        break;
    case 1:
        m.relatorio->RunReport(QStringLiteral("rel_cargo"));
        break;
    case 2:
        m.relatorio->RunReport(QStringLiteral("rel_partido"));
        break;
    case 3: {
        // Only the date counts: the picker's time of day is never written.
        const QString dia = DiaTexto::escreve(cmp_datavotacao_relatorio->date());
        Relatorios::preparaDia(m, dia);
        m.relatorio->SetReportParameter(QStringLiteral("diarelatorio"), dia);
        m.relatorio->RunReport(QStringLiteral("rel_resultadogeral"));
        break;
    }
    default:
        break;
    }

    m.rel_candidato.close();
    m.rel_cargo.close();
    m.rel_partido.close();
    m.rel_resultadoGERAL.close();
    m.rel_resultadoCANDIDATO.close();
    m.rel_resultadoLEGENDA.close();
    m.rel_candidatos_votacao.close();
    m.rel_resultadoCARGO.close();
}
