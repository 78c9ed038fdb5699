// The terminal window: layout, the walk through the voting order, number entry
// with its lookups, and the vote records that BRANCO, CORRIGE and CONFIRMA leave.

#include "eleicao_teste.h"
#include "app/votarim.h"
#include "platform/fontes.h"
#include "terminal/desenhos.h"
#include "platform/som.h"
#include "registration/ufrmcadcanditatos.h"
#include "data/ufrmdados.h"
#include "terminal/ufrmprincipal.h"
#include "platform/untutils.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFrame>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

namespace {

const char *nomeTecla(QChar d)
{
    static const char *nomes[] = {"btn_0", "btn_1", "btn_2", "btn_4", "Image3",
                                  "btn_5", "btn_6", "btn_7", "btn_8", "btn_9"};
    return nomes[d.digitValue()];
}

} // namespace

class TstTerminal : public QObject
{
    Q_OBJECT

    std::unique_ptr<InstalacaoTeste> m_inst;
    std::unique_ptr<Tfrmprincipal> w;
    Mensagens_vistas *m_msgs = nullptr;
    std::unique_ptr<Mensagens_vistas> m_msgsDono;
    QStringList m_sons;
    int m_bipsPadrao = 0;

    Database &db() { return frmdados->conexaoDB; }

    void novaJanela(const QList<int> &ordem)
    {
        w.reset();
        executa(db(), "delete from ordem_votacao");
        executa(db(), "delete from contagem_votacao");
        for (int i = 0; i < ordem.size(); ++i)
            executa(db(), "insert into ordem_votacao (ordem_votacao, id_cargo) values (:a, :b)", {i + 1, ordem[i]});
        m_msgs->lista.clear();
        w = std::make_unique<Tfrmprincipal>();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        m_sons.clear();
        m_bipsPadrao = 0;
    }

    void clica(const char *nome)
    {
        auto *k = w->findChild<QWidget *>(QLatin1String(nome));
        QVERIFY2(k, nome);
        QTest::mouseClick(k, Qt::LeftButton, {}, k->rect().center());
    }
    void digita(const QString &numero)
    {
        for (QChar d : numero) clica(nomeTecla(d));
    }

    QList<QVariantList> votos()
    {
        Query q(db());
        q.setSql("select * from contagem_votacao");
        q.open();
        QList<QVariantList> out;
        for (; !q.eof(); q.next()) {
            QVariantList l;
            for (int i = 0; i < 7; ++i) l << q.field(i).value();
            out << l;
        }
        return out;
    }

    QStringList caixasVisiveis() const
    {
        QStringList l;
        for (const char *n : {"Edit1", "Edit2", "Edit3", "Edit4", "Edit5"})
            if (!w->findChild<QLineEdit *>(n)->isHidden()) l << n;
        return l;
    }

private slots:
    void initTestCase()
    {
        Fontes::carrega(); // as the program does, so the stored pictures match
        m_msgsDono = std::make_unique<Mensagens_vistas>();
        m_msgs = m_msgsDono.get();
        m_inst = std::make_unique<InstalacaoTeste>();
        Votarim::ligaJanelas();
        QDir().mkpath(m_inst->caminho("sons"));
        // The real cues and sound module of the build: played for real, silent without an audio device.
        for (const QString &som : {Instalacao::kSomBip, Instalacao::kSomConfirma, Instalacao::kSomFim})
            QVERIFY(QFile::copy(QStringLiteral(VOTARIM_INSTALL_DIR "/") + som, m_inst->caminho(som)));
        Som::defineModulo(QStringLiteral(VOTARIM_INSTALL_DIR "/votarim-som"));
        connect(&Som::instancia(), &Som::tocou, this,
                [this](const QString &c) { m_sons << c.mid(Instalacao::pasta().size()); });
        connect(&Som::instancia(), &Som::bipPadrao, this, [this] { ++m_bipsPadrao; });

        preencheEleicao(*m_inst);
        conecta_banco();
        QVERIFY(banco_conectado);
    }

