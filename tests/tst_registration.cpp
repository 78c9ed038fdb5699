// The registration window on a fresh installation each: the shared data module and
// its two chains, the tabs, photos, the voting order, the voting-day map with its
// filter, the picture loader (here and in the terminal), and what the database refuses.

#include "apoio.h"
#include "data/diatexto.h"
#include "data/ufrmdados.h"
#include "platform/bitmap.h"
#include "platform/dbedit.h"
#include "platform/dbgrid.h"
#include "platform/dblookupcombo.h"
#include "platform/fontes.h"
#include "platform/untutils.h"
#include "registration/seletordata.h"
#include "registration/ufrmcadcanditatos.h"
#include "reports/ufrmimpressao.h"
#include "terminal/ufrmprincipal.h"

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QClipboard>
#include <QFileDialog>
#include <QGroupBox>
#include <QListView>
#include <QPointer>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QtEndian>

using Button = DbNavigator::Button;

namespace
{

// A bitmap's headers alone, claiming largura x altura: the 40-byte header, or the old 12-byte one.
QByteArray cabecalhoBmp(qint32 largura, qint32 altura, bool antigo = false)
{
    QByteArray b = "BM" + QByteArray(antigo ? 24 : 52, '\0');
    auto *p = reinterpret_cast<uchar *>(b.data());
    qToLittleEndian<quint32>(antigo ? 12 : 40, p + 14);
    if (antigo) {
        qToLittleEndian<quint16>(quint16(largura), p + 18);
        qToLittleEndian<quint16>(quint16(altura), p + 20);
    } else {
        qToLittleEndian<qint32>(largura, p + 18);
        qToLittleEndian<qint32>(altura, p + 22);
    }
    return b;
}

void grava(const QString &caminho, const QByteArray &bytes)
{
    QFile f(caminho);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size());
}

// Picks a row of a lookup's drop-down by its text, with the mouse.
void escolhe(DbLookupComboBox *l, const QString &texto)
{
    l->showPopup();
    QListView *lista = l->popupList();
    QVERIFY(lista && lista->isVisible());
    const QModelIndexList achados =
        lista->model()->match(lista->model()->index(0, 0), Qt::DisplayRole, texto, 1, Qt::MatchExactly);
    QVERIFY2(!achados.isEmpty(), qPrintable(texto));
    QTest::mouseClick(lista->viewport(), Qt::LeftButton, {}, lista->visualRect(achados[0]).center());
}

// Each character as a key press; those beyond ASCII as the keyboard sends them.
void teclas(QWidget *w, const QString &texto)
{
    for (const QChar c : texto) {
        QKeyEvent e(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        if (c.unicode() < 128)
            QTest::keyClick(w, char(c.unicode()));
        else
            QApplication::sendEvent(w, &e);
    }
}

} // namespace

class TstRegistration : public QObject
{
    Q_OBJECT

    std::unique_ptr<InstalacaoTeste> m_inst;
    std::unique_ptr<Mensagens_vistas> m_msgs;
    std::unique_ptr<QWidget> m_dono;
    QPointer<Tfrmcadastro> w;

    Database &db() { return frmdados->conexaoDB; }

    QVariant valor(const QString &sql)
    {
        Query q(db());
        q.setSql(sql);
        q.open();
        return q.field(0).value();
    }

    // The election's master data and map as one text, to tell whether a save stored anything.
    QString retrato()
    {
        QStringList t;
        for (const char *s :
             {"select group_concat(numcad_cargo || ',' || cargo || ',' || quantidade_numeros, ';') from cargo",
              "select group_concat(numcad_partido || ',' || partido || ',' || ifnull(legenda, ''), ';') from partido",
              "select group_concat(numcad_candidato || ',' || nome_candidato || ',' || ifnull(numero_candidato, '') "
              "|| ',' || ifnull(id_cargo, '') || ',' || ifnull(id_partido, ''), ';') from candidatos",
              "select group_concat(ifnull(id_candidato, '') || ',' || ifnull(id_cargo, '') || ',' || "
              "ifnull(id_partido, '') || ',' || ifnull(data_votacao, ''), ';') from candidatos_votacao"})
            t << valor(QString::fromUtf8(s)).toString();
        return t.join(u'|');
    }

    // Answers the photo dialog once it shows: the file name, or Cancel for none.
    void respondeDialogo(const QString &nome)
    {
        QTimer::singleShot(0, w, [this, nome] {
            auto *d = w->findChild<QFileDialog *>("dialogo_foto");
            QVERIFY(d && d->isVisible() && d->windowTitle() == "Selecione a imagem");
            QCOMPARE(d->nameFilters(), QStringList{"Imagens (*.bmp)"});
            if (nome.isEmpty()) return d->reject();
            d->selectFile(nome);
            static_cast<QDialog *>(d)->accept(); // the Open button
        });
    }

    void abre()
    {
        w = new Tfrmcadastro(m_dono.get());
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
    }

  private slots:
    void initTestCase() { Fontes::carrega(); }
    void init()
    {
        m_inst = std::make_unique<InstalacaoTeste>();
        m_msgs = std::make_unique<Mensagens_vistas>();
        m_dono = std::make_unique<QWidget>();
        conecta_banco();
        QVERIFY(banco_conectado);
        for (const char *s :
             {"insert into cargo (cargo, quantidade_numeros) values ('Presidente', 2), ('Senador', 3)",
              "insert into partido (partido, legenda) values ('Partido <b>Azul</b>', '13'), ('Partido "
              "Verde', '45')",
              "insert into candidatos (nome_candidato, numero_candidato, id_partido, id_cargo) values "
              "('Ana', '13', 1, 1), ('Bruno', '45', 2, 1), ('Carla', '451', 2, 2)",
              "insert into ordem_votacao (ordem_votacao, id_cargo) values (1, 1), (2, 2)",
              "insert into candidatos_votacao (id_candidato, id_cargo, id_partido, data_votacao) values "
              "(1, 1, 1, '2024-10-06'), (3, 2, 2, '2024-10-06'), (2, 1, 2, '2024-10-27')"})
            executa(db(), s);
    }
    void cleanup()
    {
        if (w) w->close();
        QTRY_VERIFY(w.isNull());
        m_dono.reset();
        desconecta_banco();
        Mensagens::defineConfirmador({});
        m_msgs.reset();
        m_inst.reset();
    }

