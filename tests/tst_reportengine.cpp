// The report engine on its own: project files, the RunReport algorithm, layout
// rules checked on the prepared pages, and the deliveries (preview, PDF read back
// with pdftotext, CSV, a printer writing PDF), over in-memory tables.

#include "reportengine/dataconnection.h"
#include "roteiro.h"
#include "reportengine/layout.h"
#include "reportengine/outputoptions.h"
#include "reportengine/preview.h"
#include "reportengine/project.h"
#include "reportengine/render.h"
#include "reportengine/reporterror.h"
#include "reportengine/reportproject.h"

#include <QApplication>
#include <QBuffer>
#include <QCryptographicHash>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QProcess>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>
#include <sys/stat.h>

using namespace ReportEngine;

namespace
{

// A table that counts how the engine used it.
class TabelaObservada : public MemoryTable
{
  public:
    using MemoryTable::MemoryTable;
    int begins = 0, ends = 0, nexts = 0;
    QStringList filtros;
    void begin() override
    {
        ++begins;
        MemoryTable::begin();
    }
    void end() override
    {
        ++ends;
        MemoryTable::end();
    }
    void next() override
    {
        ++nexts;
        MemoryTable::next();
    }
    void setFilter(const QString &f) override
    {
        filtros << f;
        MemoryTable::setFilter(f);
    }
};

QByteArray bmp(QColor cor)
{
    QImage img(12, 12, QImage::Format_RGB32);
    img.fill(cor);
    QByteArray bytes;
    QBuffer b(&bytes);
    b.open(QIODevice::WriteOnly);
    img.save(&b, "BMP");
    return bytes;
}

const char *const kProjeto = R"RAV(<?xml version="1.0" encoding="UTF-8"?>
<project version="1" locale="pt_BR" font="DejaVu Sans" size="9">
  <report name="rel_teste" title="Relatório de teste" page="A4" margins="15">
    <pghead h="12">
      <text x="0" y="0" w="120" h="6" size="12" bold="1">Votarim teste</text>
      <image x="160" y="0" w="20" h="10" file="logo.bmp"/>
      <line x1="0" y1="11" x2="180" y2="11"/>
    </pghead>
    <title h="10">
      <text x="0" y="0" w="180" h="8" size="14" bold="1" align="center">Resultado do dia {param("diarelatorio")}</text>
    </title>
    <section name="votos" data="votos">
      <lookup name="p" data="partidos"><on field="id" value="partido_id"/></lookup>
      <head h="6">
        <text x="0" y="0" w="10" h="6" bold="1">Pos.</text>
        <text x="10" y="0" w="60" h="6" bold="1">Nome</text>
        <text x="70" y="0" w="50" h="6" bold="1">Partido</text>
        <text x="120" y="0" w="20" h="6" bold="1" align="right">Votos</text>
      </head>
      <group name="cargo" by="cargo">
        <ghead h="8" repeat="1"><text x="0" y="1" w="180" h="6" bold="1">Cargo: {cargo}</text></ghead>
        <gfoot h="30">
          <text x="0" y="0" w="180" h="6">Total do cargo {cargo}: {sum(votos, group)}</text>
          <chart x="0" y="7" w="180" h="22" label="nome" value="votos" limit="5"/>
        </gfoot>
      </group>
      <detail h="8">
        <text x="0" y="0" w="10" h="8">{row(group)}</text>
        <text x="10" y="0" w="60" h="8" col="Nome">{nome}</text>
        <text x="70" y="0" w="50" h="8" col="Partido">{if(found(p), p.nome, "(sem partido)")}</text>
        <text x="120" y="0" w="20" h="8" align="right">{votos}</text>
        <text x="140" y="0" w="25" h="8" align="right" col="Percentual">{fmt(pct(votos, group), 2)} %</text>
        <text x="0" y="0" w="10" h="8" show="0" col="Cargo">{cargo}</text>
        <image x="168" y="0" w="8" h="8" field="foto"/>
      </detail>
      <foot h="8"><text x="0" y="1" w="180" h="6" bold="1">Total geral: {sum(votos, report)} em {count(report)} linhas</text></foot>
      <empty h="8"><text x="0" y="1" w="180" h="6">Nenhum voto neste dia.</text></empty>
    </section>
    <summary h="8"><text x="0" y="1" w="180" h="6" size="6">Impressão digital: {sha256(votos)}</text></summary>
    <pgfoot h="8"><text x="0" y="2" w="180" h="6" align="right">página {page()} de {pages()}</text></pgfoot>
  </report>
</project>
)RAV";

// The output options window sending the report to a file.
Roteiro::Passo paraArquivo(const QString &caminho, bool csv)
{
    return {QStringLiteral("opcoesSaida"), [caminho, csv](QWidget *w) {
                filho<QRadioButton>(w, "arquivo")->setChecked(true);
                filho<QComboBox>(w, "formato")->setCurrentIndex(csv ? 1 : 0);
                filho<QLineEdit>(w, "nomeArquivo")->setText(caminho);
                filho<QPushButton>(w, "ok")->click();
            }};
}

QString executa(const QString &programa, const QStringList &args)
{
    QProcess p;
    p.start(programa, args);
    if (!p.waitForFinished(60000)) return QStringLiteral("<%1 não terminou>").arg(programa);
    return QString::fromUtf8(p.readAllStandardOutput());
}

struct Cenario {
    QTemporaryDir dir;
    TabelaObservada votos{{{QStringLiteral("cargo")},
                           {QStringLiteral("nome")},
                           {QStringLiteral("partido_id"), FieldType::Integer},
                           {QStringLiteral("votos"), FieldType::Integer},
                           {QStringLiteral("foto"), FieldType::Blob}}};
    TabelaObservada partidos{{{QStringLiteral("id"), FieldType::Integer}, {QStringLiteral("nome")}}};
    ReportProject projeto;
    QMap<QString, qint64> totais;

    explicit Cenario(int linhasPorCargo = 30, const QByteArray &texto = kProjeto)
    {
        partidos.appendRow({1, QStringLiteral("Partido Azul")});
        partidos.appendRow({2, QStringLiteral("Partido D'Ávila; Verde")});
        const QByteArray foto = bmp(Qt::red);
        for (const QString &cargo : {QStringLiteral("Prefeito"), QStringLiteral("Vereador")}) {
            for (int i = 0; i < linhasPorCargo; ++i) {
                const qint64 v = (i * 37 + cargo.size()) % 90 + 1;
                votos.appendRow({cargo, QStringLiteral("%1 %2").arg(cargo).arg(i + 1), i % 3 + 1, v, foto});
                totais[cargo] += v;
            }
        }
        escreve(texto);
        QImage logo(40, 20, QImage::Format_RGB32);
        logo.fill(Qt::blue);
        logo.save(dir.filePath(QStringLiteral("logo.bmp")));
        projeto.ProjectFile = caminho();
        projeto.connections().add(QStringLiteral("votos"), &votos);
        projeto.connections().add(QStringLiteral("partidos"), &partidos);
        projeto.printToFile = dir.filePath(QStringLiteral("impressora.pdf"));
        projeto.defaultFolder = dir.path();
        projeto.SetReportParameter(QStringLiteral("diarelatorio"), QStringLiteral("05/10/2024"));
        projeto.errorHandler = [](const std::exception &e) { QFAIL(e.what()); };
    }
    QString caminho() const { return dir.filePath(QStringLiteral("relatorio.rav")); }
    void escreve(const QByteArray &texto)
    {
        QFile f(caminho());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(texto);
    }
    std::unique_ptr<PreparedReport> prepara(const QString &relatorio = QStringLiteral("rel_teste"))
    {
        QFile f(caminho());
        if (!f.open(QIODevice::ReadOnly)) return nullptr;
        m_lido = readProject(f.readAll(), caminho());
        return layoutReport(*m_lido->find(relatorio), *m_lido, projeto.connections(), projeto.parameters());
    }
    std::unique_ptr<Project> m_lido;
};

// All texts of a page that match, with the top of their box; with `x`, only
// those whose box begins there (mm from the left margin).
QList<QPair<QString, double>> textos(const Page &page, const QString &padrao, double x = -1)
{
    const QRegularExpression re(padrao);
    QList<QPair<QString, double>> r;
    for (const Op &op : page.ops)
        if (op.kind == Op::Kind::Text && re.match(page.texts[op.ref]).hasMatch() &&
            (x < 0 || std::abs(op.rect.left() - (15 + x) * kPointsPerMm) < 0.01))
            r.append({page.texts[op.ref], op.rect.top()});
    return r;
}

} // namespace

class TstReportEngine : public QObject
{
    Q_OBJECT

