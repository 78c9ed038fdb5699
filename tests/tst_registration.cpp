// The registration window on a fresh installation each: the shared data module and
// its two chains, the window and its tabs, photos, the voting order, the voting-day
// map with its filter, the picture loader, and what the database refuses.

#include "apoio.h"
#include "data/diatexto.h"
#include "data/ufrmdados.h"
#include "platform/bitmap.h"
#include "platform/dbedit.h"
#include "platform/dbgrid.h"
#include "platform/dblookupcombo.h"
#include "platform/dbtext.h"
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
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QtEndian>

using Button = DbNavigator::Button;

namespace
{

QByteArray bmp(QColor cor, QSize tamanho = {40, 30}, const char *formato = "BMP")
{
    QImage img(tamanho, QImage::Format_RGB888);
    img.fill(cor);
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, formato);
    return bytes;
}

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
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

bool temVermelho(QWidget *w)
{
    const QImage img = w->grab().toImage();
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QColor c = img.pixelColor(x, y);
            if (c.red() > 150 && c.green() < 100 && c.blue() < 100) return true;
        }
    return false;
}

QString estados(const DbNavigator *n)
{
    QString s;
    for (int i = 0; i < DbNavigator::kButtons; ++i)
        s += n->button(Button(i))->isEnabled() ? u'1' : u'0';
    return s;
}

// Picks a row of a lookup's drop-down by its text, with the mouse.
void escolhe(DbLookupComboBox *l, const QString &texto)
{
    l->showPopup();
    QListView *lista = l->popupList();
    QVERIFY(lista && lista->isVisible());
    for (int r = 0; r < lista->model()->rowCount(); ++r) {
        const QModelIndex i = lista->model()->index(r, 0);
        if (i.data().toString() != texto) continue;
        lista->scrollTo(i);
        QTest::mouseClick(lista->viewport(), Qt::LeftButton, {}, lista->visualRect(i).center());
        return;
    }
    QFAIL(qPrintable("sem a linha " + texto));
}

// Types each character as a key press; characters beyond ASCII as the keyboard sends them.
void teclas(QWidget *w, const QString &texto)
{
    for (const QChar c : texto) {
        if (c.unicode() < 128) {
            QTest::keyClick(w, char(c.unicode()));
            continue;
        }
        QKeyEvent e(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &e);
    }
}