    // Opened on the first tab with every query open; closed, nothing stays open or unsaved.
    void windowOpensAndCloses()
    {
        const QList<Query *> consultas = {
            &frmdados->tb_candidatos,        &frmdados->tb_cargo, &frmdados->tb_partido,
            &frmdados->tb_ordemvotacao,      &frmdados->tb_ova,   &frmdados->tb_candidato_votacao,
            &frmdados->tb_candidato_votacaoG};
        abre();
        QVERIFY(w->isModal() && w->parent() == m_dono.get() && frmcadastro == w);
        for (Query *q : consultas)
            QVERIFY(q->isActive());
        const QPointer<Tfrmimpressao> impressao = frmimpressao;
        QVERIFY(impressao && impressao->parent() == QCoreApplication::instance());
        w->pg_principal->setCurrentIndex(2);
        w->navegador_partido->click(Button::Edit);
        QTest::keyClicks(w->cmp_partido, " Claro");
        w->close();
        QTRY_VERIFY(w.isNull());
        QVERIFY(frmcadastro == nullptr && frmdados->seletorDia() == nullptr);
        for (Query *q : consultas)
            QVERIFY(!q->isActive());
        QCOMPARE(valor("select count(*) from partido where partido like '% Claro'").toInt(), 0);
        abre();
        QCOMPARE(w->pg_principal->currentIndex(), 0);
        QVERIFY(impressao && frmimpressao == impressao); // created once
        delete w.data(); // destroyed without closing: the map's handlers lose their picker with it
        QVERIFY(!frmdados->tb_candidato_votacao.isActive() && frmdados->seletorDia() == nullptr);
        QVERIFY(m_msgs->lista.empty());
    }

    // Auto-edit off, a move saving a changed row and dropping an unchanged one, the Delete
    // key of the candidate's lookups, and the lookups moving the other tabs.
    void candidateTab()
    {
        abre();
        DbNavigator *n = w->navegador_candidato;
        QTest::keyClicks(w->cmp_nome_candidato, "X");
        QTest::keyClick(w->cmp_id_cargo, Qt::Key_Down);
        QTest::keyClick(w->cmp_id_cargo, Qt::Key_Delete); // browsing: the data layer's refusal
        QCOMPARE(m_msgs->textos(), QStringList{"A consulta não está em modo de edição ou inclusão."});
        QCOMPARE(w->cmp_nome_candidato->text(), QString("Ana"));
        QCOMPARE(w->cmp_id_cargo->currentText(), QString("Presidente"));

        n->click(Button::Edit);
        w->cmp_nome_candidato->end(false);
        QTest::keyClicks(w->cmp_nome_candidato, " Maria");
        QTest::keyClick(w->cmp_id_partido, Qt::Key_Delete);
        QCOMPARE(w->cmp_id_partido->currentText(), QString());
        escolhe(w->cmp_id_partido, "Partido <b>Azul</b>"); // a candidate without a party is refused
        n->click(Button::Next);
        QCOMPARE(valor("select nome_candidato || '/' || ifnull(id_partido, '-') from candidatos where "
                       "numcad_candidato = 1")
                     .toString(),
                 QString("Ana Maria/1"));
        n->click(Button::Edit);
        n->click(Button::Last); // nothing changed: dropped, no save
        QCOMPARE(frmdados->tb_candidatos.state(), Query::State::Browse);
        QCOMPARE(w->cmp_cargo->text(), QString("Senador")); // the office and party tabs follow
        QCOMPARE(w->cmp_legenda->text(), QString("45"));

        w->DBNavigator1->click(Button::Last); // the map's lookups move the candidates: Bruno
        QCOMPARE(w->cmp_nome_candidato->text(), QString("Bruno"));
        w->DBNavigator1->click(Button::Edit);
        QTest::keyClick(w->cmp_id_cargocand_votacao, Qt::Key_Delete); // no such key there
        QVERIFY(!frmdados->tb_candidato_votacao.field("id_cargo").isNull());
        QCOMPARE(m_msgs->lista.size(), size_t(1));
    }

    void keyFilters_data()
    {
        QTest::addColumn<QString>("caixa");
        QTest::addColumn<QString>("teclas");
        QTest::addColumn<QString>("texto");
        // clang-format off
        QTest::addRow("número: letra, sinal, espaço, Escape") << "cmp_numero_candidato" << "1a- 2\x1b" << "12";
        QTest::addRow("número: backspace, acento, dígito árabe") << "cmp_numero_candidato" << "123\bé\u06634" << "124";
        QTest::addRow("legenda: letra, backspace, Enter") << "cmp_legenda" << "x9\b4\r5" << "45";
        QTest::addRow("dígitos do cargo: 0, 6, 9") << "cmp_quantidade_numeros" << "069" << "";
        QTest::addRow("dígitos do cargo: 5, backspace, 3") << "cmp_quantidade_numeros" << "5\b3" << "3";
        // clang-format on
    }
    void keyFilters()
    {
        QFETCH(QString, caixa);
        QFETCH(QString, teclas);
        QFETCH(QString, texto);
        abre();
        auto *e = w->findChild<DbEdit *>(caixa);
        e->dataSource()->dataSet()->insert();
        ::teclas(e, teclas);
        QCOMPARE(e->text(), texto);
        QTest::keyClick(e, Qt::Key_V, Qt::ControlModifier); // the keyboard's paste is a control character
        QTest::keyClick(e, Qt::Key_Home);
        QTest::keyClick(e, Qt::Key_Delete); // keys that type nothing still work
        QCOMPARE(e->text(), texto.mid(1));
        QVERIFY(w && w->isVisible());
    }

    void votingOrderChain()
    {
        executa(db(), "insert into cargo (cargo, quantidade_numeros) values ('Governador', 2)");
        abre();
        DbNavigator *n = w->navegador_ordemvotacao;
        const auto clica = [this](int linha) {
            DbGrid *g = w->listagem_ordematual;
            QTest::mouseClick(g->viewport(), Qt::LeftButton, {},
                              g->visualRect(g->model()->index(linha, 0)).center());
        };
        n->click(Button::Last);
        n->click(Button::Insert);
        QCOMPARE(frmdados->tb_ordemvotacao.state(), Query::State::Insert); // the list re-run leaves it alone
        escolhe(w->cmp_id_cargo_odemvotacao, "Governador");
        QTest::keyClicks(w->cmp_ordem_votacao, "3");
        n->click(Button::Post);
        QCOMPARE(valor("select id_cargo from ordem_votacao where ordem_votacao = 3").toInt(), 3);
        QCOMPARE(w->cmp_ordem_votacao->text(), QString("1")); // the editors follow the list's first row
        QCOMPARE(w->listagem_ordematual->model()->rowCount(), 3);

        n->click(Button::Edit); // while editing, a click in the list does not move the editors
        clica(2);
        QCOMPARE(w->cmp_ordem_votacao->text(), QString("1"));
        n->click(Button::Cancel);
        clica(1);
        QCOMPARE(w->cmp_ordem_votacao->text(), QString("2"));
        QCOMPARE(w->cmp_id_cargo_odemvotacao->currentText(), QString("Senador"));
        QVERIFY(m_msgs->lista.empty());
    }