  private slots:
    void projetoInvalido_data();
    void projetoInvalido();
    void projetoTruncadoOuBinario();
    void expressoes_data();
    void expressoes();
    void textoComChaves();

    void runReportProjetoAusente_data();
    void runReportProjetoAusente();
    void runReportProjetoGrandeDemais();
    void runReportNomes_data();
    void runReportNomes();
    void runReportProjetoVazio();
    void runReportGuardaProjetoEParametros();
    void runReportProjetoMalformadoTentaDeNovo();
    void conexoesRestauradas();
    void textoDoFiltro();

    void regrasDePaginacao();
    void textoQueCresceNaPaginaSeguinte();
    void graficoDeBarrasFixas();
    void carimboEmTodaPagina();
    void exemploDaDocumentacao();
    void agregadosNoEscopo();
    void semLinhasECincoMil();
    void quebrasEEscoposDeSecao();
    void errosDeDados_data();
    void errosDeDados();

    void pdfPeloArquivo();
    void csvPeloArquivo();
    void impressoraEPdfIguais();
    void textoCortadoSoQuandoNaoCabe_data();
    void textoCortadoSoQuandoNaoCabe();
    void codigosQr_data();
    void codigosQr();
    void arquivoSemPermissao();
    void visualizacao();
    void cancelaOpcoes();
    void cancelaEstado();
    void semImpressoraSoVisualizacao();
};

void TstReportEngine::projetoInvalido_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QString>("esperado");
    const QByteArray r = "<project version=\"1\">\n<report name=\"r\">\n";
    QTest::addRow("não é XML") << QByteArray("isto não é xml")
                               << "linha 1, coluna 1: o arquivo não é um XML bem formado";
    QTest::addRow("sem versão") << QByteArray("<project>\n</project>") << "falta o atributo \"version\"";
    QTest::addRow("versão 2") << QByteArray("<project version=\"2\"/>")
                              << "versão 2 do formato não suportada";
    QTest::addRow("qrcode sem prefixo")
        << (r + "<title h=\"50\">\n<qrcode x=\"0\" y=\"0\" w=\"40\" h=\"40\" text=\"'x'\"/>\n</title></report></project>")
        << "falta o atributo \"prefix\"";
    QTest::addRow("qrcode maior que a caixa")
        << (r + "<title h=\"50\">\n<qrcode x=\"0\" y=\"0\" w=\"40\" h=\"40\" text=\"'x'\" prefix=\"P\" "
                "size=\"45\"/>\n</title></report></project>")
        << "o código QR (size) não cabe na caixa do item";
    QTest::addRow("elemento desconhecido")
        << (r + "<section data=\"t\">\n  <detalhe h=\"5\"/>\n</section></report></project>")
        << "linha 4, coluna 18: elemento desconhecido <detalhe> em <section>";
    QTest::addRow("atributo desconhecido") << (r + "<title h=\"5\" cor=\"red\"/></report></project>")
                                           << "linha 3, coluna 24: atributo desconhecido \"cor\"";
    QTest::addRow("número inválido") << (r + "<title h=\"cinco\"/></report></project>")
                                     << "\"h\" deve ser um número";
    QTest::addRow("número infinito") << (r + "<title h=\"inf\"/></report></project>")
                                     << "\"h\" deve ser um número";
    QTest::addRow("item fora da faixa")
        << (r + "<title h=\"5\">\n<text x=\"0\" y=\"0\" w=\"10\" h=\"6\">a</text></title></report></project>")
        << "linha 4, coluna 31: o item passa do fim da faixa";
    QTest::addRow("faixa mais alta que a página")
        << (r + "<summary h=\"400\"/></report></project>") << "mais alta que o espaço da página";
    QTest::addRow("campo fora de seção")
        << (r +
            "<title h=\"5\"><text x=\"0\" y=\"0\" w=\"10\" h=\"5\">{nome}</text></title></report></project>")
        << "o campo \"nome\" está fora de uma linha de dados";
    QTest::addRow("escopo desconhecido")
        << (r + "<section data=\"t\"><detail h=\"5\"><text x=\"0\" y=\"0\" w=\"10\" h=\"5\">{sum(v, "
                "cargo)}</text></detail></section></report></project>")
        << "escopo \"cargo\" desconhecido";
    QTest::addRow("group sem grupo")
        << (r + "<section data=\"t\"><detail h=\"5\"><text x=\"0\" y=\"0\" w=\"10\" "
                "h=\"5\">{count(group)}</text></detail></section></report></project>")
        << "não há grupo em volta desta faixa";
    QTest::addRow("expressão incompleta")
        << (r + "<section data=\"t\"><detail h=\"5\">\n<text x=\"0\" y=\"0\" w=\"10\" h=\"5\">{1 "
                "+}</text></detail></section></report></project>")
        << "a expressão termina antes do fim";
    QTest::addRow("função desconhecida")
        << (r + "<section data=\"t\"><detail h=\"5\"><text x=\"0\" y=\"0\" w=\"10\" "
                "h=\"5\">{apaga(x)}</text></detail></section></report></project>")
        << "função \"apaga\" desconhecida";
    QTest::addRow("dois relatórios iguais")
        << QByteArray("<project version=\"1\"><report name=\"a\"/>\n<report name=\"A\"/></project>")
        << "há dois relatórios com o nome \"A\"";
    QTest::addRow("DTD") << QByteArray("<!DOCTYPE p [<!ENTITY x \"y\">]><project version=\"1\"/>")
                         << "declarações de tipo de documento";
    QTest::addRow("texto solto") << (r + "solto</report></project>") << "texto fora de um elemento <text>";
}

void TstReportEngine::projetoInvalido()
{
    QFETCH(QByteArray, xml);
    QFETCH(QString, esperado);
    try {
        readProject(xml, QStringLiteral("/tmp/p.rav"));
        QFAIL("o projeto foi aceito");
    } catch (const ReportError &e) {
        QVERIFY2(e.message().contains(esperado), qPrintable(e.message()));
        QVERIFY2(e.message().contains(QRegularExpression(QStringLiteral("linha \\d+, coluna \\d+"))),
                 qPrintable(e.message()));
    }
}

void TstReportEngine::projetoTruncadoOuBinario()
{
    // Every prefix of a good project, and bytes of every kind: an error or a
    // project, never a crash or a hang.
    const QByteArray bom(kProjeto);
    int aceitos = 0;
    for (qsizetype n = 1; n < bom.size(); n += 3) {
        try {
            readProject(bom.left(n), QStringLiteral("p.rav"));
            ++aceitos;
        } catch (const ReportError &e) {
            QVERIFY(e.message().contains(QStringLiteral("linha")));
        }
    }
    QCOMPARE(aceitos, 0); // the root element closes on the last line
    QRandomGenerator gerador(20241005);
    for (int i = 0; i < 300; ++i) {
        QByteArray bytes = bom;
        for (int k = 0; k < 8; ++k)
            bytes[gerador.bounded(int(bytes.size()))] = char(gerador.bounded(256));
        try {
            readProject(bytes, QStringLiteral("p.rav"));
        } catch (const ReportError &) {
        }
        QByteArray lixo(gerador.bounded(1, 400), '\0');
        for (char &c : lixo)
            c = char(gerador.bounded(256));
        QVERIFY_THROWS_EXCEPTION(ReportError, readProject(lixo, QStringLiteral("p.rav")));
    }
}

void TstReportEngine::expressoes_data()
{
    QTest::addColumn<QString>("expressao");
    QTest::addColumn<QVariant>("esperado");
    QTest::addRow("precedência") << "1 + 2 * 3" << QVariant(qlonglong(7));
    QTest::addRow("divisão") << "7 / 2" << QVariant(3.5);
    QTest::addRow("divisão por zero é nula") << "7 / 0" << QVariant();
    QTest::addRow("estouro vira fração") << "9223372036854775807 + 1" << QVariant(9223372036854775808.0);
    QTest::addRow("texto e número") << "'a' & 1 & \"b\"" << QVariant(QStringLiteral("a1b"));
    QTest::addRow("if") << "if(2 > 10, 'x', 'y')" << QVariant(QStringLiteral("y"));
    QTest::addRow("comparação de números") << "'10' > 9" << QVariant(true);
    QTest::addRow("caixa conta") << "'abc' = 'ABC'" << QVariant(false);
    QTest::addRow("fmt pt_BR") << "fmt(1234.5, 2)" << QVariant(QStringLiteral("1.234,50"));
    QTest::addRow("pct de zero") << "pctof(3, 0)" << QVariant(0.0);
    QTest::addRow("aspas dobradas") << "'D''Ávila'" << QVariant(QStringLiteral("D'Ávila"));
}

