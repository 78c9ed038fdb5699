// Start-up: the database file beside the executable, the one connection, the
// logo, the empty order, and the general error report.

#include "apoio.h"
#include "app/votarim.h"
#include "platform/fontes.h"
#include "terminal/desenhos.h"
#include "data/ufrmdados.h"
#include "terminal/ufrmprincipal.h"
#include "platform/untutils.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QImage>
#include <QProcess>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

class TstInicio : public QObject
{
    Q_OBJECT

    const QString kSemBanco = QStringLiteral("O banco de dados não foi encontrado !  ");
    const QString kSemConexao = QStringLiteral("Não foi possivel conectar ao banco de dados !");

    static void escreve(const QString &caminho, const QByteArray &bytes)
    {
        QFile f(caminho);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(f.write(bytes), bytes.size());
    }

    static void ordemDeUmCargo(const QString &banco)
    {
        Database db;
        Esquema::prepara(db);
        db.setConnectionString(Database::connectionStringFor(banco));
        db.open();
        executa(db, "insert into cargo (cargo, quantidade_numeros) values (\"Presidente\", 2)");
        executa(db, "insert into ordem_votacao (ordem_votacao, id_cargo) values (1, 1)");
    }

private slots:
    void initTestCase() { Fontes::carrega(); } // as the program does, so the stored pictures match
    void cleanup() { desconecta_banco(); }

    void missingDatabase()
    {
        InstalacaoTeste inst(false);
        Mensagens_vistas msgs;
        Tfrmprincipal w;
        QCOMPARE(msgs.textos(), QStringList{kSemBanco});
        QCOMPARE(msgs.lista[0].icone, Mensagens::Icone::Erro);
        QVERIFY(encerramento_pedido());
        QVERIFY(frmdados == nullptr); // no data module, no logo
        QVERIFY(!QFile::exists(inst.banco()));
    }

    // Only a regular file counts as the database.
    void notARegularFile_data()
    {
        QTest::addColumn<bool>("pasta");
        QTest::addRow("folder") << true;
        QTest::addRow("pipe") << false;
    }
    void notARegularFile()
    {
        QFETCH(bool, pasta);
        InstalacaoTeste inst(false);
        int escrita = -1;
        if (pasta) {
            QVERIFY(QDir(inst.dir.path()).mkdir(Esquema::kArquivoBanco));
        } else {
            QVERIFY(::mkfifo(QFile::encodeName(inst.banco()).constData(), 0600) == 0);
            // Held open and filled, so that a read of it cannot block this test.
            escrita = ::open(QFile::encodeName(inst.banco()).constData(), O_RDWR | O_NONBLOCK);
            QVERIFY(escrita >= 0);
            QCOMPARE(::write(escrita, QByteArray(200, 'x').constData(), 200), ssize_t(200));
        }
        {
            Mensagens_vistas msgs;
            Tfrmprincipal w;
            QCOMPARE(msgs.textos(), QStringList{kSemBanco});
            QVERIFY(encerramento_pedido());
            QVERIFY(frmdados == nullptr);
        }
        if (escrita >= 0) ::close(escrita);
    }

