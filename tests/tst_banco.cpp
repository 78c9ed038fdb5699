// The database tool (votarim-banco) run as the operator runs it, and the sounds
// the build generates.

#include "data/database.h"
#include "data/esquema.h"
#include "data/query.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace
{

struct Execucao {
    int codigo = -1;
    QByteArray saida;
    QByteArray erro;
};

// Runs the tool without a platform chosen, as from a terminal with no display.
Execucao executa(const QStringList &argumentos, const QString &pasta = QString())
{
    QProcess p;
    if (!pasta.isEmpty()) p.setWorkingDirectory(pasta);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(VOTARIM_BANCO_EXE), argumentos);
    Execucao r;
    if (!p.waitForStarted(30000) || !p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        r.erro = p.errorString().toUtf8();
        return r;
    }
    r.codigo = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.saida = p.readAllStandardOutput();
    r.erro = p.readAllStandardError();
    return r;
}

QByteArray conteudo(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

qint64 conta(Database &db, const QString &sql)
{
    Query q(db);
    q.setSql(sql);
    q.open();
    return q.field(0).asInteger();
}

const char *const kTabelas[] = {
    "cargo", "partido", "candidatos", "ordem_votacao", "candidatos_votacao", "contagem_votacao"};

// The demo's candidates, as the voter would see them, in a comparable form.
QStringList candidatos(Database &db)
{
    Query q(db);
    q.setSql(
        QStringLiteral("select nome_candidato, numero_candidato, id_partido, id_cargo, foto from candidatos "
                       "order by numcad_candidato"));
    q.open();
    QStringList out;
    for (; !q.eof(); q.next())
        out << QStringLiteral("%1|%2|%3|%4|%5")
                   .arg(
                       q.field(QStringLiteral("nome_candidato")).asString(),
                       q.field(QStringLiteral("numero_candidato")).asString(),
                       q.field(QStringLiteral("id_partido")).asString(),
                       q.field(QStringLiteral("id_cargo")).asString(),
                       QString::fromLatin1(QCryptographicHash::hash(q.field(QStringLiteral("foto")).asBytes(),
                                                                    QCryptographicHash::Sha1)
                                               .toHex()));
    return out;
}

} // namespace

class TstBanco : public QObject
{
    Q_OBJECT

  private slots:
    void novoCriaBancoVazio()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString arquivo = dir.filePath(QStringLiteral("vazio.mdb"));
        const Execucao r = executa({QStringLiteral("novo"), arquivo});
        QVERIFY2(r.codigo == 0, r.erro.constData());
        QVERIFY(r.saida.contains(arquivo.toUtf8()));
        QVERIFY(QFile::exists(arquivo));