void TstReportEngine::expressoes()
{
    QFETCH(QString, expressao);
    QFETCH(QVariant, esperado);
    struct Nada : Resolver {
        QVariant resolve(const Expr &) const override { return {}; }
    };
    const ExprPtr e = parseExpression(expressao, {1, 1});
    const QVariant v = evaluate(*e, Nada(), QLocale(QStringLiteral("pt_BR")));
    QCOMPARE(v.isNull(), esperado.isNull());
    if (!esperado.isNull()) QCOMPARE(v, esperado);
}

void TstReportEngine::textoComChaves()
{
    const QByteArray xml = R"(<project version="1"><report name="r"><title h="5">
        <text x="0" y="0" w="100" h="5">{{x}} {"a}b"} {'c''}'} {1+1}</text></title></report></project>)";
    auto projeto = readProject(xml, QStringLiteral("p.rav"));
    auto p = layoutReport(*projeto->find(QStringLiteral("r")), *projeto, ConnectionRegistry(), {});
    QCOMPARE(p->pages[0].texts, QStringList{QStringLiteral("{x} a}b c'} 2")});
}

void TstReportEngine::runReportProjetoAusente_data()
{
    // Only a regular file is a project: a pipe would make the read wait forever.
    QTest::addColumn<int>("tipo");
    QTest::addRow("ausente") << 0;
    QTest::addRow("pipe") << 1;
    QTest::addRow("pasta") << 2;
}

void TstReportEngine::runReportProjetoAusente()
{
    QFETCH(int, tipo);
    Cenario c;
    QFile::remove(c.caminho());
    if (tipo == 1) QCOMPARE(::mkfifo(QFile::encodeName(c.caminho()).constData(), 0600), 0);
    if (tipo == 2) QVERIFY(QDir().mkdir(c.caminho()));
    try {
        c.projeto.RunReport(QStringLiteral("rel_teste"));
        QFAIL("sem erro");
    } catch (const ReportError &e) {
        QCOMPARE(e.message(),
                 QStringLiteral("The following reporting project does not exist:\r\"%1\"").arg(c.caminho()));
    }
    QVERIFY(!c.projeto.isOpen());
    QCOMPARE(c.votos.begins, 0);
}

void TstReportEngine::runReportProjetoGrandeDemais()
{
    Cenario c;
    QFile f(c.caminho());
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.resize(17 * 1024 * 1024)); // sparse: no disk written
    f.close();
    try {
        c.projeto.RunReport(QStringLiteral("rel_teste"));
        QFAIL("sem erro");
    } catch (const ReportError &e) {
        QCOMPARE(e.message(), QStringLiteral("O projeto de relatórios \"%1\" é grande demais (mais de 16 MB)")
                                  .arg(c.caminho()));
    }
    QVERIFY(!c.projeto.isOpen());
}

void TstReportEngine::runReportNomes_data()
{
    QTest::addColumn<QString>("nome");
    QTest::addColumn<bool>("mostra");
    QTest::addRow("exato") << "rel_teste" << true;
    QTest::addRow("maiúsculas") << "REL_TESTE" << true;
    QTest::addRow("desconhecido") << "rel_cargo" << false;
    QTest::addRow("prefixo") << "rel_test" << false;
}

void TstReportEngine::runReportNomes()
{
    QFETCH(QString, nome);
    QFETCH(bool, mostra);
    Cenario c;
    Roteiro r(
        {{QStringLiteral("opcoesSaida"), [](QWidget *w) { filho<QPushButton>(w, "cancelar")->click(); }}});
    c.projeto.RunReport(nome);
    QCOMPARE(r.completo(), mostra);
    QCOMPARE(r.vistas.size(), mostra ? 1 : 0);
    QCOMPARE(c.votos.begins, 0); // cancelled before any data was read
    // The same names laid out with no window at all.
    QCOMPARE(bool(c.projeto.prepareReport(nome)), mostra);
    QCOMPARE(r.vistas.size(), mostra ? 1 : 0);
}

void TstReportEngine::runReportProjetoVazio()
{
    Cenario c;
    c.escreve(QByteArray());
    Roteiro r({});
    c.projeto.RunReport(QStringLiteral("rel_teste"));
    QVERIFY(c.projeto.isOpen());
    // Still empty after the file gets a report: the project was read once.
    c.escreve(kProjeto);
    c.projeto.RunReport(QStringLiteral("rel_teste"));
    QCoreApplication::processEvents();
    QVERIFY(r.vistas.isEmpty());
}

void TstReportEngine::runReportGuardaProjetoEParametros()
{
    Cenario c;
    const QString csv = c.dir.filePath(QStringLiteral("saida.csv"));
    {
        Roteiro r({paraArquivo(csv, true)});
        c.projeto.RunReport(QStringLiteral("rel_teste"));
        QVERIFY(r.completo());
    }
    // The file replaced by garbage and a new day set: the kept project runs with the new day.
    c.escreve("não é mais um projeto");
    c.projeto.SetReportParameter(QStringLiteral("DIARELATORIO"), QStringLiteral("06/10/2024"));
    QCOMPARE(c.projeto.parameters().size(), 1);
    const QString pdf = c.dir.filePath(QStringLiteral("saida.pdf"));
    Roteiro r({paraArquivo(pdf, false)});
    c.projeto.RunReport(QStringLiteral("rel_teste"));
    QVERIFY(r.completo());
    const QString texto = executa(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    QVERIFY2(texto.contains(QStringLiteral("Resultado do dia 06/10/2024")), qPrintable(texto.left(300)));
}

void TstReportEngine::runReportProjetoMalformadoTentaDeNovo()
{
    Cenario c;
    QByteArray quebrado(kProjeto);
    quebrado.replace("</section>", "</sectio>");
    c.escreve(quebrado);
    QVERIFY_THROWS_EXCEPTION(ReportError, c.projeto.RunReport(QStringLiteral("rel_teste")));
    QVERIFY(!c.projeto.isOpen());
    c.escreve(kProjeto);
    Roteiro r(
        {{QStringLiteral("opcoesSaida"), [](QWidget *w) { filho<QPushButton>(w, "cancelar")->click(); }}});
    c.projeto.RunReport(QStringLiteral("rel_teste"));
    QVERIFY(c.projeto.isOpen());
    QVERIFY(r.completo());
}

void TstReportEngine::conexoesRestauradas()
{
    Cenario c;
    // votos open on its fourth row; partidos closed, with a filter of its own.
    c.votos.open();
    c.votos.moveTo(3);
    c.partidos.setFilter(QStringLiteral("[id] = '2'"));
    auto pagina = c.prepara();
    QVERIFY(pagina);
    QVERIFY(c.votos.isOpen());
    QCOMPARE(c.votos.currentRow(), 3);
    QCOMPARE(c.votos.filter(), QString());
    QVERIFY(!c.partidos.isOpen());
    QCOMPARE(c.partidos.filter(), QStringLiteral("[id] = '2'"));
    QCOMPARE(c.votos.begins, c.votos.ends);
    QCOMPARE(c.partidos.begins, c.partidos.ends);

    // Also when the run fails half-way.
    c.projeto.connections().remove(QStringLiteral("partidos"));
    MemoryTable outra(QList<FieldInfo>{FieldInfo(QStringLiteral("codigo"))});
    c.projeto.connections().add(QStringLiteral("partidos"), &outra);
    QVERIFY_THROWS_EXCEPTION(ReportError, c.prepara());
    QVERIFY(c.votos.isOpen());
    QCOMPARE(c.votos.currentRow(), 3);
    QCOMPARE(c.votos.begins, c.votos.ends);
    QVERIFY(!outra.isOpen());
}

void TstReportEngine::textoDoFiltro()
{
    QCOMPARE(filterText({{QStringLiteral("id"), QStringLiteral("="), QStringLiteral("3")},
                         {QStringLiteral("nome"), QStringLiteral("<>"), QStringLiteral("D'Ávila")}}),
             QStringLiteral("[id] = '3' and [nome] <> 'D''Ávila'"));
    // A lookup by a text key: the filter the connection receives, and full,
    // case-sensitive comparison of its value.
    const QByteArray projeto = R"RAV(<project version="1"><report name="r"><section data="nomes">
      <lookup name="q" data="partidos"><on field="nome" value="chave"/><on field="id" op="&lt;&gt;" value="0"/></lookup>
      <detail h="5"><text x="0" y="0" w="100" h="5">{chave}={if(found(q), q.id, "nada")}</text></detail>
      </section></report></project>)RAV";
    Cenario c(1, projeto);
    TabelaObservada nomes(QList<FieldInfo>{FieldInfo(QStringLiteral("chave"))});
    for (const char *k : {"Partido D'Ávila; Verde", "partido azul", "Partido Azu", "Partido Azul"})
        nomes.appendRow({QString::fromUtf8(k)});
    c.projeto.connections().add(QStringLiteral("nomes"), &nomes);
    auto p = c.prepara(QStringLiteral("r"));
    QVERIFY(p);
    QCOMPARE(c.partidos.filtros.mid(0, 2),
             QStringList({QStringLiteral("[nome] = 'Partido D''Ávila; Verde' and [id] <> '0'"),
                          QStringLiteral("[nome] = 'partido azul' and [id] <> '0'")}));
    QCOMPARE(p->pages[0].texts,
             QStringList({QStringLiteral("Partido D'Ávila; Verde=2"), QStringLiteral("partido azul=nada"),
                          QStringLiteral("Partido Azu=nada"), QStringLiteral("Partido Azul=1")}));
}