    void guardedSave_data()
    {
        QTest::addColumn<QString>("ordem");
        QTest::addColumn<bool>("comCargo");
        QTest::addColumn<int>("salva");
        QTest::addRow("vazia") << "" << true << -1;
        QTest::addRow("0") << "0" << true << -1;
        QTest::addRow("00") << "00" << true << -1;
        QTest::addRow("texto") << "ab" << true << -1;
        QTest::addRow("sem cargo") << "7" << false << -1;
        QTest::addRow("-5") << "-5" << true << -5;
        QTest::addRow("+8") << "+8" << true << 8;
    }
    void guardedSave()
    {
        QFETCH(QString, ordem);
        QFETCH(bool, comCargo);
        QFETCH(int, salva);
        abre();
        DbNavigator *n = w->navegador_ordemvotacao;
        n->click(Button::Insert);
        if (comCargo) escolhe(w->cmp_id_cargo_odemvotacao, "Senador");
        QTest::keyClicks(w->cmp_ordem_votacao, ordem);
        n->click(Button::Post);
        if (salva != -1) {
            QVERIFY(m_msgs->lista.empty());
            QCOMPARE(valor(QString("select count(*) from ordem_votacao where ordem_votacao = %1").arg(salva))
                         .toInt(),
                     1);
            return;
        }
        QCOMPARE(m_msgs->textos(), QStringList{Tfrmcadastro::kOrdemObrigatoria});
        QCOMPARE(m_msgs->lista[0].icone, Mensagens::Icone::Informacao);
        QCOMPARE(Tfrmcadastro::kOrdemObrigatoria.count(u'\n'), 1);
        QCOMPARE(frmdados->tb_ordemvotacao.state(), Query::State::Insert);
        QCOMPARE(w->cmp_ordem_votacao->text(), ordem);
        n->click(Button::Cancel);
        QCOMPARE(valor("select count(*) from ordem_votacao").toInt(), 2);
    }

    void votingDayMapChain()
    {
        abre();
        DbNavigator *n = w->DBNavigator1;
        QCOMPARE(w->cmp_data_votacao->date(), QDate(2024, 10, 6)); // the first row's day
        w->cmp_data_votacao->setDate(QDate(2030, 5, 5));
        n->click(Button::Insert);
        QCOMPARE(w->cmp_data_votacao->date(), QDate::currentDate());
        escolhe(w->cmp_id_candidato_cand_votacao, "Carla"); // her own office and party come with her
        QCOMPARE(w->cmp_id_cargocand_votacao->currentText(), QString("Senador"));
        QCOMPARE(w->cmp_id_partido_cand_votacao->currentText(), QString("Partido Verde"));
        n->click(Button::Post);
        QCOMPARE(valor("select id_cargo || '/' || id_partido from candidatos_votacao where id_candidato = 3 and "
                       "data_votacao = '" + QDate::currentDate().toString(Qt::ISODate) + "'"),
                 QVariant("2/2"));
        QCOMPARE(w->DBGrid1->model()->rowCount(), 4);

        n->click(Button::First); // only the day changed: a move stores nothing, Post stores it
        n->click(Button::Edit);
        w->cmp_data_votacao->setDate(QDate(2024, 11, 3));
        n->click(Button::Next);
        n->click(Button::Edit);
        w->cmp_data_votacao->setDate(QDate(2024, 11, 3));
        n->click(Button::Post);
        QCOMPARE(valor("select group_concat(id_candidato) from candidatos_votacao where data_votacao = "
                       "'2024-11-03'"),
                 QVariant("1")); // Ana: the row after the new one

        Mensagens::defineConfirmador([](const QString &) { return true; });
        n->click(Button::Delete); // the overview is re-run: the row is gone from the grid at once
        QCOMPARE(valor("select count(*) from candidatos_votacao").toInt(), 3);
        QCOMPARE(w->DBGrid1->model()->rowCount(), 3);
        QCOMPARE(w->cmp_data_votacao->date(), frmdados->tb_candidato_votacao.field("data_votacao").asDate());
        QVERIFY(m_msgs->lista.empty());
    }

    void dayFilter()
    {
        abre();
        Query &mapa = frmdados->tb_candidato_votacao, &geral = frmdados->tb_candidato_votacaoG;
        const QDate antes = w->cmp_data_votacao->date();
        QVERIFY(!w->cmp_filtro_candidatosvotacao->isEnabled());
        w->cheq_filtro_candidatosvotacao->click(); // the untouched picker: today, no rows
        QVERIFY(w->cmp_filtro_candidatosvotacao->isEnabled());
        const QString dia = "datevalue(\"" + DiaTexto::escreve(QDate::currentDate()) + "\")";
        QCOMPARE(mapa.sql(), QStringList{"select * from candidatos_votacao where data_votacao = " + dia});
        QCOMPARE(geral.sql(), Tfrmdados::sqlMapaGeral() << " and data_votacao = " + dia);
        QCOMPARE(geral.recordCount(), 0);
        QCOMPARE(w->cmp_data_votacao->date(), antes);

        w->cmp_filtro_candidatosvotacao->setDate(QDate(2024, 10, 6));
        QCOMPARE(mapa.recordCount(), 2);
        w->DBNavigator1->click(Button::Insert); // a row for another day: saved, not shown
        escolhe(w->cmp_id_candidato_cand_votacao, "Bruno");
        escolhe(w->cmp_id_cargocand_votacao, "Presidente");
        escolhe(w->cmp_id_partido_cand_votacao, "Partido Verde");
        w->DBNavigator1->click(Button::Post);
        QCOMPARE(valor("select count(*) from candidatos_votacao").toInt(), 4);
        QCOMPARE(geral.recordCount(), 2);
        w->DBNavigator1->click(Button::Edit);
        escolhe(w->cmp_id_partido_cand_votacao, "Partido <b>Azul</b>");
        w->cmp_filtro_candidatosvotacao->caixa()->click(); // a filter change, even the built-in box, drops it
        QCOMPARE(mapa.state(), Query::State::Browse);
        QCOMPARE(valor("select count(*) from candidatos_votacao where id_partido = 1").toInt(), 1);

        // Closed with the filter on: the next window shows every row, as its clear box says.
        w->close();
        QTRY_VERIFY(w.isNull());
        abre();
        QVERIFY(!w->cheq_filtro_candidatosvotacao->isChecked());
        QCOMPARE(geral.recordCount(), 4);
        QCOMPARE(mapa.recordCount(), 4);
        w->cheq_filtro_candidatosvotacao->click();
        w->cheq_filtro_candidatosvotacao->click(); // off again: every row, the picker disabled
        QVERIFY(!w->cmp_filtro_candidatosvotacao->isEnabled());
        QCOMPARE(mapa.sql(), Tfrmdados::sqlMapa());
        QCOMPARE(geral.recordCount(), 4);
    }