    void unusableFile_data()
    {
        QTest::addColumn<int>("tipo");
        QTest::addRow("empty") << 0;
        QTest::addRow("not a database") << 1;
        QTest::addRow("truncated") << 2;
        QTest::addRow("header damaged") << 3;
        QTest::addRow("a database of something else") << 4;
        QTest::addRow("the election's tables with other columns") << 5;
        QTest::addRow("a column renamed, write-ahead log") << 6;
    }
    void unusableFile()
    {
        QFETCH(int, tipo);
        InstalacaoTeste inst(tipo == 2 || tipo == 3 || tipo == 6);
        if (tipo == 2 || tipo == 3) {
            ordemDeUmCargo(inst.banco());
            QFile f(inst.banco());
            QVERIFY(f.open(QIODevice::ReadWrite));
            QByteArray bytes = f.readAll();
            if (tipo == 2) {
                QVERIFY(f.resize(bytes.size() / 2));
            } else {
                f.seek(0);
                f.write("SQLite format 2");
            }
        } else if (tipo == 0) {
            escreve(inst.banco(), {});
        } else if (tipo == 1) {
            escreve(inst.banco(), "Provider=Microsoft.Jet.OLEDB.4.0; isto não é um banco\n");
        } else if (tipo == 4) {
            QProcess::execute("sqlite3", {inst.banco(), "create table t(x)"});
            if (!QFile::exists(inst.banco())) QSKIP("sqlite3 command-line tool missing");
        } else {
            Database outro; // made by another program: no checks, the engine's own journal
            outro.create(inst.banco());
            if (tipo == 5)
                for (const char *t : {"cargo", "partido", "candidatos", "ordem_votacao", "candidatos_votacao",
                                      "contagem_votacao"})
                    outro.execScript(QString("create table %1 (x)").arg(t));
            else
                outro.execScript("alter table candidatos rename column foto to retrato");
        }
        escreve(inst.caminho(Instalacao::kLogo), "nem bitmap"); // would be a second message
        const QByteArray antes = hashArquivo(inst.banco());
        const auto tamanho = QFileInfo(inst.banco()).size();
        const QStringList arquivos = QDir(inst.dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System);
        {
            Mensagens_vistas msgs;
            Tfrmprincipal w;
            QCOMPARE(msgs.textos(), QStringList{kSemConexao});
            QCOMPARE(msgs.lista[0].icone, Mensagens::Icone::Erro);
            QVERIFY(encerramento_pedido());
            QVERIFY(!banco_conectado);
            QVERIFY(frmdados != nullptr); // the data module stays
        }
        QCOMPARE(QFileInfo(inst.banco()).size(), tamanho);
        QCOMPARE(hashArquivo(inst.banco()), antes);
        // No log or journal left beside it either.
        QCOMPARE(QDir(inst.dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System), arquivos);
    }

    // A ";" in the folder cuts "Data Source" short.
    void semicolonInFolder()
    {
        InstalacaoTeste inst(true, QDir::tempPath() + "/votarim;pasta-XXXXXX");
        QVERIFY(inst.dir.path().contains(';'));
        Mensagens_vistas msgs;
        Tfrmprincipal w;
        QCOMPARE(msgs.textos(), QStringList{kSemConexao});
        QVERIFY(encerramento_pedido());
    }

    void secondCopyIsRefused()
    {
        InstalacaoTeste inst;
        ordemDeUmCargo(inst.banco());
        QProcess primeira;
        primeira.start(SONDA_EXE, {"segura", inst.dir.path()});
        QVERIFY(primeira.waitForReadyRead(10000));
        QCOMPARE(primeira.readLine().trimmed(), QByteArray("pronto"));
        {
            Mensagens_vistas msgs;
            Tfrmprincipal w;
            QCOMPARE(msgs.textos(), QStringList{kSemConexao});
            QVERIFY(encerramento_pedido());
        }
        primeira.closeWriteChannel();
        QVERIFY(primeira.waitForFinished(10000));
        QCOMPARE(primeira.exitCode(), 0);
        desconecta_banco();

        // Once the first copy has ended the program starts normally.
        Mensagens_vistas msgs;
        Tfrmprincipal w;
        QVERIFY(!encerramento_pedido());
        w.show();
        QCOMPARE(w.tipo_candidato->text(), QString("Presidente"));
        QVERIFY(msgs.lista.empty());
    }

    void logoNotABitmap()
    {
        InstalacaoTeste inst;
        ordemDeUmCargo(inst.banco());
        escreve(inst.caminho(Instalacao::kLogo), "isto não é um bitmap");
        Mensagens_vistas msgs;
        Tfrmprincipal w;
        QCOMPARE(msgs.lista.size(), size_t(1));
        QCOMPARE(msgs.lista[0].icone, Mensagens::Icone::Erro);
        QVERIFY(msgs.lista[0].texto.endsWith('.'));
        QVERIFY(!encerramento_pedido());
        QCOMPARE(w.Image1->pixmap().toImage().convertToFormat(QImage::Format_RGB32),
                 Desenhos::logoPadrao().convertToFormat(QImage::Format_RGB32));
        w.show();
        QCOMPARE(w.tipo_candidato->text(), QString("Presidente")); // start-up went on
    }

    // A larger logo shows only its top-left 100 x 69 pixels.
    void logoClippedToItsBox()
    {
        InstalacaoTeste inst;
        ordemDeUmCargo(inst.banco());
        QImage logo(200, 138, QImage::Format_RGB888);
        logo.fill(Qt::blue);
        for (int y = 0; y < 69; ++y)
            for (int x = 0; x < 100; ++x) logo.setPixelColor(x, y, Qt::red);
        QVERIFY(logo.save(inst.caminho(Instalacao::kLogo), "BMP"));
        Mensagens_vistas msgs;
        Tfrmprincipal w;
        w.show();
        QVERIFY(msgs.lista.empty());
        const QImage visto = w.Image1->grab().toImage();
        for (const QPoint p : {QPoint(0, 0), QPoint(99, 68), QPoint(50, 30), QPoint(99, 0), QPoint(0, 68)})
            QCOMPARE(visto.pixelColor(p), QColor(Qt::red));
    }

