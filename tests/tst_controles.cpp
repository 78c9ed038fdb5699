// The data-bound controls, each against a real query on a fresh database: what
// they show, when they take input, what they write and when, and how they move
// their queries.

#include "apoio.h"
#include "data/fontedados.h"
#include "platform/dbedit.h"
#include "platform/dbgrid.h"
#include "platform/dblookupcombo.h"
#include "platform/dbnavigator.h"
#include "platform/dbtext.h"

#include <QApplication>
#include <QFocusEvent>
#include <QHeaderView>
#include <QListView>
#include <QToolButton>

using Button = DbNavigator::Button;

class TstControles : public QObject
{
    Q_OBJECT

    std::unique_ptr<InstalacaoTeste> m_inst;
    std::unique_ptr<Database> m_db;

    void semeia()
    {
        Database &db = *m_db;
        executa(db, "insert into cargo (cargo, quantidade_numeros) values (\"Presidente\", 2)");
        executa(db, "insert into cargo (cargo, quantidade_numeros) values (\"Senador\", 3)");
        executa(db, "insert into partido (partido, legenda) values (\"Partido Azul\", \"13\")");
        const QString c =
            "insert into candidatos (nome_candidato, numero_candidato, id_partido, id_cargo) values "
            "(:a, :b, :c, :d)";
        executa(db, c, {"Ana", "13", 1, 1});
        executa(db, c, {"Bruno", "14", 1, 1});
        executa(db, c, {"Carla", "131", 1, 2});
        executa(db, c, {"Davi", "132", 1, 99}); // an office that does not exist
    }

    qint64 conta(const QString &sql) { return contaLinhas(*m_db, sql); }