    void attachAndRemovePhoto()
    {
        const QString azul = m_inst->caminho("azul.bmp"), texto = m_inst->caminho("foto.txt");
        grava(azul, bmp(Qt::blue));
        grava(texto, "isto não é um bitmap");
        executa(db(), "update candidatos set foto = :f where numcad_candidato = 1", {bmp(Qt::red)});
        abre();
        w->add_imagem->click(); // browsing: refused, no dialog
        w->del_imagem->click();
        QCOMPARE(m_msgs->textos(),
                 (QStringList{Tfrmcadastro::kFotoSoEditando, Tfrmcadastro::kRemoveSoEditando}));
        QCOMPARE(m_msgs->lista[1].icone, Mensagens::Icone::Informacao);
        m_msgs->lista.clear();
        DbNavigator *n = w->navegador_candidato;
        Field foto = frmdados->tb_candidatos.field("foto");
        const auto salva = [this] { return valor("select foto from candidatos where numcad_candidato = 1"); };
        n->click(Button::Edit);
        for (const QString &nome : {QString(), m_inst->caminho("nao_existe.bmp")}) { // cancelled, missing
            respondeDialogo(nome);
            w->add_imagem->click();
        }
        QVERIFY(!frmdados->tb_candidatos.modified());
        respondeDialogo(azul);
        w->add_imagem->click();
        QCOMPARE(foto.asBytes(), bmp(Qt::blue));
        n->click(Button::Cancel);
        QCOMPARE(salva().toByteArray(), bmp(Qt::red));
        n->click(Button::Edit);
        w->del_imagem->click();
        n->click(Button::Cancel); // removing and cancelling keeps the saved photo
        QCOMPARE(salva().toByteArray(), bmp(Qt::red));
        n->click(Button::Edit);
        respondeDialogo(texto); // another kind of file, typed by name: stored byte for byte
        w->add_imagem->click();
        n->click(Button::Post);
        QCOMPARE(salva().toByteArray(), QByteArray("isto não é um bitmap"));
        n->click(Button::Edit);
        w->del_imagem->click();
        n->click(Button::Post);
        QVERIFY(salva().isNull());
        QVERIFY(m_msgs->lista.empty());
    }

    void showPhoto()
    {
        const QString tmp = m_inst->caminho("foto_tmp.bmp");
        executa(db(), "update candidatos set foto = :f where numcad_candidato = 1",
                {bmp(Qt::red, {300, 100})});
        executa(db(), "update candidatos set foto = 'GIF89a' where numcad_candidato = 3");
        abre();
        QVERIFY(w->painel_foto->isHidden());
        w->ck_vizualiza_foto->click();
        QCOMPARE(hashArquivo(tmp),
                 QCryptographicHash::hash(bmp(Qt::red, {300, 100}), QCryptographicHash::Sha256));
        QCOMPARE(w->cmp_foto->pixmap().toImage().pixelColor(2, 2), QColor(Qt::red));
        QCOMPARE(w->cmp_foto->size(), QSize(256, 207));
        // In front of the editors and the grid; the top row stays in view.
        QCOMPARE(w->GroupBox1->childAt(QPoint(20, 200)), w->painel_foto);
        QCOMPARE(w->GroupBox1->childAt(QPoint(400, 15)), w->del_imagem);

        w->navegador_candidato->click(Button::Edit); // the picture is taken when the panel is shown
        w->del_imagem->click();
        QCOMPARE(w->cmp_foto->pixmap().toImage().pixelColor(2, 2), QColor(Qt::red));
        w->ck_vizualiza_foto->click();
        QVERIFY(!QFile::exists(tmp) && w->cmp_foto->pixmap().isNull());
        w->ck_vizualiza_foto->click(); // no photo now: an empty panel, no file
        QVERIFY(w->painel_foto->isVisible() && !QFile::exists(tmp) && w->cmp_foto->pixmap().isNull());
        w->ck_vizualiza_foto->click();
        w->navegador_candidato->click(Button::Cancel);
        w->navegador_candidato->click(Button::Last);

        w->ck_vizualiza_foto->click(); // not a bitmap: the loader's error, the panel stays up
        QCOMPARE(m_msgs->textos(), QStringList{"A imagem bitmap não é válida."});
        QVERIFY(w->painel_foto->isVisible());
        w->ck_vizualiza_foto->click();
        QVERIFY(!QFile::exists(tmp));

        w->navegador_candidato->click(Button::First); // closed while shown: the file stays for the next one
        w->ck_vizualiza_foto->click();
        w->close();
        QTRY_VERIFY(w.isNull());
        QVERIFY(QFile::exists(tmp));
        abre();
        QVERIFY(w->painel_foto->isHidden() && !w->ck_vizualiza_foto->isChecked());
    }

