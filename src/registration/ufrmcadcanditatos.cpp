// The registration window at work: opening and closing, the filtered keys, the
// photo, the voting order and the day's map. It is built in cadastrojanela.cpp.

#include "registration/ufrmcadcanditatos.h"

#include "data/diatexto.h"
#include "platform/bitmap.h"
#include "platform/dbedit.h"
#include "platform/dblookupcombo.h"
#include "platform/instalacao.h"
#include "platform/mensagens.h"
#include "registration/seletordata.h"
#include "reports/ufrmimpressao.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>

Tfrmcadastro *frmcadastro = nullptr;

const QString Tfrmcadastro::kFotoSoEditando = QStringLiteral(
    "Para adicionar uma imagem é necessário que se esteja adicionando ou editando um registro !");
const QString Tfrmcadastro::kRemoveSoEditando =
    QStringLiteral("Para remover a foto é necessário que se esteja adicionando ou editando um registro !");
const QString Tfrmcadastro::kOrdemObrigatoria =
    QStringLiteral("O campo cargo e ordem são obrigatórios\n"
                   "- O campo ordem não pode ser zero e não pode ter valores existentes");
const QString Tfrmcadastro::kMudancasNaProximaAbertura = QStringLiteral(
    "As mudanças na ordem de votação e nos cargos valem a partir da próxima vez que o programa "
    "for aberto.");

namespace
{

const QString kFotoTemporaria = QStringLiteral("foto_tmp.bmp");

bool editando(const Query &q)
{
    return q.state() == Query::State::Edit || q.state() == Query::State::Insert;
}

// Whether a typed key reaches a filtered box: keys that type nothing (arrows, Delete,
// Home, Tab) always do; a typed character only when it is backspace or lies between
// primeiro and ultimo, by its 8-bit code. Everything else, control characters
// included, is dropped without a sound.
bool passaCaractere(const QKeyEvent *e, char primeiro, char ultimo)
{
    const QString t = e->text();
    if (t.isEmpty() || e->key() == Qt::Key_Delete || e->key() == Qt::Key_Tab || e->key() == Qt::Key_Backtab)
        return true;
    for (const QChar c : t) {
        const char16_t u = c.unicode();
        if (u != 8 && (u < char16_t(primeiro) || u > char16_t(ultimo))) return false;
    }
    return true;
}

} // namespace

void Tfrmcadastro::FormCreate()
{
    if (!frmimpressao) frmimpressao = new Tfrmimpressao(QCoreApplication::instance());
}

void Tfrmcadastro::FormShow()
{
    if (!frmdados) return;
    frmdados->protegeReferencias();
    frmdados->instalaSeletorDia(&m_seletor);
    // A window closed with the day filter on leaves the map's texts filtered; this one
    // opens with its filter box clear, so it shows every row again.
    Query &mapa = frmdados->tb_candidato_votacao;
    Query &geral = frmdados->tb_candidato_votacaoG;
    if (!mapa.isActive() && !geral.isActive()) {
        if (mapa.sql() != Tfrmdados::sqlMapa()) mapa.setSql(Tfrmdados::sqlMapa());
        if (geral.sql() != Tfrmdados::sqlMapaGeral()) geral.setSql(Tfrmdados::sqlMapaGeral());
    }
    for (Query *q : {&frmdados->tb_cargo, &frmdados->tb_partido, &frmdados->tb_ordemvotacao,
                     &frmdados->tb_candidatos, &frmdados->tb_candidato_votacao})
        if (!q->isActive()) q->open();
    pg_principal->setCurrentIndex(0);
    m_ordemECargosNaAbertura = ordemECargos();
}

QString Tfrmcadastro::ordemECargos() const
{
    QString texto;
    for (const char *sql :
         {"select ordem_votacao, id_cargo from ordem_votacao order by ordem_votacao, id_cargo",
          "select numcad_cargo, cargo, quantidade_numeros from cargo order by numcad_cargo"}) {
        Query q(frmdados->conexaoDB);
        q.setSql(QLatin1String(sql));
        q.open();
        for (; !q.eof(); q.next()) {
            for (int i = 0; i < q.fieldCount(); ++i)
                texto += q.field(i).asString() + u'\t';
            texto += u'\n';
        }
        texto += u'#';
    }
    return texto;
}