void TstReportEngine::regrasDePaginacao()
{
    // Row counts that bring the second group's header to every height of a page,
    // and one long name that makes its row grow.
    std::vector<int> contagens{1, 2, 3};
    for (int n = 20; n <= 46; ++n)
        contagens.push_back(n);
    for (int porCargo : contagens) {
        QByteArray texto(kProjeto);
        texto.replace(R"(<text x="10" y="0" w="60" h="8" col="Nome">)",
                      R"(<text x="10" y="0" w="60" h="8" col="Nome" grow="1">)");
        Cenario c(porCargo, texto);
        c.votos.appendRow({QStringLiteral("Vereador"),
                           QStringLiteral("Vereador %1 %2")
                               .arg(porCargo + 1)
                               .arg(QString(200, u'x').replace(u'x', QStringLiteral("nome "))),
                           1, 1, QByteArray()});
        auto p = c.prepara();
        QVERIFY(p);
        const int n = int(p->pages.size());
        const double pe = p->pageSize.height() - 15 * kPointsPerMm - 8 * kPointsPerMm; // the footer's top
        int linhas = 0;
        bool cresceu = false;
        for (int i = 0; i < n; ++i) {
            const Page &page = p->pages[size_t(i)];
            const QString onde = QStringLiteral("%1 por cargo, página %2").arg(porCargo).arg(i + 1);
            // Nothing crosses into the page footer.
            for (const Op &op : page.ops) {
                const QRectF r = op.rect.normalized();
                QVERIFY2(r.bottom() <= pe + 0.01 || r.top() >= pe - 0.01, qPrintable(onde));
            }
            QCOMPARE(textos(page, QStringLiteral("^página ")).value(0).first,
                     QStringLiteral("página %1 de %2").arg(i + 1).arg(n));
            // The column titles and the open group's header on every page that has rows.
            auto detalhe = textos(page, QStringLiteral("^(Prefeito|Vereador) \\d+"), 10);
            linhas += int(detalhe.size());
            if (!detalhe.isEmpty()) {
                QVERIFY2(textos(page, QStringLiteral("^Nome$")).size() == 1, qPrintable(onde));
                QVERIFY2(!textos(page, QStringLiteral("^Cargo: ")).isEmpty(), qPrintable(onde));
            }
            // Rows follow one another without overlapping, the grown one too.
            std::sort(detalhe.begin(), detalhe.end(),
                      [](const auto &a, const auto &b) { return a.second < b.second; });
            for (qsizetype k = 1; k < detalhe.size(); ++k) {
                QVERIFY2(detalhe[k].second - detalhe[k - 1].second >= 8 * kPointsPerMm - 0.01,
                         qPrintable(onde));
            }
            // A group header always has two rows of its group, or its footer when it
            // is repeated above it, below it on the same page: no row stands alone.
            for (const auto &[cabecalho, y] : textos(page, QStringLiteral("^Cargo: "))) {
                const QString cargo = cabecalho.mid(7);
                int abaixo = 0;
                for (const auto &[t, yl] : detalhe)
                    abaixo += t.startsWith(cargo) && yl > y;
                const bool total = !textos(page, QStringLiteral("^Total do cargo ") + cargo).isEmpty();
                QVERIFY2(abaixo >= 2 || total,
                         qPrintable(QStringLiteral("%1 com %2 linha(s): %3").arg(cabecalho).arg(abaixo).arg(onde)));
            }
            // A group's total comes with its last row.
            for (const auto &[total, y] : textos(page, QStringLiteral("^Total do cargo "))) {
                const QString cargo = total.mid(15).section(u':', 0, 0);
                bool temLinha = false;
                for (const auto &[t, yl] : detalhe)
                    temLinha = temLinha || (t.startsWith(cargo) && yl < y);
                QVERIFY2(temLinha, qPrintable(QStringLiteral("%1 sozinho: %2").arg(total, onde)));
            }
            // Groups short enough are kept whole on one page (not the one whose long
            // name grows its row past what the rows were counted at).
            if (porCargo <= 3)
                if (!textos(page, QStringLiteral("^Cargo: Prefeito")).isEmpty())
                    QVERIFY2(!textos(page, QStringLiteral("^Total do cargo Prefeito")).isEmpty(), qPrintable(onde));
        }
        QCOMPARE(linhas, 2 * porCargo + 1);
        // The long name grew its row, and what follows starts below it.
        for (const Page &page : p->pages) {
            for (const Op &op : page.ops) {
                if (op.kind != Op::Kind::Text || page.texts[op.ref].size() < 100 ||
                    std::abs(op.rect.left() - 25 * kPointsPerMm) > 0.01) // the row's, not the chart's label
                    continue;
                cresceu = op.rect.height() > 16 * kPointsPerMm;
                for (const auto &[t, y] : textos(page, QStringLiteral("^Total do cargo Vereador")))
                    QVERIFY(y >= op.rect.bottom() - 0.01);
            }
        }
        QVERIFY(cresceu);
    }
}

void TstReportEngine::textoQueCresceNaPaginaSeguinte()
{
    // The fifth row fits at its own height but not grown: it goes to the next page
    // with that page's number.
    const QByteArray projeto = R"RAV(<project version="1"><report name="r" page="A4" margins="10">
      <section data="votos"><detail h="50">
        <text x="0" y="0" w="100" h="5" grow="1">pág {page()}: {nome}</text>
      </detail></section></report></project>)RAV";
    Cenario c(2, projeto);
    c.votos.appendRow({QStringLiteral("Vereador"), QString(400, u'x').replace(u'x', QStringLiteral("nome ")),
                       1, 1, QByteArray()});
    auto p = c.prepara(QStringLiteral("r"));
    QVERIFY(p && p->pages.size() > 1);
    for (size_t i = 0; i < p->pages.size(); ++i)
        for (const QString &t : p->pages[i].texts)
            QVERIFY2(t.startsWith(QStringLiteral("pág %1:").arg(i + 1)), qPrintable(t));
}

void TstReportEngine::exemploDaDocumentacao()
{
    // The example in docs/report-format.md reads and runs.
    QFile doc(QStringLiteral(VOTARIM_FONTE "/docs/report-format.md"));
    QVERIFY(doc.open(QIODevice::ReadOnly));
    const QString md = QString::fromUtf8(doc.readAll());
    const qsizetype inicio = md.indexOf(QStringLiteral("```xml\n")) + 7;
    const QByteArray xml = md.mid(inicio, md.indexOf(QStringLiteral("```"), inicio) - inicio).toUtf8();
    auto projeto = readProject(xml, QStringLiteral("exemplo.rav"));
    MemoryTable votos({FieldInfo(QStringLiteral("id_candidato")), FieldInfo(QStringLiteral("id_cargo")),
                       FieldInfo(QStringLiteral("votos"))});
    MemoryTable candidatos({FieldInfo(QStringLiteral("numcad_candidato")),
                            FieldInfo(QStringLiteral("nome_candidato")),
                            FieldInfo(QStringLiteral("id_partido"))});
    MemoryTable partidos({FieldInfo(QStringLiteral("numcad_partido")), FieldInfo(QStringLiteral("partido"))});
    MemoryTable cargos({FieldInfo(QStringLiteral("numcad_cargo")), FieldInfo(QStringLiteral("cargo"))});
    votos.appendRow({7, 1, 12});
    candidatos.appendRow({7, QStringLiteral("Maria"), 3});
    partidos.appendRow({3, QStringLiteral("Partido Azul")});
    cargos.appendRow({1, QStringLiteral("Prefeito")});
    ConnectionRegistry r;
    r.add(QStringLiteral("tb_votos"), &votos);
    r.add(QStringLiteral("tb_candidato"), &candidatos);
    r.add(QStringLiteral("tb_partido"), &partidos);
    r.add(QStringLiteral("tb_cargo"), &cargos);
    auto p = layoutReport(*projeto->find(QStringLiteral("REL_EXEMPLO")), *projeto, r,
                          {{QStringLiteral("diarelatorio"), QStringLiteral("01/02/2024")}});
    QVERIFY(p);
    const QStringList t = p->pages[0].texts;
    for (const QString &s :
         {QStringLiteral("Resultado de 01/02/2024"), QStringLiteral("Prefeito"), QStringLiteral("Maria"),
          QStringLiteral("Partido Azul"), QStringLiteral("Votos no cargo: 12"),
          QStringLiteral("Total: 12 votos"), QStringLiteral("página 1 de 1")})
        QVERIFY2(t.contains(s), qPrintable(s));
}