    void bitmapLoader_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("erro");
        const QString invalida = "A imagem bitmap não é válida: x.bmp";
        const QString grande =
            "A imagem bitmap x.bmp declara %1 × %2 pixels; o limite é de 4096 pixels de cada lado";
        // clang-format off
        QTest::addRow("bitmap") << bmp(Qt::green) << QString();
        QTest::addRow("60000 x 60000") << cabecalhoBmp(60000, 60000) << grande.arg(60000).arg(60000);
        QTest::addRow("de cima para baixo") << cabecalhoBmp(10, -60000) << grande.arg(10).arg(60000);
        QTest::addRow("cabeçalho antigo") << cabecalhoBmp(5000, 2, true) << grande.arg(5000).arg(2);
        QTest::addRow("4096 sem pixels") << cabecalhoBmp(4096, 4096) << invalida;
        QTest::addRow("PNG") << bmp(Qt::green, {4, 4}, "PNG") << invalida;
        QTest::addRow("curto") << QByteArray("BM\x10") << invalida;
        const QByteArray inteiro = bmp(Qt::green); // 40 x 40, 24 bits: rows of 120 bytes after 54
        const QString incompleta = "A imagem bitmap x.bmp está incompleta: declara 4800 bytes de pixels e tem %1";
        QTest::addRow("um byte a mais") << inteiro + '\0' << QString();
        QTest::addRow("um byte a menos") << inteiro.chopped(1) << incompleta.arg(4799);
        QTest::addRow("sem a última linha") << inteiro.chopped(120) << incompleta.arg(4680);
        QTest::addRow("só o cabeçalho") << inteiro.left(54) << incompleta.arg(0);
        QByteArray alem = inteiro;
        qToLittleEndian<quint32>(60000, alem.data() + 10);
        QTest::addRow("pixels além do fim") << alem << incompleta.arg(0);
        QByteArray rle = cabecalhoBmp(4, 4);
        qToLittleEndian<quint16>(8, rle.data() + 28);
        qToLittleEndian<quint32>(1, rle.data() + 30);
        qToLittleEndian<quint32>(64, rle.data() + 34);
        qToLittleEndian<quint32>(54, rle.data() + 10);
        QTest::addRow("comprimido e curto") << rle + QByteArray(10, '\0')
            << "A imagem bitmap x.bmp está incompleta: declara 64 bytes de pixels e tem 10";
        // clang-format on
    }
    void bitmapLoader()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, erro);
        grava(m_inst->caminho("x.bmp"), bytes);
        try {
            const QImage img = Bitmap::carrega(m_inst->caminho("x.bmp"), "x.bmp");
            QVERIFY(erro.isEmpty());
            QCOMPARE(img.pixelColor(1, 1), QColor(Qt::green));
        } catch (const DbError &e) {
            QCOMPARE(e.message(), erro);
        }
    }

    void terminalRefusesHugeBitmaps()
    {
        grava(m_inst->caminho(Instalacao::kLogo), cabecalhoBmp(60000, 60000));
        executa(db(), "update candidatos set foto = :f where numcad_candidato = 1",
                {cabecalhoBmp(60000, 60000)});
        Tfrmprincipal terminal;
        terminal.show();
        for (const char *tecla : {"btn_1", "btn_4"}) // 1, 3: Ana
            QTest::mouseClick(terminal.findChild<QWidget *>(tecla), Qt::LeftButton);
        const QString limite = " declara 60000 × 60000 pixels; o limite é de 4096 pixels de cada lado.";
        QCOMPARE(m_msgs->textos(),
                 (QStringList{"A imagem bitmap logo_kelvora.bmp" + limite, "A imagem bitmap" + limite}));
        QCOMPARE(terminal.Label8->text(), QString("Ana"));
    }

    void refusedByTheDatabase_data()
    {
        QTest::addColumn<int>("aba");
        QTest::addColumn<QString>("caixa");
        QTest::addColumn<QString>("colado");
        QTest::addColumn<QString>("mensagem");
        // clang-format off
        QTest::addRow("número repetido no cargo") << 0 << "cmp_numero_candidato" << "13"
            << "Já existe um candidato com este número neste cargo.";
        QTest::addRow("número com letra") << 0 << "cmp_numero_candidato" << "1a"
            << "O campo \"Nº candidato\" aceita apenas algarismos, no máximo 5.";
        QTest::addRow("nome do candidato em branco") << 0 << "cmp_nome_candidato" << "   "
            << "O nome do candidato não pode ficar em branco.";
        QTest::addRow("nome do cargo vazio") << 1 << "cmp_cargo" << ""
            << "O nome do cargo não pode ficar em branco.";
        QTest::addRow("nome do cargo com tabulação") << 1 << "cmp_cargo" << " \t "
            << "O nome do cargo não pode ficar em branco.";
        QTest::addRow("dígitos do cargo vazios") << 1 << "cmp_quantidade_numeros" << ""
            << "O campo \"Qtn. de Nº\" não pode ficar vazio.";
        QTest::addRow("dígitos do cargo fora da faixa") << 1 << "cmp_quantidade_numeros" << "7"
            << "O campo \"Qtn. de Nº\" aceita apenas números inteiros de 1 a 5.";
        QTest::addRow("nome do partido em branco") << 2 << "cmp_partido" << "  "
            << "O nome do partido não pode ficar em branco.";
        QTest::addRow("legenda repetida") << 2 << "cmp_legenda" << "45" << "Já existe um partido com esta legenda.";
        QTest::addRow("legenda com espaço") << 2 << "cmp_legenda" << " 4"
            << "O campo \"Nº legenda\" aceita apenas algarismos, no máximo 2.";
        QTest::addRow("posição repetida na ordem") << 3 << "cmp_ordem_votacao" << "2"
            << "Já existe um cargo nesta posição da ordem de votação.";
        // clang-format on
    }
    // Refused on Post with the message; the record stays being added, with the operator's input.
    void refusedByTheDatabase()
    {
        QFETCH(int, aba);
        QFETCH(QString, caixa);
        QFETCH(QString, colado);
        QFETCH(QString, mensagem);
        abre();
        auto *navegador = w->pg_principal->widget(aba)->findChild<DbNavigator *>();
        navegador->click(Button::Insert);
        // Every other box of the record holds a valid value: the pasted one is the fault.
        if (aba == 0) {
            teclas(w->cmp_nome_candidato, "Zé");
            QTest::keyClicks(w->cmp_numero_candidato, "12");
            escolhe(w->cmp_id_cargo, "Presidente");
            escolhe(w->cmp_id_partido, "Partido <b>Azul</b>");
        }
        if (aba == 1) {
            QTest::keyClicks(w->cmp_cargo, "Vice");
            QTest::keyClicks(w->cmp_quantidade_numeros, "2");
        }
        if (aba == 2) QTest::keyClicks(w->cmp_partido, "Novo");
        if (aba == 3) escolhe(w->cmp_id_cargo_odemvotacao, "Presidente");
        auto *e = w->findChild<DbEdit *>(caixa);
        e->selectAll();
        if (colado.isEmpty())
            e->del();
        else {
            QGuiApplication::clipboard()->setText(colado);
            e->paste(); // as the context menu does: not filtered
        }
        navegador->click(Button::Post);
        QCOMPARE(m_msgs->textos(), QStringList{mensagem});
        QCOMPARE(m_msgs->lista[0].icone, Mensagens::Icone::Erro);
        QCOMPARE(e->dataSource()->dataSet()->state(), Query::State::Insert);
        QCOMPARE(e->text(), colado);
        if (aba == 0 && e != w->cmp_nome_candidato) QCOMPARE(w->cmp_nome_candidato->text(), QString("Zé"));
        const char *tabela[] = {"candidatos", "cargo", "partido", "ordem_votacao"};
        QCOMPARE(valor(QString("select count(*) from %1").arg(tabela[aba])).toInt(), aba == 0 ? 3 : 2); // nothing half-written
    }

    // Every candidate can be voted for and every map row is whole: refused through the
    // window's own save path, the row still being added or edited, nothing stored.
    void electionGuards_data()
    {
        QTest::addColumn<int>("aba");
        QTest::addColumn<int>("chave"); // the row edited; 0 adds one
        QTest::addColumn<QString>("preparo");
        QTest::addColumn<QStringList>("campos"); // "caixa=valor": typed into a box or chosen in a lookup
        QTest::addColumn<QString>("mensagem");   // "" when saved
        const QString semMapa = "delete from candidatos_votacao";
        const QString carla = "o candidato \"Carla\" deixaria de poder receber votos, pois ";
        const QString verde = "no cargo \"Senador\", de 3 dígitos, o número de um candidato começa pela legenda do "
                              "seu partido (\"Partido Verde\": 46).";
        // clang-format off
        QTest::addRow("novo: número curto num cargo de 3") << 0 << 0 << ""
            << QStringList{"cmp_nome_candidato=Zeca", "cmp_id_cargo=Senador", "cmp_id_partido=Partido Verde",
                           "cmp_numero_candidato=45"}
            << "O candidato \"Zeca\" não pode receber votos: no cargo \"Senador\" o número de um candidato tem "
               "exatamente 3 dígitos.";
        QTest::addRow("novo: legenda de outro partido") << 0 << 0 << ""
            << QStringList{"cmp_nome_candidato=Zeca", "cmp_id_cargo=Senador", "cmp_id_partido=Partido <b>Azul</b>",
                           "cmp_numero_candidato=452"}
            << "O candidato \"Zeca\" não pode receber votos: no cargo \"Senador\", de 3 dígitos, o número de um "
               "candidato começa pela legenda do seu partido (\"Partido <b>Azul</b>\": 13).";
        QTest::addRow("novo: número longo num cargo de 2") << 0 << 0 << ""
            << QStringList{"cmp_nome_candidato=Zeca", "cmp_id_cargo=Presidente", "cmp_id_partido=Partido Verde",
                           "cmp_numero_candidato=451"}
            << "O candidato \"Zeca\" não pode receber votos: no cargo \"Presidente\" o número de um candidato tem "
               "exatamente 2 dígitos.";
        QTest::addRow("novo: sem partido") << 0 << 0 << ""
            << QStringList{"cmp_nome_candidato=Zeca", "cmp_id_cargo=Senador", "cmp_numero_candidato=452"}
            << "O candidato \"Zeca\" não pode receber votos: ele não tem um partido cadastrado.";
        QTest::addRow("novo: votável num cargo de 3") << 0 << 0 << ""
            << QStringList{"cmp_nome_candidato=Zeca", "cmp_id_cargo=Senador", "cmp_id_partido=Partido <b>Azul</b>",
                           "cmp_numero_candidato=132"} << "";
        QTest::addRow("novo: cargo de 2 sem legenda no número") << 0 << 0 << ""
            << QStringList{"cmp_nome_candidato=Zeca", "cmp_id_cargo=Presidente", "cmp_id_partido=Partido Verde",
                           "cmp_numero_candidato=99"} << "";
        QTest::addRow("alterado: partido de outra legenda") << 0 << 3 << semMapa
            << QStringList{"cmp_id_partido=Partido <b>Azul</b>"}
            << "O candidato \"Carla\" não pode receber votos: no cargo \"Senador\", de 3 dígitos, o número de um "
               "candidato começa pela legenda do seu partido (\"Partido <b>Azul</b>\": 13).";
        QTest::addRow("alterado: número longo") << 0 << 3 << semMapa << QStringList{"cmp_numero_candidato=4512"}
            << "O candidato \"Carla\" não pode receber votos: no cargo \"Senador\" o número de um candidato tem "
               "exatamente 3 dígitos.";
        QTest::addRow("alterado: cargo e número juntos") << 0 << 3 << semMapa
            << QStringList{"cmp_id_cargo=Presidente", "cmp_numero_candidato=46"} << "";
        QTest::addRow("alterado: só o nome de quem já não podia") << 0 << 3
            << "update candidatos set numero_candidato = '9' where numcad_candidato = 3"
            << QStringList{"cmp_nome_candidato=Carlota"} << "";
        QTest::addRow("alterado: partido de quem está no mapa") << 0 << 2 << ""
            << QStringList{"cmp_id_partido=Partido <b>Azul</b>"}
            << "O cargo e o partido do candidato \"Bruno\" não podem mudar: ele está no mapa de votação do dia "
               "27/10/2024.";
        QTest::addRow("cargo: dígitos sob candidatos") << 1 << 2 << "" << QStringList{"cmp_quantidade_numeros=4"}
            << "O cargo \"Senador\" não pode passar a ter 4 dígitos: " + carla
               + "no cargo \"Senador\" o número de um candidato tem exatamente 4 dígitos.";
        QTest::addRow("cargo: dígitos sem candidatos") << 1 << 2
            << "update candidatos set id_cargo = 1, numero_candidato = '46' where numcad_candidato = 3; " + semMapa
            << QStringList{"cmp_quantidade_numeros=4"} << "";
        QTest::addRow("partido: legenda sob candidatos") << 2 << 2 << "" << QStringList{"cmp_legenda=46"}
            << "A legenda do partido \"Partido Verde\" não pode passar a ser 46: " + carla + verde;
        QTest::addRow("partido: legenda só em cargos de 2") << 2 << 1 << "" << QStringList{"cmp_legenda=14"} << "";
        QTest::addRow("mapa: sem candidato") << 4 << 0 << "" << QStringList{}
            << "A linha do mapa de votação não pode ser gravada: ela não tem um candidato cadastrado.";
        QTest::addRow("mapa: cargo de outro") << 4 << 0 << ""
            << QStringList{"cmp_id_candidato_cand_votacao=Carla", "cmp_id_cargocand_votacao=Presidente"}
            << "A linha do mapa de votação não pode ser gravada: o cargo e o partido de uma linha do mapa são os do "
               "seu candidato, \"Carla\": cargo \"Senador\", partido \"Partido Verde\".";
        QTest::addRow("mapa: partido de outro") << 4 << 0 << ""
            << QStringList{"cmp_id_candidato_cand_votacao=Ana", "cmp_id_partido_cand_votacao=Partido Verde"}
            << "A linha do mapa de votação não pode ser gravada: o cargo e o partido de uma linha do mapa são os do "
               "seu candidato, \"Ana\": cargo \"Presidente\", partido \"Partido <b>Azul</b>\".";
        QTest::addRow("mapa: candidato escolhido") << 4 << 0 << ""
            << QStringList{"cmp_id_candidato_cand_votacao=Bruno"} << "";
        // clang-format on
    }
    void electionGuards()
    {
        QFETCH(int, aba);
        QFETCH(int, chave);
        QFETCH(QString, preparo);
        QFETCH(QStringList, campos);
        QFETCH(QString, mensagem);
        for (const QString &s : preparo.split("; ", Qt::SkipEmptyParts))
            executa(db(), s);
        abre();
        w->pg_principal->setCurrentIndex(aba);
        auto *navegador = w->pg_principal->widget(aba)->findChild<DbNavigator *>();
        Query *q = navegador->dataSource()->dataSet();
        const QString antes = retrato();
        if (chave) {
            QVERIFY(q->locate(q->fieldName(0), QString::number(chave)));
            navegador->click(Button::Edit);
        } else {
            navegador->click(Button::Insert);
        }
        for (const QString &c : campos) {
            const QString caixa = c.section(u'=', 0, 0), texto = c.section(u'=', 1);
            if (auto *l = w->findChild<DbLookupComboBox *>(caixa)) {
                escolhe(l, texto);
                continue;
            }
            auto *e = w->findChild<DbEdit *>(caixa);
            QVERIFY2(e, qPrintable(caixa));
            e->selectAll();
            QTest::keyClicks(e, texto);
        }
        navegador->click(Button::Post);
        if (mensagem.isEmpty()) {
            QCOMPARE(m_msgs->textos(), QStringList());
            QCOMPARE(q->state(), Query::State::Browse);
            QVERIFY(retrato() != antes);
        } else {
            QCOMPARE(m_msgs->textos(), QStringList{mensagem});
            QCOMPARE(m_msgs->lista[0].icone, Mensagens::Icone::Erro);
            QCOMPARE(q->state(), chave ? Query::State::Edit : Query::State::Insert);
            QCOMPARE(retrato(), antes);
        }
    }

    void deletingWhatIsReferred_data()
    {
        QTest::addColumn<QString>("preparo");
        QTest::addColumn<QString>("tabela");
        QTest::addColumn<int>("chave");
        QTest::addColumn<QString>("mensagem");
        const QString voto =
            "insert into contagem_votacao (id_candidato, numero_candidato, voto, data, legenda, "
            "id_cargo, id_partido) values ";
        const QString vice = "insert into cargo (cargo, quantidade_numeros) values ('Vice', 1); ";
        const QString semMapa = "delete from candidatos_votacao; ";
        // clang-format off
        QTest::addRow("cargo com candidatos") << "" << "cargo" << 1
            << "O cargo não pode ser excluído: há candidatos cadastrados neste cargo.";
        QTest::addRow("cargo na ordem") << semMapa + "delete from candidatos where id_cargo = 2" << "cargo" << 2
            << "O cargo não pode ser excluído: ele está na sequência da votação.";
        QTest::addRow("cargo com votos") << vice + voto + "(3, '451', 'NORMAL', '2024-10-06', null, 3, 2)" << "cargo" << 3
            << "O cargo não pode ser excluído: há votos registrados para este cargo.";
        QTest::addRow("partido com voto de legenda") << "insert into partido (partido, legenda) values ('P', '77'); " +
            voto + "(3, null, 'LEGENDA', '2024-10-06', '77', null, null)" << "partido" << 3
            << "O partido não pode ser excluído: há votos registrados para este partido.";
        QTest::addRow("candidato no mapa") << "" << "candidatos" << 1
            << "O candidato não pode ser excluído: ele está no mapa de candidatos da votação.";
        QTest::addRow("candidato com votos") << semMapa + voto + "(2, '45', 'NORMAL', '2024-10-06', null, 1, 2)"
            << "candidatos" << 2 << "O candidato não pode ser excluído: há votos registrados para este candidato.";
        QTest::addRow("sem referências") << semMapa + vice + voto + "(3, null, 'LEGENDA', '2024-10-06', '45', null, null)"
            << "cargo" << 3 << "";
        // clang-format on
    }
    void deletingWhatIsReferred()
    {
        QFETCH(QString, preparo);
        QFETCH(QString, tabela);
        QFETCH(int, chave);
        QFETCH(QString, mensagem);
        for (const QString &s : preparo.split("; ", Qt::SkipEmptyParts))
            executa(db(), s);
        abre();
        Mensagens::defineConfirmador([](const QString &p) { return p == "Delete record?"; });
        const int aba = tabela == "candidatos" ? 0 : tabela == "cargo" ? 1 : 2;
        auto *navegador = w->pg_principal->widget(aba)->findChild<DbNavigator *>();
        Query *q = navegador->dataSource()->dataSet();
        QVERIFY(q->locate(q->fieldName(0), QString::number(chave)));
        navegador->click(Button::Delete);
        QCOMPARE(
            valor(QString("select count(*) from %1 where %2 = %3").arg(tabela, q->fieldName(0)).arg(chave)),
            QVariant(mensagem.isEmpty() ? 0 : 1));
        QCOMPARE(m_msgs->textos(), mensagem.isEmpty() ? QStringList() : QStringList{mensagem});
        if (!mensagem.isEmpty()) QCOMPARE(q->field(0).asInteger(), chave);
    }

    // At the window's size the six tabs stand side by side, whole, none scrolled away.
    void allTabsInView()
    {
        abre();
        QTabBar *barra = w->pg_principal->tabBar();
        QCOMPARE(barra->count(), 6);
        const QRect naJanela(barra->mapFrom(w, QPoint(0, 0)), w->size());
        const QRect visivel = barra->rect() & naJanela & QRect(barra->mapFrom(w->pg_principal, QPoint(0, 0)),
                                                                w->pg_principal->size());
        for (int i = 0; i < barra->count(); ++i) {
            const QString titulo = barra->tabText(i);
            QVERIFY2(visivel.contains(barra->tabRect(i)), qPrintable(titulo));
            QVERIFY2(barra->tabRect(i).width() > barra->fontMetrics().horizontalAdvance(titulo), qPrintable(titulo));
        }
        QCOMPARE(barra->tabText(5), QString("Relatório"));
        for (const QToolButton *rolagem : barra->findChildren<QToolButton *>())
            QVERIFY(!rolagem->isVisible());
        QTest::mouseClick(barra, Qt::LeftButton, {}, barra->tabRect(5).center());
        QCOMPARE(w->pg_principal->currentIndex(), 5);
    }

    // No message names a column, a table or shows the engine's English.
    void messagesNameLabels_data()
    {
        QTest::addColumn<QString>("doBanco");
        QTest::addColumn<QString>("mensagem");
        // clang-format off
        QTest::addRow("campo obrigatório") << "NOT NULL constraint failed: cargo.quantidade_numeros"
            << "O campo \"Qtn. de Nº\" não pode ficar vazio";
        QTest::addRow("regra de um arquivo antigo") << "CHECK constraint failed: O campo nome_candidato aceita no máximo 100 caracteres"
            << "O campo \"Nome do candidato\" aceita no máximo 100 caracteres";
        QTest::addRow("duplicado sem frase própria") << "UNIQUE constraint failed: candidatos_votacao.id_candidato, candidatos_votacao.data_votacao"
            << "Já existe um registro com o mesmo valor em \"Candidato\", \"Dia da votação\"";
        QTest::addRow("tipo errado") << "datatype mismatch" << "O banco de dados não pôde concluir a operação";
        QTest::addRow("chave estrangeira") << "FOREIGN KEY constraint failed" << "O banco de dados não pôde concluir a operação";
        QTest::addRow("coluna inexistente") << "no such column: legenda"
            << "O arquivo do banco de dados não tem o campo \"Nº legenda\" de uma eleição do Votarim";
        QTest::addRow("coluna alheia inexistente") << "no such column: x.numero_x"
            << "O arquivo do banco de dados não tem a estrutura de uma eleição do Votarim";
        QTest::addRow("frase de uma regra") << "O candidato não pode ser excluído: ele está no mapa de candidatos da votação"
            << "O candidato não pode ser excluído: ele está no mapa de candidatos da votação";
        QTest::addRow("frase sem acento") << "Cargo sem candidatos no dia" << "Cargo sem candidatos no dia";
        // clang-format on
    }
    void messagesNameLabels()
    {
        QFETCH(QString, doBanco);
        QFETCH(QString, mensagem);
        QCOMPARE(db().translateMessage(doBanco), mensagem);
    }

    // Escape in a name or text box puts the stored value back; the window stays open.
    void escapeRestoresStoredValue_data()
    {
        QTest::addColumn<int>("aba");
        QTest::addColumn<QString>("caixa");
        QTest::addColumn<QString>("guardado");
        QTest::addRow("nome do candidato") << 0 << "cmp_nome_candidato" << "Ana";
        QTest::addRow("nome do cargo") << 1 << "cmp_cargo" << "Presidente";
        QTest::addRow("nome do partido") << 2 << "cmp_partido" << "Partido <b>Azul</b>";
        QTest::addRow("ordem") << 3 << "cmp_ordem_votacao" << "1";
    }
    void escapeRestoresStoredValue()
    {
        QFETCH(int, aba);
        QFETCH(QString, caixa);
        QFETCH(QString, guardado);
        abre();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        w->pg_principal->setCurrentIndex(aba);
        auto *navegador = w->pg_principal->widget(aba)->findChild<DbNavigator *>();
        navegador->click(Button::Edit);
        auto *e = w->findChild<DbEdit *>(caixa);
        e->setFocus();
        QTRY_VERIFY(e->hasFocus());
        e->end(false);
        // Through the window, as the keyboard delivers keys, not straight to the box.
        QTest::keyClick(w->windowHandle(), Qt::Key_9);
        QCOMPARE(e->text(), guardado + "9");
        QTest::keyClick(w->windowHandle(), Qt::Key_Escape);
        QCOMPARE(e->text(), guardado);
        QVERIFY(w && w->isVisible());
        navegador->click(Button::Post);
        QCOMPARE(e->text(), guardado);
        QCOMPARE(e->dataSource()->dataSet()->state(), Query::State::Browse);
        QVERIFY(m_msgs->lista.empty());
    }

    // The terminal reads the voting order and the offices once: a change to them is
    // announced when the window closes; nothing else is.
    void closeNotice_data()
    {
        QTest::addColumn<int>("aba");
        QTest::addColumn<QString>("caixa");
        QTest::addColumn<QString>("digitado");
        QTest::addColumn<bool>("salva");
        QTest::addColumn<bool>("aviso");
        QTest::addRow("sem mudança") << 0 << "" << "" << false << false;
        QTest::addRow("partido alterado") << 2 << "cmp_partido" << " Novo" << true << false;
        QTest::addRow("candidato alterado") << 0 << "cmp_nome_candidato" << " Maria" << true << false;
        QTest::addRow("cargo alterado e cancelado") << 1 << "cmp_cargo" << " Geral" << false << false;
        QTest::addRow("cargo renomeado") << 1 << "cmp_cargo" << " da República" << true << true;
        QTest::addRow("posição na ordem") << 3 << "cmp_ordem_votacao" << "3" << true << true;
    }
    void closeNotice()
    {
        QFETCH(int, aba);
        QFETCH(QString, caixa);
        QFETCH(QString, digitado);
        QFETCH(bool, salva);
        QFETCH(bool, aviso);
        abre();
        if (!caixa.isEmpty()) {
            w->pg_principal->setCurrentIndex(aba);
            auto *navegador = w->pg_principal->widget(aba)->findChild<DbNavigator *>();
            navegador->click(Button::Edit);
            auto *e = w->findChild<DbEdit *>(caixa);
            if (aba == 3)
                e->selectAll();
            else
                e->end(false);
            teclas(e, digitado);
            navegador->click(salva ? Button::Post : Button::Cancel);
        }
        QVERIFY(m_msgs->lista.empty());
        w->close();
        QTRY_VERIFY(w.isNull());
        if (!aviso) {
            QVERIFY(m_msgs->lista.empty());
            return;
        }
        QCOMPARE(m_msgs->textos(), QStringList{"As mudanças na ordem de votação e nos cargos valem a partir da "
                                               "próxima vez que o programa for aberto."});
        QCOMPARE(m_msgs->lista[0].icone, Mensagens::Icone::Informacao);
        abre(); // told once: the next window has nothing new to tell
        w->close();
        QTRY_VERIFY(w.isNull());
        QCOMPARE(m_msgs->lista.size(), size_t(1));
    }

    // Names from the database are text, never markup: nothing of these draws red.
    void namesArePlainText()
    {
        executa(
            db(),
            "update candidatos set nome_candidato = '<font color=red>Ana</font>' where numcad_candidato = 1");
        executa(db(), "update cargo set cargo = '<font color=red>Presidente</font>' where numcad_cargo = 1");
        executa(db(), "update partido set partido = '<font color=red>Azul</font>' where numcad_partido = 1");
        abre();
        for (int aba : {0, 1, 2, 3, 4}) {
            w->pg_principal->setCurrentIndex(aba);
            QVERIFY2(!temVermelho(w), qPrintable(w->pg_principal->tabText(aba)));
        }
        QCOMPARE(w->cmp_id_candidato_cand_votacao->currentText(), QString("<font color=red>Ana</font>"));
    }
};

QTEST_MAIN(TstRegistration)
#include "tst_registration.moc"
