// The widget-free library of the day's totals: keys and signatures, the election's
// canonical text, the bulletin and its strict reader, and the sum of results.

#include "apuracao/arquivoseguro.h"
#include "apuracao/assinatura.h"
#include "apuracao/boletim.h"
#include "apuracao/eleicao.h"
#include "apuracao/apuracao.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

#include <sys/stat.h>
#include <unistd.h>

using namespace Apuracao;

namespace
{
// A day of one office: Ana 2, Bia 1, Caio stood without votes; 2 legend votes, 1
// blank, 1 null. `muda` spoils it before the positions and percentages are worked out.
QByteArray resultadoDeTeste(const std::function<void(Resultado &)> &muda = {})
{
    Resultado r;
    r.dia = QDate(2024, 10, 6);
    r.totais = {{QStringLiteral("NORMAL"), 3, {}}, {QStringLiteral("LEGENDA"), 2, {}},
                {QStringLiteral("BRANCO"), 1, {}}, {QStringLiteral("NULO"), 1, {}}};
    r.cargos = {{1, 1, QStringLiteral("Prefeito"), 3, 2, 1, 1, 7}};
    r.ranking = {{1, QStringLiteral("Prefeito"), 0, 1, QStringLiteral("13"), QStringLiteral("Ana"), 1,
                  QStringLiteral("Partido A"), 2, {}, {}},
                 {1, QStringLiteral("Prefeito"), 0, 2, QStringLiteral("45"), QStringLiteral("Bia"), 2,
                  QStringLiteral("Partido B"), 1, {}, {}}};
    r.legendas = {{1, QStringLiteral("13"), QStringLiteral("Partido A"), 2, {}}};
    r.concorrentes = {{1, QStringLiteral("Prefeito"), 1, QStringLiteral("Partido A"), 1, QStringLiteral("13"),
                       QStringLiteral("Ana"), {}},
                      {1, QStringLiteral("Prefeito"), 2, QStringLiteral("Partido B"), 2, QStringLiteral("45"),
                       QStringLiteral("Bia"), {}},
                      {1, QStringLiteral("Prefeito"), 1, QStringLiteral("Partido A"), 3, QStringLiteral("14"),
                       QStringLiteral("Caio"), {}}};
    if (muda) muda(r);
    classifica(r);
    return textoCanonico(r);
}

// Made at first use: the library's own texts are not there yet while globals are made.
const QByteArray &resultadoPadrao()
{
    static const QByteArray texto = resultadoDeTeste();
    return texto;
}

Eleicao eleicaoDeTeste()
{
    Eleicao e;
    e.cargos = {{1, QStringLiteral("Prefeito"), 2}, {2, QStringLiteral("Vereador"), 5}};
    e.partidos = {{1, QStringLiteral("Partido A"), QStringLiteral("13")}, {2, QStringLiteral("Partido B"), QStringLiteral("45")}};
    e.candidatos = {{1, QStringLiteral("Ana\tde Sá"), QStringLiteral("13"), 1, 1, sha256("foto")},
                    {2, QStringLiteral("Bruno"), QStringLiteral("45"), 2, 1, QString()}};
    e.ordem = {{1, 1}, {2, 2}};
    e.mapa = {{1, 1, 1}, {2, 1, 2}};
    return e;
}

QByteArray conteudo(const QString &caminho)
{
    QFile f(caminho);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A bulletin re-signed after a change, so that only the reader's own checks can refuse it.
QByteArray reassina(const QByteArray &boletim, const ChaveAssinatura &privada)
{
    const qsizetype fim = boletim.lastIndexOf("assinatura-ed25519: ");
    const QByteArray corpo = boletim.left(fim);
    return corpo + "assinatura-ed25519: " + assina(privada, corpo).toBase64() + '\n';
}
} // namespace

class TstApuracao : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    ChaveAssinatura privada()
    {
        const QString k = m_dir.filePath(QStringLiteral("1.key"));
        if (!QFile::exists(k)) criaChaves(m_dir.path(), QStringLiteral("1"));
        return lePrivada(k);
    }