void TstReportEngine::agregadosNoEscopo()
{
    Cenario c(45);
    auto p = c.prepara();
    QVERIFY(p);
    QMap<QString, qint64> vistos;
    QString geral;
    for (const Page &page : p->pages) {
        for (const auto &[t, y] : textos(page, QStringLiteral("^Total do cargo "))) {
            const auto m = QRegularExpression(QStringLiteral("^Total do cargo (\\w+): (\\d+)$")).match(t);
            QVERIFY2(m.hasMatch(), qPrintable(t));
            vistos[m.captured(1)] = m.captured(2).toLongLong();
        }
        if (auto g = textos(page, QStringLiteral("^Total geral")); !g.isEmpty()) geral = g[0].first;
    }
    QCOMPARE(vistos, c.totais);
    QCOMPARE(geral, QStringLiteral("Total geral: %1 em 90 linhas")
                        .arg(c.totais[QStringLiteral("Prefeito")] + c.totais[QStringLiteral("Vereador")]));
    // The chart in each office's footer: a third office with as many bars needs no more text styles.
    Cenario tres(45);
    for (int i = 0; i < 5; ++i)
        tres.votos.appendRow(
            {QStringLiteral("Senador"), QStringLiteral("Senador %1").arg(i), 1, 1, QByteArray()});
    auto comTres = tres.prepara();
    QVERIFY(comTres);
    QCOMPARE(comTres->textStyles.size(), p->textStyles.size());
    // Each row's percentage is of its own office's total; the CSV carries them.
    const CsvTable &t = p->csv.at(0);
    QCOMPARE(t.header,
             QStringList({QStringLiteral("Pos."), QStringLiteral("Cargo"), QStringLiteral("Nome"),
                          QStringLiteral("Partido"), QStringLiteral("Votos"), QStringLiteral("Percentual")}));
    QCOMPARE(int(t.rows.size()), 90);
    const QLocale br(QStringLiteral("pt_BR"));
    for (int i = 0; i < 90; ++i) {
        const QStringList &r = t.rows[size_t(i)];
        QCOMPARE(r[0], QString::number(i % 45 + 1));
        const double pct = r[4].toDouble() * 100.0 / double(c.totais[r[1]]);
        QCOMPARE(r[5], br.toString(pct, 'f', 2)); // a number: the unit sign stays on paper
        QVERIFY(p->pages[0].texts.contains(r[5] + QStringLiteral(" %")) || i > 10);
    }
    // The fingerprint is the rows' canonical text, hashed.
    c.votos.begin();
    const QString digital = fingerprint({{QStringLiteral("votos"), &c.votos}});
    c.votos.end();
    QCOMPARE(textos(p->pages.back(), QStringLiteral("^Impressão digital")).value(0).first,
             QStringLiteral("Impressão digital: ") + digital);
    QCOMPARE(digital.size(), 64);
    // Printed on every page too (named in other letter case), the fingerprint still reads its
    // rows once: one cleared filter for the section, one for the hash.
    QByteArray emCadaPagina(kProjeto);
    emCadaPagina.replace("de {pages()}", "de {pages()} {sha256(VOTOS)}");
    Cenario d(40, emCadaPagina);
    auto q = d.prepara();
    QVERIFY(q && q->pages.size() > 1);
    QCOMPARE(d.votos.filtros.count(QString()), 2);
    const QString resumo = textos(q->pages.back(), QStringLiteral("^Impressão digital")).value(0).first;
    QCOMPARE(textos(q->pages[0], QStringLiteral("^página ")).value(0).first.right(65), resumo.right(65));

    // The same rows in another order hash the same (a plan decides ties); other rows do
    // not. Lines compare without their line end, as sort(1) does: a name that another
    // extends comes first.
    const QList<FieldInfo> campos{FieldInfo(QStringLiteral("votos")), FieldInfo(QStringLiteral("nome"))};
    MemoryTable a(campos), b(campos), outra(campos);
    for (const QVariantList &linha : {QVariantList{2, "Ana"}, QVariantList{2, "Bia"}, QVariantList{2, "Ana\u0001"}})
        a.appendRow(linha);
    for (const QVariantList &linha : {QVariantList{2, "Ana\u0001"}, QVariantList{2, "Bia"}, QVariantList{2, "Ana"}})
        b.appendRow(linha);
    for (const QVariantList &linha : {QVariantList{2, "Ana"}, QVariantList{3, "Bia"}, QVariantList{2, "Ana\u0001"}})
        outra.appendRow(linha);
    for (MemoryTable *t : {&a, &b, &outra})
        t->begin();
    const auto digitalDe = [](MemoryTable &t) { return fingerprint({{QStringLiteral("t"), &t}}); };
    QCOMPARE(digitalDe(a), digitalDe(b));
    QVERIFY(digitalDe(a) != digitalDe(outra));
    QCOMPARE(canonicalText(b, QStringLiteral("t")), QByteArray("#t\nvotos\tnome\n2\tAna\n2\tAna\u0001\n2\tBia\n"));
}

void TstReportEngine::graficoDeBarrasFixas()
{
    // Each bar 5 mm tall whatever the group's size: a group of three takes 15 mm,
    // one of 40 bars grows its footer, and what follows starts below the chart.
    QByteArray texto(kProjeto);
    texto.replace(R"(<chart x="0" y="7" w="180" h="22" label="nome" value="votos" limit="5"/>)",
                  R"(<chart x="0" y="7" w="180" h="5" bar="5" label="nome" value="votos" limit="40"/>)");
    for (int porCargo : {3, 40}) {
        Cenario c(porCargo, texto);
        auto p = c.prepara();
        QVERIFY(p);
        const QColor barra(0x4f, 0x7d, 0xb8);
        int barras = 0;
        for (const Page &page : p->pages) {
            const auto titulos = textos(page, QStringLiteral("^(Cargo: |Total geral)"));
            for (const Op &op : page.ops) {
                if (op.kind != Op::Kind::Rect || p->penStyles[size_t(op.style)].fill != barra) continue;
                ++barras;
                QVERIFY(std::abs(op.rect.height() - (5 - 0.15 * 5) * kPointsPerMm) < 0.5);
                // Nothing that follows the chart is drawn over its bars.
                for (const auto &[t, y] : titulos)
                    QVERIFY2(y < op.rect.top() - 0.01 || y >= op.rect.bottom(), qPrintable(t));
            }
        }
        QCOMPARE(barras, 2 * porCargo);
    }
}