void clicaLinha(DbGrid *g, int linha)
{
    QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, g->visualRect(g->model()->index(linha, 0)).center());
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

    QVariant valor(const QString &sql, const QVariantList &valores = {})
    {
        Query q(db());
        q.setSql(sql);
        for (int i = 0; i < valores.size(); ++i)
            q.setParam(i, valores[i]);
        q.open();
        return q.field(0).value();
    }

    static QList<Query *> consultas()
    {
        return {&frmdados->tb_candidatos,        &frmdados->tb_cargo, &frmdados->tb_partido,
                &frmdados->tb_ordemvotacao,      &frmdados->tb_ova,   &frmdados->tb_candidato_votacao,
                &frmdados->tb_candidato_votacaoG};
    }

    // Answers the photo dialog once it shows: the file name, or Cancel for none.
    void respondeDialogo(const QString &nome)
    {
        QTimer::singleShot(0, w, [this, nome] {
            auto *d = w->findChild<QFileDialog *>("dialogo_foto");
            QVERIFY(d && d->isVisible());
            QCOMPARE(d->windowTitle(), QString("Selecione a imagem"));
            QCOMPARE(d->nameFilters(), QStringList{"Imagens (*.bmp)"});
            if (nome.isEmpty()) {
                d->reject();
                return;
            }
            d->selectFile(nome);
            static_cast<QDialog *>(d)->accept(); // the Open button
        });
    }

    void semeia()
    {
        executa(db(), "insert into cargo (cargo, quantidade_numeros) values (\"Presidente\", 2)");
        executa(db(), "insert into cargo (cargo, quantidade_numeros) values (\"Senador\", 3)");
        executa(db(), "insert into partido (partido, legenda) values (\"Partido <b>Azul</b>\", \"13\")");
        executa(db(), "insert into partido (partido, legenda) values (\"Partido Verde\", \"45\")");
        const QString c =
            "insert into candidatos (nome_candidato, numero_candidato, id_partido, id_cargo) values "
            "(:a, :b, :c, :d)";
        executa(db(), c, {"Ana", "13", 1, 1});
        executa(db(), c, {"Bruno", "45", 2, 1});
        executa(db(), c, {"Carla", "451", 2, 2});
        executa(db(), "insert into ordem_votacao (ordem_votacao, id_cargo) values (1, 1)");
        executa(db(), "insert into ordem_votacao (ordem_votacao, id_cargo) values (2, 2)");
        const QString m =
            "insert into candidatos_votacao (id_candidato, id_cargo, id_partido, data_votacao) values "
            "(:a, :b, :c, :d)";
        executa(db(), m, {1, 1, 1, QDate(2024, 10, 6)});
        executa(db(), m, {3, 2, 2, QDate(2024, 10, 6)});
        executa(db(), m, {2, 1, 2, QDate(2024, 10, 27)});
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
        semeia();
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

    // ---- The window

    // Opened on the first tab with every query open; closed, nothing stays open or unsaved.
    void windowOpensAndCloses()
    {
        abre();
        QVERIFY(w->isModal() && w->parent() == m_dono.get() && frmcadastro == w);
        for (Query *q : consultas())
            QVERIFY(q->isActive());
        QVERIFY(frmimpressao && frmimpressao->parent() == QCoreApplication::instance());
        const QPointer<Tfrmimpressao> impressao = frmimpressao;
        w->pg_principal->setCurrentIndex(2);
        w->navegador_partido->click(Button::Edit);
        QTest::keyClicks(w->cmp_partido, " Claro");
        w->close();
        QTRY_VERIFY(w.isNull());
        QVERIFY(frmcadastro == nullptr && frmdados->seletorDia() == nullptr);
        for (Query *q : consultas())
            QVERIFY(!q->isActive());
        QCOMPARE(valor("select count(*) from partido where partido like '% Claro'").toInt(), 0);
        abre();
        QCOMPARE(w->pg_principal->currentIndex(), 0);
        QVERIFY(impressao && frmimpressao == impressao); // created once
        QVERIFY(m_msgs->lista.empty());
        delete w.data(); // destroyed without closing: the map's handlers lose their picker with it
        QVERIFY(!frmdados->tb_candidato_votacao.isActive() && frmdados->seletorDia() == nullptr);
    }

    // Auto-edit off: input only after Insert or Edit; a move saves a changed row, drops an unchanged one.
    void editingThroughTheNavigator()
    {
        abre();
        DbNavigator *n = w->navegador_candidato;
        QCOMPARE(estados(n), QString("001111100")); // at the beginning, browsing
        QTest::keyClicks(w->cmp_nome_candidato, "X");
        QTest::keyClick(w->cmp_id_cargo, Qt::Key_Down);
        QCOMPARE(frmdados->tb_candidatos.state(), Query::State::Browse);
        QCOMPARE(w->cmp_nome_candidato->text(), QString("Ana"));
        QCOMPARE(w->cmp_id_cargo->currentText(), QString("Presidente"));

        n->click(Button::Edit);
        QCOMPARE(estados(n), QString("001111011"));
        w->cmp_nome_candidato->setFocus();
        w->cmp_nome_candidato->end(false);
        QTest::keyClicks(w->cmp_nome_candidato, " Maria");
        n->click(Button::Next);
        QCOMPARE(valor("select nome_candidato from candidatos where numcad_candidato = 1").toString(),
                 QString("Ana Maria"));
        QCOMPARE(w->DBText1->text(), QString("2"));
        n->click(Button::Edit);
        n->click(Button::Last); // nothing changed: dropped
        QCOMPARE(frmdados->tb_candidatos.state(), Query::State::Browse);
        QCOMPARE(estados(n), QString("110011100"));
        n->click(Button::Edit);
        escolhe(w->cmp_id_partido, "Partido Verde");
        n->click(Button::Insert); // saves the change first
        QCOMPARE(valor("select id_partido from candidatos where numcad_candidato = 3").toInt(), 2);
        QCOMPARE(frmdados->tb_candidatos.state(), Query::State::Insert);
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
        const auto fonte = e->dataSource();
        fonte->dataSet()->insert();
        e->setFocus();
        ::teclas(e, teclas);
        QCOMPARE(e->text(), texto);
        QTest::keyClick(e, Qt::Key_V, Qt::ControlModifier); // the keyboard's paste is a control character
        QTest::keyClick(e, Qt::Key_Home);
        QTest::keyClick(e, Qt::Key_Delete); // keys that type nothing still work
        QCOMPARE(e->text(), texto.mid(1));
        QVERIFY(w.data()->isVisible());
    }

    // Delete empties the candidate's office or party while editing; the map's lookups have no such key.
    void deleteKeyInCandidateLookups()
    {
        abre();
        QTest::keyClick(w->cmp_id_cargo, Qt::Key_Delete);
        QCOMPARE(m_msgs->textos(), QStringList{"A consulta não está em modo de edição ou inclusão."});
        QCOMPARE(m_msgs->lista[0].icone, Mensagens::Icone::Erro);
        w->navegador_candidato->click(Button::Edit);
        QTest::keyClick(w->cmp_id_cargo, Qt::Key_Delete);
        QTest::keyClick(w->cmp_id_partido, Qt::Key_Delete);
        QCOMPARE(w->cmp_id_cargo->currentText(), QString());
        w->navegador_candidato->click(Button::Post);
        QCOMPARE(valor("select count(*) from candidatos where numcad_candidato = 1 and id_cargo is null and "
                       "id_partido is null")
                     .toInt(),
                 1);
        w->DBNavigator1->click(Button::Edit);
        QTest::keyClick(w->cmp_id_cargocand_votacao, Qt::Key_Delete);
        QVERIFY(!frmdados->tb_candidato_votacao.field("id_cargo").isNull());
    }

    // Moving through candidates moves the office and party tabs; the map's lookups move the candidates.
    void lookupsFollowAcrossTabs()
    {
        abre();
        w->navegador_candidato->click(Button::Last);
        QCOMPARE(w->cmp_cargo->text(), QString("Senador"));
        QCOMPARE(w->cmp_partido->text(), QString("Partido Verde"));
        w->navegador_candidato->click(Button::First);
        QCOMPARE(w->cmp_cargo->text(), QString("Presidente"));
        QCOMPARE(w->cmp_legenda->text(), QString("13"));
        w->pg_principal->setCurrentIndex(4);
        w->DBNavigator1->click(Button::Last); // Bruno, Presidente, Partido Verde
        QCOMPARE(w->cmp_nome_candidato->text(), QString("Bruno"));
        QCOMPARE(w->cmp_partido->text(), QString("Partido Verde"));
        QCOMPARE(w->cmp_id_candidato_cand_votacao->currentText(), QString("Bruno"));
    }

    // ---- The data module's chains

    void votingOrderChain()
    {
        executa(db(), "insert into cargo (cargo, quantidade_numeros) values (\"Governador\", 2)");
        abre();
        DbNavigator *n = w->navegador_ordemvotacao;
        n->click(Button::Last);
        QCOMPARE(w->cmp_ordem_votacao->text(), QString("2"));
        n->click(Button::Insert);
        QCOMPARE(frmdados->tb_ova.recordCount(), 2); // the list is re-run, the new row stays current
        QCOMPARE(frmdados->tb_ordemvotacao.state(), Query::State::Insert);
        escolhe(w->cmp_id_cargo_odemvotacao, "Governador");
        QTest::keyClicks(w->cmp_ordem_votacao, "3");
        n->click(Button::Post);
        QCOMPARE(m_msgs->textos(), QStringList());
        QCOMPARE(valor("select id_cargo from ordem_votacao where ordem_votacao = 3").toInt(), 3);
        QCOMPARE(w->cmp_ordem_votacao->text(), QString("1")); // the editors follow the list's first row
        QCOMPARE(frmdados->tb_ova.recordCount(), 3);

        // Editing: a click in the list does not move the editors away.
        n->click(Button::Edit);
        clicaLinha(w->listagem_ordematual, 2);
        QCOMPARE(w->cmp_ordem_votacao->text(), QString("1"));
        QCOMPARE(frmdados->tb_ordemvotacao.state(), Query::State::Edit);
        n->click(Button::Cancel);
        clicaLinha(w->listagem_ordematual, 1);
        QCOMPARE(w->cmp_ordem_votacao->text(), QString("2"));
        clicaLinha(w->listagem_ordematual, 2);
        QCOMPARE(w->cmp_ordem_votacao->text(), QString("3"));
        QCOMPARE(w->cmp_id_cargo_odemvotacao->currentText(), QString("Governador"));
    }

    void guardedSave_data()
    {
        QTest::addColumn<QString>("ordem");
        QTest::addColumn<bool>("comCargo");
        QTest::addColumn<bool>("salva");
        QTest::addRow("vazia") << "" << true << false;
        QTest::addRow("0") << "0" << true << false;
        QTest::addRow("00") << "00" << true << false;
        QTest::addRow("texto") << "ab" << true << false;
        QTest::addRow("sem cargo") << "7" << false << false;
        QTest::addRow("-5") << "-5" << true << true;
        QTest::addRow("+8") << "+8" << true << true;
    }
    void guardedSave()
    {
        QFETCH(QString, ordem);
        QFETCH(bool, comCargo);
        QFETCH(bool, salva);
        abre();
        DbNavigator *n = w->navegador_ordemvotacao;
        n->click(Button::Insert);
        if (comCargo) escolhe(w->cmp_id_cargo_odemvotacao, "Senador");
        QTest::keyClicks(w->cmp_ordem_votacao, ordem);
        n->click(Button::Post);
        const qint64 linhas = valor("select count(*) from ordem_votacao").toLongLong();
        if (salva) {
            QVERIFY(m_msgs->lista.empty());
            QCOMPARE(linhas, 3);
            QCOMPARE(
                valor("select count(*) from ordem_votacao where ordem_votacao = :o", {ordem.toInt()}).toInt(),
                1);
            return;
        }
        QCOMPARE(m_msgs->textos(), QStringList{Tfrmcadastro::kOrdemObrigatoria});
        QCOMPARE(m_msgs->lista[0].icone, Mensagens::Icone::Informacao);
        QCOMPARE(Tfrmcadastro::kOrdemObrigatoria.count(u'\n'), 1);
        QCOMPARE(frmdados->tb_ordemvotacao.state(), Query::State::Insert);
        QCOMPARE(w->cmp_ordem_votacao->text(), ordem);
        QCOMPARE(linhas, 2);
        n->click(Button::Cancel);
        QCOMPARE(frmdados->tb_ordemvotacao.recordCount(), 2);
    }

    void votingDayMapChain()
    {
        abre();
        Query &mapa = frmdados->tb_candidato_votacao;
        DbNavigator *n = w->DBNavigator1;
        QCOMPARE(w->cmp_data_votacao->date(), QDate(2024, 10, 6)); // the first row's day
        w->cmp_data_votacao->setDate(QDate(2030, 5, 5));
        n->click(Button::Insert);
        QCOMPARE(w->cmp_data_votacao->date(), QDate(2000, 1, 1));
        QCOMPARE(frmdados->tb_candidato_votacaoG.recordCount(), 3);
        escolhe(w->cmp_id_candidato_cand_votacao, "Carla");
        escolhe(w->cmp_id_cargocand_votacao, "Presidente"); // not the candidate's own: nothing checks it
        escolhe(w->cmp_id_partido_cand_votacao, "Partido Verde");
        n->click(Button::Post);
        QCOMPARE(valor("select data_votacao from candidatos_votacao where id_candidato = 3 and id_cargo = 1")
                     .toString(),
                 QString("2000-01-01"));
        QCOMPARE(frmdados->tb_candidato_votacaoG.recordCount(), 4);

        // Only the day changed: Post stores it, a move does not.
        n->click(Button::First);
        n->click(Button::Edit);
        w->cmp_data_votacao->setDate(QDate(2024, 11, 3));
        n->click(Button::Next);
        QCOMPARE(valor("select count(*) from candidatos_votacao where data_votacao = '2024-11-03'").toInt(),
                 0);
        n->click(Button::Edit);
        w->cmp_data_votacao->setDate(QDate(2024, 11, 3));
        n->click(Button::Post);
        QCOMPARE(valor("select count(*) from candidatos_votacao where data_votacao = '2024-11-03'").toInt(),
                 1);
        QCOMPARE(w->cmp_data_votacao->date(), QDate(2024, 11, 3));

        // A delete re-runs the overview: the deleted row is gone from the grid at once.
        Mensagens::defineConfirmador([](const QString &) { return true; });
        const int antes = w->DBGrid1->model()->rowCount();
        n->click(Button::Delete);
        QCOMPARE(w->DBGrid1->model()->rowCount(), antes - 1);
        QCOMPARE(valor("select count(*) from candidatos_votacao").toInt(), 3);
        QCOMPARE(w->cmp_data_votacao->date(), mapa.field("data_votacao").asDate());
    }

    void dayFilter()
    {
        abre();
        Query &mapa = frmdados->tb_candidato_votacao, &geral = frmdados->tb_candidato_votacaoG;
        const QDate antes = w->cmp_data_votacao->date();
        QVERIFY(!w->cmp_filtro_candidatosvotacao->isEnabled() &&
                !w->cheq_filtro_candidatosvotacao->isChecked());
        w->cheq_filtro_candidatosvotacao->click(); // untouched picker: 1 January 2000, no rows
        QVERIFY(w->cmp_filtro_candidatosvotacao->isEnabled());
        const QString dia = DiaTexto::escreve(QDate(2000, 1, 1));
        QCOMPARE(
            mapa.sql(),
            QStringList{"select * from candidatos_votacao where data_votacao = datevalue(\"" + dia + "\")"});
        QCOMPARE(geral.sql(), Tfrmdados::sqlMapaGeral() << " and data_votacao = datevalue(\"" + dia + "\")");
        QCOMPARE(geral.recordCount(), 0);
        QCOMPARE(w->cmp_data_votacao->date(), antes);

        w->cmp_filtro_candidatosvotacao->setDate(QDate(2024, 10, 6));
        QCOMPARE(mapa.recordCount(), 2);
        QCOMPARE(geral.recordCount(), 2);
        // A row for another day is saved but not shown.
        w->DBNavigator1->click(Button::Insert);
        escolhe(w->cmp_id_candidato_cand_votacao, "Bruno");
        escolhe(w->cmp_id_cargocand_votacao, "Presidente");
        escolhe(w->cmp_id_partido_cand_votacao, "Partido Verde");
        w->DBNavigator1->click(Button::Post);
        QCOMPARE(valor("select count(*) from candidatos_votacao").toInt(), 4);
        QCOMPARE(geral.recordCount(), 2);
        // A filter change drops the row being edited.
        w->DBNavigator1->click(Button::Edit);
        escolhe(w->cmp_id_partido_cand_votacao, "Partido <b>Azul</b>");
        w->cmp_filtro_candidatosvotacao->caixa()->click(); // the built-in box is a change too
        QCOMPARE(mapa.state(), Query::State::Browse);
        QCOMPARE(valor("select count(*) from candidatos_votacao where id_partido = 1").toInt(), 1);

        w->cheq_filtro_candidatosvotacao->click();
        QVERIFY(!w->cmp_filtro_candidatosvotacao->isEnabled());
        QCOMPARE(w->cmp_filtro_candidatosvotacao->date(), QDate(2024, 10, 6));
        QCOMPARE(geral.recordCount(), 4);
        QCOMPARE(mapa.sql(), Tfrmdados::sqlMapa());
    }

    // A window opened after one closed with the filter on shows every row, as its clear box says.
    void filterClearedOnReopen()
    {
        abre();
        w->cheq_filtro_candidatosvotacao->click();
        w->cmp_filtro_candidatosvotacao->setDate(QDate(2024, 10, 27));
        QCOMPARE(frmdados->tb_candidato_votacaoG.recordCount(), 1);
        w->close();
        QTRY_VERIFY(w.isNull());
        abre();
        QVERIFY(!w->cheq_filtro_candidatosvotacao->isChecked());
        QCOMPARE(frmdados->tb_candidato_votacaoG.recordCount(), 3);
        QCOMPARE(frmdados->tb_candidato_votacao.recordCount(), 3);
    }

    // ---- Photos

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
        const auto fotoSalva = [this] {
            return valor("select foto from candidatos where numcad_candidato = 1");
        };
        n->click(Button::Edit);
        respondeDialogo(QString()); // cancelled
        w->add_imagem->click();
        respondeDialogo(m_inst->caminho("nao_existe.bmp"));
        w->add_imagem->click();
        QCOMPARE(frmdados->tb_candidatos.field("foto").asBytes(), bmp(Qt::red));
        QVERIFY(!frmdados->tb_candidatos.modified());
        respondeDialogo(azul);
        w->add_imagem->click();
        QCOMPARE(frmdados->tb_candidatos.field("foto").asBytes(), bmp(Qt::blue));
        n->click(Button::Cancel);
        QCOMPARE(fotoSalva().toByteArray(), bmp(Qt::red));

        n->click(Button::Edit);
        w->del_imagem->click();
        n->click(Button::Cancel); // removing and cancelling keeps the saved photo
        QCOMPARE(fotoSalva().toByteArray(), bmp(Qt::red));
        n->click(Button::Edit);
        respondeDialogo(texto); // another kind of file, typed by name: stored byte for byte
        w->add_imagem->click();
        n->click(Button::Post);
        QCOMPARE(fotoSalva().toByteArray(), QByteArray("isto não é um bitmap"));
        n->click(Button::Edit);
        w->del_imagem->click();
        n->click(Button::Post);
        QVERIFY(fotoSalva().isNull());
        QVERIFY(m_msgs->lista.empty());
    }

    void showPhoto()
    {
        const QString tmp = m_inst->caminho("foto_tmp.bmp");
        executa(db(), "update candidatos set foto = :f where numcad_candidato = 1",
                {bmp(Qt::red, {300, 100})});
        executa(db(), "update candidatos set foto = :f where numcad_candidato = 3", {QByteArray("GIF89a")});
        abre();
        QVERIFY(w->painel_foto->isHidden());
        w->ck_vizualiza_foto->click();
        QVERIFY(w->painel_foto->isVisible());
        QVERIFY(QFile::exists(tmp));
        QCOMPARE(hashArquivo(tmp),
                 QCryptographicHash::hash(bmp(Qt::red, {300, 100}), QCryptographicHash::Sha256));
        QCOMPARE(w->cmp_foto->pixmap().toImage().pixelColor(2, 2), QColor(Qt::red));
        QCOMPARE(w->cmp_foto->size(), QSize(256, 207));
        // In front of the editors and the grid; the top row stays in view.
        QCOMPARE(w->GroupBox1->childAt(QPoint(20, 200)), w->painel_foto);
        QCOMPARE(w->GroupBox1->childAt(QPoint(400, 15)), w->del_imagem);

        // The picture is taken when the panel is shown, not while it stays shown.
        w->navegador_candidato->click(Button::Edit);
        w->del_imagem->click();
        QCOMPARE(w->cmp_foto->pixmap().toImage().pixelColor(2, 2), QColor(Qt::red));
        w->ck_vizualiza_foto->click();
        QVERIFY(!QFile::exists(tmp) && w->cmp_foto->pixmap().isNull());
        w->ck_vizualiza_foto->click(); // no photo now: an empty panel, no file
        QVERIFY(w->painel_foto->isVisible() && !QFile::exists(tmp) && w->cmp_foto->pixmap().isNull());
        w->ck_vizualiza_foto->click();
        w->navegador_candidato->click(Button::Cancel);

        // Not a bitmap: the loader's error, the panel stays up; the file is there to be deleted.
        w->navegador_candidato->click(Button::Last);
        w->ck_vizualiza_foto->click();
        QCOMPARE(m_msgs->textos(), QStringList{"A imagem bitmap não é válida."});
        QVERIFY(w->painel_foto->isVisible());
        w->ck_vizualiza_foto->click();
        QVERIFY(!QFile::exists(tmp));

        // Closing with the photo shown leaves the file for the next showing to replace.
        w->navegador_candidato->click(Button::First);
        w->ck_vizualiza_foto->click();
        w->close();
        QTRY_VERIFY(w.isNull());
        QVERIFY(QFile::exists(tmp));
        abre();
        QVERIFY(w->painel_foto->isHidden() && !w->ck_vizualiza_foto->isChecked());
    }

    // ---- The picture loader, here and in the terminal

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
        // clang-format on
    }
    void bitmapLoader()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, erro);
        const QString arquivo = m_inst->caminho("x.bmp");
        grava(arquivo, bytes);
        try {
            const QImage img = Bitmap::carrega(arquivo, "x.bmp");
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
        QCOMPARE(
            m_msgs->textos(),
            QStringList{"A imagem bitmap logo_kelvora.bmp declara 60000 × 60000 pixels; o limite é de 4096 "
                        "pixels de cada lado."});
        terminal.show();
        for (const char *tecla : {"btn_1", "btn_4"}) // 1, 3: Ana
            QTest::mouseClick(terminal.findChild<QWidget *>(tecla), Qt::LeftButton);
        QCOMPARE(m_msgs->lista.size(), size_t(2));
        QVERIFY(m_msgs->lista[1].texto.startsWith("A imagem bitmap declara 60000 × 60000 pixels"));
        QCOMPARE(terminal.Label8->text(), QString("Ana"));
    }

    // ---- What the database refuses

    void refusedByTheDatabase_data()
    {
        QTest::addColumn<int>("aba");
        QTest::addColumn<QString>("caixa");
        QTest::addColumn<QString>("valor");
        QTest::addColumn<QString>("mensagem");
        QTest::addRow("número repetido no cargo") << 0 << "cmp_numero_candidato"
                                                  << "13"
                                                  << "Já existe um candidato com este número neste cargo.";
        QTest::addRow("número colado com letra")
            << 0 << "cmp_numero_candidato"
            << "1a"
            << "O campo numero_candidato aceita apenas algarismos, no máximo 5.";
        QTest::addRow("legenda repetida") << 2 << "cmp_legenda"
                                          << "45"
                                          << "Já existe um partido com esta legenda.";
        QTest::addRow("legenda colada com espaço")
            << 2 << "cmp_legenda"
            << " 4"
            << "O campo legenda aceita apenas algarismos, no máximo 2.";
        QTest::addRow("posição repetida na ordem") << 3 << "cmp_ordem_votacao"
                                                   << "2"
                                                   << "Já existe um cargo nesta posição da ordem de votação.";
    }
    // Refused on Post with the message; the record stays being added, with the operator's input.
    void refusedByTheDatabase()
    {
        QFETCH(int, aba);
        QFETCH(QString, caixa);
        QFETCH(QString, valor);
        QFETCH(QString, mensagem);
        abre();
        w->pg_principal->setCurrentIndex(aba);
        auto *navegador = w->pg_principal->widget(aba)->findChildren<DbNavigator *>().value(0);
        auto *e = w->findChild<DbEdit *>(caixa);
        navegador->click(Button::Insert);
        if (aba == 0) {
            teclas(w->cmp_nome_candidato, "Zé");
            escolhe(w->cmp_id_cargo, "Presidente");
        } else if (aba == 2) {
            QTest::keyClicks(w->cmp_partido, "Novo");
        } else {
            escolhe(w->cmp_id_cargo_odemvotacao, "Presidente");
        }
        QGuiApplication::clipboard()->setText(valor);
        e->paste(); // as the context menu does: not filtered
        navegador->click(Button::Post);
        QCOMPARE(m_msgs->textos(), QStringList{mensagem});
        QCOMPARE(m_msgs->lista[0].icone, Mensagens::Icone::Erro);
        QCOMPARE(e->dataSource()->dataSet()->state(), Query::State::Insert);
        QCOMPARE(e->text(), valor);
        if (aba == 0) QCOMPARE(w->cmp_nome_candidato->text(), QString("Zé"));
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
        auto *navegador = w->pg_principal->widget(aba)->findChildren<DbNavigator *>().value(0);
        Query *q = navegador->dataSource()->dataSet();
        QVERIFY(q->locate(q->fieldName(0), QString::number(chave)));
        navegador->click(Button::Delete);
        const QString existe =
            QString("select count(*) from %1 where %2 = %3").arg(tabela, q->fieldName(0)).arg(chave);
        QCOMPARE(valor(existe).toInt(), mensagem.isEmpty() ? 0 : 1);
        QCOMPARE(m_msgs->textos(), mensagem.isEmpty() ? QStringList() : QStringList{mensagem});
        if (!mensagem.isEmpty()) QCOMPARE(q->field(0).asInteger(), chave);
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
