// The ballot without its window: the outcome of the lookups after each digit, the
// vote record CONFIRMA stores for each kind, and what a voter is told about it.

#include "eleicao_teste.h"
#include "terminal/cedula.h"
#include "terminal/fala.h"
#include "terminal/guiavoz.h"

#include <QSignalSpy>

namespace
{

// Records what the guidance says, and each change of speed, in order.
struct FalaGravada : SaidaFala {
    QStringList *ditos;
    explicit FalaGravada(QStringList *l) : ditos(l) {}
    void diz(const QString &texto) override { *ditos << texto; }
    void defineVelocidade(double v) override { *ditos << QString("velocidade %1").arg(v); }
};

} // namespace

class TstCedula : public QObject
{
    Q_OBJECT

    std::unique_ptr<InstalacaoTeste> m_inst;
    Database m_db;
    std::unique_ptr<Cedula> c;

    // A fresh ballot at an office, as the terminal prepares it from the voting order.
    void novaCedula(int cargo)
    {
        executa(m_db, "delete from contagem_votacao");
        c = std::make_unique<Cedula>(m_db);
        Query q(m_db);
        q.setSql("select cargo, quantidade_numeros from cargo where numcad_cargo = :c");
        q.setParam(0, cargo);
        q.open();
        qint64 n = 0;
        try {
            n = q.field(QStringLiteral("quantidade_numeros")).asInteger();
        } catch (const DbError &) {
        }
        c->prepara_cargo(q.field(QStringLiteral("cargo")).asString(), QString::number(cargo), n);
    }
    void digita(const QString &teclas)
    {
        for (QChar d : teclas) {
            if (d == 'B')
                c->branco();
            else
                c->digita_tecla(QString(d));
        }
    }
    QList<QVariantList> votos()
    {
        Query q(m_db);
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

private slots:
    void initTestCase()
    {
        m_inst = std::make_unique<InstalacaoTeste>();
        preencheEleicao(*m_inst);
        Esquema::prepara(m_db);
        m_db.setConnectionString(Database::connectionStringFor(m_inst->banco()));
        m_db.open();
    }
    void cleanupTestCase()
    {
        c.reset();
        m_db.close();
    }

    // The outcomes of the check after each digit, by office and digits keyed.
    void lookup_data()
    {
        QTest::addColumn<int>("cargo");
        QTest::addColumn<QString>("teclas");
        QTest::addColumn<QString>("titulo");
        QTest::addColumn<QString>("marca");
        QTest::addColumn<QString>("nome");    // empty: name hidden
        QTest::addColumn<QString>("partido"); // empty: party hidden
        QTest::addColumn<QString>("digitado");
        QTest::addRow("1 digit, candidate") << int(kConselheiro) << "7" << "Conselheiro" << "" << "Fabio"
                                            << "Partido Azul" << "7";
        QTest::addRow("1 digit, wrong") << int(kConselheiro) << "3" << "NÚMERO ERRADO" << "(Voto nulo)" << ""
                                        << "" << "3";
        QTest::addRow("2 digits, first only") << int(kPresidente) << "4" << "Presidente" << "" << "" << "" << "4";
        QTest::addRow("2 digits, candidate") << int(kPresidente) << "45" << "Presidente" << "" << "Bruno"
                                             << "Partido Verde" << "45";
        QTest::addRow("2 digits, wrong") << int(kPresidente) << "99" << "NÚMERO ERRADO" << "(Voto nulo)" << ""
                                         << "" << "99";
        QTest::addRow("2 digits, a legend is no legend vote")
            << int(kPresidente) << "22" << "NÚMERO ERRADO" << "(Voto nulo)" << "" << "" << "22";
        QTest::addRow("2 digits, party gone") << int(kPresidente) << "88" << "NÚMERO ERRADO" << "(Voto nulo)" << ""
                                              << "" << "88";
        QTest::addRow("3 digits, legend") << int(kSenador) << "45" << "Senador" << "(Voto de legenda)" << ""
                                          << "Partido Verde" << "45";
        QTest::addRow("3 digits, wrong legend") << int(kSenador) << "99" << "NÚMERO ERRADO" << "(Voto nulo)" << ""
                                                << "" << "99";
        QTest::addRow("3 digits, wrong legend ignores more") << int(kSenador) << "991" << "NÚMERO ERRADO"
                                                             << "(Voto nulo)" << "" << "" << "99";
        QTest::addRow("3 digits, candidate") << int(kSenador) << "451" << "Senador" << "" << "Carla"
                                             << "Partido Verde" << "451";
        QTest::addRow("3 digits, no such candidate") << int(kSenador) << "453" << "CANDIDATO INEXISTENTE"
                                                     << "(Voto de legenda)" << "" << "Partido Verde" << "453";
        QTest::addRow("3 digits, candidate of another office")
            << int(kSenador) << "130" << "CANDIDATO INEXISTENTE" << "(Voto de legenda)" << "" << "Partido Azul"
            << "130";
        QTest::addRow("3 digits, party gone, legend matched")
            << int(kSenador) << "459" << "CANDIDATO INEXISTENTE" << "(Voto de legenda)" << "" << "Partido Verde"
            << "459";
        QTest::addRow("4 digits, shorter number not shown") << int(kFederal) << "130" << "Deputado Federal"
                                                            << "(Voto de legenda)" << "" << "Partido Azul" << "130";
        QTest::addRow("4 digits, candidate") << int(kFederal) << "1301" << "Deputado Federal" << "" << "Davi"
                                             << "Partido Azul" << "1301";
        QTest::addRow("5 digits, keys after the last box") << int(kEstadual) << "451239" << "Deputado Estadual"
                                                           << "" << "Eva" << "Partido Verde" << "45123";
        QTest::addRow("blank takes no digit") << int(kSenador) << "B45" << "Senador" << "(Voto em branco)" << ""
                                              << "" << "";
        QTest::addRow("no digit count takes no digit") << int(kNove) << "45" << "Nove" << "" << "" << "" << "";
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
        novaCedula(cargo);
        digita(teclas);
        QCOMPARE(c->titulo(), titulo);
        QCOMPARE(c->textoMarca(), marca);
        QCOMPARE(c->mostraNome(), !nome.isEmpty());
        if (!nome.isEmpty()) QCOMPARE(c->nome(), nome);
        QCOMPARE(c->mostraPartido(), !partido.isEmpty());
        if (!partido.isEmpty()) QCOMPARE(c->partido(), partido);
        QCOMPARE(c->numero_digitado(), digitado);
    }

    void photoDecodedFromMemoryThroughItsFile()
    {
        const QString arquivo = m_inst->caminho(Instalacao::kFotoTerminal);
        novaCedula(kEstadual);
        QSignalSpy eventos(c.get(), &Cedula::evento);
        digita("45123");
        QCOMPARE(c->foto().pixelColor(5, 5), QColor(Qt::red));
        QVERIFY(!QFile::exists(arquivo));
        c->prepara_cargo("Deputado Estadual", QString::number(kEstadual), 5, Cedula::Evento::Corrigido);
        QVERIFY(c->foto().isNull());
        // A photo that is no bitmap: the lookup fails with the loader's message, the file stays.
        novaCedula(kSenador);
        QVERIFY_THROWS_EXCEPTION(DbError, digita("452"));
        QVERIFY(QFile::exists(arquivo));
        QCOMPARE(c->nome(), QString("Hugo"));
        QFile::remove(arquivo);
    }

    // What a voter hears along a ballot: keys as the terminal passes them on (digits,
    // B BRANCO, C CORRIGE, K CONFIRMA, and the keypad's ".", "+" and "-").
    void guidance_data()
    {
        QTest::addColumn<QList<int>>("ordem");
        QTest::addColumn<QString>("teclas");
        QTest::addColumn<QStringList>("falas");
        const QString presidente = "Seu voto para Presidente. Digite 2 números.";
        const QString senador = "Seu voto para Senador. Digite 3 números.";
        QTest::addRow("candidate, then the next office")
            << QList<int>{kPresidente, kSenador} << "45K"
            << QStringList{presidente, "4.", "Número 45. Bruno. Partido Verde.",
                           "Voto confirmado para Presidente. " + senador};
        QTest::addRow("legend vote, then the end")
            << QList<int>{kSenador} << "45K"
            << QStringList{senador, "4.", "5. Voto de legenda. Partido Verde.",
                           "Voto confirmado para Senador. Fim. Obrigado."};
        QTest::addRow("wrong number, a digit too many")
            << QList<int>{kPresidente} << "999K"
            << QStringList{presidente, "9.", "9. Número errado. Voto nulo.", "Tecla sem efeito.",
                           "Voto confirmado para Presidente. Fim. Obrigado."};
        QTest::addRow("blank, then keys that do nothing")
            << QList<int>{kPresidente} << "B4BK"
            << QStringList{presidente, "Voto em branco.", "Tecla sem efeito.", "Tecla sem efeito.",
                           "Voto confirmado para Presidente. Fim. Obrigado."};
        QTest::addRow("correction")
            << QList<int>{kSenador} << "99C451K"
            << QStringList{senador, "9.", "9. Número errado. Voto nulo.", "Corrigido. Digite novamente.", "4.",
                           "5. Voto de legenda. Partido Verde.", "Número 451. Carla. Partido Verde.",
                           "Voto confirmado para Senador. Fim. Obrigado."};
        QTest::addRow("no such candidate, then where the voter is")
            << QList<int>{kSenador} << "453."
            << QStringList{senador, "4.", "5. Voto de legenda. Partido Verde.", "3. Candidato inexistente.",
                           "Seu voto para Senador. Digitado: 4 5 3. Candidato inexistente."};
        QTest::addRow("where the voter is, nothing keyed")
            << QList<int>{kConselheiro} << "."
            << QStringList{"Seu voto para Conselheiro. Digite 1 número.",
                           "Seu voto para Conselheiro. Digitado: nenhum número."};
        QTest::addRow("confirm with nothing keyed")
            << QList<int>{kPresidente} << "K" << QStringList{presidente, "Tecla sem efeito."};
        QTest::addRow("office without digits")
            << QList<int>{kNove} << "4BK"
            << QStringList{"Seu voto para Nove. Não há número a digitar: só o voto em branco.", "Tecla sem efeito.",
                           "Voto em branco.", "Voto confirmado para Nove. Fim. Obrigado."};
        QTest::addRow("faster to the limit, slower")
            << QList<int>{kPresidente} << "+++++-"
            << QStringList{presidente,         "velocidade 0.25", "Mais rápido.",       "velocidade 0.5",
                           "Mais rápido.",     "velocidade 0.75", "Mais rápido.",       "velocidade 1",
                           "Mais rápido.",     "Velocidade máxima.", "velocidade 0.75", "Mais devagar."};
    }
    void guidance()
    {
        QFETCH(QList<int>, ordem);
        QFETCH(QString, teclas);
        QFETCH(QStringList, falas);
        executa(m_db, "delete from contagem_votacao");
        QStringList ditos;
        Cedula cedula(m_db);
        GuiaVoz guia(&cedula, std::make_unique<FalaGravada>(&ditos));
        int k = 0;
        const auto prepara = [&](Cedula::Evento motivo) {
            Query q(m_db);
            q.setSql("select cargo, quantidade_numeros from cargo where numcad_cargo = :c");
            q.setParam(0, ordem[k]);
            q.open();
            const QVariant n = q.field(1).value();
            cedula.prepara_cargo(q.field(0).asString(), QString::number(ordem[k]), n.toLongLong(), motivo);
        };
        prepara(Cedula::Evento::Cargo);
        QCoreApplication::processEvents();
        for (QChar t : teclas) {
            if (t.isDigit()) {
                if (!cedula.digita_tecla(QString(t))) cedula.semEfeito();
            } else if (t == 'B') {
                if (!cedula.branco()) cedula.semEfeito();
            } else if (t == 'C') {
                prepara(Cedula::Evento::Corrigido);
            } else if (t == 'K') {
                if (!cedula.podeConfirmar()) {
                    cedula.semEfeito();
                } else {
                    cedula.grava();
                    if (++k < ordem.size())
                        prepara(Cedula::Evento::Cargo);
                    else
                        cedula.encerra_ciclo();
                }
            } else if (t == '.') {
                guia.repete();
            } else if (t == '+') {
                guia.maisRapido();
            } else if (t == '-') {
                guia.maisDevagar();
            }
            QCoreApplication::processEvents(); // each key's words are said when its handler is over
        }
        QCOMPARE(ditos, falas);
    }

    // The keyboard as the keypad while the guidance is on.
    void keyboardKeys_data()
    {
        QTest::addColumn<int>("tecla");
        QTest::addColumn<bool>("numerico");
        QTest::addColumn<int>("acao");
        using A = GuiaVoz::Acao;
        QTest::addRow("digit row 0") << int(Qt::Key_0) << false << int(A::Digito);
        QTest::addRow("keypad 9") << int(Qt::Key_9) << true << int(A::Digito);
        QTest::addRow("Enter") << int(Qt::Key_Return) << false << int(A::Confirma);
        QTest::addRow("keypad Enter") << int(Qt::Key_Enter) << true << int(A::Confirma);
        QTest::addRow("Backspace") << int(Qt::Key_Backspace) << false << int(A::Corrige);
        QTest::addRow("keypad *") << int(Qt::Key_Asterisk) << true << int(A::Branco);
        QTest::addRow("* of the main keys") << int(Qt::Key_Asterisk) << false << int(A::SemEfeito);
        QTest::addRow("keypad .") << int(Qt::Key_Period) << true << int(A::Repete);
        QTest::addRow("keypad , (Portuguese)") << int(Qt::Key_Comma) << true << int(A::Repete);
        QTest::addRow("keypad Del, Num Lock off") << int(Qt::Key_Delete) << true << int(A::Repete);
        QTest::addRow("keypad +") << int(Qt::Key_Plus) << true << int(A::MaisRapido);
        QTest::addRow("keypad -") << int(Qt::Key_Minus) << true << int(A::MaisDevagar);
        QTest::addRow("- of the main keys") << int(Qt::Key_Minus) << false << int(A::SemEfeito);
        QTest::addRow("letter") << int(Qt::Key_A) << false << int(A::SemEfeito);
        QTest::addRow("Tab") << int(Qt::Key_Tab) << false << int(A::SemEfeito);
        QTest::addRow("Shift alone") << int(Qt::Key_Shift) << false << int(A::Nenhuma);
    }
    void keyboardKeys()
    {
        QFETCH(int, tecla);
        QFETCH(bool, numerico);
        QFETCH(int, acao);
        QCOMPARE(int(GuiaVoz::acaoDaTecla(tecla, numerico)), acao);
    }

    // Each kind of vote and the record CONFIRMA stores for it.
    void voteRecords_data()
    {
        QTest::addColumn<int>("cargo");
        QTest::addColumn<QString>("teclas"); // digits, or B for BRANCO
        QTest::addColumn<QVariantList>("registro");
        const QVariant n;
        const QDate hoje = QDate::currentDate();
        QTest::addRow("normal") << int(kPresidente) << "45"
                                << QVariantList{2, "45", "NORMAL", hoje, n, kPresidente, 2};
        QTest::addRow("normal, 5 digits") << int(kEstadual) << "45123"
                                          << QVariantList{6, "45123", "NORMAL", hoje, n, kEstadual, 2};
        QTest::addRow("legend after two digits") << int(kSenador) << "45"
                                                 << QVariantList{2, n, "LEGENDA", hoje, "45", kSenador, n};
        QTest::addRow("legend, number incomplete") << int(kFederal) << "130"
                                                   << QVariantList{1, n, "LEGENDA", hoje, "13", kFederal, n};
        QTest::addRow("legend after no such candidate") << int(kSenador) << "453"
                                                        << QVariantList{2, n, "LEGENDA", hoje, "45", kSenador, n};
        QTest::addRow("null keeps no number") << int(kSenador) << "99"
                                              << QVariantList{n, n, "NULO", hoje, n, kSenador, n};
        QTest::addRow("null, 1 digit") << int(kConselheiro) << "3"
                                       << QVariantList{n, n, "NULO", hoje, n, kConselheiro, n};
        QTest::addRow("null, 4 digits") << int(kFederal) << "99"
                                        << QVariantList{n, n, "NULO", hoje, n, kFederal, n};
        QTest::addRow("blank") << int(kPresidente) << "B" << QVariantList{n, n, "BRANCO", hoje, n, kPresidente, n};
        QTest::addRow("blank, 5 digits") << int(kEstadual) << "B"
                                         << QVariantList{n, n, "BRANCO", hoje, n, kEstadual, n};
        QTest::addRow("blank, no digit count") << int(kLetras) << "B"
                                               << QVariantList{n, n, "BRANCO", hoje, n, kLetras, n};
    }
    void voteRecords()
    {
        QFETCH(int, cargo);
        QFETCH(QString, teclas);
        QFETCH(QVariantList, registro);
        novaCedula(cargo);
        digita(teclas);
        QVERIFY(c->podeConfirmar());
        QSignalSpy eventos(c.get(), &Cedula::evento);
        c->grava();
        const auto v = votos();
        QCOMPARE(v.size(), 1);
        for (int i = 0; i < 7; ++i) {
            const QVariant &esperado = registro[i];
            const QVariant &visto = v[0][i];
            QVERIFY2(esperado.isNull() == visto.isNull() &&
                         (esperado.isNull() || esperado.toString() == visto.toString() ||
                          (esperado.typeId() == QMetaType::QDate && visto.toDate() == esperado.toDate())),
                     qPrintable(QString("column %1: %2 vs %3").arg(i).arg(visto.toString(), esperado.toString())));
        }
        QCOMPARE(eventos.size(), 1);
        QCOMPARE(eventos[0][0].value<Cedula::Evento>(), Cedula::Evento::Confirmado);
    }

    void confirmWithoutAVerdictDoesNothing_data()
    {
        QTest::addColumn<int>("cargo");
        QTest::addColumn<QString>("teclas");
        QTest::addRow("nothing keyed") << int(kPresidente) << "";
        QTest::addRow("incomplete, no mark") << int(kPresidente) << "4";
        QTest::addRow("3 digits, first only") << int(kSenador) << "4";
        QTest::addRow("no digit count, no blank") << int(kSemDigitos) << "4";
    }
    void confirmWithoutAVerdictDoesNothing()
    {
        QFETCH(int, cargo);
        QFETCH(QString, teclas);
        novaCedula(cargo);
        digita(teclas);
        QVERIFY(!c->podeConfirmar());
        c->grava();
        QVERIFY(votos().isEmpty());
        QCOMPARE(c->numero_digitado(), cargo == kSemDigitos ? QString() : teclas);
        // At the end of the cycle nothing is on screen to confirm.
        novaCedula(kPresidente);
        digita("45");
        c->encerra_ciclo();
        QVERIFY(!c->podeConfirmar() && !c->podeBranco() && !c->digita_tecla("4"));
    }

    // A lookup that fails leaves no key of an earlier ballot behind for CONFIRMA to store.
    void failedLookupStoresNoEarlierKeys_data()
    {
        QTest::addColumn<int>("primeiro");
        QTest::addColumn<QString>("voto1");
        QTest::addColumn<int>("segundo");
        QTest::addColumn<QString>("quebra"); // a column renamed so the second office's lookup fails
        QTest::addColumn<QString>("voto2");
        QTest::addRow("candidate") << int(kPresidente) << "45" << int(kEstadual) << "candidatos.nome_candidato"
                                   << "45123";
        QTest::addRow("legend") << int(kSenador) << "45" << int(kFederal) << "partido.partido" << "13";
    }
    void failedLookupStoresNoEarlierKeys()
    {
        QFETCH(int, primeiro);
        QFETCH(QString, voto1);
        QFETCH(int, segundo);
        QFETCH(QString, quebra);
        QFETCH(QString, voto2);
        novaCedula(primeiro);
        digita(voto1);
        c->grava();
        const QString tabela = quebra.section('.', 0, 0), coluna = quebra.section('.', 1);
        executa(m_db, QString("alter table %1 rename column %2 to quebrada").arg(tabela, coluna));
        c->prepara_cargo("segundo", QString::number(segundo), segundo == kEstadual ? 5 : 4);
        bool falhou = false;
        for (QChar d : voto2) {
            try {
                c->digita_tecla(QString(d));
            } catch (const DbError &) {
                falhou = true;
            }
        }
        executa(m_db, QString("alter table %1 rename column quebrada to %2").arg(tabela, coluna));
        QVERIFY(falhou);
        QVERIFY(!c->podeConfirmar());
        c->grava();
        QCOMPARE(votos().size(), 1);
        QCOMPARE(c->numero_digitado(), voto2);
    }
};

QTEST_GUILESS_MAIN(TstCedula)
#include "tst_cedula.moc"
