// The report data module and the report tab over a real database: the seven
// report queries and their fixed fields, the data connections (state put back,
// the filter's full, case-sensitive comparison), the print command step by step,
// the four day queries on a seeded day, and the shipped result report read back
// from its PDF, with the fingerprint that votarim-banco must print identically.

#include "apoio.h"
#include "roteiro.h"

#include "data/diatexto.h"
#include "data/ufrmdados.h"
#include "registration/tabrelatorio.h"
#include "reportengine/layout.h"
#include "reportengine/project.h"
#include "reportengine/render.h"
#include "reports/ufrmimpressao.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QComboBox>
#include <QDateEdit>
#include <QDialog>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSet>
#include <QTimer>
#include <functional>
#include <sqlite3.h>
#include <sys/stat.h>

using namespace ReportEngine;

namespace
{

const QString kDia = QStringLiteral("2024-10-06");

Roteiro::Passo paraPdf(const QString &caminho)
{
    return {QStringLiteral("opcoesSaida"), [caminho](QWidget *w) {
                filho<QRadioButton>(w, "arquivo")->setChecked(true);
                filho<QComboBox>(w, "formato")->setCurrentIndex(0);
                filho<QLineEdit>(w, "nomeArquivo")->setText(caminho);
                filho<QPushButton>(w, "ok")->click();
            }};
}

Roteiro::Passo cancelaOpcoes()
{
    return {QStringLiteral("opcoesSaida"), [](QWidget *w) { static_cast<QDialog *>(w)->reject(); }};
}

Database &db()
{
    return frmdados->conexaoDB;
}

void insere(const QString &sql, const QVariantList &valores = {})
{
    executa(db(), sql, valores);
}

void voto(const QVariant &candidato, const QVariant &numero, const QString &tipo, const QVariant &legenda,
          const QVariant &cargo, const QVariant &partido, const QString &dia = kDia, int vezes = 1)
{
    for (int i = 0; i < vezes; ++i)
        insere(QStringLiteral(
                   "insert into contagem_votacao (id_candidato, numero_candidato, voto, data, legenda, "
                   "id_cargo, id_partido) values (:c, :n, :v, :d, :l, :o, :p)"),
               {candidato, numero, tipo, dia, legenda, cargo, partido});
}

// Offices 1 Prefeito (2 digits) and 2 Vereador (3 digits); parties 1 to 3; candidates:
// 1 Ana (13, office 1, party 1), 2 Bruno (45, office 1, party 2), 3 Carla (22, office 1,
// party 3), 4 Davi (131, office 2, party 1), 5 Eva (451, office 2, party 2, no vote).
// On the day: Carla 5, Bruno 3, Ana 3 (tie: party 1 first), Davi 4, and 2 for Davi
// under the old number 130; legend 2 for party 1, 1 for party 2; 2 blank, 1 null.
// Another day: 7 votes that must never count. Voting order: Prefeito, Vereador.
void semeia()
{
    insere(QStringLiteral(
        "insert into cargo (cargo, quantidade_numeros) values ('Prefeito', 2), ('Vereador', 3)"));
    insere(QStringLiteral("insert into partido (partido, legenda) values ('Partido Azul', '13'), "
                          "('Partido Verde', '45'), ('Partido D''Ávila', '22')"));
    insere(QStringLiteral(
        "insert into candidatos (nome_candidato, numero_candidato, id_partido, id_cargo) values "
        "('Ana', '13', 1, 1), ('Bruno', '45', 2, 1), ('Carla', '22', 3, 1), "
        "('Davi', '131', 1, 2), ('Eva', '451', 2, 2)"));
    for (int c = 1; c <= 5; ++c)
        insere(QStringLiteral(
                   "insert into candidatos_votacao (id_candidato, id_cargo, id_partido, data_votacao) "
                   "select numcad_candidato, id_cargo, id_partido, :dia from candidatos where "
                   "numcad_candidato = :c"),
               {kDia, c});
    const QString N = QStringLiteral("NORMAL");
    voto(1, QStringLiteral("13"), N, {}, 1, 1, kDia, 3);
    voto(2, QStringLiteral("45"), N, {}, 1, 2, kDia, 3);
    voto(3, QStringLiteral("22"), N, {}, 1, 3, kDia, 5);
    voto(4, QStringLiteral("131"), N, {}, 2, 1, kDia, 4);
    voto(4, QStringLiteral("130"), N, {}, 2, 1, kDia, 2);
    voto(1, {}, QStringLiteral("LEGENDA"), QStringLiteral("13"), {}, {}, kDia, 2);
    voto(2, {}, QStringLiteral("LEGENDA"), QStringLiteral("45"), {}, {}, kDia, 1);
    voto({}, {}, QStringLiteral("BRANCO"), {}, {}, {}, kDia, 2);
    voto({}, {}, QStringLiteral("NULO"), {}, {}, {}, kDia, 1);
    voto(1, QStringLiteral("13"), N, {}, 1, 1, QStringLiteral("2024-10-07"), 7);
    insere(QStringLiteral("insert into ordem_votacao (ordem_votacao, id_cargo) values (1, 1), (2, 2)"));
}

QString diaTexto(const QString &iso)
{
    return DiaTexto::escreve(QDate::fromString(iso, Qt::ISODate));
}

void abreDoDia(const QString &iso)
{
    Relatorios::preparaDia(*frmimpressao, diaTexto(iso));
}

void fechaTodas()
{
    for (Query *q : {&frmimpressao->rel_candidato, &frmimpressao->rel_cargo, &frmimpressao->rel_partido,
                     &frmimpressao->rel_resultadoGERAL, &frmimpressao->rel_resultadoCANDIDATO,
                     &frmimpressao->rel_resultadoLEGENDA, &frmimpressao->rel_candidatos_votacao,
                     &frmimpressao->rel_resultadoCARGO})
        q->close();
}

QStringList linhas(Query &q)
{
    QStringList out;
    for (q.first(); !q.eof(); q.next()) {
        QStringList campos;
        for (int i = 0; i < q.fieldCount(); ++i)
            campos << q.field(i).asString();
        out << campos.join(u'|');
    }
    return out;
}

QString pdfTexto(const QString &pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    if (!p.waitForFinished(60000)) return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

struct Saida {
    int codigo = -1;
    QString out, err;
    QByteArray bruto; // the standard output as written
};

Saida votarimBanco(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral(VOTARIM_INSTALL_DIR "/votarim-banco"), args);
    Saida s;
    if (!p.waitForFinished(120000)) return s;
    s.codigo = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    s.bruto = p.readAllStandardOutput();
    s.out = QString::fromUtf8(s.bruto);
    s.err = QString::fromUtf8(p.readAllStandardError());
    return s;
}

QString digitalDoTexto(const QString &texto)
{
    // In full, or on paper in groups of 8.
    static const QRegularExpression re(QStringLiteral("SHA-256\\)?:? *([0-9a-f]{8}(?: ?[0-9a-f]{8}){7})\\b"));
    const auto m = re.match(texto);
    return m.hasMatch() ? m.captured(1).remove(u' ') : QString();
}

} // namespace

class TstReports : public QObject
{
    Q_OBJECT