  private slots:
    void chavesCriadasSoDoDono()
    {
        QTemporaryDir dir;
        criaChaves(dir.path(), QStringLiteral("7"));
        struct stat st;
        QCOMPARE(::stat(QFile::encodeName(dir.filePath(QStringLiteral("7.key"))).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 0777), 0600);
        QVERIFY(conteudo(dir.filePath(QStringLiteral("7.pub"))).startsWith("-----BEGIN PUBLIC KEY-----"));
        const QByteArray antes = conteudo(dir.filePath(QStringLiteral("7.key")));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, criaChaves(dir.path(), QStringLiteral("7")));
        QCOMPARE(conteudo(dir.filePath(QStringLiteral("7.key"))), antes);
    }

    void chavePrivadaAcessivelRecusada()
    {
        QTemporaryDir dir;
        criaChaves(dir.path(), QStringLiteral("3"));
        const QString k = dir.filePath(QStringLiteral("3.key"));
        QVERIFY(::chmod(QFile::encodeName(k).constData(), 0640) == 0);
        try {
            lePrivada(k);
            QFAIL("uma chave legível pelo grupo foi aceita");
        } catch (const std::runtime_error &e) {
            QVERIFY2(QString::fromUtf8(e.what()).contains(QStringLiteral("chave privada acessível a outros usuários")),
                     e.what());
        }
    }

    void assinaturaConfere()
    {
        QTemporaryDir dir;
        criaChaves(dir.path(), QStringLiteral("1"));
        criaChaves(dir.path(), QStringLiteral("2"));
        const ChaveAssinatura k1 = lePrivada(dir.filePath(QStringLiteral("1.key")));
        const ChaveAssinatura p1 = lePublica(dir.filePath(QStringLiteral("1.pub")));
        const ChaveAssinatura p2 = lePublica(dir.filePath(QStringLiteral("2.pub")));
        const QByteArray dados = QByteArrayLiteral("VOTARIM 1/1\n");
        const QByteArray s = assina(k1, dados);
        QCOMPARE(s.size(), 64);
        QVERIFY(confere(p1, dados, s));
        QVERIFY(!confere(p2, dados, s));
        QVERIFY(!confere(p1, QByteArrayLiteral("VOTARIM 1/2\n"), s));
    }

    void eleicaoIdaEVolta()
    {
        const Eleicao e = eleicaoDeTeste();
        const QByteArray t = textoEleicao(e);
        QCOMPARE(textoEleicao(leTextoEleicao(t)), t);
        // The rows' order in the database does not matter.
        Eleicao invertida = e;
        std::reverse(invertida.candidatos.begin(), invertida.candidatos.end());
        std::reverse(invertida.mapa.begin(), invertida.mapa.end());
        QCOMPARE(textoEleicao(invertida), t);
    }

    void eleicaoMudadaMudaDigital_data()
    {
        QTest::addColumn<int>("mudanca");
        QTest::addRow("nome do candidato") << 0;
        QTest::addRow("número do candidato") << 1;
        QTest::addRow("legenda") << 2;
        QTest::addRow("foto") << 3;
        QTest::addRow("posição na ordem") << 4;
        QTest::addRow("linha do mapa") << 5;
        QTest::addRow("nome do cargo") << 6;
        QTest::addRow("dígitos do cargo") << 7;
    }

    void eleicaoMudadaMudaDigital()
    {
        QFETCH(int, mudanca);
        Eleicao e = eleicaoDeTeste();
        const QString antes = sha256(textoEleicao(e));
        switch (mudanca) {
        case 0: e.candidatos[1].nome = QStringLiteral("Bruna"); break;
        case 1: e.candidatos[1].numero = QStringLiteral("46"); break;
        case 2: e.partidos[0].legenda = QStringLiteral("14"); break;
        case 3: e.candidatos[0].fotoSha256 = sha256("outra foto"); break;
        case 4: e.ordem[1].posicao = 3; break;
        case 5: e.mapa.removeLast(); break;
        case 6: e.cargos[0].nome = QStringLiteral("Governador"); break;
        default: e.cargos[1].digitos = 4; break;
        }
        QVERIFY(sha256(textoEleicao(e)) != antes);
    }

    // Canonical texts whose figures do not agree with each other: signed by a valid
    // key, and still never read as a result.
    void resultadoQueNaoSomaRecusado_data()
    {
        QTest::addColumn<int>("caso");
        QTest::addRow("candidato com voto a mais") << 0;
        QTest::addRow("legenda a menos") << 1;
        QTest::addRow("branco do cargo a mais") << 2;
        QTest::addRow("resultado de outro dia") << 3;
        QTest::addRow("seção ausente") << 4;
        QTest::addRow("campo a mais") << 5;
    }

    void resultadoQueNaoSomaRecusado()
    {
        QFETCH(int, caso);
        QByteArray t;
        switch (caso) {
        case 0: t = resultadoDeTeste([](Resultado &r) { r.ranking[0].votos = 3; }); break;
        case 1: t = resultadoDeTeste([](Resultado &r) { r.legendas[0].votos = 1; }); break;
        case 2: t = resultadoDeTeste([](Resultado &r) { r.cargos[0].branco = 2, r.cargos[0].total = 8; }); break;
        case 3: t = resultadoDeTeste([](Resultado &r) { r.dia = r.dia.addDays(1); }); break;
        case 4: t = QByteArray(resultadoPadrao()).replace("#tb_apuracaoLEGENDAS\n", "#tb_apuracaoLEGENDA\n"); break;
        default: t = QByteArray(resultadoPadrao()).replace("\tBia\t", "\tBia\tx\t"); break;
        }
        QVERIFY(t != resultadoPadrao());
        const QByteArray b = escreveBoletim(1, QDate(2024, 10, 6), QDateTime::currentDateTimeUtc(),
                                            textoEleicao(eleicaoDeTeste()), t, privada());
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, leBoletim(b));
    }

    void boletimIdaEVolta()
    {
        const ChaveAssinatura k = privada();
        const QByteArray eleicao = textoEleicao(eleicaoDeTeste());
        const QByteArray b = escreveBoletim(12, QDate(2024, 10, 6), QDateTime(QDate(2024, 10, 6), QTime(17, 0), Qt::UTC),
                                            eleicao, resultadoPadrao(), k);
        Resultado r;
        const Boletim lido = leBoletim(b, true, &r);
        QCOMPARE(lido.terminal, 12);
        QCOMPARE(lido.dia, QDate(2024, 10, 6));
        QCOMPARE(lido.textoEleicao, eleicao);
        QCOMPARE(lido.textoResultado, resultadoPadrao());
        QCOMPARE(lido.digitalResultado, sha256(resultadoPadrao()));
        QCOMPARE(textoCanonico(r), resultadoPadrao());
        QCOMPARE(r.ranking.size(), 3);
        QCOMPARE(r.ranking[2].nome, QStringLiteral("Caio"));
        QCOMPARE(r.ranking[2].situacao, QStringLiteral("sem votos"));
        QVERIFY(confere(lePublica(m_dir.filePath(QStringLiteral("1.pub"))), lido.assinado, lido.assinatura));
        QCOMPARE(lido.assinado, b.left(b.lastIndexOf("assinatura-ed25519: ")));
    }

    void boletimMalformado_data()
    {
        QTest::addColumn<int>("caso");
        QTest::addRow("vazio") << 0;
        QTest::addRow("cortado no meio da eleição") << 1;
        QTest::addRow("cortado na assinatura") << 2;
        QTest::addRow("sem o último fim de linha") << 3;
        QTest::addRow("binário") << 4;
        QTest::addRow("bytes depois da assinatura") << 5;
        QTest::addRow("texto do resultado alterado, reassinado") << 6;
        QTest::addRow("digital da eleição trocada, reassinado") << 7;
        QTest::addRow("versão desconhecida") << 8;
        QTest::addRow("dia inexistente, reassinado") << 9;
        QTest::addRow("grande demais") << 10;
        QTest::addRow("contagem de linhas maior que o texto") << 11;
    }

    void boletimMalformado()
    {
        QFETCH(int, caso);
        const ChaveAssinatura k = privada();
        const QByteArray bom = escreveBoletim(1, QDate(2024, 10, 6), QDateTime::currentDateTimeUtc(),
                                              textoEleicao(eleicaoDeTeste()), resultadoPadrao(), k);
        QByteArray b = bom;
        switch (caso) {
        case 0: b.clear(); break;
        case 1: b.truncate(bom.indexOf("#partido") + 3); break;
        case 2: b.chop(20); break;
        case 3: b.chop(1); break;
        case 4: b[200] = '\0'; break;
        case 5: b += "x\n"; break;
        case 6: b = reassina(QByteArray(bom).replace("\tBia\t", "\tBiaa\t"), k); break;
        case 7: b = reassina(QByteArray(bom).replace("eleicao-sha256: ", "eleicao-sha256: 0").remove(bom.indexOf("eleicao-sha256: ") + 80, 1), k); break;
        case 8: b.replace("VOTARIM BOLETIM 1", "VOTARIM BOLETIM 2"); break;
        case 9: b = reassina(QByteArray(bom).replace("dia: 2024-10-06", "dia: 2024-02-30"), k); break;
        case 10: b = QByteArray(11 * 1024 * 1024, 'a'); break;
        default:
            b.replace("resultado-linhas: " + QByteArray::number(resultadoPadrao().count('\n')),
                      "resultado-linhas: " + QByteArray::number(resultadoPadrao().count('\n') + 1));
            break;
        }
        QVERIFY(b != bom);
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, leBoletim(b));
    }

    void arquivoQueNaoEComumRecusado_data()
    {
        QTest::addColumn<QString>("tipo");
        QTest::addRow("fifo") << QStringLiteral("fifo");
        QTest::addRow("link") << QStringLiteral("link");
        QTest::addRow("pasta") << QStringLiteral("pasta");
        QTest::addRow("grande demais") << QStringLiteral("grande");
    }

    void arquivoQueNaoEComumRecusado()
    {
        QFETCH(QString, tipo);
        QTemporaryDir dir;
        const QString alvo = dir.filePath(QStringLiteral("bom"));
        QFile f(alvo);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(tipo == QLatin1String("grande") ? 10 * 1024 * 1024 : 10, 'x'));
        f.close();
        QString caminho = dir.filePath(QStringLiteral("boletim"));
        if (tipo == QLatin1String("fifo")) QCOMPARE(::mkfifo(QFile::encodeName(caminho).constData(), 0600), 0);
        else if (tipo == QLatin1String("link")) QVERIFY(QFile::link(alvo, caminho));
        else if (tipo == QLatin1String("pasta")) QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("boletim")));
        else caminho = alvo;
        // A FIFO must not be waited on: the call returns at once with a refusal.
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, leArquivoRegular(caminho, kTamanhoMaximoBoletim));
    }
};

QTEST_GUILESS_MAIN(TstApuracao)
#include "tst_apuracao.moc"