void TstReportEngine::carimboEmTodaPagina()
{
    // Lines the caller supplies, drawn on every page whatever the project holds:
    // here a project with no page footer and no margins at all.
    QByteArray texto(kProjeto);
    texto.replace(R"(margins="15")", R"(margins="0")");
    texto.replace(R"(<pgfoot h="8"><text x="0" y="2" w="180" h="6" align="right">página {page()} de {pages()}</text></pgfoot>)",
                  "");
    texto.replace(R"(w="180")", R"(w="200")");
    Cenario c(60, texto);
    c.partidos.appendRow({3, QStringLiteral("Partido Sofia Fiel")});
    QString hashVisto;
    c.projeto.pageStamp = [&hashVisto](const QString &relatorio, const QString &hash) {
        hashVisto = hash;
        PageStamp carimbo;
        carimbo.lines.push_back({QStringLiteral("Conferência de %1: %2").arg(relatorio, hash), Qt::black});
        carimbo.lines.push_back({QStringLiteral("Aviso em vermelho"), Qt::red});
        return carimbo;
    };
    const QString pdf = c.dir.filePath(QStringLiteral("carimbo.pdf"));
    Roteiro r({paraArquivo(pdf, false)});
    c.projeto.RunReport(QStringLiteral("rel_teste"));
    QVERIFY(r.completo());
    QFile f(c.caminho());
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString hash = QString::fromLatin1(QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256).toHex());
    QCOMPARE(hashVisto, hash);
    QCOMPARE(c.projeto.projectHash(), hash);
    const QStringList paginas = executa(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")})
                                    .split(u'\f', Qt::SkipEmptyParts);
    QVERIFY(paginas.size() > 2);
    for (const QString &pagina : paginas) {
        QVERIFY2(pagina.contains(QStringLiteral("Conferência de rel_teste: ") + hash), qPrintable(pagina));
        QVERIFY(pagina.contains(QStringLiteral("Aviso em vermelho")));
    }
    // Typed text is extracted as typed: no ligature in "Sofia" or "Fiel".
    QVERIFY(paginas.join(QString()).contains(QStringLiteral("Partido Sofia Fiel")));
    // The stamp keeps clear of the paper's edges, and nothing of the project is drawn over it.
    auto p = c.prepara();
    QVERIFY(p);
    QVERIFY(p->pages.size() > 2);
    auto carimbo = c.projeto.pageStamp(QStringLiteral("rel_teste"), hash);
    p = layoutReport(*c.m_lido->find(QStringLiteral("rel_teste")), *c.m_lido, c.projeto.connections(),
                     c.projeto.parameters(), {}, carimbo);
    for (const Page &page : p->pages) {
        double topo = 1e9;
        int linhas = 0;
        for (const Op &op : page.ops)
            if (op.kind == Op::Kind::Text && page.texts[op.ref].startsWith(QStringLiteral("Conferência de "))) {
                ++linhas;
                topo = op.rect.top();
                QVERIFY(op.rect.left() >= kStampEdge - 0.01);
                QVERIFY(op.rect.right() <= p->pageSize.width() - kStampEdge + 0.01);
            }
        QCOMPARE(linhas, 1);
        for (const Op &op : page.ops) {
            if (op.kind == Op::Kind::Text && (page.texts[op.ref].startsWith(QStringLiteral("Conferência de ")) ||
                                              page.texts[op.ref] == QStringLiteral("Aviso em vermelho"))) {
                QVERIFY(op.rect.bottom() <= p->pageSize.height() - kStampEdge + 0.01);
                continue;
            }
            QVERIFY2(op.rect.normalized().bottom() <= topo + 0.01, qPrintable(page.texts.value(op.ref)));
        }
    }
}

void TstReportEngine::semLinhasECincoMil()
{
    {
        Cenario c(0);
        auto p = c.prepara();
        QVERIFY(p);
        QCOMPARE(int(p->pages.size()), 1);
        QCOMPARE(textos(p->pages[0], QStringLiteral("^Nenhum voto")).size(), 1);
        QCOMPARE(textos(p->pages[0], QStringLiteral("^página 1 de 1$")).size(), 1);
    }
    Cenario c(2500);
    auto p = c.prepara();
    QVERIFY(p);
    // 8 mm rows in a body of 297 - 30 - 12 - 8 = 247 mm less the repeated titles.
    QVERIFY(p->pages.size() > 5000 / 31 && p->pages.size() < 5000 / 25);
    QCOMPARE(textos(p->pages.back(), QStringLiteral("^página ")).value(0).first,
             QStringLiteral("página %1 de %1").arg(p->pages.size()));
    QCOMPARE(int(p->csv[0].rows.size()), 5000);
}

void TstReportEngine::quebrasEEscoposDeSecao()
{
    // Each office on a page of its own; the summary reads the section's scope by name.
    QByteArray texto(kProjeto);
    texto.replace(R"(<group name="cargo" by="cargo">)", R"(<group name="cargo" by="cargo" newpage="1">)");
    texto.replace(
        R"(<summary h="8"><text x="0" y="1" w="180" h="6" size="6">Impressão digital: {sha256(votos)}</text></summary>)",
        R"(<summary h="40"><text x="0" y="0" w="180" h="6">Maior: {max(votos, votos)}; menor: {min(votos, report)}</text>
                     <chart x="0" y="7" w="180" h="30" label="nome" value="votos" scope="votos" limit="3"/></summary>)");
    Cenario c(5, texto);
    auto p = c.prepara();
    QVERIFY(p);
    QCOMPARE(int(p->pages.size()), 2);
    QCOMPARE(textos(p->pages[0], QStringLiteral("^Cargo: ")).value(0).first,
             QStringLiteral("Cargo: Prefeito"));
    QCOMPARE(textos(p->pages[1], QStringLiteral("^Cargo: ")).value(0).first,
             QStringLiteral("Cargo: Vereador"));
    qint64 maior = 0, menor = 1000;
    c.votos.open();
    for (c.votos.first(); !c.votos.atEnd(); c.votos.next()) {
        maior = std::max(maior, c.votos.value(3).toLongLong());
        menor = std::min(menor, c.votos.value(3).toLongLong());
    }
    const Page &ultima = p->pages.back();
    QCOMPARE(textos(ultima, QStringLiteral("^Maior")).value(0).first,
             QStringLiteral("Maior: %1; menor: %2").arg(maior).arg(menor));
    // Three bars of the whole section, under the summary's text: the first three rows, Prefeito's.
    const double resumo = textos(ultima, QStringLiteral("^Maior")).value(0).second;
    QStringList barras;
    for (const auto &[t, y] : textos(ultima, QStringLiteral("^(Prefeito|Vereador) \\d+$")))
        if (y > resumo) barras << t;
    QCOMPARE(barras, QStringList({QStringLiteral("Prefeito 1"), QStringLiteral("Prefeito 2"),
                                  QStringLiteral("Prefeito 3")}));
}

void TstReportEngine::errosDeDados_data()
{
    QTest::addColumn<QString>("de");
    QTest::addColumn<QString>("para");
    QTest::addColumn<QString>("esperado");
    QTest::addRow("conexão desconhecida") << "data=\"partidos\""
                                          << "data=\"candidatos\""
                                          << "a conexão de dados \"candidatos\" não existe";
    QTest::addRow("campo desconhecido") << "{nome}"
                                        << "{apelido}"
                                        << "o campo \"apelido\" não existe na conexão \"votos\"";
    QTest::addRow("campo da busca") << "p.nome"
                                    << "p.sigla"
                                    << "o campo \"sigla\" não existe na conexão \"partidos\"";
    QTest::addRow("busca na própria seção") << "data=\"partidos\""
                                            << "data=\"votos\""
                                            << "a busca \"p\" lê a mesma conexão que a seção";
}

void TstReportEngine::errosDeDados()
{
    QFETCH(QString, de);
    QFETCH(QString, para);
    QFETCH(QString, esperado);
    QByteArray texto(kProjeto);
    texto.replace(de.toUtf8(), para.toUtf8());
    Cenario c(3, texto);
    try {
        c.prepara();
        QFAIL("sem erro");
    } catch (const ReportError &e) {
        QVERIFY2(e.message().contains(esperado), qPrintable(e.message()));
        QVERIFY2(e.message().contains(QStringLiteral("Relatório \"rel_teste\", linha ")),
                 qPrintable(e.message()));
    }
    QCOMPARE(c.votos.begins, c.votos.ends);
}

void TstReportEngine::pdfPeloArquivo()
{
    Cenario c(20);
    // One photo that is not a picture: the report goes on and marks its place.
    c.votos.appendRow(
        {QStringLiteral("Vereador"), QStringLiteral("Vereador 21"), 1, 5, QByteArray("isto não é um BMP")});
    const QString pdf = c.dir.filePath(QStringLiteral("resultado.pdf"));
    Roteiro r({paraArquivo(pdf, false)});
    c.projeto.RunReport(QStringLiteral("rel_teste"));
    QVERIFY(r.completo());
    const QString texto =
        executa(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    for (const QString &s :
         {QStringLiteral("Resultado do dia 05/10/2024"),
          QStringLiteral("Total do cargo Prefeito: %1").arg(c.totais[QStringLiteral("Prefeito")]),
          QStringLiteral("Partido D'Ávila; Verde"), QStringLiteral("inválida"),
          QStringLiteral("página 2 de ")})
        QVERIFY2(texto.contains(s), qPrintable(s));
    const QString info = executa(QStringLiteral("pdfinfo"), {pdf});
    QVERIFY2(info.contains(QRegularExpression(QStringLiteral("Title:\\s+Relatório de teste"))),
             qPrintable(info));
    const QString fontes = executa(QStringLiteral("pdffonts"), {pdf});
    QVERIFY2(fontes.contains(QStringLiteral("Bold")), qPrintable(fontes));
    for (const QString &linha : fontes.split(u'\n').mid(2, -1))
        if (!linha.trimmed().isEmpty())
            QVERIFY2(linha.contains(QRegularExpression(QStringLiteral("\\byes\\s+(yes|no)\\s+yes\\s+\\d+"))),
                     qPrintable(linha));
    QFile f(pdf);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.readAll().contains("pdfaid:part"));
}