  private:
    std::unique_ptr<InstalacaoTeste> m_inst;
    Mensagens_vistas *m_msgs = nullptr;
    // A fresh database in the one installation: the data module stays, as in the program.
    void novoBanco()
    {
        fechaTodas();
        db().close();
        for (const QString &s : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
            QFile::remove(m_inst->banco() + s);
        Esquema::criaBanco(m_inst->banco());
        db().setConnectionString(Database::connectionStringFor(m_inst->banco()));
        db().open();
    }

  private slots:
    void initTestCase()
    {
        DiaTexto::setLocale(QLocale(QLocale::Portuguese, QLocale::Brazil));
        m_inst = std::make_unique<InstalacaoTeste>(false);
        QVERIFY(QFile::copy(QStringLiteral(VOTARIM_INSTALL_DIR "/relatorio.rav"),
                            m_inst->caminho("relatorio.rav")));
        frmdados = new Tfrmdados(qApp);
        // As the first registration window creates it: owned by the application, once.
        frmimpressao = new Tfrmimpressao(qApp);
        frmimpressao->relatorio->printToFile = m_inst->caminho(QStringLiteral("impressora.pdf"));
        frmimpressao->relatorio->defaultFolder = m_inst->dir.path();
    }
    void init()
    {
        novoBanco();
        m_msgs = new Mensagens_vistas;
    }
    void cleanup()
    {
        delete m_msgs;
        m_msgs = nullptr;
    }
    void cleanupTestCase()
    {
        fechaTodas();
        db().close();
    }

    void camposFixos_data();
    void camposFixos();
    void campoAusente();
    void estadoRestaurado();
    void filtro_data();
    void filtro();
    void filtroAposEdicao();
    void abas_data();
    void abas();
    void duasImpressoes();
    void semArquivo();
    void erroNaSegundaConsulta();
    void consultasDoDia();
    void diaSemVotos();
    void relatoriosDeLista_data();
    void relatoriosDeLista();
    void relatorioResultado();
    void ferramentaRecusaBancoAberto();
    void rankingLongo();
    void projetoAlterado_data();
    void projetoAlterado();
    void balancoPorCargo();
    void rankingComEmpates();
    void tresConferencias_data();
    void tresConferencias();
    void linhasQueNaoDizemOResultado_data();
    void linhasQueNaoDizemOResultado();
    void textoRecusado_data();
    void textoRecusado();
    void somaDeTerminais();

  private:
    // The tool and the script over the closed file: both fingerprints, the tool's
    // text and CSV; the folder must be left as it was found.
    struct Conferencia {
        QString ferramenta, script, texto, csv;
    };
    // Written by another program, past the guards of the program's connection and the
    // file's own checks.
    void alteraFora(const QString &sql)
    {
        fechaTodas();
        db().close();
        sqlite3 *b = nullptr;
        int rc = sqlite3_open(QFile::encodeName(m_inst->banco()).constData(), &b);
        char *erro = nullptr;
        if (rc == SQLITE_OK)
            rc = sqlite3_exec(b, ("pragma ignore_check_constraints = on; " + sql).toUtf8().constData(), nullptr,
                              nullptr, &erro);
        const QString motivo = erro ? QString::fromUtf8(erro) : QString();
        sqlite3_free(erro);
        sqlite3_close(b);
        db().setConnectionString(Database::connectionStringFor(m_inst->banco()));
        db().open();
        QVERIFY2(rc == SQLITE_OK, qPrintable(motivo));
    }

    Conferencia confereFora(const QString &dia)
    {
        fechaTodas();
        db().close();
        Conferencia c;
        const auto arquivos = [this] { return QDir(m_inst->dir.path()).entryList(QDir::Files, QDir::Name); };
        const QStringList antes = arquivos();
        const Saida t = votarimBanco({QStringLiteral("resultado"), m_inst->banco(), dia});
        const Saida csv =
            votarimBanco({QStringLiteral("resultado"), m_inst->banco(), dia, QStringLiteral("--csv")});
        QProcess receita;
        receita.start(QStringLiteral("bash"),
                      {QStringLiteral(VOTARIM_FONTE "/tools/confere_digital.sh"), m_inst->banco(), dia});
        receita.waitForFinished(60000);
        c.ferramenta = t.codigo == 0 ? digitalDoTexto(t.out) : t.err;
        c.texto = t.out;
        c.csv = csv.out;
        c.script = QString::fromUtf8(receita.readAllStandardOutput()).trimmed();
        if (arquivos() != antes) c.script = QStringLiteral("arquivos deixados: ") + arquivos().join(u' ');
        db().setConnectionString(Database::connectionStringFor(m_inst->banco()));
        db().open();
        return c;
    }
};

void TstReports::camposFixos_data()
{
    QTest::addColumn<int>("consulta");
    QTest::addColumn<QStringList>("campos");
    QTest::addRow("rel_candidato") << 0
                                   << QStringList{"numcad_candidato", "nome_candidato", "numero_candidato",
                                                  "id_partido",       "id_cargo",       "foto"};
    QTest::addRow("rel_cargo") << 1 << QStringList{"numcad_cargo", "cargo", "quantidade_numeros"};
    QTest::addRow("rel_partido") << 2 << QStringList{"numcad_partido", "partido", "legenda"};
    QTest::addRow("rel_resultadoGERAL")
        << 3 << QStringList{"Totalgeral", "Totalbranco", "Totalnulo", "Totallegenda", "Totalnormal"};
    QTest::addRow("rel_resultadoCANDIDATO")
        << 4 << QStringList{"id_candidato", "numero_candidato", "id_cargo", "id_partido", "Totalvotos"};
    QTest::addRow("rel_resultadoLEGENDA") << 5 << QStringList{"id_candidato", "legenda", "Totalvotos"};
    // data_votacao is selected but is none of the query's fields.
    QTest::addRow("rel_candidatos_votacao") << 6 << QStringList{"nome_candidato", "cargo", "partido"};
    QTest::addRow("rel_resultadoCARGO")
        << 7 << QStringList{"ordem",        "id_cargo",    "cargo",     "Totalnormal",
                            "Totallegenda", "Totalbranco", "Totalnulo", "Totalgeral"};
}

void TstReports::camposFixos()
{
    QFETCH(int, consulta);
    QFETCH(QStringList, campos);
    semeia();
    abreDoDia(kDia);
    const auto conexoes = frmimpressao->conexoes();
    ConexaoRelatorio &c = *conexoes[consulta].second;
    c.begin();
    QStringList nomes;
    for (const FieldInfo &f : c.fields())
        nomes << f.name;
    QVERIFY(!c.atEnd());
    const QVariant primeiro = c.value(0);
    c.end();
    QCOMPARE(nomes, campos);
    QVERIFY(!primeiro.isNull());
    QCOMPARE(c.DataSet().fieldCount(), int(campos.size()));
}

void TstReports::campoAusente()
{
    // A text whose result lacks a field of the list fails to open; the query stays closed.
    Query &q = frmimpressao->rel_cargo;
    q.setSql(QStringLiteral("select numcad_cargo, cargo from cargo"));
    try {
        frmimpressao->tb_cargo.begin();
        QFAIL("abriu sem o campo quantidade_numeros");
    } catch (const DbError &e) {
        QVERIFY2(e.message().contains(QStringLiteral("quantidade_numeros")), e.what());
    }
    QVERIFY(!q.isActive());
    QVERIFY(!q.controlsDisabled());
    q.setSql(Tfrmimpressao::kTextoCargo);
}

void TstReports::estadoRestaurado()
{
    // The shipped result report reads all seven connections, with lookups on the lists
    // and on the candidate query; each is put back as it was.
    semeia();
    abreDoDia(kDia);
    Tfrmimpressao &m = *frmimpressao;
    m.rel_resultadoCANDIDATO.moveTo(2);
    m.rel_resultadoLEGENDA.last();
    m.rel_partido.open();
    m.rel_partido.setFilter(QStringLiteral("[numcad_partido] <> '2'"));
    m.rel_partido.moveTo(1);
    const QString antesPartido = m.rel_partido.field(QStringLiteral("partido")).asString();
    const QString pdf = m_inst->caminho(QStringLiteral("estado.pdf"));
    Roteiro r({paraPdf(pdf)});
    m.relatorio->SetReportParameter(QStringLiteral("diarelatorio"), diaTexto(kDia));
    m.relatorio->RunReport(QStringLiteral("REL_ResultadoGeral"));
    QVERIFY(r.completo());
    QVERIFY(QFileInfo(pdf).size() > 0);
    QVERIFY(m_msgs->lista.empty());

    QVERIFY(m.rel_resultadoCANDIDATO.isActive());
    QCOMPARE(m.rel_resultadoCANDIDATO.currentRow(), 2);
    QCOMPARE(m.rel_resultadoCANDIDATO.filter(), QString());
    QVERIFY(m.rel_resultadoLEGENDA.isActive());
    QCOMPARE(m.rel_resultadoLEGENDA.currentRow(), m.rel_resultadoLEGENDA.rowCount() - 1);
    QVERIFY(m.rel_resultadoGERAL.isActive());
    QVERIFY(m.rel_candidatos_votacao.isActive());
    QVERIFY(m.rel_partido.isActive());
    QCOMPARE(m.rel_partido.filter(), QStringLiteral("[numcad_partido] <> '2'"));
    QCOMPARE(m.rel_partido.field(QStringLiteral("partido")).asString(), antesPartido);
    QVERIFY(!m.rel_candidato.isActive());
    QVERIFY(!m.rel_cargo.isActive());
    for (const auto &[nome, c] : m.conexoes())
        QVERIFY2(!c->DataSet().controlsDisabled(), qPrintable(nome));
}

void TstReports::filtro_data()
{
    QTest::addColumn<int>("linhas"); // more than 64 rows: the indexed path
    QTest::addColumn<QString>("condicoes");
    QTest::addColumn<QStringList>("esperados");
    const QStringList oNeil{QStringLiteral("O'Neil")};
    for (int n : {3, 200}) {
        const QByteArray s = QByteArray::number(n);
        QTest::addRow("aspas, %s linhas", s.constData())
            << n << QStringLiteral("[nome_candidato] = 'O''Neil'") << oNeil;
        QTest::addRow("maiúsculas contam, %s", s.constData())
            << n << QStringLiteral("[nome_candidato] = 'o''neil'") << QStringList{};
        QTest::addRow("valor inteiro, %s", s.constData())
            << n << QStringLiteral("[nome_candidato] = 'Ana'") << QStringList{QStringLiteral("Ana")};
        QTest::addRow("sem parte, %s", s.constData())
            << n << QStringLiteral("[nome_candidato] = 'An'") << QStringList{};
        QTest::addRow("duas condições, %s", s.constData())
            << n << QStringLiteral("[id_cargo] = '1' and [numero_candidato] = '77'")
            << QStringList{QStringLiteral("Ana Maria")};
        QTest::addRow("diferente, %s", s.constData())
            << n << QStringLiteral("[id_cargo] = '1' and [nome_candidato] <> 'Ana'")
            << QStringList{QStringLiteral("Ana Maria"), QStringLiteral("O'Neil")};
    }
}

void TstReports::filtro()
{
    QFETCH(int, linhas);
    QFETCH(QString, condicoes);
    QFETCH(QStringList, esperados);
    insere(
        QStringLiteral("insert into cargo (cargo, quantidade_numeros) values ('Prefeito', 2), ('Outro', 3)"));
    insere(QStringLiteral(
        "insert into candidatos (nome_candidato, numero_candidato, id_partido, id_cargo) values "
        "('Ana', '13', 1, 1), ('Ana Maria', '77', 1, 1), ('O''Neil', '15', 1, 1), ('ana', '16', 1, 2)"));
    for (int i = 4; i < linhas; ++i)
        insere(
            QStringLiteral("insert into candidatos (nome_candidato, numero_candidato, id_partido, id_cargo) "
                           "values (:nome, :numero, 1, 2)"),
            {QStringLiteral("Cand %1").arg(i), QString::number(100 + i)});
    // The engine writes its lookups' conditions in this text; the connection gives them to the query.
    QCOMPARE(filterText({{QStringLiteral("nome_candidato"), QStringLiteral("="), QStringLiteral("O'Neil")}}),
             QStringLiteral("[nome_candidato] = 'O''Neil'"));
    ConexaoRelatorio &c = frmimpressao->tb_candidato;
    c.begin();
    for (int vez = 0; vez < 2; ++vez) { // the second time from the kept index
        c.setFilter(condicoes);
        QCOMPARE(c.DataSet().filter(), condicoes);
        QStringList vistos;
        for (c.first(); !c.atEnd(); c.next())
            vistos << c.value(1).toString();
        QCOMPARE(vistos, esperados);
        c.setFilter(QString());
    }
    c.end();
    QVERIFY(!c.DataSet().isActive());
    QCOMPARE(c.DataSet().filter(), QString());
}

void TstReports::filtroAposEdicao()
{
    // The index behind equality filters follows rows that change, come and go.
    insere(QStringLiteral("insert into cargo (cargo, quantidade_numeros) values ('Prefeito', 3)"));
    for (int i = 0; i < 100; ++i)
        insere(
            QStringLiteral("insert into candidatos (nome_candidato, numero_candidato, id_partido, id_cargo) "
                           "values (:nome, :numero, 1, 1)"),
            {QStringLiteral("Cand %1").arg(i), QString::number(100 + i)});
    Query q(db());
    q.setSql(QStringLiteral("select * from candidatos"));
    q.open();
    const auto quantos = [&q](const QString &nome) {
        q.setFilter(QStringLiteral("[nome_candidato] = '%1'").arg(nome));
        const int n = q.rowCount();
        q.clearFilter();
        return n;
    };
    QCOMPARE(quantos(QStringLiteral("Cand 5")), 1);
    q.moveTo(5);
    q.edit();
    q.field(QStringLiteral("nome_candidato")).setValue(QStringLiteral("Novo"));
    q.post();
    QCOMPARE(quantos(QStringLiteral("Cand 5")), 0);
    QCOMPARE(quantos(QStringLiteral("Novo")), 1);
    q.insert();
    q.field(QStringLiteral("nome_candidato")).setValue(QStringLiteral("Novo"));
    q.field(QStringLiteral("numero_candidato")).setValue(QStringLiteral("999"));
    q.field(QStringLiteral("id_partido")).setValue(1);
    q.field(QStringLiteral("id_cargo")).setValue(1);
    q.post();
    QCOMPARE(quantos(QStringLiteral("Novo")), 2);
    QVERIFY(q.locate(QStringLiteral("nome_candidato"), QStringLiteral("Cand 0")));
    q.remove();
    QCOMPARE(quantos(QStringLiteral("Cand 0")), 0);
    QCOMPARE(quantos(QStringLiteral("Cand 1")), 1);
    q.close();
    executa(db(),
            QStringLiteral("update candidatos set nome_candidato = 'Novo' where numcad_candidato = 10"));
    q.open();
    QCOMPARE(quantos(QStringLiteral("Novo")), 3);
}

void TstReports::abas_data()
{
    QTest::addColumn<int>("indice");
    QTest::addColumn<bool>("diaVisivel");
    QTest::addRow("Candidatos") << 0 << false;
    QTest::addRow("Cargo") << 1 << false;
    QTest::addRow("Partido") << 2 << false;
    QTest::addRow("Resultado Votação") << 3 << true;
}

void TstReports::abas()
{
    QFETCH(int, indice);
    QFETCH(bool, diaVisivel);
    QWidget janela;
    auto *tab = new TabRelatorio(&janela);
    janela.show();
    QCOMPARE(tab->objectName(), QStringLiteral("tab_relatorio"));
    QCOMPARE(tab->GroupBox8->geometry(), QRect(3, 3, 458, 270));
    QCOMPARE(tab->cbx_relatorio->parentWidget(), tab->GroupBox8);
    QCOMPARE(tab->cbx_relatorio->geometry(), QRect(3, 25, 363, 21));
    QCOMPARE(tab->btn_impressao->geometry(), QRect(370, 25, 83, 21));
    QCOMPARE(tab->Label22->geometry(), QRect(3, 52, 101, 13));
    QCOMPARE(tab->cmp_datavotacao_relatorio->geometry(), QRect(3, 66, 115, 21));
    QVERIFY(tab->Label21->font().bold());
    QCOMPARE(tab->Label21->font().pixelSize(), 11);
    QCOMPARE(tab->cbx_relatorio->currentIndex(), 0);
    QVERIFY(!tab->Label22->isVisible());
    QCOMPARE(tab->cmp_datavotacao_relatorio->date(), QDate::currentDate());
    QCOMPARE(tab->cmp_datavotacao_relatorio->calendarWidget()->locale().monthName(1), QStringLiteral("janeiro"));

    tab->cbx_relatorio->setCurrentIndex(3); // shown first, so that hiding again is seen too
    tab->cmp_datavotacao_relatorio->setDate(QDate(2024, 5, 1));
    tab->cbx_relatorio->setCurrentIndex(indice);
    QCOMPARE(tab->Label22->isVisible(), diaVisivel);
    QCOMPARE(tab->cmp_datavotacao_relatorio->isVisible(), diaVisivel);
    tab->cbx_relatorio->setCurrentIndex(3);
    QCOMPARE(tab->cmp_datavotacao_relatorio->date(), QDate(2024, 5, 1)); // kept while hidden
}

void TstReports::duasImpressoes()
{
    semeia();
    QWidget janela;
    auto *tab = new TabRelatorio(&janela);
    tab->cbx_relatorio->setCurrentIndex(3);
    // The untouched picker: today, in dd/MM/yyyy.
    {
        Roteiro r({cancelaOpcoes()});
        tab->btn_impressao->click();
        QVERIFY(r.completo());
    }
    const QString hoje = QDate::currentDate().toString(QStringLiteral("dd/MM/yyyy"));
    const auto parametro = [](const QString &nome) {
        for (const auto &[n, v] : frmimpressao->relatorio->parameters())
            if (n == nome) return v;
        return QString();
    };
    QCOMPARE(parametro(QStringLiteral("diarelatorio")), hoje);
    QCOMPARE(parametro(QStringLiteral("impressao_digital")), frmimpressao->digitalApuracao);
    QCOMPARE(frmimpressao->rel_resultadoGERAL.sql(), Relatorios::textoTotais(hoje));

    tab->cmp_datavotacao_relatorio->setDate(QDate::fromString(kDia, Qt::ISODate));
    {
        Roteiro r({cancelaOpcoes()});
        tab->btn_impressao->click();
        QVERIFY(r.completo());
    }
    QVERIFY(m_msgs->lista.empty());
    const QString d = diaTexto(kDia);
    QCOMPARE(d, QStringLiteral("06/10/2024"));
    Tfrmimpressao &m = *frmimpressao;
    // The second day replaced the first; beside it, the fingerprint of that day's result.
    QCOMPARE(m.relatorio->parameters(), (Parameters{{QStringLiteral("impressao_digital"), m.digitalApuracao},
                                                    {QStringLiteral("texto_canonico"), Relatorios::textoDosCodigos(m.textoApuracao)},
                                                    {QStringLiteral("diarelatorio"), d}}));
    // Exact, line by line: blanks, the double blank, the trailing blank, CR LF between lines.
    QCOMPARE(m.rel_resultadoGERAL.text(),
             QStringLiteral("select count(data) as Totalgeral,\r\n"
                            " (select count(voto) from contagem_votacao where voto = \"BRANCO\" and data = "
                            "datevalue(\"06/10/2024\")) as Totalbranco,\r\n"
                            " (select count(voto) from contagem_votacao where voto = \"NULO\" and data = "
                            "datevalue(\"06/10/2024\")) as Totalnulo,\r\n"
                            " (select count(voto) from contagem_votacao where voto = \"LEGENDA\" and data = "
                            "datevalue(\"06/10/2024\")) as Totallegenda,\r\n"
                            "(select count(voto) from contagem_votacao where voto = \"NORMAL\" and data = "
                            "datevalue(\"06/10/2024\")) as Totalnormal\r\n"
                            "from contagem_votacao where data =  datevalue(\"06/10/2024\")\r\n"));
    QCOMPARE(
        m.rel_resultadoCANDIDATO.text(),
        QStringLiteral("SELECT id_candidato, numero_candidato, id_cargo, id_partido, count(id_candidato) AS "
                       "Totalvotos\r\n"
                       " FROM contagem_votacao WHERE data= datevalue (\"06/10/2024\") and voto=\"NORMAL\"\r\n"
                       "GROUP BY id_cargo, id_partido, id_candidato, numero_candidato order by id_cargo, "
                       "count(id_candidato) desc, id_partido\r\n"));
    QCOMPARE(m.rel_resultadoLEGENDA.text(),
             QStringLiteral("SELECT id_candidato,legenda, count(legenda) AS Totalvotos\r\n"
                            " FROM contagem_votacao\r\n"
                            " WHERE data = datevalue (\"06/10/2024\") And voto=\"LEGENDA\"\r\n"
                            " GROUP BY legenda, id_candidato\r\n"));
    QCOMPARE(
        m.rel_candidatos_votacao.text(),
        QStringLiteral("select candidatos.nome_candidato, cargo, partido,candidatos_votacao.data_votacao "
                       "from candidatos_votacao, candidatos,cargo,partido\r\n"
                       "where candidatos_votacao.id_candidato = candidatos.numcad_candidato and "
                       "candidatos_votacao.id_cargo = cargo.numcad_cargo and candidatos_votacao.id_partido = "
                       "partido.numcad_partido\r\n"
                       " and data_votacao = datevalue(\"06/10/2024\") order by cargo, partido, "
                       "candidatos.nome_candidato \r\n"));
    // Step 11: all seven closed after the run.
    for (const auto &[nome, c] : m.conexoes())
        QVERIFY2(!c->DataSet().isActive(), qPrintable(nome));
}

void TstReports::semArquivo()
{
    QWidget janela;
    auto *tab = new TabRelatorio(&janela);
    Tfrmimpressao &m = *frmimpressao;
    abreDoDia(kDia);
    const QStringList antes = m.rel_resultadoGERAL.sql();
    const QString projeto = m_inst->caminho(QStringLiteral("relatorio.rav"));
    const QString guardado = projeto + QStringLiteral(".guardado");
    QVERIFY(QFile::rename(projeto, guardado));
    tab->cmp_datavotacao_relatorio->setDate(QDate(2023, 1, 2));
    // Missing, a pipe of that name (reading it would wait forever) and a folder of that name.
    const std::vector<std::function<bool()>> nenhumArquivo{
        [] { return true; },
        [&projeto] { return ::mkfifo(QFile::encodeName(projeto).constData(), 0600) == 0; },
        [&projeto] { return QFile::remove(projeto) && QDir().mkdir(projeto); }};
    for (const auto &prepara : nenhumArquivo) {
        QVERIFY(prepara());
        for (int i : {3, 0, 3}) { // every time, whatever the choice
            tab->cbx_relatorio->setCurrentIndex(i);
            Roteiro r({});
            tab->btn_impressao->click();
            QVERIFY(r.vistas.isEmpty());
        }
    }
    QVERIFY(QDir().rmdir(projeto));
    QVERIFY(QFile::rename(guardado, projeto));
    QCOMPARE(m_msgs->lista.size(), size_t(9));
    for (const auto &msg : m_msgs->lista) {
        QCOMPARE(msg.icone, Mensagens::Icone::Aviso);
        QCOMPARE(
            msg.texto,
            QStringLiteral("O arquivo de relatório não foi localizado, não será possível fazer a impressão"));
    }
    QCOMPARE(m.rel_resultadoGERAL.sql(), antes);
    QVERIFY(m.rel_resultadoGERAL.isActive()); // nothing closed either
    QVERIFY(m.rel_candidatos_votacao.isActive());
}

void TstReports::erroNaSegundaConsulta()
{
    semeia();
    QWidget janela;
    auto *tab = new TabRelatorio(&janela);
    tab->cbx_relatorio->setCurrentIndex(3);
    Tfrmimpressao &m = *frmimpressao;
    insere(QStringLiteral("alter table contagem_votacao rename column numero_candidato to numero_x"));
    m.rel_resultadoLEGENDA.setSql(QStringLiteral("select 1"));
    const QStringList legendaAntes = m.rel_resultadoLEGENDA.sql();
    {
        Roteiro r({});
        tab->btn_impressao->click();
        QVERIFY(r.vistas.isEmpty()); // no report ran
    }
    QCOMPARE(m_msgs->lista.size(), size_t(1));
    QCOMPARE(m_msgs->lista[0].icone, Mensagens::Icone::Erro);
    QVERIFY2(m_msgs->lista[0].texto.contains(QStringLiteral("\"Nº candidato\"")),
             qPrintable(m_msgs->lista[0].texto));
    QVERIFY(m.rel_resultadoGERAL.isActive()); // opened before the error, left open
    QVERIFY(!m.rel_resultadoCANDIDATO.isActive());
    QCOMPARE(m.rel_resultadoLEGENDA.sql(), legendaAntes); // the rest skipped

    insere(QStringLiteral("alter table contagem_votacao rename column numero_x to numero_candidato"));
    tab->cbx_relatorio->setCurrentIndex(1);
    {
        Roteiro r({cancelaOpcoes()});
        tab->btn_impressao->click();
        QVERIFY(r.completo());
    }
    QCOMPARE(m_msgs->lista.size(), size_t(1));
    QVERIFY(!m.rel_resultadoGERAL.isActive()); // the next print closed it
}

void TstReports::consultasDoDia()
{
    semeia();
    abreDoDia(kDia);
    Tfrmimpressao &m = *frmimpressao;
    QCOMPARE(linhas(m.rel_resultadoGERAL), QStringList{QStringLiteral("23|2|1|3|17")});
    // Office 1 by votes, the tie of Ana and Bruno by party; office 2 once per number voted.
    QCOMPARE(linhas(m.rel_resultadoCANDIDATO),
             (QStringList{"3|22|1|3|5", "1|13|1|1|3", "2|45|1|2|3", "4|131|2|1|4", "4|130|2|1|2"}));
    QStringList legendas = linhas(m.rel_resultadoLEGENDA);
    QCOMPARE(legendas, (QStringList{"1|13|2", "2|45|1"}));
    QCOMPARE(linhas(m.rel_candidatos_votacao),
             (QStringList{"Ana|Prefeito|Partido Azul", "Carla|Prefeito|Partido D'Ávila",
                          "Bruno|Prefeito|Partido Verde", "Davi|Vereador|Partido Azul",
                          "Eva|Vereador|Partido Verde"}));
}

void TstReports::diaSemVotos()
{
    semeia();
    abreDoDia(QStringLiteral("2024-10-05"));
    Tfrmimpressao &m = *frmimpressao;
    QCOMPARE(linhas(m.rel_resultadoGERAL), QStringList{QStringLiteral("0|0|0|0|0")});
    QCOMPARE(m.rel_resultadoCANDIDATO.recordCount(), 0);
    QCOMPARE(m.rel_resultadoLEGENDA.recordCount(), 0);
    QCOMPARE(m.rel_candidatos_votacao.recordCount(), 0);
    // Still a valid report, with its fingerprint.
    m.relatorio->SetReportParameter(QStringLiteral("diarelatorio"), QStringLiteral("05/10/2024"));
    const auto paginas = m.relatorio->prepareReport(QStringLiteral("rel_resultadogeral"));
    QVERIFY(paginas);
    QString tudo;
    for (const Page &p : paginas->pages)
        tudo += p.texts.join(u'\n');
    QVERIFY(tudo.contains(QStringLiteral("Nenhum voto nominal nem candidato no mapa de votação neste dia.")));
    QVERIFY(tudo.contains(QStringLiteral("Nenhum voto de legenda neste dia.")));
    QVERIFY(tudo.contains(Relatorios::impressaoDigital(m)));
}

void TstReports::relatoriosDeLista_data()
{
    QTest::addColumn<QString>("relatorio");
    QTest::addColumn<QStringList>("textos");
    QTest::addRow("rel_candidato") << QStringLiteral("rel_candidato") << QStringList{"Carla",
                                                                                     "Partido D'Ávila",
                                                                                     "Vereador",
                                                                                     "(cargo removido)",
                                                                                     "(partido removido)",
                                                                                     "Total: 6 candidato(s)"};
    QTest::addRow("rel_cargo") << QStringLiteral("rel_cargo")
                               << QStringList{"Prefeito", "Vereador", "3", "Total: 2 cargo(s)"};
    QTest::addRow("rel_partido") << QStringLiteral("rel_partido")
                                 << QStringList{"Partido D'Ávila", "45", "Total: 3 partido(s)"};
}

void TstReports::relatoriosDeLista()
{
    // The shipped list reports over the registered tables, one candidate with neither office nor party.
    QFETCH(QString, relatorio);
    QFETCH(QStringList, textos);
    semeia();
    insere(QStringLiteral("insert into candidatos (nome_candidato, numero_candidato, id_partido, id_cargo) "
                          "values ('Órfão', '99', 77, 88)"));
    const auto paginas = frmimpressao->relatorio->prepareReport(relatorio);
    QVERIFY(paginas);
    QStringList tudo;
    for (const Page &p : paginas->pages)
        tudo << p.texts;
    for (const QString &t : textos)
        QVERIFY2(tudo.contains(t), qPrintable(t));
    QVERIFY(tudo.contains(QStringLiteral("página 1 de 1")));
    QVERIFY(!frmimpressao->rel_candidato.isActive());
}

void TstReports::relatorioResultado()
{
    semeia();
    QWidget janela;
    auto *tab = new TabRelatorio(&janela);
    tab->cbx_relatorio->setCurrentIndex(3);
    tab->cmp_datavotacao_relatorio->setDate(QDate::fromString(kDia, Qt::ISODate));
    const QString pdf = m_inst->caminho(QStringLiteral("resultado.pdf"));
    Roteiro r({paraPdf(pdf)});
    tab->btn_impressao->click();
    QVERIFY(r.completo());
    QVERIFY(m_msgs->lista.empty());
    const QString texto = pdfTexto(pdf);
    QVERIFY2(texto.contains(QStringLiteral("Resultado da votação do dia 06/10/2024")), qPrintable(texto));

    const auto numeros = [&texto](const QString &rotulo) {
        const QRegularExpression re(QRegularExpression::escape(rotulo) +
                                    QStringLiteral(" +(\\d+) +([0-9,]+)"));
        const auto m = re.match(texto);
        return m.hasMatch() ? m.captured(1) + u' ' + m.captured(2) : QString();
    };
    QCOMPARE(numeros(QStringLiteral("Nominais (em candidatos)")), QStringLiteral("17 73,91"));
    QCOMPARE(numeros(QStringLiteral("De legenda (em partidos)")), QStringLiteral("3 13,04"));
    QCOMPARE(numeros(QStringLiteral("Brancos")), QStringLiteral("2 8,70"));
    QCOMPARE(numeros(QStringLiteral("Nulos")), QStringLiteral("1 4,35"));
    QCOMPARE(numeros(QStringLiteral("Total de votos do dia")), QStringLiteral("23 100,00"));
    QVERIFY(!texto.contains(QStringLiteral("ATENÇÃO")));
    // Rankings: positions, names looked up, the number voted, votes and share of the office.
    // Ties share a position; a candidate standing without votes is ranked with 0.
    const QStringList ranking{"1º +22 +Carla +Partido D'Ávila +5 +45,45",
                              "2º +13 +Ana +Partido Azul +3 +27,27", "2º +45 +Bruno +Partido Verde +3 +27,27",
                              "1º +131 +Davi +Partido Azul +4 +66,67",
                              "2º +130 +Davi +Partido Azul +2 +33,33",
                              "3º +451 +Eva +Partido Verde +0 +0,00 +sem votos"};
    qsizetype desde = 0;
    for (const QString &l : ranking) {
        const auto m = QRegularExpression(l).match(texto, desde);
        QVERIFY2(m.hasMatch(), qPrintable(l));
        desde = m.capturedEnd();
    }
    QCOMPARE(numeros(QStringLiteral("Votos nominais no cargo")), QStringLiteral("11 100,00"));
    QVERIFY(QRegularExpression(QStringLiteral("Votos nominais no cargo +6 +100,00")).match(texto).hasMatch());
    QVERIFY(QRegularExpression(QStringLiteral("Total de votos nominais do dia +17")).match(texto).hasMatch());
    QVERIFY(QRegularExpression(QStringLiteral("13 +Partido Azul +2 +66,67")).match(texto).hasMatch());
    QVERIFY(
        QRegularExpression(QStringLiteral("Total de votos de legenda do dia +3")).match(texto).hasMatch());
    QVERIFY(QRegularExpression(QStringLiteral("Eva +Vereador +Partido Verde +sem votos"))
                .match(texto)
                .hasMatch());
    QVERIFY(QRegularExpression(QStringLiteral("Davi +Vereador +Partido Azul +com votos"))
                .match(texto)
                .hasMatch());
    QVERIFY(QRegularExpression(QStringLiteral("página 1 de \\d")).match(texto).hasMatch());
    // Each office balances, the votes stored without office in a row of their own,
    // and the columns add up to the day's totals.
    for (const char *linha : {"Prefeito +11 +0 +0 +0 +11", "Vereador +6 +0 +0 +0 +6",
                              "sem cargo registrado +0 +3 +2 +1 +6", "Soma dos cargos +17 +3 +2 +1 +23"})
        QVERIFY2(QRegularExpression(QString::fromUtf8(linha)).match(texto).hasMatch(), linha);
    // The preview's CSV is the tool's (compared below).
    const QString csvDaPrevia = m_inst->caminho(QStringLiteral("previa.csv"));
    {
        Roteiro rc({{QStringLiteral("opcoesSaida"), [&csvDaPrevia](QWidget *w) {
                         filho<QRadioButton>(w, "arquivo")->setChecked(true);
                         filho<QComboBox>(w, "formato")->setCurrentIndex(1);
                         filho<QLineEdit>(w, "nomeArquivo")->setText(csvDaPrevia);
                         filho<QPushButton>(w, "ok")->click();
                     }}});
        tab->btn_impressao->click();
        QVERIFY(rc.completo());
    }
    // Every page: the day's fingerprint in groups of 8 and the shipped project's hash, no warning.
    QCOMPARE(Relatorios::kHashProjetoDistribuido, QString::fromLatin1(hashArquivo(m_inst->caminho("relatorio.rav")).toHex()));
    const QStringList paginas = texto.split(u'\f', Qt::SkipEmptyParts);
    QVERIFY(paginas.size() >= 2);
    for (const QString &pagina : paginas) {
        QVERIFY2(pagina.contains(QStringLiteral("Projeto de relatório (SHA-256): ") +
                                 Relatorios::emGrupos(Relatorios::kHashProjetoDistribuido)),
                 qPrintable(pagina));
        QVERIFY(pagina.contains(QStringLiteral("Impressão digital (SHA-256): ") +
                                Relatorios::emGrupos(digitalDoTexto(texto))));
        QVERIFY(!pagina.contains(Relatorios::kAvisoProjetoDiferente));
    }

    // The fingerprint: on the report, from the module, from the tool (with the
    // program's hold released), and recomputed from the documented canonical text.
    const QString digital = digitalDoTexto(texto);
    QCOMPARE(digital.size(), 64);
    abreDoDia(kDia);
    QCOMPARE(Relatorios::impressaoDigital(*frmimpressao), digital);
    const QByteArray canonico = Relatorios::textoCanonico(*frmimpressao);
    QVERIFY(canonico.startsWith(
        "#votarim-resultado\t1\n#tb_apuracaoDIA\ndia\tdia_texto\n2024-10-06\t06/10/"
        "2024\n#tb_apuracaoTOTAIS\nvoto\tvotos\tpercentual\nNORMAL\t17\t73,91\nLEGENDA\t3\t13,"
        "04\nBRANCO\t2\t8,70\nNULO\t1\t4,35\nTOTAL\t23\t100,00\n#tb_apuracaoCARGOS\n"));
    QVERIFY(canonico.contains("\n1\tPrefeito\t1\t3\t22\tCarla\t3\tPartido D'Ávila\t5\t45,45\t\n"));
    QCOMPARE(QString::fromLatin1(QCryptographicHash::hash(canonico, QCryptographicHash::Sha256).toHex()),
             digital);
    fechaTodas();
    db().close();
    const QByteArray bytesAntes = hashArquivo(m_inst->banco());
    const Saida texto2 = votarimBanco({QStringLiteral("resultado"), m_inst->banco(), kDia});
    QCOMPARE(texto2.codigo, 0);
    QCOMPARE(digitalDoTexto(texto2.out), digital);
    // The shipped project's hash, as the build recorded it.
    QFile projeto(QStringLiteral(VOTARIM_FONTE "/src/reports/relatorio.rav"));
    QVERIFY(projeto.open(QIODevice::ReadOnly));
    const QByteArray hashProjeto =
        QCryptographicHash::hash(projeto.readAll(), QCryptographicHash::Sha256).toHex();
    QCOMPARE(Relatorios::kHashProjetoDistribuido, hashProjeto);
    QVERIFY(texto2.out.endsWith(QStringLiteral("Impressão digital (SHA-256): ") + digital +
                                QStringLiteral("\nProjeto de relatório (SHA-256): ") +
                                QString::fromLatin1(hashProjeto) + QStringLiteral("\n")));
    QVERIFY(texto2.out.contains(QStringLiteral("Vereador  Partido Verde  451  Eva  sem votos")));
    const QString pdf2 = m_inst->caminho(QStringLiteral("ferramenta.pdf"));
    const Saida comPdf =
        votarimBanco({QStringLiteral("resultado"), m_inst->banco(), kDia, QStringLiteral("--pdf"), pdf2});
    QCOMPARE(comPdf.codigo, 0);
    QCOMPARE(digitalDoTexto(pdfTexto(pdf2)), digital);
    const Saida csv =
        votarimBanco({QStringLiteral("resultado"), m_inst->banco(), kDia, QStringLiteral("--csv")});
    QCOMPARE(csv.codigo, 0);
    QVERIFY(csv.bruto.startsWith("\xEF\xBB\xBF"));
    QVERIFY(csv.out.contains(QStringLiteral("\r\nPrefeito;1;22;Carla;Partido D'Ávila;5;45,45;\r\n")));
    QVERIFY(csv.out.endsWith(QStringLiteral("\r\nImpressão digital (SHA-256);") + digital + QStringLiteral("\r\n")));
    QFile previa(csvDaPrevia);
    QVERIFY(previa.open(QIODevice::ReadOnly));
    QCOMPARE(previa.readAll(), csv.bruto);
    QCOMPARE(hashArquivo(m_inst->banco()), bytesAntes); // read-only: the file is as it was
    // The documented recipe with sqlite3 and sha256sum alone gives the same.
    QProcess receita;
    receita.start(QStringLiteral("bash"),
                  {QStringLiteral(VOTARIM_FONTE "/tools/confere_digital.sh"), m_inst->banco(), kDia});
    QVERIFY(receita.waitForFinished(60000));
    QCOMPARE(QString::fromUtf8(receita.readAllStandardOutput()).trimmed(), digital);
    db().setConnectionString(Database::connectionStringFor(m_inst->banco()));
    db().open();
}

void TstReports::ferramentaRecusaBancoAberto()
{
    // The data module holds the file (as the program does): the tool refuses it, clearly.
    semeia();
    const Saida s = votarimBanco({QStringLiteral("resultado"), m_inst->banco(), kDia});
    QCOMPARE(s.codigo, 1);
    QVERIFY2(s.err.contains(QStringLiteral("está aberto pelo Votarim")), qPrintable(s.err));
    QCOMPARE(s.out, QString());
    // The script prints no fingerprint of a file it could not read whole.
    QProcess receita;
    receita.start(QStringLiteral("bash"),
                  {QStringLiteral(VOTARIM_FONTE "/tools/confere_digital.sh"), m_inst->banco(), kDia});
    QVERIFY(receita.waitForFinished(60000));
    QVERIFY(receita.exitCode() != 0);
    QCOMPARE(receita.readAllStandardOutput(), QByteArray());
    QVERIFY(
        QString::fromUtf8(receita.readAllStandardError()).contains(QStringLiteral("Não foi possível ler")));
    const Saida dia =
        votarimBanco({QStringLiteral("resultado"), m_inst->banco(), QStringLiteral("2024-02-30")});
    QCOMPARE(dia.codigo, 2);
    QVERIFY(dia.err.contains(QStringLiteral("Dia inválido")));
}

void TstReports::rankingLongo()
{
    // 5,000 candidates in one office: a ranking over many pages, its column titles
    // repeated on every page that continues it, every position once.
    insere(QStringLiteral("insert into cargo (cargo, quantidade_numeros) values ('Vereador', 5)"));
    insere(QStringLiteral("insert into partido (partido, legenda) values ('Partido Azul', '13')"));
    {
        Transaction t(db());
        for (int i = 0; i < 5000; ++i) {
            insere(QStringLiteral(
                       "insert into candidatos (nome_candidato, numero_candidato, id_partido, id_cargo) "
                       "values (:nome, :numero, 1, 1)"),
                   {QStringLiteral("Candidato %1").arg(i), QString::number(10000 + i)});
            voto(i + 1, QString::number(10000 + i), QStringLiteral("NORMAL"), {}, 1, 1, kDia, 1 + i % 3);
        }
        t.commit();
    }
    abreDoDia(kDia);
    Tfrmimpressao &m = *frmimpressao;
    m.relatorio->SetReportParameter(QStringLiteral("diarelatorio"), diaTexto(kDia));
    const auto paginas = m.relatorio->prepareReport(QStringLiteral("rel_resultadogeral"));
    QVERIFY(paginas);
    QVERIFY(paginas->pages.size() > 100);
    int posicoes = 0;
    int paginasDoRanking = 0;
    static const QRegularExpression posicao(QStringLiteral("^(\\d+)º$"));
    for (const Page &p : paginas->pages) {
        int nestaPagina = 0;
        for (const QString &t : p.texts)
            if (posicao.match(t).hasMatch()) {
                ++nestaPagina;
                ++posicoes;
            }
        if (nestaPagina == 0) continue;
        ++paginasDoRanking;
        QVERIFY(p.texts.contains(QStringLiteral("Nº votado")));
        QVERIFY(p.texts.contains(QStringLiteral("Cargo: Vereador")));
    }
    QCOMPARE(posicoes, 5000);
    QVERIFY(paginasDoRanking > 100);
    // The result behind it: 1,666 tied at 3 votes, then 1,667 at 2 and 1,667 at 1.
    QMap<int, int> porPosicao;
    for (const Apuracao::Colocacao &c : m.apuracao.ranking)
        ++porPosicao[c.posicao];
    QCOMPARE(porPosicao, (QMap<int, int>{{1, 1666}, {1667, 1667}, {3334, 1667}}));
}

void TstReports::balancoPorCargo()
{
    // Votes stored with their office (legend, blank, null at Vereador), an office
    // removed after its votes, and votes of older versions without office.
    semeia();
    insere(QStringLiteral("insert into cargo (cargo, quantidade_numeros) values ('Síndico', 1)"));
    voto(2, {}, QStringLiteral("LEGENDA"), QStringLiteral("45"), 2, {}, kDia, 2);
    voto({}, {}, QStringLiteral("BRANCO"), {}, 2, {}, kDia, 1);
    voto({}, {}, QStringLiteral("NULO"), {}, 2, {}, kDia, 3);
    voto({}, {}, QStringLiteral("BRANCO"), {}, 3, {}, kDia, 1);
    insere(QStringLiteral("delete from cargo where numcad_cargo = 3"));
    abreDoDia(kDia);
    Tfrmimpressao &m = *frmimpressao;
    // Voting order, then the office no longer there, then the votes without office.
    QCOMPARE(linhas(m.rel_resultadoCARGO),
             (QStringList{"1|1|Prefeito|11|0|0|0|11", "2|2|Vereador|6|2|1|3|12",
                          "|3|(cargo removido)|0|0|1|0|1", "||sem cargo registrado|0|3|2|1|6"}));
    // The four queries of old are unchanged; the day's kinds equal the sums of the rows.
    QCOMPARE(linhas(m.rel_resultadoGERAL), QStringList{QStringLiteral("30|4|4|5|17")});
    qint64 soma[5] = {};
    for (const Apuracao::Cargo &c : m.apuracao.cargos) {
        const qint64 linha[5] = {c.normal, c.legenda, c.branco, c.nulo, c.total};
        for (int i = 0; i < 5; ++i)
            soma[i] += linha[i];
        QCOMPARE(c.normal + c.legenda + c.branco + c.nulo, c.total);
    }
    QCOMPARE(m.apuracao.totais.size(), 5);
    for (int i = 0; i < 5; ++i)
        QCOMPARE(m.apuracao.totais[i].votos, soma[i]);
    // The report reads exactly these rows.
    QCOMPARE(m.tb_apuracaoCARGOS.rowCount(), 4);
    const Conferencia c = confereFora(kDia);
    QCOMPARE(c.script, c.ferramenta);
    QVERIFY2(c.texto.contains(
                 QStringLiteral("sem cargo registrado  nominais 0  legenda 3  brancos 2  nulos 1  total 6")),
             qPrintable(c.texto));
    QVERIFY(c.csv.contains(QStringLiteral("\r\n;sem cargo registrado;0;3;2;1;6\r\n")));
    QVERIFY(c.csv.contains(QStringLiteral("\r\n2;Vereador;6;2;1;3;12\r\n")));
}

void TstReports::rankingComEmpates()
{
    // Prefeito: Carla 5, then Ana and Bruno 3 each share the 2nd place; Vereador starts
    // again at 1, Davi once per number voted, Eva stood without votes.
    semeia();
    abreDoDia(kDia);
    QStringList ranking;
    for (const Apuracao::Colocacao &c : frmimpressao->apuracao.ranking)
        ranking << QStringLiteral("%1 %2 %3 %4 %5 %6")
                       .arg(c.cargo)
                       .arg(c.posicao)
                       .arg(c.nome, c.numero)
                       .arg(c.votos)
                       .arg(c.situacao);
    QCOMPARE(ranking, (QStringList{"Prefeito 1 Carla 22 5 ", "Prefeito 2 Ana 13 3 ", "Prefeito 2 Bruno 45 3 ",
                                   "Vereador 1 Davi 131 4 ", "Vereador 2 Davi 130 2 ",
                                   "Vereador 3 Eva 451 0 sem votos"}));
    QCOMPARE(frmimpressao->tb_apuracaoRANKING.rowCount(), 6);
    const Conferencia c = confereFora(kDia);
    QCOMPARE(c.script, c.ferramenta);
    for (const QString &linha :
         {QStringLiteral("    1º  22  Carla  Partido D'Ávila  5 votos  45,45 %\n"),
          QStringLiteral("    2º  13  Ana  Partido Azul  3 votos  27,27 %\n"),
          QStringLiteral("    2º  45  Bruno  Partido Verde  3 votos  27,27 %\n"),
          QStringLiteral("    1º  131  Davi  Partido Azul  4 votos  66,67 %\n"),
          QStringLiteral("    3º  451  Eva  Partido Verde  0 votos  0,00 %  sem votos\n")})
        QVERIFY2(c.texto.contains(linha), qPrintable(linha));
    QVERIFY(
        c.csv.contains(QStringLiteral("\r\nCargo;Posição;Número;Candidato;Partido;Votos;%;Situação\r\n")));
    QVERIFY(c.csv.contains(QStringLiteral("\r\nPrefeito;2;45;Bruno;Partido Verde;3;27,27;\r\n")));
    QVERIFY(c.csv.contains(QStringLiteral("\r\nVereador;3;451;Eva;Partido Verde;0;0,00;sem votos\r\n")));
    QVERIFY(!c.csv.contains(QStringLiteral("Coluna")));
}

void TstReports::tresConferencias_data()
{
    // A change made to the seeded election before the check, and the day checked.
    QTest::addColumn<QString>("mudanca");
    QTest::addColumn<QString>("dia");
    QTest::addRow("dia com votos") << QString() << kDia;
    QTest::addRow("dia sem votos") << QString() << QStringLiteral("2024-10-05");
    QTest::addRow("cargo removido depois dos votos")
        << QStringLiteral("delete from cargo where numcad_cargo = 2") << kDia;
    QTest::addRow("candidato e partido removidos")
        << QStringLiteral("delete from candidatos where numcad_candidato = 3; delete from partido where "
                          "numcad_partido = 2")
        << kDia;
    QTest::addRow("número mudado durante o dia")
        << QStringLiteral("update candidatos set numero_candidato = '130' where numcad_candidato = 4")
        << kDia;
    QTest::addRow("nomes com tabulação, barra e quebra")
        << QStringLiteral("update candidatos set nome_candidato = 'A\tna\\ \r\nX' where numcad_candidato = 1")
        << kDia;
    QTest::addRow("fora da ordem de votação")
        << QStringLiteral("delete from ordem_votacao where id_cargo = 1") << kDia;
    QTest::addRow("votos sem cargo")
        << QStringLiteral("update contagem_votacao set id_cargo = null where voto <> 'NORMAL'") << kDia;
    // What a plain day never stores: the report's own rows cannot say these exactly,
    // and the result must still be the one the tool reads.
    const QString novoVoto = QStringLiteral("fora: insert into contagem_votacao (id_candidato, numero_candidato, voto, "
                                            "data, legenda, id_cargo, id_partido) values ");
    QTest::addRow("voto nominal sem candidato")
        << novoVoto + QStringLiteral("(null, '99', 'NORMAL', '2024-10-06', null, 1, 1)") << kDia;
    QTest::addRow("voto de legenda sem legenda")
        << novoVoto + QStringLiteral("(1, null, 'LEGENDA', '2024-10-06', null, null, null)") << kDia;
    QTest::addRow("voto de outro tipo")
        << novoVoto + QStringLiteral("(null, null, 'ANULADO', '2024-10-06', null, 1, null)") << kDia;
    QTest::addRow("tipo gravado em bytes")
        << novoVoto + QStringLiteral("(1, '13', x'4E4F524D414C', '2024-10-06', null, 1, 1)") << kDia;
    QTest::addRow("número gravado como real")
        << QStringLiteral("fora: update contagem_votacao set numero_candidato = 22.5 where id_candidato = 3") << kDia;
}

void TstReports::tresConferencias()
{
    // The module, the tool and the script agree on the fingerprint; the text reads back
    // to the same result and adds up to itself.
    QFETCH(QString, mudanca);
    QFETCH(QString, dia);
    semeia();
    if (mudanca.startsWith(QStringLiteral("fora: ")))
        alteraFora(mudanca.mid(6));
    else
        for (const QString &sql : mudanca.split(QStringLiteral("; "), Qt::SkipEmptyParts))
            db().execScript(sql);
    abreDoDia(dia);
    Tfrmimpressao &m = *frmimpressao;
    QCOMPARE(Apuracao::impressaoDigital(m.textoApuracao), m.digitalApuracao);
    const Apuracao::Resultado lido = Apuracao::interpreta(m.textoApuracao);
    QCOMPARE(Apuracao::textoCanonico(lido), m.textoApuracao);
    QCOMPARE(Apuracao::textoCanonico(Apuracao::soma({lido})), m.textoApuracao);
    qint64 votosNoBalanco = 0;
    for (const Apuracao::Cargo &c : m.apuracao.cargos)
        votosNoBalanco += c.total;
    QCOMPARE(votosNoBalanco, m.apuracao.totais.last().votos);
    const Conferencia c = confereFora(dia);
    QCOMPARE(c.ferramenta, m.digitalApuracao);
    QCOMPARE(c.script, m.digitalApuracao);
}

void TstReports::linhasQueNaoDizemOResultado_data()
{
    // A value of the day queries' first row, changed to one that cannot say the result
    // exactly: the result is read from the file instead, never built from the value.
    QTest::addColumn<int>("secao"); // 0 totals, 1 candidates, 2 legends, 3 balance; -1 none
    QTest::addColumn<int>("coluna");
    QTest::addColumn<QVariant>("valor");
    QTest::addRow("linhas como lidas") << -1 << 0 << QVariant();
    QTest::addRow("total em texto") << 0 << 4 << QVariant(QStringLiteral("17"));
    QTest::addRow("candidato nulo") << 1 << 0 << QVariant();
    QTest::addRow("partido em texto") << 1 << 3 << QVariant(QStringLiteral("dois"));
    QTest::addRow("número em bytes") << 1 << 1 << QVariant(QByteArray("x13"));
    QTest::addRow("legenda nula") << 2 << 1 << QVariant();
    QTest::addRow("votos de legenda em real") << 2 << 2 << QVariant(7.5);
    QTest::addRow("cargo do balanço em data") << 3 << 2 << QVariant(QDate(2024, 10, 6));
}

void TstReports::linhasQueNaoDizemOResultado()
{
    QFETCH(int, secao);
    QFETCH(int, coluna);
    QFETCH(QVariant, valor);
    semeia();
    abreDoDia(kDia);
    const QDate dia = QDate::fromString(kDia, Qt::ISODate);
    const QByteArray certo = Apuracao::textoCanonico(Apuracao::calcula(db(), dia));
    Apuracao::LinhasDoDia lidas = Relatorios::linhasDoDia(*frmimpressao);
    QList<QVariantList *> primeiras{&lidas.totais, &lidas.candidatos[0], &lidas.legendas[0], &lidas.cargos[0]};
    if (secao >= 0) (*primeiras[secao])[coluna] = valor;
    QCOMPARE(Apuracao::textoCanonico(Apuracao::calcula(db(), dia, lidas)), certo);
}

void TstReports::textoRecusado_data()
{
    // A change to a good text; each must be refused, never read as a result.
    QTest::addColumn<QByteArray>("de");
    QTest::addColumn<QByteArray>("para");
    QTest::addRow("outra versão") << QByteArray("#votarim-resultado\t1\n")
                                  << QByteArray("#votarim-resultado\t2\n");
    QTest::addRow("voto a mais sem mudar o total")
        << QByteArray("NORMAL\t17\t") << QByteArray("NORMAL\t18\t");
    QTest::addRow("posição trocada") << QByteArray("\t2\t2\t45\t") << QByteArray("\t3\t2\t45\t");
    QTest::addRow("percentual falso") << QByteArray("\t45,45\t") << QByteArray("\t55,45\t");
    QTest::addRow("balanço que não fecha")
        << QByteArray("\tPrefeito\t11\t0\t0\t0\t11\n") << QByteArray("\tPrefeito\t11\t0\t0\t0\t12\n");
    QTest::addRow("seção faltando") << QByteArray("#tb_apuracaoLEGENDAS\n")
                                    << QByteArray("#tb_apuracaoLEGENDA\n");
    QTest::addRow("campo a mais") << QByteArray("\tsem votos\n") << QByteArray("\tsem votos\tx\n");
    QTest::addRow("número que não é número") << QByteArray("NULO\t1\t") << QByteArray("NULO\t01\t");
    QTest::addRow("escape desconhecido") << QByteArray("Carla") << QByteArray("Ca\\qrla");
    QTest::addRow("dia inválido") << QByteArray("2024-10-06\t") << QByteArray("2024-02-30\t");
    QTest::addRow("sem o fim de linha") << QByteArray("sem votos\n") << QByteArray("sem votos");
}

void TstReports::textoRecusado()
{
    QFETCH(QByteArray, de);
    QFETCH(QByteArray, para);
    semeia();
    abreDoDia(kDia);
    QByteArray texto = frmimpressao->textoApuracao;
    QVERIFY2(texto.contains(de), de.constData());
    if (para == "sem votos")
        texto.chop(1);
    else
        texto.replace(texto.lastIndexOf(de), de.size(), para);
    QVERIFY_THROWS_EXCEPTION(Apuracao::ErroApuracao, Apuracao::interpreta(texto));
}

void TstReports::somaDeTerminais()
{
    // Two terminals of the same day: every vote counts twice, the balance closes,
    // positions and shares are worked out again; another day cannot be added.
    semeia();
    abreDoDia(kDia);
    const Apuracao::Resultado um = frmimpressao->apuracao;
    voto(5, QStringLiteral("451"), QStringLiteral("NORMAL"), {}, 2, 2, kDia, 9);
    abreDoDia(kDia);
    const Apuracao::Resultado outro = Apuracao::interpreta(frmimpressao->textoApuracao);
    const Apuracao::Resultado total = Apuracao::soma({um, outro});
    QCOMPARE(total.totais.last().votos, 23 + 32);
    QCOMPARE(total.totais.first().votos, 17 + 26);
    QStringList vereador;
    for (const Apuracao::Colocacao &c : total.ranking)
        if (c.cargo == QLatin1String("Vereador"))
            vereador
                << QStringLiteral("%1 %2 %3 %4").arg(c.posicao).arg(c.nome).arg(c.votos).arg(c.percentual);
    QCOMPARE(vereador, (QStringList{"1 Eva 9 42,86", "2 Davi 8 38,10", "3 Davi 4 19,05"}));
    Apuracao::Resultado outroDia = um;
    outroDia.dia = outroDia.dia.addDays(1);
    QVERIFY_THROWS_EXCEPTION(Apuracao::ErroApuracao, Apuracao::soma({um, outroDia}));
    // Added one at a time, as the totals add bulletins: the refused one leaves nothing behind.
    Apuracao::Soma aosPoucos;
    aosPoucos.adiciona(um);
    QVERIFY_THROWS_EXCEPTION(Apuracao::ErroApuracao, aosPoucos.adiciona(outroDia));
    aosPoucos.adiciona(outro);
    QCOMPARE(Apuracao::textoCanonico(aosPoucos.resultado()), Apuracao::textoCanonico(total));
}

QTEST_MAIN(TstReports)
void TstReports::projetoAlterado_data()
{
    QTest::addColumn<QByteArray>("de");
    QTest::addColumn<QByteArray>("para");
    QTest::addRow("um byte a mais") << QByteArray("</project>") << QByteArray("</project> ");
    QTest::addRow("total forjado") << QByteArray(R"(col="Total">{Totalgeral})")
                                   << QByteArray(R"(col="Total">{Totalgeral + 1000})");
}

void TstReports::projetoAlterado()
{
    // Any project but the shipped one: its own hash and the warning, in red, on every
    // page, drawn by the program whatever the project holds.
    QFETCH(QByteArray, de);
    QFETCH(QByteArray, para);
    semeia();
    QFile original(m_inst->caminho("relatorio.rav"));
    QVERIFY(original.open(QIODevice::ReadOnly));
    QByteArray bytes = original.readAll();
    QVERIFY(bytes.contains(de));
    bytes.replace(de, para);
    const QString outro = m_inst->caminho("alterado.rav");
    QFile f(outro);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
    f.close();
    const QString hash = QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    QVERIFY(hash != Relatorios::kHashProjetoDistribuido);

    Tfrmimpressao modulo(nullptr, db());
    modulo.relatorio->ProjectFile = outro;
    Relatorios::preparaDia(modulo, diaTexto(kDia));
    modulo.relatorio->SetReportParameter(QStringLiteral("diarelatorio"), diaTexto(kDia));
    const auto paginas = modulo.relatorio->prepareReport(QStringLiteral("rel_resultadogeral"));
    QVERIFY(paginas);
    QCOMPARE(modulo.relatorio->projectHash(), hash);
    const QString pdf = m_inst->caminho(QStringLiteral("alterado.pdf"));
    QVERIFY(ReportEngine::writePdf(*paginas, pdf, QStringLiteral("Votarim")));
    const QStringList texto = pdfTexto(pdf).split(u'\f', Qt::SkipEmptyParts);
    QCOMPARE(qsizetype(paginas->pages.size()), texto.size());
    for (const QString &pagina : texto) {
        QVERIFY2(pagina.contains(Relatorios::kAvisoProjetoDiferente), qPrintable(pagina));
        QVERIFY(pagina.contains(QStringLiteral("Projeto de relatório (SHA-256): ") + Relatorios::emGrupos(hash)));
    }
    // The warning is red on every page.
    for (const Page &p : paginas->pages) {
        bool vermelho = false;
        for (const Op &op : p.ops)
            if (op.kind == Op::Kind::Text && p.texts[op.ref] == Relatorios::kAvisoProjetoDiferente)
                vermelho = paginas->textStyles[size_t(op.style)].color == QColor(Qt::red);
        QVERIFY(vermelho);
    }
    fechaTodas();
}

#include "tst_reports.moc"