    static void focoSai(QWidget *w)
    {
        QFocusEvent e(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(w, &e);
    }

    static QString estados(const DbNavigator &n)
    {
        QString s;
        for (int i = 0; i < DbNavigator::kButtons; ++i)
            s += n.button(Button(i))->isEnabled() ? u'1' : u'0';
        return s;
    }

    // A candidate's office, shown by its name from the offices.
    struct Busca {
        Query cargos, candidatos;
        DataSource dsCargo{nullptr, &cargos}, dsCand{nullptr, &candidatos};
        DbLookupComboBox l;
        explicit Busca(Database &db) : cargos(db), candidatos(db)
        {
            cargos.setSql("select * from cargo");
            candidatos.setSql("select *  from candidatos");
            l.setDataSource(&dsCand);
            l.setDataField("id_cargo");
            l.setListSource(&dsCargo);
            l.setKeyField("numcad_cargo");
            l.setListField("cargo");
        }
    };

  private slots:
    void init()
    {
        m_inst = std::make_unique<InstalacaoTeste>();
        m_db = std::make_unique<Database>();
        Esquema::prepara(*m_db);
        m_db->setConnectionString(Database::connectionStringFor(m_inst->banco()));
        m_db->open();
        semeia();
    }
    void cleanup()
    {
        Mensagens::defineConfirmador({});
        m_db.reset();
        m_inst.reset();
    }

    // Automatic editing off: the box takes typing only after Edit or Insert; the
    // typed text reaches the field before a save and before a move.
    void editBox()
    {
        Query q(*m_db);
        q.setSql("select * from cargo");
        DataSource ds(nullptr, &q);
        DbEdit e;
        e.setDataSource(&ds);
        e.setDataField("cargo");
        e.setMaxLength(60);
        QCOMPARE(e.text(), QString());
        q.open();
        QCOMPARE(e.text(), QString("Presidente"));
        QVERIFY(e.isReadOnly());
        QTest::keyClicks(&e, "X");
        QCOMPARE(e.text(), QString("Presidente"));
        QCOMPARE(q.state(), Query::State::Browse);

        q.edit();
        QVERIFY(!e.isReadOnly());
        e.selectAll();
        QTest::keyClicks(&e, "Governador");
        q.post(); // no focus change: the save asks for the text
        QCOMPARE(conta("select count(*) from cargo where cargo = \"Governador\""), 1);
        QVERIFY(e.isReadOnly());

        q.edit();
        e.end(false);
        QTest::keyClicks(&e, " Geral");
        q.next(); // the move saves the changed row
        QCOMPARE(conta("select count(*) from cargo where cargo = \"Governador Geral\""), 1);
        QCOMPARE(e.text(), QString("Senador"));

        // Escape puts the field's text back; leaving the box writes what is typed.
        q.edit();
        QTest::keyClicks(&e, "X");
        QTest::keyClick(&e, Qt::Key_Escape);
        QCOMPARE(e.text(), QString("Senador"));
        QVERIFY(!q.modified());
        e.end(false);
        QTest::keyClicks(&e, "Y");
        focoSai(&e);
        QCOMPARE(q.field("cargo").asString(), QString("SenadorY"));
        QVERIFY(q.modified());
        // An emptied box clears the field.
        e.clear();
        e.setModified(true);
        focoSai(&e);
        QVERIFY(q.field("cargo").isNull());
        q.cancel();
        QCOMPARE(e.text(), QString("Senador"));

        // With automatic editing on, the first key typed starts editing.
        ds.setAutoEdit(true);
        QVERIFY(!e.isReadOnly());
        QTest::keyClicks(&e, "Z");
        QCOMPARE(q.state(), Query::State::Edit);
        QCOMPARE(e.text(), QString("SenadorZ"));
    }

    // Texts from the database are never read as markup.
    void plainText()
    {
        executa(*m_db, "update candidatos set nome_candidato = \"<b>Ana</b>\" where numcad_candidato = 1");
        Query q(*m_db);
        q.setSql("select * from candidatos");
        DataSource ds(nullptr, &q);
        DbText t;
        t.setDataSource(&ds);
        t.setDataField("nome_candidato");
        q.open();
        QCOMPARE(t.textFormat(), Qt::PlainText);
        QCOMPARE(t.text(), QString("<b>Ana</b>"));
        q.next();
        QCOMPARE(t.text(), QString("Bruno"));
        q.close();
        QCOMPARE(t.text(), QString());
    }

    void controlsOutliveTheirQuery()
    {
        auto q = std::make_unique<Query>(*m_db);
        q->setSql("select * from cargo");
        DataSource ds(nullptr, q.get());
        DbEdit e;
        e.setDataSource(&ds);
        e.setDataField("cargo");
        DbNavigator n;
        n.setDataSource(&ds);
        q->open();
        QCOMPARE(e.text(), QString("Presidente"));
        q.reset();
        QCOMPARE(ds.dataSet(), nullptr);
        QCOMPARE(e.text(), QString());
        QCOMPARE(estados(n), QString("000000000"));
    }

    // The lookup shows the list text of the key and moves the list query to it.
    void lookup()
    {
        Busca b(*m_db);
        Query &cargos = b.cargos, &candidatos = b.candidatos;
        DbLookupComboBox &l = b.l;
        cargos.open();
        cargos.last();
        candidatos.open();
        QCOMPARE(l.currentText(), QString("Presidente"));
        QCOMPARE(cargos.field("cargo").asString(), QString("Presidente"));
        QCOMPARE(l.count(), 2);
        candidatos.moveTo(2);
        QCOMPARE(l.currentText(), QString("Senador"));
        QCOMPARE(cargos.field("cargo").asString(), QString("Senador"));
        candidatos.next(); // a key no row has: nothing shown, the list stays
        QCOMPARE(l.currentIndex(), -1);
        QCOMPARE(l.currentText(), QString());
        QCOMPARE(cargos.field("cargo").asString(), QString("Senador"));

        // In browse state it takes no input.
        candidatos.first();
        l.showPopup();
        QVERIFY(!l.popupList() || !l.popupList()->isVisible());
        QVERIFY(!l.view()->isVisible());
        QTest::keyClick(&l, Qt::Key_Down);
        QCOMPARE(candidatos.field("id_cargo").asInteger(), 1);
        QCOMPARE(l.currentText(), QString("Presidente"));

        // While editing, a pick in the drop-down, or with the keys, writes the row's key.
        candidatos.edit();
        l.showPopup();
        QListView *lista = l.popupList();
        QVERIFY(lista && lista->isVisible());
        QCOMPARE(lista->model()->rowCount(), 2);
        QCOMPARE(lista->currentIndex().row(), 0); // on the row shown
        QTest::mouseClick(lista->viewport(), Qt::LeftButton, {},
                          lista->visualRect(lista->model()->index(1, 0)).center());
        QVERIFY(!lista->isVisible());
        QCOMPARE(candidatos.field("id_cargo").asInteger(), 2);
        QCOMPARE(cargos.field("cargo").asString(), QString("Senador"));
        QTest::keyClick(&l, Qt::Key_Up);
        QCOMPARE(candidatos.field("id_cargo").asInteger(), 1);
        QTest::keyClick(&l, Qt::Key_Down);
        QCOMPARE(candidatos.field("id_cargo").asInteger(), 2);
        candidatos.post();
        QCOMPARE(conta("select id_cargo from candidatos where numcad_candidato = 1"), 2);

        // A list query with a row being changed is not moved by the lookup.
        cargos.first();
        cargos.edit();
        candidatos.first();
        QCOMPARE(l.currentText(), QString("Senador"));
        QCOMPARE(cargos.currentRow(), 0);
        QCOMPARE(cargos.state(), Query::State::Edit);
        cargos.cancel();

        // The list follows rows added to the list query.
        cargos.insert();
        cargos.field("cargo").setValue("Prefeito");
        cargos.field("quantidade_numeros").setValue(1);
        cargos.post();
        QCOMPARE(l.count(), 3);
        QCOMPARE(l.currentText(), QString("Senador"));
    }

    void lookupDeleteKey()
    {
        Busca b(*m_db);
        Query &cargos = b.cargos, &candidatos = b.candidatos;
        DbLookupComboBox &l = b.l;
        l.setDeleteClears(true);
        cargos.open();
        candidatos.open();
        Mensagens_vistas vistas;
        QTest::keyClick(&l, Qt::Key_Delete); // browse: the data layer refuses, the record stays
        QCOMPARE(vistas.lista.size(), size_t(1));
        QCOMPARE(vistas.lista[0].icone, Mensagens::Icone::Erro);
        QCOMPARE(candidatos.field("id_cargo").asInteger(), 1);
        candidatos.edit();
        QTest::keyClick(&l, Qt::Key_Delete, Qt::ShiftModifier); // only without Shift, Ctrl or Alt
        QCOMPARE(candidatos.field("id_cargo").asInteger(), 1);
        QTest::keyClick(&l, Qt::Key_Delete);
        QVERIFY(candidatos.field("id_cargo").isNull());
        QCOMPARE(l.currentIndex(), -1);
        candidatos.post();
        QCOMPARE(conta("select count(*) from candidatos where numcad_candidato = 1 and id_cargo is null"), 1);
    }

    // The grid shows the query's rows and moves it by clicks and arrow keys.
    void grid()
    {
        Query q(*m_db);
        q.setSql("select * from cargo");
        DataSource ds(nullptr, &q);
        DbGrid g;
        g.setDataSource(&ds);
        g.setColumns({{"cargo", "Cargo", 360}, {"quantidade_numeros", "Qtn. de Nº", 70}});
        g.setColumnsResizable(false);
        g.resize(456, 164);
        g.show();
        QVERIFY(QTest::qWaitForWindowExposed(&g));
        QCOMPARE(g.model()->rowCount(), 0);
        q.open();
        QCOMPARE(g.model()->rowCount(), 2);
        QCOMPARE(g.model()->headerData(1, Qt::Horizontal).toString(), QString("Qtn. de Nº"));
        QCOMPARE(g.columnWidth(0), 360);
        QCOMPARE(g.horizontalHeader()->sectionResizeMode(0), QHeaderView::Fixed);
        QVERIFY(g.verticalHeader()->isHidden());
        QCOMPARE(g.editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(g.model()->index(1, 0).data().toString(), QString("Senador"));
        QCOMPARE(g.currentIndex().row(), 0);

        QTest::mouseClick(g.viewport(), Qt::LeftButton, {}, g.visualRect(g.model()->index(1, 0)).center());
        QCOMPARE(q.currentRow(), 1);
        QTest::keyClick(&g, Qt::Key_Up);
        QCOMPARE(q.currentRow(), 0);
        q.last();
        QCOMPARE(g.currentIndex().row(), 1);
        QVERIFY(g.selectionModel()->isRowSelected(1, QModelIndex()));

        // The row being added shows in the grid, and goes when dropped.
        q.insert();
        QCOMPARE(g.model()->rowCount(), 3);
        QCOMPARE(g.currentIndex().row(), 1);
        q.field("cargo").setValue("Prefeito");
        QCOMPARE(g.model()->index(1, 0).data().toString(), QString("Prefeito"));
        q.cancel();
        QCOMPARE(g.model()->rowCount(), 2);

        // A move whose save the database refuses stays on the row being edited.
        Mensagens_vistas vistas;
        q.edit();
        q.field("cargo").setValue(QString(61, 'x'));
        QTest::mouseClick(g.viewport(), Qt::LeftButton, {}, g.visualRect(g.model()->index(0, 0)).center());
        QCOMPARE(vistas.lista.size(), size_t(1));
        QCOMPARE(q.state(), Query::State::Edit);
        QCOMPARE(q.currentRow(), 1);
        QCOMPARE(g.currentIndex().row(), 1);
    }

    void navigatorStates_data()
    {
        QTest::addColumn<int>("cena");
        QTest::addColumn<QString>("ativos"); // First Prior Next Last Insert Delete Edit Post Cancel
        QTest::addRow("closed") << 0 << "000000000";
        QTest::addRow("open, at the start") << 1 << "001111100";
        QTest::addRow("middle row") << 2 << "111111100";
        QTest::addRow("after last") << 3 << "110011100";
        QTest::addRow("next found no row") << 4 << "110011100";
        QTest::addRow("empty") << 5 << "000010100";
        QTest::addRow("editing the first row") << 6 << "001111011";
        QTest::addRow("adding a row") << 7 << "111111011";
        QTest::addRow("read-only result") << 8 << "001100000";
    }
    void navigatorStates()
    {
        QFETCH(int, cena);
        QFETCH(QString, ativos);
        executa(*m_db, "insert into cargo (cargo, quantidade_numeros) values (\"Prefeito\", 1)");
        Query q(*m_db);
        q.setSql(cena == 5   ? "select * from cargo where numcad_cargo = 0"
                 : cena == 8 ? "select cargo from cargo"
                             : "select * from cargo");
        DataSource ds(nullptr, &q);
        DbNavigator n;
        n.setDataSource(&ds);
        if (cena > 0) q.open();
        if (cena == 2) q.next();
        if (cena == 3) q.last();
        if (cena == 4) {
            q.moveTo(2);
            q.next();
        }
        if (cena == 6) q.edit();
        if (cena == 7) q.insert();
        QCOMPARE(estados(n), ativos);
    }

    void navigatorActions()
    {
        Query q(*m_db);
        q.setSql("select * from cargo");
        DataSource ds(nullptr, &q);
        DbNavigator n;
        n.setDataSource(&ds);
        const QStringList dicas = {
            "Primeiro registro",     "Registro anterior",         "Próximo registro",
            "Último registro",       "Adiciona um novo registro", "Remove o registro atual",
            "Edita o regstro atual", "Salva as modificações",     "Cancela as modificações atuais"};
        for (int i = 0; i < DbNavigator::kButtons; ++i)
            QCOMPARE(n.button(Button(i))->toolTip(), dicas[i]);
        q.open();
        int gravacoes = 0;
        q.afterPost = [&](Query &) { ++gravacoes; };

        // Moving away saves a changed row and drops an unchanged one.
        n.click(Button::Edit);
        q.field("cargo").setValue("Governador");
        n.click(Button::Next);
        QCOMPARE(gravacoes, 1);
        QCOMPARE(conta("select count(*) from cargo where cargo = \"Governador\""), 1);
        n.click(Button::Edit);
        n.click(Button::First);
        QCOMPARE(gravacoes, 1);
        QCOMPARE(q.state(), Query::State::Browse);
        n.click(Button::Edit);
        q.field("cargo").setValue("Presidente");
        n.click(Button::Insert); // Insert saves the changed row first
        QCOMPARE(gravacoes, 2);
        QCOMPARE(q.state(), Query::State::Insert);
        n.click(Button::Next); // an untouched new row is dropped
        QCOMPARE(q.recordCount(), 2);

        // The hook sees the button and can stop the action.
        QList<Button> vistos;
        n.setBeforeAction([&](Button b) {
            vistos << b;
            return b != Button::Post;
        });
        n.click(Button::Edit);
        q.field("cargo").setValue("Senadora");
        n.click(Button::Post);
        QCOMPARE(q.state(), Query::State::Edit);
        QCOMPARE(vistos, (QList<Button>{Button::Edit, Button::Post}));
        n.click(Button::Cancel);
        QCOMPARE(q.field("cargo").asString(), QString("Senador"));
        n.setBeforeAction({});

        // Delete asks first.
        QStringList perguntas;
        bool resposta = false;
        Mensagens::defineConfirmador([&](const QString &p) {
            perguntas << p;
            return resposta;
        });
        n.click(Button::Delete);
        QCOMPARE(perguntas, QStringList{"Delete record?"});
        QCOMPARE(conta("select count(*) from cargo"), 2);
        resposta = true;
        n.click(Button::Delete);
        QCOMPARE(conta("select count(*) from cargo"), 1);
        // While a row is being added, Delete drops it.
        n.click(Button::Insert);
        q.field("cargo").setValue("Novo");
        n.click(Button::Delete);
        QCOMPARE(q.state(), Query::State::Browse);
        QCOMPARE(conta("select count(*) from cargo"), 1);

        // A save the database refuses is reported; the row stays being edited.
        Mensagens_vistas vistas;
        n.click(Button::Edit);
        q.field("cargo").setValue(QString(61, 'x'));
        n.click(Button::Post);
        QCOMPARE(vistas.textos(), QStringList{"O campo cargo aceita no máximo 60 caracteres."});
        QCOMPARE(q.state(), Query::State::Edit);
        QVERIFY(n.button(Button::Post)->isEnabled());
    }
};

QTEST_MAIN(TstControles)
#include "tst_controles.moc"