void TstReportEngine::csvPeloArquivo()
{
    Cenario c(2);
    const QString csv = c.dir.filePath(QStringLiteral("linhas"));
    Roteiro r({paraArquivo(csv, true)});
    c.projeto.RunReport(QStringLiteral("rel_teste"));
    QVERIFY(r.completo());
    QFile f(csv + QStringLiteral(".csv"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    const QStringList linhas = QString::fromUtf8(bytes.mid(3)).split(QStringLiteral("\r\n"));
    QCOMPARE(linhas.size(), 6);
    QCOMPARE(linhas[0], QStringLiteral("Pos.;Cargo;Nome;Partido;Votos;Percentual"));
    QVERIFY2(linhas[2].startsWith(QStringLiteral("2;Prefeito;Prefeito 2;\"Partido D'Ávila; Verde\";")),
             qPrintable(linhas[2]));
    QCOMPARE(linhas[5], QString());
}

void TstReportEngine::impressoraEPdfIguais()
{
    // The printer path and the PDF path draw the same pages: the same text, page by page.
    Cenario c(40);
    auto p = c.prepara();
    QVERIFY(p);
    const QString impresso = c.dir.filePath(QStringLiteral("impresso.pdf"));
    const QString arquivo = c.dir.filePath(QStringLiteral("arquivo.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(impresso);
    printer.setCopyCount(2);
    printer.setCollateCopies(true);
    QList<int> paginas;
    QVERIFY(printReport(*p, printer, {QStringLiteral("Votarim"), 100, 100}, [&paginas](int n) {
        paginas << n;
        return true;
    }));
    QVERIFY(writePdf(*p, arquivo, QStringLiteral("Votarim")));
    const QString info = executa(QStringLiteral("pdfinfo"), {impresso});
    QVERIFY2(info.contains(QRegularExpression(QStringLiteral("Title:\\s+Votarim\\n"))), qPrintable(info));
    const int n = int(p->pages.size());
    QCOMPARE(paginas.size(), 2 * n); // two collated copies
    QCOMPARE(paginas.value(n), 1);
    // Uncollated copies: each page twice before the next.
    QPrinter separadas(QPrinter::HighResolution);
    separadas.setOutputFormat(QPrinter::PdfFormat);
    separadas.setOutputFileName(c.dir.filePath(QStringLiteral("separadas.pdf")));
    separadas.setCopyCount(2);
    separadas.setCollateCopies(false);
    paginas.clear();
    QVERIFY(printReport(*p, separadas, {QStringLiteral("Votarim"), 100, 100}, [&paginas](int n) {
        paginas << n;
        return true;
    }));
    QCOMPARE(paginas.mid(0, 4), QList<int>({1, 1, 2, 2}));
    const QString a =
        executa(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), QStringLiteral("-l"),
                                              QString::number(n), impresso, QStringLiteral("-")});
    const QString b =
        executa(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), arquivo, QStringLiteral("-")});
    QVERIFY(a.contains(QStringLiteral("página %1 de %1").arg(n)));
    QCOMPARE(a, b);
}

void TstReportEngine::textoCortadoSoQuandoNaoCabe_data()
{
    // A one-line text in a box of a width relative to its own advance: whole when it
    // fits, cut with an ellipsis when not, whatever shortcut the drawing takes.
    QTest::addColumn<QString>("texto");
    QTest::addColumn<double>("largura"); // times the text's advance
    QTest::addColumn<bool>("inteiro");
    QTest::addRow("folgado") << QStringLiteral("Ana") << 4.0 << true;
    QTest::addRow("justo") << QStringLiteral("Partido D'Ávila") << 1.03 << true;
    QTest::addRow("pouco além") << QStringLiteral("Partido D'Ávila") << 0.9 << false;
    QTest::addRow("muito além") << QStringLiteral("Candidata Maria das Graças de Souza") << 0.3 << false;
    QTest::addRow("fora do Latin-1") << QStringLiteral("Ωmega Ψi Ωmega Ψi") << 0.6 << false;
}

void TstReportEngine::textoCortadoSoQuandoNaoCabe()
{
    QFETCH(QString, texto);
    QFETCH(double, largura);
    QFETCH(bool, inteiro);
    PreparedReport r;
    r.pageSize = QSizeF(595, 842);
    QFont fonte(QStringLiteral("DejaVu Sans"));
    fonte.setPointSizeF(10);
    r.textStyles.push_back({fonte, Qt::black, Qt::AlignLeft | Qt::AlignVCenter, false});
    QImage pontos(1, 1, QImage::Format_RGB32); // a device of 72 dpi: advances in points
    pontos.setDotsPerMeterX(2835);
    pontos.setDotsPerMeterY(2835);
    const double avanco = QFontMetricsF(fonte, &pontos).horizontalAdvance(texto);
    Page pagina;
    pagina.texts << texto;
    pagina.ops.push_back({Op::Kind::Text, QRectF(40, 40, avanco * largura, 14), 0, 0});
    r.pages.push_back(std::move(pagina));
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("t.pdf"));
    QVERIFY(writePdf(r, pdf, QStringLiteral("Votarim")));
    const QString lido = executa(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")}).trimmed();
    QVERIFY2(lido.contains(texto) == inteiro, qPrintable(lido));
    QVERIFY2(lido.contains(QChar(0x2026)) == !inteiro, qPrintable(lido));
}

void TstReportEngine::codigosQr_data()
{
    QTest::addColumn<QByteArray>("texto");
    QTest::addColumn<int>("codigos");
    QTest::addRow("curto") << QByteArray("#totais\nTotalgeral\t7\n") << 1;
    QByteArray longo;
    for (int i = 0; i < 60; ++i)
        longo += QStringLiteral("%1\tJoão Conceição Ávila\t%2\n").arg(i).arg(i * 7).toUtf8();
    QTest::addRow("acentos em vários códigos") << longo << int((longo.size() + 299) / 300);
    QTest::addRow("vazio") << QByteArray() << 1;
}

void TstReportEngine::codigosQr()
{
    // What a phone reads from the paper: the codes decoded, joined in order of k, are the text exactly.
    QFETCH(QByteArray, texto);
    QFETCH(int, codigos);
    if (QStandardPaths::findExecutable(QStringLiteral("zbarimg")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty())
        QSKIP("zbarimg (zbar-tools) ou pdftoppm (poppler-utils) não instalado");
    Cenario c(1, QByteArrayLiteral("<project version=\"1\">\n<report name=\"rel_qr\">\n<title h=\"150\">\n"
                                   "<qrcode x=\"0\" y=\"10\" w=\"180\" h=\"45\" text=\"param('texto')\" "
                                   "prefix=\"VOTARIM\" bytes=\"300\"/>\n</title>\n</report>\n</project>\n"));
    c.projeto.SetReportParameter(QStringLiteral("texto"), QString::fromUtf8(texto));
    auto p = c.prepara(QStringLiteral("rel_qr"));
    QVERIFY(p);
    int imagens = 0;
    for (const Op &op : p->pages.front().ops)
        imagens += op.kind == Op::Kind::Image;
    QCOMPARE(imagens, codigos);
    const QString pdf = c.dir.filePath(QStringLiteral("qr.pdf"));
    QVERIFY(writePdf(*p, pdf, QStringLiteral("Votarim")));
    executa(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("200"), QStringLiteral("-png"),
                                         QStringLiteral("-singlefile"), pdf, c.dir.filePath(QStringLiteral("qr"))});
    QProcess z;
    z.start(QStringLiteral("zbarimg"), {QStringLiteral("--raw"), QStringLiteral("-q"), QStringLiteral("-Sbinary"),
                                        c.dir.filePath(QStringLiteral("qr.png"))});
    QVERIFY(z.waitForFinished(60000));
    const QByteArray lido = z.readAllStandardOutput();
    // Each code begins "VOTARIM k/n" and its line; in binary mode zbarimg adds nothing between codes.
    const QRegularExpression cabecalho(QStringLiteral("VOTARIM (\\d+)/(\\d+)\n"));
    const QString lidoTexto = QString::fromLatin1(lido);
    QList<QRegularExpressionMatch> achados;
    for (auto it = cabecalho.globalMatch(lidoTexto); it.hasNext();)
        achados << it.next();
    QCOMPARE(achados.size(), codigos);
    QMap<int, QByteArray> partes;
    for (qsizetype i = 0; i < achados.size(); ++i) {
        QCOMPARE(achados[i].captured(2).toInt(), codigos);
        const qsizetype inicio = achados[i].capturedEnd();
        const qsizetype fim = i + 1 < achados.size() ? achados[i + 1].capturedStart() : lido.size();
        partes.insert(achados[i].captured(1).toInt(), lido.mid(inicio, fim - inicio));
    }
    QByteArray juntos;
    for (int k = 1; k <= codigos; ++k)
        juntos += partes.value(k);
    QCOMPARE(juntos, texto);
}