    void emptyOrderTold_data()
    {
        QTest::addColumn<bool>("orfa");
        QTest::addRow("no rows") << false;
        QTest::addRow("only a row whose office is gone") << true;
    }
    void emptyOrderTold()
    {
        QFETCH(bool, orfa);
        InstalacaoTeste inst;
        if (orfa) {
            Database db;
            Esquema::prepara(db);
            db.setConnectionString(Database::connectionStringFor(inst.banco()));
            db.open();
            executa(db, "insert into ordem_votacao (ordem_votacao, id_cargo) values (1, 42)");
        }
        Mensagens_vistas msgs;
        Tfrmprincipal w;
        QVERIFY(msgs.lista.empty());
        w.show();
        w.hide();
        w.show(); // told once, at start-up
        QCOMPARE(msgs.textos(), QStringList{"Defina uma ordem de votação para os candidatos"});
        QCOMPARE(msgs.lista[0].icone, Mensagens::Icone::Informacao);
    }

    void orderThatFailsToOpenIsReported()
    {
        InstalacaoTeste inst;
        Mensagens_vistas msgs;
        Tfrmprincipal w;
        executa(frmdados->conexaoDB, "alter table cargo rename to cargo_antigo");
        w.show();
        QCOMPARE(msgs.lista.size(), size_t(1));
        QCOMPARE(msgs.lista[0].icone, Mensagens::Icone::Erro);
        QVERIFY(w.isVisible());
        QVERIFY(w.close()); // no cycle to protect
    }

    void fullStopRule_data()
    {
        QTest::addColumn<QString>("texto");
        QTest::addColumn<QString>("esperado");
        QTest::addRow("letter") << "Tabela inexistente" << "Tabela inexistente.";
        QTest::addRow("full stop") << "Fim." << "Fim.";
        QTest::addRow("exclamation") << "Atenção !" << "Atenção !";
        QTest::addRow("parenthesis") << "(erro)" << "(erro)";
        QTest::addRow("question mark") << "Erro?" << "Erro?.";
        QTest::addRow("slash") << "a/" << "a/.";
        QTest::addRow("hyphen") << "a-" << "a-";
        QTest::addRow("digit") << "código 5" << "código 5.";
        QTest::addRow("accented") << "não" << "não.";
        QTest::addRow("blank") << "texto " << "texto ";
        QTest::addRow("empty") << "" << "";
    }
    void fullStopRule()
    {
        QFETCH(QString, texto);
        QFETCH(QString, esperado);
        QCOMPARE(Mensagens::comPonto(texto), esperado);
    }

    // Qt's own dialogs speak Portuguese: the photo chooser's labels and every Cancel button.
    void qtDialogsInPortuguese()
    {
        Votarim::traduzDialogos();
        QDialogButtonBox botoes(QDialogButtonBox::Cancel | QDialogButtonBox::Save);
        QCOMPARE(botoes.button(QDialogButtonBox::Cancel)->text(), QString("Cancelar"));
        QFileDialog dialogo;
        dialogo.setOption(QFileDialog::DontUseNativeDialog);
        QStringList textos;
        for (QLabel *l : dialogo.findChildren<QLabel *>()) textos << l->text();
        QVERIFY2(textos.join('|').contains("Procurar em"), qPrintable(textos.join('|')));
    }

    void errorReportOwnedByActiveWindow()
    {
        QWidget janela;
        janela.show();
        QApplication::setActiveWindow(&janela);
        QWidget *dono = nullptr;
        QString texto;
        Mensagens::defineObservador([&](Mensagens::Icone i, const QString &t, QWidget *d) {
            QCOMPARE(i, Mensagens::Icone::Erro);
            texto = t;
            dono = d;
        });
        bool depois = false;
        Mensagens::protegido([&] {
            throw DbError("Falha no disco");
            depois = true;
        });
        Mensagens::defineObservador({});
        QVERIFY(!depois); // the rest of the handler is abandoned
        QCOMPARE(texto, QString("Falha no disco."));
        QCOMPARE(dono, QApplication::activeWindow());
    }
};

QTEST_MAIN(TstInicio)
#include "tst_inicio.moc"
