// The widget-free library of the day's totals: keys and signatures, the election's
// canonical text, the bulletin and its strict reader, and the sum of results.

#include "apuracao/arquivoseguro.h"
#include "apuracao/assinatura.h"
#include "apuracao/boletim.h"
#include "apuracao/eleicao.h"
#include "apuracao/resultado.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace Apuracao;

namespace
{
const QByteArray kResultado = QByteArrayLiteral(
    "#tb_resultadoGERAL\n"
    "Totalgeral\tTotalbranco\tTotalnulo\tTotallegenda\tTotalnormal\n"
    "7\t1\t1\t2\t3\n"
    "#tb_resultadoCANDIDATO\n"
    "id_candidato\tnumero_candidato\tid_cargo\tid_partido\tTotalvotos\n"
    "1\t13\t1\t1\t2\n"
    "2\t45\t1\t2\t1\n"
    "#tb_resultadoLEGENDA\n"
    "id_candidato\tlegenda\tTotalvotos\n"
    "1\t13\t2\n"
    "#tb_candidatos_votacao\n"
    "nome_candidato\tcargo\tpartido\n"
    "Ana\tPrefeito\tPA\n");

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

    void resultadoSomado()
    {
        const ResultadoDia r = leTextoResultado(kResultado);
        Totais t;
        t.soma(r);
        t.soma(r);
        QCOMPARE(t.total, 14);
        QCOMPARE(t.normal, 6);
        QCOMPARE(t.legenda, 4);
        QCOMPARE(t.branco, 2);
        QCOMPARE(t.nulo, 2);
        QCOMPARE(t.nominais.value(QStringLiteral("1\t1\t13\t1")), 4);
        QCOMPARE(t.nominais.value(QStringLiteral("1\t2\t45\t2")), 2);
        QCOMPARE(t.legendas.value(QStringLiteral("1\t13")), 4);
    }

    void resultadoQueNaoSomaRecusado_data()
    {
        QTest::addColumn<QByteArray>("de");
        QTest::addColumn<QByteArray>("para");
        QTest::addRow("total maior que os tipos") << QByteArray("7\t1\t1\t2\t3\n") << QByteArray("8\t1\t1\t2\t3\n");
        QTest::addRow("nominais a mais") << QByteArray("1\t13\t1\t1\t2\n") << QByteArray("1\t13\t1\t1\t3\n");
        QTest::addRow("legenda a menos") << QByteArray("1\t13\t2\n") << QByteArray("1\t13\t1\n");
        QTest::addRow("contagem negativa") << QByteArray("2\t45\t1\t2\t1\n") << QByteArray("2\t45\t1\t2\t-1\n");
        QTest::addRow("linhas fora de ordem") << QByteArray("1\t13\t1\t1\t2\n2\t45\t1\t2\t1\n")
                                              << QByteArray("2\t45\t1\t2\t1\n1\t13\t1\t1\t2\n");
        QTest::addRow("seção ausente") << QByteArray("#tb_resultadoLEGENDA\n") << QByteArray("#tb_resultadoLEGENDAS\n");
        QTest::addRow("campo a mais") << QByteArray("Ana\tPrefeito\tPA\n") << QByteArray("Ana\tPrefeito\tPA\tx\n");
    }

    void resultadoQueNaoSomaRecusado()
    {
        QFETCH(QByteArray, de);
        QFETCH(QByteArray, para);
        QVERIFY(kResultado.contains(de));
        QByteArray t = kResultado;
        t.replace(de, para);
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, leTextoResultado(t));
    }

    void boletimIdaEVolta()
    {
        const ChaveAssinatura k = privada();
        const QByteArray eleicao = textoEleicao(eleicaoDeTeste());
        const QByteArray b = escreveBoletim(12, QDate(2024, 10, 6), QDateTime(QDate(2024, 10, 6), QTime(17, 0), Qt::UTC),
                                            eleicao, kResultado, k);
        ResultadoDia r;
        const Boletim lido = leBoletim(b, true, &r);
        QCOMPARE(lido.terminal, 12);
        QCOMPARE(lido.dia, QDate(2024, 10, 6));
        QCOMPARE(lido.textoEleicao, eleicao);
        QCOMPARE(lido.textoResultado, kResultado);
        QCOMPARE(lido.digitalResultado, sha256(kResultado));
        QCOMPARE(r.total, 7);
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
        QTest::addRow("contagens que não somam, reassinado") << 6;
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
                                              textoEleicao(eleicaoDeTeste()), kResultado, k);
        QByteArray b = bom;
        switch (caso) {
        case 0: b.clear(); break;
        case 1: b.truncate(bom.indexOf("#partido") + 3); break;
        case 2: b.chop(20); break;
        case 3: b.chop(1); break;
        case 4: b[200] = '\0'; break;
        case 5: b += "x\n"; break;
        case 6: b = reassina(QByteArray(bom).replace("7\t1\t1\t2\t3\n", "9\t1\t1\t2\t3\n"), k); break;
        case 7: b = reassina(QByteArray(bom).replace("eleicao-sha256: ", "eleicao-sha256: 0").remove(bom.indexOf("eleicao-sha256: ") + 80, 1), k); break;
        case 8: b.replace("VOTARIM BOLETIM 1", "VOTARIM BOLETIM 2"); break;
        case 9: b = reassina(QByteArray(bom).replace("dia: 2024-10-06", "dia: 2024-02-30"), k); break;
        case 10: b = QByteArray(11 * 1024 * 1024, 'a'); break;
        default: b.replace("resultado-linhas: 13", "resultado-linhas: 14"); break;
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