void TstReportEngine::arquivoSemPermissao()
{
    Cenario c(3);
    auto p = c.prepara();
    QVERIFY(p);
    // A folder that does not exist, and a name already used by a folder: a clear
    // message, and nothing at the name.
    const QString semPasta = c.dir.filePath(QStringLiteral("nao/existe.pdf"));
    QVERIFY_THROWS_EXCEPTION(ReportError, writePdf(*p, semPasta, QString()));
    QVERIFY(!QFileInfo::exists(semPasta));
    const QString anterior = c.dir.filePath(QStringLiteral("anterior.csv"));
    QFile f(anterior);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("o que havia");
    f.close();
    QFile::setPermissions(c.dir.path(), QFile::ReadOwner | QFile::ExeOwner);
    try {
        writeCsv(*p, anterior);
        QFile::setPermissions(c.dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (::geteuid() != 0) QFAIL("gravou numa pasta sem permissão");
    } catch (const ReportError &e) {
        QFile::setPermissions(c.dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY2(
            e.message().startsWith(QStringLiteral("Não foi possível gravar o arquivo \"%1\"").arg(anterior)),
            qPrintable(e.message()));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("o que havia"));
    }
    QCOMPARE(QDir(c.dir.path())
                 .entryList({QStringLiteral("*.pdf*"), QStringLiteral("anterior.csv.*")}, QDir::Files),
             QStringList());
}

void TstReportEngine::visualizacao()
{
    Cenario c(40);
    c.projeto.Engine->TitlePreview = QStringLiteral("Vizualização do relatório");
    int paginas = 0;
    const QString salvo = c.dir.filePath(QStringLiteral("salvo.pdf"));
    Roteiro r({{QStringLiteral("opcoesSaida"), [](QWidget *w) { filho<QPushButton>(w, "ok")->click(); }},
               {QStringLiteral("visualizacaoRelatorio"),
                [&paginas](QWidget *w) {
                    auto *d = static_cast<PreviewDialog *>(w);
                    // Once these checks are done, Ctrl+S saves through the file dialog (the
                    // next step, which closes the preview); a preview left open fails, not hangs.
                    QTimer::singleShot(0, d, [d] { QTest::keyClick(d, Qt::Key_S, Qt::ControlModifier); });
                    QTimer::singleShot(10000, d, &QDialog::reject);
                    QCOMPARE(d->windowTitle(), QStringLiteral("Vizualização do relatório"));
                    QCOMPARE(d->size(), QSize(615, 450));
                    QVERIFY(d->isModal());
                    QCOMPARE(d->effectiveZoom(), 100.0);
                    filho<QToolButton>(d, "ultima")->click();
                    paginas = d->currentPage() + 1;
                    filho<QToolButton>(d, "anterior")->click();
                    QCOMPARE(d->currentPage(), paginas - 2);
                    // The thumbnails: one per page, the page shown selected, a click shows another.
                    auto *miniaturas = filho<QListView>(d, "miniaturas");
                    QVERIFY(miniaturas->isHidden());
                    filho<QToolButton>(d, "miniaturas")->click();
                    QVERIFY(miniaturas->isVisibleTo(d));
                    QCOMPARE(miniaturas->model()->rowCount(), paginas);
                    QCOMPARE(miniaturas->currentIndex().row(), paginas - 2);
                    const QModelIndex primeira = miniaturas->model()->index(0, 0);
                    QTest::mouseClick(miniaturas->viewport(), Qt::LeftButton, {},
                                      miniaturas->visualRect(primeira).center());
                    QCOMPARE(d->currentPage(), 0);
                    const QImage pequena = primeira.data(Qt::DecorationRole).value<QPixmap>().toImage();
                    QVERIFY(pequena.width() == 80 && pequena.height() > 80);
                    int escuros = 0; // the page drawn, not a blank
                    for (int y = 0; y < pequena.height(); ++y)
                        for (int x = 0; x < pequena.width(); ++x) escuros += qGray(pequena.pixel(x, y)) < 128;
                    QVERIFY(escuros > 50);
                    d->zoomIn();
                    QCOMPARE(d->effectiveZoom(), 125.0);
                    d->zoomOut();
                    QCOMPARE(d->effectiveZoom(), 100.0);
                    d->setZoom(kZoomWholePage);
                    QVERIFY(d->effectiveZoom() < 60);
                    QVERIFY(filho<QToolButton>(d, "salvar")->isVisibleTo(d));
                    QVERIFY(filho<QToolButton>(d, "imprimir")->isVisibleTo(d));
                }},
               {QStringLiteral("QFileDialog"), [salvo](QWidget *w) {
                    auto *dialogo = static_cast<QFileDialog *>(w);
                    dialogo->selectFile(salvo);
                    QMetaObject::invokeMethod(dialogo, "accept");
                    QTimer::singleShot(0, w->parentWidget(), [p = w->parentWidget()] { p->close(); });
                }}});
    c.projeto.RunReport(QStringLiteral("rel_teste"));
    QVERIFY2(r.completo(), qPrintable(r.vistas.join(u',')));
    QVERIFY(paginas >= 3);
    const QString texto = executa(QStringLiteral("pdftotext"), {salvo, QStringLiteral("-")});
    QVERIFY2(texto.contains(QStringLiteral("página %1 de %1").arg(paginas)), qPrintable(texto.left(300)));
}

void TstReportEngine::cancelaOpcoes()
{
    Cenario c(40);
    const QString pdf = c.dir.filePath(QStringLiteral("nunca.pdf"));
    Roteiro r({{QStringLiteral("opcoesSaida"), [pdf](QWidget *w) {
                    filho<QRadioButton>(w, "arquivo")->setChecked(true);
                    filho<QLineEdit>(w, "nomeArquivo")->setText(pdf);
                    static_cast<QDialog *>(w)->close();
                }}});
    c.projeto.RunReport(QStringLiteral("rel_teste"));
    QVERIFY(r.completo());
    QCOMPARE(r.vistas, QStringList{QStringLiteral("opcoesSaida")});
    QCOMPARE(c.votos.begins, 0);
    QVERIFY(!QFileInfo::exists(pdf));
}

void TstReportEngine::cancelaEstado()
{
    // Cancel while the first pages are generated: nothing delivered, the rest
    // not read. (The fingerprint reads every row before the first page: left out.)
    QByteArray semDigital(kProjeto);
    semDigital.replace("{sha256(votos)}", "");
    Cenario c(3000, semDigital);
    const QString pdf = c.dir.filePath(QStringLiteral("nunca.pdf"));
    int paginaNoCancelamento = 0;
    Roteiro r({paraArquivo(pdf, false),
               {QStringLiteral("estadoRelatorio"), [&paginaNoCancelamento](QWidget *w) {
                    const QString linha = w->findChild<QLabel *>(QStringLiteral("linhaEstado"))->text();
                    paginaNoCancelamento = linha.section(u' ', -1).toInt();
                    QVERIFY2(linha.startsWith(QStringLiteral("Gerando página ")), qPrintable(linha));
                    filho<QPushButton>(w, "cancelar")->click();
                }}});
    c.projeto.RunReport(QStringLiteral("rel_teste"));
    QVERIFY(r.completo());
    QVERIFY(!QFileInfo::exists(pdf));
    QCOMPARE(c.votos.begins, c.votos.ends);
    // At most one more page of rows (31 of them) read after the one shown.
    QVERIFY2(c.votos.nexts <= (paginaNoCancelamento + 1) * 31 + 256,
             qPrintable(QStringLiteral("%1 %2").arg(c.votos.nexts).arg(paginaNoCancelamento)));
    QVERIFY(c.votos.nexts < 6000);
}

void TstReportEngine::semImpressoraSoVisualizacao()
{
    EngineSettings s;
    s.DefaultDest = Destination::Printer;
    QPrinter printer;
    OutputOptionsDialog sem(s, false, printer, QString());
    QVERIFY(!filho<QRadioButton>(&sem, "impressora")->isEnabled());
    QVERIFY(!filho<QRadioButton>(&sem, "arquivo")->isEnabled());
    QVERIFY(filho<QRadioButton>(&sem, "visualizacao")->isChecked());
    QCOMPARE(sem.choice().destination, Destination::Preview);
    OutputOptionsDialog com(s, true, printer, QString());
    QVERIFY(filho<QRadioButton>(&com, "impressora")->isChecked());
    filho<QSpinBox>(&com, "copias")->setValue(3);
    filho<QPushButton>(&com, "ok")->click();
    QCOMPARE(printer.copyCount(), 3);
    QCOMPARE(com.windowTitle(), s.TitleSetup);
}

QTEST_MAIN(TstReportEngine)
#include "tst_reportengine.moc"