void Tfrmcadastro::fechaConsultas()
{
    m_fechada = true;
    if (!frmdados) return;
    // Closing drops a record still being added or edited, without a question.
    for (Query *q : {&frmdados->tb_candidatos, &frmdados->tb_cargo, &frmdados->tb_partido,
                     &frmdados->tb_ordemvotacao, &frmdados->tb_candidato_votacao})
        q->close();
    if (frmdados->seletorDia() == &m_seletor) frmdados->instalaSeletorDia(nullptr);
}

void Tfrmcadastro::FormClose()
{
    fechaConsultas();
    if (frmdados && !m_ordemECargosNaAbertura.isEmpty() && ordemECargos() != m_ordemECargosNaAbertura)
        Mensagens::mostra(Mensagens::Icone::Informacao, kMudancasNaProximaAbertura);
}

void Tfrmcadastro::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    if (m_mostrada) return;
    m_mostrada = true;
    Mensagens::protegido([this] { FormShow(); });
}

void Tfrmcadastro::closeEvent(QCloseEvent *e)
{
    Mensagens::protegido([this] { FormClose(); });
    QDialog::closeEvent(e);
}

void Tfrmcadastro::keyPressEvent(QKeyEvent *e)
{
    // The window closes by its close box only: Escape or Enter must not end it and
    // drop a record being edited.
    if (e->key() == Qt::Key_Escape || e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}

bool Tfrmcadastro::eventFilter(QObject *obj, QEvent *e)
{
    if (e->type() == QEvent::KeyPress) {
        const auto *k = static_cast<const QKeyEvent *>(e);
        bool passa = true;
        if (obj == cmp_numero_candidato)
            passa = cmp_numero_candidatoKeyPress(k);
        else if (obj == cmp_legenda)
            passa = cmp_legendaKeyPress(k);
        else if (obj == cmp_quantidade_numeros)
            passa = cmp_quantidade_numerosKeyPress(k);
        if (!passa) return true;
    }
    return QDialog::eventFilter(obj, e);
}

bool Tfrmcadastro::cmp_numero_candidatoKeyPress(const QKeyEvent *e) const
{
    return passaCaractere(e, '0', '9');
}
bool Tfrmcadastro::cmp_legendaKeyPress(const QKeyEvent *e) const
{
    return passaCaractere(e, '0', '9');
}
bool Tfrmcadastro::cmp_quantidade_numerosKeyPress(const QKeyEvent *e) const
{
    return passaCaractere(e, '1', '5');
}

// ---- Photos

void Tfrmcadastro::add_imagemClick()
{
    Query &q = frmdados->tb_candidatos;
    if (!editando(q)) {
        Mensagens::mostra(Mensagens::Icone::Informacao, kFotoSoEditando);
        return;
    }
    QFileDialog dialogo(this, QStringLiteral("Selecione a imagem"));
    dialogo.setObjectName(QStringLiteral("dialogo_foto"));
    dialogo.setOption(QFileDialog::DontUseNativeDialog);
    dialogo.setAcceptMode(QFileDialog::AcceptOpen);
    // A typed name of a file that does not exist is taken and then found missing.
    dialogo.setFileMode(QFileDialog::AnyFile);
    dialogo.setNameFilter(QStringLiteral("Imagens (*.bmp)"));
    dialogo.setLabelText(QFileDialog::LookIn, QStringLiteral("Examinar:"));
    dialogo.setLabelText(QFileDialog::FileName, QStringLiteral("Nome do arquivo:"));
    dialogo.setLabelText(QFileDialog::FileType, QStringLiteral("Tipo:"));
    dialogo.setLabelText(QFileDialog::Accept, QStringLiteral("Abrir"));
    dialogo.setLabelText(QFileDialog::Reject, QStringLiteral("Cancelar"));
    auto *previa = new QLabel(&dialogo);
    previa->setObjectName(QStringLiteral("previa_foto"));
    previa->setFixedSize(160, 129);
    previa->setFrameStyle(QFrame::Box | QFrame::Plain);
    previa->setScaledContents(true);
    if (auto *grade = qobject_cast<QGridLayout *>(dialogo.layout()))
        grade->addWidget(previa, 1, grade->columnCount(), grade->rowCount() - 1, 1);
    connect(&dialogo, &QFileDialog::currentChanged, previa, [previa](const QString &caminho) {
        previa->clear();
        if (!QFileInfo(caminho).isFile()) return;
        try { // the preview shows what can be shown and says nothing otherwise
            previa->setPixmap(QPixmap::fromImage(Bitmap::carrega(caminho)));
        } catch (const std::exception &) {
        }
    });
    const QString nome = dialogo.exec() == QDialog::Accepted ? dialogo.selectedFiles().value(0) : QString();
    // Loaded unchanged, whatever the file holds: showing it is what checks it.
    if (!nome.isEmpty() && QFileInfo(nome).isFile()) q.field(QStringLiteral("foto")).loadFromFile(nome);
}

void Tfrmcadastro::del_imagemClick()
{
    Query &q = frmdados->tb_candidatos;
    if (!editando(q)) {
        Mensagens::mostra(Mensagens::Icone::Informacao, kRemoveSoEditando);
        return;
    }
    q.field(QStringLiteral("foto")).clear();
}

void Tfrmcadastro::ck_vizualiza_fotoClick()
{
    const bool mostra = ck_vizualiza_foto->isChecked();
    painel_foto->setVisible(mostra);
    const QString arquivo = Instalacao::caminho(kFotoTemporaria);
    if (mostra) {
        Field foto = frmdados->tb_candidatos.field(QStringLiteral("foto"));
        if (foto.blobSize() <= 0) return;
        foto.saveToFile(arquivo);
        cmp_foto->setPixmap(QPixmap::fromImage(Bitmap::carrega(arquivo)));
    } else if (QFileInfo::exists(arquivo)) {
        cmp_foto->clear();
        QFile::remove(arquivo);
    }
}

// ---- Voting order and voting-day map

bool Tfrmcadastro::navegador_ordemvotacaoBeforeAction(DbNavigator::Button botao)
{
    if (botao != DbNavigator::Button::Post) return true;
    bool numero = false;
    const int ordem = cmp_ordem_votacao->text().toInt(&numero);
    if ((numero ? ordem : 0) == 0 || frmdados->tb_ordemvotacao.field(QStringLiteral("id_cargo")).isNull()) {
        Mensagens::mostra(Mensagens::Icone::Informacao, kOrdemObrigatoria);
        return false;
    }
    return true;
}

void Tfrmcadastro::cheq_filtro_candidatosvotacaoClick()
{
    const bool marcado = cheq_filtro_candidatosvotacao->isChecked();
    cmp_filtro_candidatosvotacao->setEnabled(marcado);
    filtra_mapa_votacao(marcado);
}

void Tfrmcadastro::cmp_filtro_candidatosvotacaoChange()
{
    filtra_mapa_votacao(true);
}

void Tfrmcadastro::filtra_mapa_votacao(bool filtrado)
{
    Query &mapa = frmdados->tb_candidato_votacao;
    Query &geral = frmdados->tb_candidato_votacaoG;
    mapa.close();
    mapa.clearSql();
    geral.close();
    geral.clearSql();
    if (filtrado) {
        // The built-in check box of the picker is not looked at.
        const QString dia = DiaTexto::escreve(cmp_filtro_candidatosvotacao->date());
        mapa.setSql(QStringLiteral("select * from candidatos_votacao where data_votacao = datevalue(\"%1\")")
                        .arg(dia));
        geral.setSql(Tfrmdados::sqlMapaGeral()
                     << QStringLiteral(" and data_votacao = datevalue(\"%1\")").arg(dia));
    } else {
        mapa.setSql(Tfrmdados::sqlMapa());
        geral.setSql(Tfrmdados::sqlMapaGeral());
    }
    mapa.open();
}

QDate Tfrmcadastro::SeletorDoMapa::dia() const
{
    return m_janela->cmp_data_votacao->date();
}
void Tfrmcadastro::SeletorDoMapa::defineDia(const QDate &dia)
{
    m_janela->cmp_data_votacao->setDate(dia);
}