        Database db;
        Esquema::prepara(db);
        db.setConnectionString(Database::connectionStringFor(arquivo));
        db.open();
        for (const char *t : kTabelas)
            QCOMPARE(conta(db, QStringLiteral("select count(*) from %1").arg(QLatin1String(t))), 0);
    }

    void exemploCriaEleicao()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString arquivo = dir.filePath(QStringLiteral("exemplo.mdb"));
        const QDate antes = QDate::currentDate();
        const Execucao r = executa({QStringLiteral("exemplo"), arquivo});
        const QDate depois = QDate::currentDate();
        QVERIFY2(r.codigo == 0, r.erro.constData());
        QVERIFY(r.saida.contains(arquivo.toUtf8()));

        Database db;
        Esquema::prepara(db);
        db.setConnectionString(Database::connectionStringFor(arquivo));
        db.open();

        // Offices cover every length of candidate number.
        QSet<int> digitos;
        {
            Query q(db);
            q.setSql(QStringLiteral("select quantidade_numeros from cargo"));
            q.open();
            for (; !q.eof(); q.next())
                digitos.insert(int(q.field(0).asInteger()));
        }
        QCOMPARE(digitos, (QSet<int>{1, 2, 3, 4, 5}));

        const qint64 partidos = conta(db, QStringLiteral("select count(*) from partido"));
        QVERIFY(partidos >= 8);
        QCOMPARE(conta(db, QStringLiteral("select count(*) from partido where length(legenda) <> 2")), 0);

        // Every candidate: a number of the office's length, unique in the office,
        // starting with the party's legend where the office has room for it, and a BMP photo.
        Query q(db);
        q.setSql(
            {QStringLiteral("select c.numero_candidato, c.id_cargo, c.foto, g.quantidade_numeros, p.legenda"),
             QStringLiteral("from candidatos c"),
             QStringLiteral("join cargo g on g.numcad_cargo = c.id_cargo"),
             QStringLiteral("join partido p on p.numcad_partido = c.id_partido")});
        q.open();
        QSet<QString> numeros;
        int total = 0;
        for (; !q.eof(); q.next(), ++total) {
            const QString numero = q.field(QStringLiteral("numero_candidato")).asString();
            const int tamanho = int(q.field(QStringLiteral("quantidade_numeros")).asInteger());
            const QString legenda = q.field(QStringLiteral("legenda")).asString();
            QCOMPARE(numero.size(), tamanho);
            QVERIFY2(!numero.contains(QRegularExpression(QStringLiteral("[^0-9]"))), qPrintable(numero));
            if (tamanho >= 2) QVERIFY2(numero.startsWith(legenda), qPrintable(numero + u' ' + legenda));
            const QString chave = q.field(QStringLiteral("id_cargo")).asString() + u'/' + numero;
            QVERIFY2(!numeros.contains(chave), qPrintable(chave));
            numeros.insert(chave);

            const QByteArray foto = q.field(QStringLiteral("foto")).asBytes();
            QVERIFY(foto.startsWith("BM"));
            QVERIFY(foto.size() > 54);
            QCOMPARE(qFromLittleEndian<quint16>(foto.constData() + 28), quint16(24));
            QImage imagem;
            QVERIFY(imagem.loadFromData(foto, "BMP"));
            QVERIFY(imagem.width() >= 100 && imagem.height() >= 100);
        }
        QVERIFY(total >= 30);

        // The voting order holds each office once.
        QCOMPARE(conta(db, QStringLiteral("select count(*) from ordem_votacao")),
                 conta(db, QStringLiteral("select count(*) from cargo")));
        QCOMPARE(conta(db, QStringLiteral("select count(*) from cargo where numcad_cargo not in "
                                          "(select id_cargo from ordem_votacao)")),
                 0);

        // Today's voting day lists every candidate with the candidate's own office and party.
        Query hoje(db);
        hoje.setSql(QStringLiteral("select count(*) from candidatos_votacao where data_votacao = :dia"));
        hoje.setParam(QStringLiteral("dia"), depois);
        hoje.open();
        qint64 doDia = hoje.field(0).asInteger();
        if (doDia == 0 && antes != depois) { // run across midnight
            hoje.close();
            hoje.setParam(QStringLiteral("dia"), antes);
            hoje.open();
            doDia = hoje.field(0).asInteger();
        }
        QCOMPARE(doDia, qint64(total));
        QCOMPARE(
            conta(db, QStringLiteral("select count(*) from candidatos_votacao v join candidatos c on "
                                     "c.numcad_candidato = v.id_candidato and c.id_cargo = v.id_cargo and "
                                     "c.id_partido = v.id_partido")),
            qint64(total));
        QCOMPARE(conta(db, QStringLiteral("select count(*) from contagem_votacao")), 0);

        // The demo is the same on every run.
        const QStringList primeira = candidatos(db);
        db.close();
        const QString outro = dir.filePath(QStringLiteral("de-novo.mdb"));
        QCOMPARE(executa({QStringLiteral("exemplo"), outro}).codigo, 0);
        Database db2;
        Esquema::prepara(db2);
        db2.setConnectionString(Database::connectionStringFor(outro));
        db2.open();
        QCOMPARE(candidatos(db2), primeira);
    }

    void naoSubstituiArquivo_data()
    {
        QTest::addColumn<QString>("comando");
        QTest::newRow("novo") << QStringLiteral("novo");
        QTest::newRow("exemplo") << QStringLiteral("exemplo");
    }

    void naoSubstituiArquivo()
    {
        QFETCH(QString, comando);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString arquivo = dir.filePath(QStringLiteral("banco.mdb"));
        QCOMPARE(executa({comando, arquivo}).codigo, 0);
        const QByteArray original = conteudo(arquivo);
        QVERIFY(!original.isEmpty());

        for (const QString &segundo : {QStringLiteral("novo"), QStringLiteral("exemplo")}) {
            const Execucao r = executa({segundo, arquivo});
            QCOMPARE(r.codigo, 1);
            QVERIFY2(r.erro.contains("já existe"), r.erro.constData());
            QVERIFY(r.erro.contains(arquivo.toUtf8()));
            QVERIFY(r.saida.isEmpty());
            QVERIFY(conteudo(arquivo) == original);
        }
        // Nothing left behind by the refused runs.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("banco.mdb")});

        // A plain file that is not a database is not replaced either.
        const QString texto = dir.filePath(QStringLiteral("notas.txt"));
        QFile f(texto);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write("anotações"), qint64(QByteArray("anotações").size()));
        f.close();
        QCOMPARE(executa({comando, texto}).codigo, 1);
        QCOMPARE(conteudo(texto), QByteArray("anotações"));
    }

    // The PDF never takes the place of the election file, under any name that reaches
    // it, and a link at the target is replaced by the report, not written through.
    void pdfNaoSubstituiBanco_data()
    {
        QTest::addColumn<QString>("saida");
        QTest::addColumn<QString>("motivo"); // empty: the report is written
        const QString banco = QStringLiteral("é o banco de dados");
        QTest::newRow("mesmo caminho") << QStringLiteral("banco.mdb") << banco;
        QTest::newRow("caminho relativo") << QStringLiteral("./vazia/../banco.mdb") << banco;
        QTest::newRow("pasta por link simbólico") << QStringLiteral("atalho/banco.mdb") << banco;
        QTest::newRow("link físico") << QStringLiteral("fisico.mdb") << banco;
        QTest::newRow("-wal") << QStringLiteral("banco.mdb-wal") << banco;
        QTest::newRow("-shm") << QStringLiteral("atalho/banco.mdb-shm") << banco;
        QTest::newRow("-journal") << QStringLiteral("banco.mdb-journal") << banco;
        QTest::newRow("link simbólico para o banco") << QStringLiteral("leva-ao-banco.pdf") << banco;
        QTest::newRow("pasta") << QStringLiteral("vazia") << QStringLiteral("é uma pasta");
        QTest::newRow("pasta inexistente") << QStringLiteral("nao/existe.pdf") << QStringLiteral("a pasta não existe");
        QTest::newRow("link simbólico como destino") << QStringLiteral("leva-as-notas.pdf") << QString();
        QTest::newRow("arquivo novo") << QStringLiteral("resultado.pdf") << QString();
    }

    void pdfNaoSubstituiBanco()
    {
        QFETCH(QString, saida);
        QFETCH(QString, motivo);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString banco = dir.filePath(QStringLiteral("banco.mdb"));
        QCOMPARE(executa({QStringLiteral("exemplo"), banco}).codigo, 0);
        const QString notas = dir.filePath(QStringLiteral("notas.txt"));
        QFile f(notas);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write("anotações") > 0);
        f.close();
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("vazia")));
        QVERIFY(QFile::link(dir.path(), dir.filePath(QStringLiteral("atalho"))));
        QVERIFY(QFile::link(banco, dir.filePath(QStringLiteral("leva-ao-banco.pdf"))));
        QVERIFY(QFile::link(notas, dir.filePath(QStringLiteral("leva-as-notas.pdf"))));
        QCOMPARE(::link(QFile::encodeName(banco).constData(),
                        QFile::encodeName(dir.filePath(QStringLiteral("fisico.mdb"))).constData()),
                 0);
        const QByteArray original = conteudo(banco);

        const Execucao r =
            executa({QStringLiteral("resultado"), QStringLiteral("banco.mdb"),
                     QDate::currentDate().toString(Qt::ISODate), QStringLiteral("--pdf"), saida},
                    dir.path());
        QVERIFY(conteudo(banco) == original);
        QCOMPARE(conteudo(notas), QByteArray("anotações"));
        QVERIFY(QFileInfo(dir.filePath(QStringLiteral("leva-ao-banco.pdf"))).isSymLink());
        // No temporary file left behind, refused or not.
        QCOMPARE(QDir(dir.path()).entryList({QStringLiteral(".*")}, QDir::Files | QDir::Hidden), QStringList{});
        if (!motivo.isEmpty()) {
            QCOMPARE(r.codigo, 1);
            QVERIFY2(r.erro.contains(saida.toUtf8()), r.erro.constData());
            QVERIFY2(r.erro.contains(motivo.toUtf8()), r.erro.constData());
            QVERIFY(r.saida.isEmpty());
            for (const QString &nome : QDir(dir.path()).entryList(QDir::Files))
                QVERIFY2(!conteudo(dir.filePath(nome)).startsWith("%PDF"), qPrintable(nome));
        } else {
            QVERIFY2(r.codigo == 0, r.erro.constData());
            const QFileInfo pdf(dir.filePath(saida));
            QVERIFY(!pdf.isSymLink());
            QVERIFY(conteudo(pdf.filePath()).startsWith("%PDF"));
            QCOMPARE(pdf.permissions(), QFileInfo(notas).permissions()); // those of any new file
        }
    }

    // A report project that is not a regular file is missing, not read: a FIFO would
    // keep the tool waiting forever.
    void projetoQueNaoEArquivo()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString ferramenta = dir.filePath(QStringLiteral("votarim-banco"));
        QVERIFY(QFile::copy(QStringLiteral(VOTARIM_BANCO_EXE), ferramenta));
        QVERIFY(QFile::setPermissions(ferramenta, QFile::ReadOwner | QFile::ExeOwner));
        QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("relatorio.rav"))).constData(), 0600), 0);
        const QString banco = dir.filePath(QStringLiteral("banco.mdb"));
        QCOMPARE(executa({QStringLiteral("exemplo"), banco}).codigo, 0);
        QProcess p;
        p.start(ferramenta, {QStringLiteral("resultado"), banco, QDate::currentDate().toString(Qt::ISODate),
                             QStringLiteral("--pdf"), dir.filePath(QStringLiteral("r.pdf"))});
        const bool terminou = p.waitForFinished(30000);
        if (!terminou) p.kill(), p.waitForFinished();
        QVERIFY2(terminou, "a ferramenta ficou esperando o FIFO");
        QCOMPARE(p.exitCode(), 1);
        const QByteArray erro = p.readAllStandardError();
        QVERIFY2(erro.contains("não foi encontrado"), erro.constData());
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("r.pdf"))));
    }

    void argumentosErrados_data()
    {
        QTest::addColumn<QStringList>("argumentos");
        QTest::newRow("nenhum") << QStringList{};
        QTest::newRow("comando desconhecido")
            << QStringList{QStringLiteral("apaga"), QStringLiteral("x.mdb")};
        QTest::newRow("sem arquivo (novo)") << QStringList{QStringLiteral("novo")};
        QTest::newRow("sem arquivo (exemplo)") << QStringList{QStringLiteral("exemplo")};
        QTest::newRow("arquivo a mais")
            << QStringList{QStringLiteral("novo"), QStringLiteral("x.mdb"), QStringLiteral("y.mdb")};
        QTest::newRow("arquivo vazio") << QStringList{QStringLiteral("novo"), QString()};
    }

    void argumentosErrados()
    {
        QFETCH(QStringList, argumentos);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QStringList args;
        for (const QString &a : argumentos)
            args << (a.endsWith(QLatin1String(".mdb")) ? dir.filePath(a) : a);
        const Execucao r = executa(args);
        QCOMPARE(r.codigo, 2);
        QVERIFY2(r.erro.contains("Uso:"), r.erro.constData());
        QVERIFY(r.erro.contains("votarim-banco novo ARQUIVO"));
        QVERIFY(r.saida.isEmpty());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{});
    }

    void sonsGerados_data()
    {
        QTest::addColumn<QString>("nome");
        QTest::addColumn<double>("minimo");
        QTest::addColumn<double>("maximo");
        QTest::newRow("tecla") << QStringLiteral("01_beep.wav") << 0.05 << 0.2;
        QTest::newRow("confirma") << QStringLiteral("02_confcand.wav") << 0.4 << 0.8;
        QTest::newRow("fim") << QStringLiteral("03_conffim.wav") << 1.0 << 1.5;
    }

    void sonsGerados()
    {
        QFETCH(QString, nome);
        QFETCH(double, minimo);
        QFETCH(double, maximo);
        const QByteArray w = conteudo(QDir(QStringLiteral(VOTARIM_INSTALL_DIR "/sons")).filePath(nome));
        QVERIFY2(w.size() > 44, qPrintable(nome));
        const char *d = w.constData();
        const auto u16 = [d](int at) { return qFromLittleEndian<quint16>(d + at); };
        const auto u32 = [d](int at) { return qFromLittleEndian<quint32>(d + at); };
        QCOMPARE(w.mid(0, 4), QByteArray("RIFF"));
        QCOMPARE(qint64(u32(4)), qint64(w.size() - 8));
        QCOMPARE(w.mid(8, 4), QByteArray("WAVE"));
        QCOMPARE(w.mid(12, 4), QByteArray("fmt "));
        QCOMPARE(u32(16), 16u);
        QCOMPARE(u16(20), quint16(1)); // PCM
        QCOMPARE(u16(22), quint16(1)); // mono
        QCOMPARE(u32(24), 44100u);
        QCOMPARE(u32(28), 88200u);
        QCOMPARE(u16(32), quint16(2));
        QCOMPARE(u16(34), quint16(16));
        QCOMPARE(w.mid(36, 4), QByteArray("data"));
        const quint32 dados = u32(40);
        QCOMPARE(qint64(dados), qint64(w.size() - 44));
        const double segundos = double(dados) / 88200.0;
        QVERIFY2(segundos >= minimo && segundos <= maximo, qPrintable(QString::number(segundos)));

        // Audible, and starting and ending near silence so the speaker does not click.
        int pico = 0;
        for (quint32 i = 0; i < dados / 2; ++i)
            pico = std::max(pico, std::abs(int(qint16(u16(44 + 2 * int(i))))));
        QVERIFY(pico > 8000);
        QVERIFY(std::abs(int(qint16(u16(44)))) < 500);
        QVERIFY(std::abs(int(qint16(u16(w.size() - 2)))) < 500);
    }
};

QTEST_GUILESS_MAIN(TstBanco)
#include "tst_banco.moc"