    void cleanupTestCase()
    {
        w.reset();
        desconecta_banco();
    }

    void layout_data()
    {
        QTest::addColumn<QString>("nome");
        QTest::addColumn<QRect>("geometria");
        QTest::addRow("Label1") << "Label1" << QRect(8, 8, 49, 13);
        QTest::addRow("Image1") << "Image1" << QRect(79, 10, 100, 69);
        QTest::addRow("Label12") << "Label12" << QRect(517, 8, 54, 18);
        QTest::addRow("btn_cadastro") << "btn_cadastro" << QRect(517, 6, 54, 20);
        QTest::addRow("banner") << "banner" << QRect(346, 82, 225, 50);
        QTest::addRow("tela_votos") << "tela_votos" << QRect(10, 90, 321, 297);
        QTest::addRow("tela_teclado") << "tela_teclado" << QRect(348, 138, 225, 265);
        QTest::addRow("Label11") << "Label11" << QRect(63, 77, 205, 116);
        for (int i = 0; i < 5; ++i)
            QTest::addRow("Edit%d", i + 1) << QString("Edit%1").arg(i + 1) << QRect(6 + 63 * i, 119, 57, 65);
        QTest::addRow("foto_candidato") << "foto_candidato" << QRect(213, 9, 105, 104);
        QTest::addRow("descricaovoto") << "descricaovoto" << QRect(69, 183, 199, 29);
        QTest::addRow("Label8") << "Label8" << QRect(57, 218, 256, 13);
        QTest::addRow("Label10") << "Label10" << QRect(57, 237, 256, 13);
        QTest::addRow("Shape1") << "Shape1" << QRect(0, 261, 321, 1);
        QTest::addRow("btn_1") << "btn_1" << QRect(24, 8, 45, 35);
        QTest::addRow("btn_4 is the 3") << "btn_4" << QRect(148, 8, 45, 35);
        QTest::addRow("Image3 is the 4") << "Image3" << QRect(24, 63, 45, 35);
        QTest::addRow("btn_0") << "btn_0" << QRect(87, 172, 45, 35);
        QTest::addRow("btn_branco") << "btn_branco" << QRect(5, 222, 67, 35);
        QTest::addRow("btn_corrige") << "btn_corrige" << QRect(78, 222, 67, 35);
        QTest::addRow("btn_confirma") << "btn_confirma" << QRect(153, 211, 67, 46);
    }
    void layout()
    {
        QFETCH(QString, nome);
        QFETCH(QRect, geometria);
        novaJanela({kPresidente});
        auto *c = w->findChild<QWidget *>(nome);
        QVERIFY(c);
        QCOMPARE(c->geometry(), geometria);
        QCOMPARE(w->size(), QSize(579, 409));
        QVERIFY(w->windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(w->windowTitle(), QString("Votarim"));
    }

    void keysAreNamedForScreenReaders()
    {
        novaJanela({kPresidente});
        const QList<QPair<const char *, QString>> teclas = {
            {"btn_1", "1"}, {"btn_2", "2"}, {"btn_4", "3"}, {"Image3", "4"}, {"btn_5", "5"}, {"btn_6", "6"},
            {"btn_7", "7"}, {"btn_8", "8"}, {"btn_9", "9"}, {"btn_0", "0"}, {"btn_branco", "BRANCO"},
            {"btn_corrige", "CORRIGE"}, {"btn_confirma", "CONFIRMA"}};
        for (const auto &[nome, acessivel] : teclas)
            QCOMPARE(w->findChild<QWidget *>(nome)->accessibleName(), acessivel);
    }

    void officePreparedWithItsBoxes_data()
    {
        QTest::addColumn<int>("cargo");
        QTest::addColumn<QStringList>("caixas");
        QTest::addColumn<int>("qtd");
        QTest::addRow("1 digit") << int(kConselheiro) << QStringList{"Edit1"} << 1;
        QTest::addRow("2 digits") << int(kPresidente) << QStringList{"Edit1", "Edit2"} << 2;
        QTest::addRow("5 digits") << int(kEstadual) << QStringList{"Edit1", "Edit2", "Edit3", "Edit4", "Edit5"} << 5;
        QTest::addRow("no digit count") << int(kSemDigitos) << QStringList{} << 0;
        QTest::addRow("nine digits") << int(kNove) << QStringList{} << 0;
    }
    void officePreparedWithItsBoxes()
    {
        QFETCH(int, cargo);
        QFETCH(QStringList, caixas);
        QFETCH(int, qtd);
        novaJanela({cargo});
        QCOMPARE(caixasVisiveis(), caixas);
        QCOMPARE(w->qtd_digitos(), qtd);
        QVERIFY(w->atencaodovoto->text().isEmpty());
        QVERIFY(m_msgs->lista.empty());
    }

    // The screen shows the ballot's verdict: heading, mark, name and party.
    void lookup_data()
    {
        QTest::addColumn<int>("cargo");
        QTest::addColumn<QString>("teclas");
        QTest::addColumn<QString>("titulo");
        QTest::addColumn<QString>("marca");
        QTest::addColumn<QString>("nome");    // empty: name hidden
        QTest::addColumn<QString>("partido"); // empty: party hidden
        QTest::addColumn<QString>("digitado");
        QTest::addRow("2 digits, first only") << int(kPresidente) << "4" << "Presidente" << "" << "" << "" << "4";
        QTest::addRow("2 digits, candidate") << int(kPresidente) << "45" << "Presidente" << "" << "Bruno"
                                             << "Partido Verde" << "45";
        QTest::addRow("2 digits, wrong") << int(kPresidente) << "99" << "NÚMERO ERRADO" << "(Voto nulo)" << ""
                                         << "" << "99";
        QTest::addRow("3 digits, legend") << int(kSenador) << "45" << "Senador" << "(Voto de legenda)" << ""
                                          << "Partido Verde" << "45";
        QTest::addRow("3 digits, wrong legend ignores more") << int(kSenador) << "991" << "NÚMERO ERRADO"
                                                             << "(Voto nulo)" << "" << "" << "99";
        QTest::addRow("3 digits, no such candidate") << int(kSenador) << "453" << "CANDIDATO INEXISTENTE"
                                                     << "(Voto de legenda)" << "" << "Partido Verde" << "453";
        QTest::addRow("5 digits, keys after the last box") << int(kEstadual) << "451239" << "Deputado Estadual"
                                                           << "" << "Eva" << "Partido Verde" << "45123";
    }
    void lookup()
    {
        QFETCH(int, cargo);
        QFETCH(QString, teclas);
        QFETCH(QString, titulo);
        QFETCH(QString, marca);
        QFETCH(QString, nome);
        QFETCH(QString, partido);
        QFETCH(QString, digitado);
        novaJanela({cargo});
        digita(teclas);
        QCOMPARE(w->tipo_candidato->text(), titulo);
        QCOMPARE(w->atencaodovoto->text(), marca);
        QCOMPARE(!w->atencaodovoto->isHidden(), !marca.isEmpty());
        QCOMPARE(w->piscaatencaodovoto->isActive(), !marca.isEmpty());
        QCOMPARE(!w->Label8->isHidden(), !nome.isEmpty());
        if (!nome.isEmpty()) QCOMPARE(w->Label8->text(), nome);
        QCOMPARE(!w->Label10->isHidden(), !partido.isEmpty());
        if (!partido.isEmpty()) QCOMPARE(w->Label10->text(), partido);
        QCOMPARE(w->numero_digitado(), digitado);
        QCOMPARE(m_sons.count(Instalacao::kSomBip), teclas.size()); // every key beeps
        QVERIFY(m_msgs->lista.empty());
    }

    void photoShownThroughTemporaryFile()
    {
        novaJanela({kEstadual});
        digita("45123");
        QVERIFY(!w->foto_candidato->isHidden());
        QCOMPARE(w->foto_candidato->pixmap().toImage().pixelColor(5, 5), QColor(Qt::red));
        QVERIFY(!QFile::exists(m_inst->caminho(Instalacao::kFotoTerminal)));
        clica("btn_corrige");
        QVERIFY(w->foto_candidato->pixmap().isNull());
        digita("45"); // a candidate without a photo leaves the picture empty
        novaJanela({kPresidente});
        digita("45");
        QVERIFY(w->foto_candidato->pixmap().isNull());
    }

    void unreadablePhotoIsReported()
    {
        novaJanela({kSenador});
        digita("452");
        QCOMPARE(m_msgs->textos(), QStringList{"A imagem bitmap não é válida."});
        QCOMPARE(m_msgs->lista[0].icone, Mensagens::Icone::Erro);
        QVERIFY(QFile::exists(m_inst->caminho(Instalacao::kFotoTerminal))); // left for the next photo
        QCOMPARE(w->Label8->text(), QString("Hugo"));
        QFile::remove(m_inst->caminho(Instalacao::kFotoTerminal));
    }

    void keyboardTypingIsDropped()
    {
        novaJanela({kPresidente});
        w->Edit1->setFocus();
        QTest::keyClicks(w->Edit1, "45");
        QTest::keyClick(w->Edit1, Qt::Key_V, Qt::ControlModifier);
        QVERIFY(w->Edit1->text().isEmpty());
        digita("4");
        QTest::keyClick(w->Edit1, Qt::Key_Backspace);
        QTest::keyClick(w->Edit1, Qt::Key_Delete);
        QCOMPARE(w->Edit1->text(), QString("4"));
    }

    void blankKeyRules()
    {
        novaJanela({kSenador});
        digita("4");
        m_sons.clear();
        clica("btn_branco"); // after a digit: nothing, not even the beep
        QVERIFY(m_sons.isEmpty());
        QVERIFY(w->descricaovoto->isHidden());
        clica("btn_corrige");
        clica("btn_branco");
        QCOMPARE(w->descricaovoto->text(), QString("VOTO EM BRANCO"));
        QVERIFY(!w->descricaovoto->isHidden());
        QVERIFY(w->Label6->isHidden());
        QVERIFY(caixasVisiveis().isEmpty());
        QCOMPARE(w->atencaodovoto->text(), QString("(Voto em branco)"));
        QVERIFY(w->atencaodovoto->isHidden()); // shows at the first blink
        QVERIFY(w->piscaatencaodovoto->isActive());
        w->piscaatencaodovotoTimer();
        QVERIFY(!w->atencaodovoto->isHidden());
        m_sons.clear();
        clica("btn_branco"); // twice: nothing
        digita("45");        // digits: beep only
        QCOMPARE(m_sons, (QStringList{Instalacao::kSomBip, Instalacao::kSomBip}));
        QCOMPARE(w->numero_digitado(), QString());
        clica("btn_corrige"); // back to the boxes
        QCOMPARE(caixasVisiveis(), (QStringList{"Edit1", "Edit2", "Edit3"}));
        QVERIFY(!w->Label6->isHidden());
        QVERIFY(w->descricaovoto->isHidden());
        QVERIFY(w->atencaodovoto->isHidden());
        QVERIFY(!w->piscaatencaodovoto->isActive());
    }

    void correctStartsTheOfficeOver()
    {
        novaJanela({kSenador});
        digita("99");
        QCOMPARE(w->atencaodovoto->text(), QString("(Voto nulo)"));
        clica("btn_corrige");
        QCOMPARE(w->tipo_candidato->text(), QString("Senador"));
        QCOMPARE(w->numero_digitado(), QString());
        QVERIFY(w->atencaodovoto->text().isEmpty());
        digita("451");
        QCOMPARE(w->Label8->text(), QString("Carla"));
        clica("btn_corrige");
        QVERIFY(w->Label8->isHidden());
        QVERIFY(votos().isEmpty());
    }

    void blinkTimerTogglesTheMark()
    {
        novaJanela({kSenador});
        w->piscaatencaodovoto->setInterval(10);
        digita("99");
        QVERIFY(!w->atencaodovoto->isHidden());
        QTRY_VERIFY(w->atencaodovoto->isHidden());
        QTRY_VERIFY(!w->atencaodovoto->isHidden());
    }

    void cycleEndsWithFim()
    {
        novaJanela({kPresidente, kSenador});
        w->MostraFim->setInterval(30);
        digita("13");
        clica("btn_confirma");
        QCOMPARE(w->tipo_candidato->text(), QString("Senador"));
        QCOMPARE(caixasVisiveis(), (QStringList{"Edit1", "Edit2", "Edit3"}));
        digita("451");
        m_sons.clear();
        clica("btn_confirma");
        QCOMPARE(votos().size(), 2);
        QVERIFY(!w->Label11->isHidden());
        for (QWidget *x : std::initializer_list<QWidget *>{w->Label2, w->Label3, w->Label6, w->Label8, w->Label10,
                                                            w->foto_candidato, w->tipo_candidato, w->Shape1})
            QVERIFY2(x->isHidden(), qPrintable(x->objectName()));
        QVERIFY(caixasVisiveis().isEmpty());
        QCOMPARE(m_sons, (QStringList{Instalacao::kSomConfirma, Instalacao::kSomFim}));
        // The log that kept the order of the ballot's pages is emptied at the end of the cycle.
        QCOMPARE(QFileInfo(m_inst->banco() + "-wal").size(), 0);
        // During the display CONFIRMA and BRANCO do nothing.
        clica("btn_confirma");
        clica("btn_branco");
        QCOMPARE(votos().size(), 2);
        QTRY_VERIFY(w->Label11->isHidden());
        QCOMPARE(w->tipo_candidato->text(), QString("Presidente"));
        QCOMPARE(caixasVisiveis(), (QStringList{"Edit1", "Edit2"}));
        QTest::qWait(100);
        QVERIFY(!w->MostraFim->isActive()); // one tick only
    }

    void oneOfficeOrderEndsEveryVote()
    {
        novaJanela({kPresidente});
        digita("45");
        m_sons.clear();
        clica("btn_confirma");
        QVERIFY(!w->Label11->isHidden());
        QVERIFY(w->MostraFim->isActive());
        QCOMPARE(m_sons.last(), Instalacao::kSomFim);
        // CORRIGE during the display prepares the first office at once; the tick prepares it again.
        clica("btn_corrige");
        QVERIFY(w->Label11->isHidden());
        digita("4");
        w->MostraFimTimer();
        QCOMPARE(w->numero_digitado(), QString());
        QVERIFY(!w->MostraFim->isActive());
    }

    void closeRule()
    {
        const QString aviso = "Para fechar a Votarim é necessário que se complete todo o ciclo da votação !";
        novaJanela({kPresidente, kSenador});
        digita("4");
        QVERIFY(w->FormCloseQuery()); // digits at the first office do not prevent it
        digita("5");
        clica("btn_confirma");
        QVERIFY(!w->close());
        QCOMPARE(m_msgs->textos(), QStringList{aviso});
        QCOMPARE(m_msgs->lista[0].icone, Mensagens::Icone::Aviso);
        QVERIFY(w->isVisible());
        digita("45");
        QCOMPARE(w->atencaodovoto->text(), QString("(Voto de legenda)")); // state kept
        m_msgs->lista.clear();
        clica("Label1");
        QCOMPARE(m_msgs->textos(), QStringList{aviso});
        QVERIFY(w->isVisible());
        clica("btn_confirma"); // last office: FIM, cursor back at the first
        m_msgs->lista.clear();
        clica("Label1");
        QVERIFY(m_msgs->lista.empty());
        QVERIFY(!w->isVisible());
    }

    void emptyOrder()
    {
        novaJanela({});
        QCOMPARE(m_msgs->textos(), QStringList{"Defina uma ordem de votação para os candidatos"});
        QCOMPARE(m_msgs->lista[0].icone, Mensagens::Icone::Informacao);
        QVERIFY(caixasVisiveis().isEmpty());
        digita("45");
        clica("btn_branco");
        QCOMPARE(m_sons, (QStringList{Instalacao::kSomBip, Instalacao::kSomBip}));
        m_sons.clear();
        clica("btn_confirma");
        clica("btn_corrige");
        QVERIFY(m_sons.isEmpty());
        QCOMPARE(m_bipsPadrao, 0);
        QVERIFY(votos().isEmpty());
        QCOMPARE(m_msgs->lista.size(), size_t(1));
        QVERIFY(w->close());
    }

    // An office without a usable digit count takes no digit, but a blank vote, so the
    // voter can go on; no earlier candidate's keys are stored for it.
    void officeWithoutDigitCountTakesABlankVote_data()
    {
        QTest::addColumn<int>("cargo");
        QTest::addColumn<QString>("nome");
        QTest::addRow("empty") << int(kSemDigitos) << "Sem dígitos";
        QTest::addRow("nine") << int(kNove) << "Nove";
        QTest::addRow("zero") << int(kZero) << "Zero";
        QTest::addRow("minus one") << int(kMenosUm) << "Menos um";
        QTest::addRow("letters") << int(kLetras) << "Letras";
    }
    void officeWithoutDigitCountTakesABlankVote()
    {
        QFETCH(int, cargo);
        QFETCH(QString, nome);
        novaJanela({kPresidente, cargo, kSenador});
        digita("45");
        clica("btn_confirma");
        QCOMPARE(w->tipo_candidato->text(), nome);
        QVERIFY(caixasVisiveis().isEmpty());
        digita("45");
        clica("btn_confirma"); // no digit, no mark: nothing
        QCOMPARE(votos().size(), 1);
        clica("btn_branco");
        QCOMPARE(w->descricaovoto->text(), QString("VOTO EM BRANCO"));
        QCOMPARE(w->atencaodovoto->text(), QString("(Voto em branco)"));
        clica("btn_confirma");
        QCOMPARE(votos().size(), 2);
        QCOMPARE(contaLinhas(db(), "select count(*) from contagem_votacao where voto = 'BRANCO' and id_candidato is "
                                   "null and numero_candidato is null and id_partido is null and id_cargo = " +
                                       QString::number(cargo)),
                 1);
        QCOMPARE(w->tipo_candidato->text(), QString("Senador")); // the voter goes on
        QVERIFY(m_msgs->lista.empty());
    }

    // Names from the database are shown as they are, never read as HTML.
    void namesAreShownAsPlainText()
    {
        novaJanela({kHtml});
        QCOMPARE(w->tipo_candidato->text(), QString("<font color=#ff0000>Rubro</font>"));
        QVERIFY(!temVermelho(w->tipo_candidato));
        digita("7");
        QVERIFY(w->Label8->text().startsWith("<img src="));
        QVERIFY(!w->Label8->isHidden());
        QVERIFY(!temVermelho(w->Label8));
        QVERIFY(!temVermelho(w->Label10));
        QVERIFY(m_msgs->lista.empty());
    }

    // The photo file replaces whatever is at its name: a link there is not written through.
    void photoFileReplacesALink_data()
    {
        QTest::addColumn<bool>("alvoExiste");
        QTest::addRow("link to a file") << true;
        QTest::addRow("link to no file") << false;
    }
    void photoFileReplacesALink()
    {
        QFETCH(bool, alvoExiste);
        const QString alvo = m_inst->caminho("alvo.txt"), foto = m_inst->caminho(Instalacao::kFotoTerminal);
        QFile::remove(alvo);
        if (alvoExiste) {
            QFile f(alvo);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write("intocado") == 8);
        }
        QVERIFY(QFile::link(alvo, foto));
        novaJanela({kEstadual});
        digita("45123");
        QCOMPARE(w->foto_candidato->pixmap().toImage().pixelColor(5, 5), QColor(Qt::red));
        QVERIFY(!QFileInfo(foto).isSymLink() && !QFileInfo::exists(foto));
        QCOMPARE(QFileInfo::exists(alvo), alvoExiste);
        if (alvoExiste) {
            QFile f(alvo);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), QByteArray("intocado"));
        }
        QVERIFY(m_msgs->lista.empty());
        QFile::remove(alvo);
    }

    // A full disk is told in Portuguese, the engine's code kept; the ballot stays to be confirmed again.
    void fullDiskIsToldInPortuguese()
    {
        novaJanela({kSenador, kPresidente});
        digita("453");
        executa(db(), "pragma max_page_count = " + QString::number(contaLinhas(db(), "pragma page_count")));
        int codigo = 0;
        for (int i = 0; i < 100000 && codigo == 0; ++i) {
            try {
                executa(db(), "insert into contagem_votacao (voto, data) values ('NULO', '2020-01-01')");
            } catch (const DbError &e) {
                codigo = e.code();
            }
        }
        QCOMPARE(codigo & 0xff, 13); // SQLITE_FULL
        const int antes = int(votos().size());
        clica("btn_confirma");
        QCOMPARE(m_msgs->textos(), QStringList{"O disco está cheio: não foi possível gravar no banco de dados."});
        QCOMPARE(w->tipo_candidato->text(), QString("CANDIDATO INEXISTENTE"));
        executa(db(), "pragma max_page_count = 1073741823");
        clica("btn_confirma");
        QCOMPARE(int(votos().size()), antes + 1);
        QCOMPARE(w->tipo_candidato->text(), QString("Presidente"));
    }

    void refusedInsertKeepsTheBallot()
    {
        novaJanela({kSenador, kPresidente});
        digita("453");
        executa(db(), "create temp trigger recusa before insert on contagem_votacao begin select raise(abort, "
                      "'disco cheio'); end");
        clica("btn_confirma");
        QCOMPARE(m_msgs->textos(), QStringList{"disco cheio."});
        QCOMPARE(m_msgs->lista[0].icone, Mensagens::Icone::Erro);
        QCOMPARE(w->tipo_candidato->text(), QString("CANDIDATO INEXISTENTE"));
        QCOMPARE(w->numero_digitado(), QString("453"));
        QCOMPARE(w->atencaodovoto->text(), QString("(Voto de legenda)"));
        QVERIFY(votos().isEmpty());
        executa(db(), "drop trigger temp.recusa");
        clica("btn_confirma");
        QCOMPARE(votos().size(), 1);
        QCOMPARE(w->tipo_candidato->text(), QString("Presidente"));
    }

    void soundCues()
    {
        novaJanela({kPresidente});
        QFile::rename(m_inst->caminho(Instalacao::kSomConfirma), m_inst->caminho("guardado.wav"));
        digita("45");
        m_sons.clear();
        clica("btn_confirma"); // confirm cue missing: only the end cue
        QCOMPARE(m_sons, QStringList{Instalacao::kSomFim});
        QFile::rename(m_inst->caminho("guardado.wav"), m_inst->caminho(Instalacao::kSomConfirma));

        w->MostraFimTimer();
        QFile::rename(m_inst->caminho(Instalacao::kSomBip), m_inst->caminho("guardado.wav"));
        m_sons.clear();
        digita("4");
        QVERIFY(m_sons.isEmpty());
        clica("btn_corrige"); // asks for its cue without looking: the default sound
        QCOMPARE(m_bipsPadrao, 1);
        QFile::rename(m_inst->caminho("guardado.wav"), m_inst->caminho(Instalacao::kSomBip));
        clica("btn_corrige");
        QCOMPARE(m_sons, QStringList{Instalacao::kSomBip});
        QCOMPARE(m_bipsPadrao, 1);
    }

    void hiddenWayIntoRegistration()
    {
        novaJanela({kSenador});
        QVERIFY(w->btn_cadastro->isHidden());
        QCursor::setPos(w->mapToGlobal(QPoint(540, 15))); // the pointer in the corner
        QEvent entra(QEvent::Enter);
        QApplication::sendEvent(w->Label12, &entra);
        QVERIFY(!w->btn_cadastro->isHidden());
        QCursor::setPos(w->mapToGlobal(QPoint(200, 200)));
        QEvent sai(QEvent::Leave);
        QApplication::sendEvent(w->btn_cadastro, &sai);
        QVERIFY(w->btn_cadastro->isHidden());
        QCursor::setPos(w->mapToGlobal(QPoint(540, 15)));

        digita("45");
        bool aberta = false;
        QTimer::singleShot(0, this, [&] {
            aberta = frmcadastro && frmcadastro->isModal() && frmcadastro->parent() == w.get();
            if (frmcadastro) frmcadastro->close();
        });
        QApplication::sendEvent(w->Label12, &entra);
        QTest::mouseClick(w->btn_cadastro, Qt::LeftButton);
        QVERIFY(aberta);
        QTRY_VERIFY(frmcadastro == nullptr);
        QCOMPARE(w->atencaodovoto->text(), QString("(Voto de legenda)")); // the visit touches nothing
        QCOMPARE(w->numero_digitado(), QString("45"));
    }

    // The pictures stored with the program at build time are the drawings themselves.
    void storedPicturesAreTheDrawings()
    {
        const auto igual = [](const QImage &a, const QImage &b) {
            return a.convertToFormat(QImage::Format_ARGB32_Premultiplied) ==
                   b.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        };
        const auto desenhada = [](QSize t, auto desenha) {
            QImage img(t, QImage::Format_ARGB32_Premultiplied);
            img.fill(Qt::transparent);
            QPainter p(&img);
            desenha(p);
            return img;
        };
        QVERIFY(igual(Desenhos::pronta("logo"), Desenhos::logoPadrao()));
        QVERIFY(igual(Desenhos::pronta("icone"), Desenhos::imagemIcone()));
        QVERIFY(igual(Desenhos::pronta("banner"),
                      desenhada({225, 50}, [](QPainter &p) { Desenhos::desenhaBanner(p, QRectF(0, 0, 225, 50)); })));
        using Desenhos::Tecla;
        const QList<std::tuple<Tecla, QString, QSize>> teclas = {
            {Tecla::Digito, "0", {45, 35}},         {Tecla::Digito, "7", {45, 35}},
            {Tecla::Branco, "BRANCO", {67, 35}},    {Tecla::Corrige, "CORRIGE", {67, 35}},
            {Tecla::Confirma, "CONFIRMA", {67, 46}}};
        for (const auto &[tipo, rotulo, tamanho] : teclas)
            for (bool pressionada : {false, true})
                QVERIFY2(igual(Desenhos::pronta(Desenhos::nomeDaTecla(rotulo, pressionada)),
                               desenhada(tamanho,
                                         [&](QPainter &p) {
                                             Desenhos::desenhaTecla(p, QRectF(QPointF(0, 0), tamanho), tipo, rotulo,
                                                                    pressionada);
                                         })),
                         qPrintable(rotulo));
        QVERIFY(Desenhos::pronta("nenhuma").isNull());
    }

    void keyFacesAreDrawn()
    {
        novaJanela({kPresidente});
        const QImage verde = w->btn_confirma->grab().toImage();
        const QColor centro = verde.pixelColor(verde.width() / 6, verde.height() / 2);
        QVERIFY2(centro.green() > centro.red() && centro.green() > centro.blue(), "CONFIRMA is green");
        const QImage laranja = w->btn_corrige->grab().toImage();
        const QColor c2 = laranja.pixelColor(laranja.width() / 8, laranja.height() / 2);
        QVERIFY2(c2.red() > 180 && c2.blue() < 100, "CORRIGE is orange");
        QVERIFY(!w->Image1->pixmap().isNull());
        QCOMPARE(w->Image1->pixmap().size(), QSize(100, 69));
    }
};

QTEST_MAIN(TstTerminal)
#include "tst_terminal.moc"
