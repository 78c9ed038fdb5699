// The engine adapter: the system's SQL texts on the election schema, the cursor
// and its flags, fields, editing with its events, the rules the file enforces,
// the exclusive lock and the durability of a vote.

#include "apoio.h"
#include "data/diatexto.h"

#include <QProcess>
#include <QRandomGenerator>
#include <csignal>
#include <sqlite3.h>
#include <unistd.h>

namespace {

const QString kInsertVoto = Esquema::kInsereVoto;

QStringList comDia(const QStringList &linhas, const QDate &dia)
{
    QStringList out;
    for (QString l : linhas) out << l.replace(QStringLiteral("{dia}"), DiaTexto::escreve(dia));
    return out;
}

void vota(Database &db, const QVariantList &v) { executa(db, kInsertVoto, v); }

// Writes down what the change channel tells, in order.
struct Registro : QueryListener {
    QStringList &log;
    std::function<void()> escreve; // what an editor writes when asked to flush
    explicit Registro(QStringList &l) : log(l) {}
    void stateChanged(Query &) override { log << "state"; }
    void currentChanged(Query &) override { log << "current"; }
    void fieldChanged(Query &, int c) override { log << QString("field:%1").arg(c); }
    void rowsReset(Query &) override { log << "reset"; }
    void rowInserted(Query &, int r) override { log << QString("inserted:%1").arg(r); }
    void rowRemoved(Query &, int r) override { log << QString("removed:%1").arg(r); }
    void flushPending(Query &) override
    {
        log << "flush";
        if (escreve) escreve();
    }
};

double rssKib()
{
    QFile f("/proc/self/statm");
    if (!f.open(QIODevice::ReadOnly)) return 0;
    return f.readAll().split(' ').value(1).toDouble() * double(sysconf(_SC_PAGESIZE)) / 1024.0;
}

} // namespace

class TstData : public QObject
{
    Q_OBJECT

    std::unique_ptr<InstalacaoTeste> m_inst;
    std::unique_ptr<Database> m_db;
    const QDate m_dia{2026, 10, 4};

    // Two offices, two parties, three candidates, the order, a map and a day of votes.
    void semeia()
    {
        Database &db = *m_db;
        executa(db, "insert into cargo (cargo, quantidade_numeros) values (\"Presidente\", 2)");
        executa(db, "insert into cargo (cargo, quantidade_numeros) values (\"Senador\", 3)");
        executa(db, "insert into partido (partido, legenda) values (\"Partido Azul\", \"13\")");
        executa(db, "insert into partido (partido, legenda) values (\"Partido Verde\", \"45\")");
        executa(db, "insert into candidatos (nome_candidato, numero_candidato, id_partido, id_cargo) values "
                    "(:a, :b, :c, :d)",
                {"Ana", "13", "1", "1"});
        executa(db, "insert into candidatos (nome_candidato, numero_candidato, id_partido, id_cargo) values "
                    "(:a, :b, :c, :d)",
                {"Bruno", "45", "2", "1"});
        executa(db, "insert into candidatos (nome_candidato, numero_candidato, id_partido, id_cargo) values "
                    "(:a, :b, :c, :d)",
                {"Carla", "451", "2", "2"});
        executa(db, "insert into ordem_votacao (ordem_votacao, id_cargo) values (:a, :b)", {"2", "2"});
        executa(db, "insert into ordem_votacao (ordem_votacao, id_cargo) values (:a, :b)", {"1", "1"});
        executa(db, "insert into ordem_votacao (ordem_votacao, id_cargo) values (:a, :b)", {"10", "1"});
        for (const auto &[cand, cargo, partido] : {std::tuple{1, 1, 1}, std::tuple{3, 2, 2}, std::tuple{2, 1, 2}})
            executa(db, "insert into candidatos_votacao (id_candidato, id_cargo, id_partido, data_votacao) values "
                        "(:a,:b,:c,:d)",
                    {cand, cargo, partido, m_dia});
        executa(db, "insert into candidatos_votacao (id_candidato, id_cargo, id_partido, data_votacao) values "
                    "(:a,:b,:c,:d)",
                {1, 1, 1, m_dia.addDays(1)});
        const QVariant n;
        // Ana 2 votes, Bruno 3, Carla 1; two legend votes for party 2, one for party 1; blanks and nulls.
        for (int i = 0; i < 2; ++i) vota(db, {"1", "13", "NORMAL", m_dia, n, "1", "1"});
        for (int i = 0; i < 3; ++i) vota(db, {"2", "45", "NORMAL", m_dia, n, "1", "2"});
        vota(db, {"3", "451", "NORMAL", m_dia, n, "2", "2"});
        vota(db, {"2", n, "LEGENDA", m_dia, "45", n, n});
        vota(db, {"2", n, "LEGENDA", m_dia, "45", n, n});
        vota(db, {"1", n, "LEGENDA", m_dia, "13", n, n});
        vota(db, {n, n, "BRANCO", m_dia, n, n, n});
        vota(db, {n, n, "NULO", m_dia, n, n, n});
        vota(db, {n, n, "NULO", m_dia, n, n, n});
        vota(db, {n, n, "BRANCO", m_dia.addDays(1), n, n, n}); // another day
    }

private slots:
    void init()
    {
        DiaTexto::setLocale(QLocale(QStringLiteral("pt_BR")));
        m_inst = std::make_unique<InstalacaoTeste>();
        m_db = std::make_unique<Database>();
        Esquema::prepara(*m_db);
        m_db->setConnectionString(Database::connectionStringFor(m_inst->banco()));
        m_db->open();
    }
    void cleanup()
    {
        m_db.reset();
        m_inst.reset();
    }

    void translate_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("esperado");
        QTest::addColumn<QStringList>("nomes");
        QTest::addRow("double quotes are strings") << "voto = \"NULO\"" << "voto = 'NULO'" << QStringList{};
        QTest::addRow("quote inside") << "a = \"it's\"" << "a = 'it''s'" << QStringList{};
        QTest::addRow("doubled double quote") << "a = \"x\"\"y\"" << "a = 'x\"y'" << QStringList{};
        QTest::addRow("single quotes kept") << "a = ':nao' and b = :sim" << "a = ':nao' and b = ?"
                                            << QStringList{"sim"};
        QTest::addRow("parameters in order") << "values (:b,:a, :c_1)" << "values (?,?, ?)"
                                             << QStringList{"b", "a", "c_1"};
        QTest::addRow("colon in string") << "x = \"a:b\"" << "x = 'a:b'" << QStringList{};
    }
    void translate()
    {
        QFETCH(QString, sql);
        QFETCH(QString, esperado);
        QFETCH(QStringList, nomes);
        QStringList vistos;
        QCOMPARE(Database::translate(sql, &vistos), esperado);
        QCOMPARE(vistos, nomes);
    }

    void connectionString()
    {
        const auto a = Database::parseConnectionString(
            "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/x/candidatos.mdb;;Mode=Share Deny Read|Share Deny "
            "Write;Persist Security Info=False");
        QCOMPARE(a.value("data source"), QString("/x/candidatos.mdb"));
        QCOMPARE(a.value("mode"), QString("Share Deny Read|Share Deny Write"));
        QCOMPARE(a.size(), 4);
        QVERIFY_THROWS_EXCEPTION(DbError, Database::parseConnectionString("Provider=x;sem igual"));
    }

    void openFailures()
    {
        Database outro;
        outro.setConnectionString("Provider=Outro;Data Source=" + m_inst->banco());
        QVERIFY_THROWS_EXCEPTION(DbError, outro.open());
        Esquema::prepara(outro);
        outro.setConnectionString(Database::connectionStringFor(m_inst->caminho("nao-existe.mdb")));
        QVERIFY_THROWS_EXCEPTION(DbError, outro.open());
        QVERIFY(!QFile::exists(m_inst->caminho("nao-existe.mdb")));
        QVERIFY(!outro.isOpen());
    }

    // Every SQL text the program sends, on a seeded database.
    void systemTexts_data()
    {
        QTest::addColumn<QStringList>("linhas");
        QTest::addColumn<int>("registros");
        QTest::addRow("tb_candidatos") << QStringList{"select *  from candidatos"} << 3;
        QTest::addRow("tb_cargo") << QStringList{"select * from cargo"} << 2;
        QTest::addRow("tb_partido") << QStringList{"select * from partido"} << 2;
        QTest::addRow("tb_ordemvotacao") << QStringList{"select * from ordem_votacao", "order by ordem_votacao"} << 3;
        QTest::addRow("tb_ova") << QStringList{"select ordem_votacao.ordem_votacao, cargo.cargo from ordem_votacao",
                                               "inner join cargo on ordem_votacao.id_cargo = cargo.numcad_cargo",
                                               "order by ordem_votacao"}
                                << 3;
        QTest::addRow("tb_candidato_votacao") << QStringList{"select * from candidatos_votacao"} << 4;
        const QStringList mapa = {
            "select candidatos.nome_candidato, cargo, partido,candidatos_votacao.data_votacao from "
            "candidatos_votacao, candidatos,cargo,partido",
            "where candidatos_votacao.id_candidato = candidatos.numcad_candidato and candidatos_votacao.id_cargo = "
            "cargo.numcad_cargo and candidatos_votacao.id_partido = partido.numcad_partido"};
        QTest::addRow("tb_candidato_votacaoG") << mapa << 4;
        QTest::addRow("map filtered")
            << QStringList{"select * from candidatos_votacao where data_votacao = datevalue(\"{dia}\")"} << 3;
        QTest::addRow("overview filtered") << (mapa + QStringList{" and data_votacao = datevalue(\"{dia}\")"}) << 3;
        QTest::addRow("terminal order")
            << QStringList{"select ordem_votacao.ordem_votacao, cargo.cargo, quantidade_numeros, id_cargo  from "
                           "ordem_votacao",
                           "inner join cargo on ordem_votacao.id_cargo = cargo.numcad_cargo", "order by ordem_votacao"}
            << 3;
        QTest::addRow("legend exists") << QStringList{"select legenda from partido where legenda = \"45\""} << 1;
        QTest::addRow("candidate exists") << QStringList{"select numero_candidato from candidatos where "
                                                         "numero_candidato = \"451\" and id_cargo = 2"}
                                          << 1;
        QTest::addRow("party by legend") << QStringList{"select numcad_partido,partido from partido where legenda = "
                                                        "\"13\""}
                                         << 1;
        QTest::addRow("candidate lookup, number in the text")
            << QStringList{"select numcad_candidato, nome_candidato as candidato, partido, id_partido, id_cargo, foto "
                           "from candidatos",
                           " inner join partido on candidatos.id_partido = partido.numcad_partido where "
                           "numero_candidato = \"45\" and id_cargo = 1"}
            << 1;
        QTest::addRow("totals")
            << QStringList{
                   "select count(data) as Totalgeral,",
                   " (select count(voto) from contagem_votacao where voto = \"BRANCO\" and data = "
                   "datevalue(\"{dia}\")) as Totalbranco,",
                   " (select count(voto) from contagem_votacao where voto = \"NULO\" and data = datevalue(\"{dia}\")) "
                   "as Totalnulo,",
                   " (select count(voto) from contagem_votacao where voto = \"LEGENDA\" and data = "
                   "datevalue(\"{dia}\")) as Totallegenda,",
                   "(select count(voto) from contagem_votacao where voto = \"NORMAL\" and data = "
                   "datevalue(\"{dia}\")) as Totalnormal",
                   "from contagem_votacao where data =  datevalue(\"{dia}\")"}
            << 1;
        QTest::addRow("ranking") << QStringList{"SELECT id_candidato, numero_candidato, id_cargo, id_partido, "
                                                "count(id_candidato) AS Totalvotos",
                                                " FROM contagem_votacao WHERE data= datevalue (\"{dia}\") and "
                                                "voto=\"NORMAL\"",
                                                "GROUP BY id_cargo, id_partido, id_candidato, numero_candidato order "
                                                "by id_cargo, count(id_candidato) desc, id_partido"}
                                 << 3;
        QTest::addRow("legend votes") << QStringList{"SELECT id_candidato,legenda, count(legenda) AS Totalvotos",
                                                     " FROM contagem_votacao",
                                                     " WHERE data = datevalue (\"{dia}\") And voto=\"LEGENDA\"",
                                                     " GROUP BY legenda, id_candidato"}
                                      << 2;
        QTest::addRow("day's candidates") << (mapa + QStringList{" and data_votacao = datevalue(\"{dia}\") order by "
                                                                 "cargo, partido, candidatos.nome_candidato "})
                                          << 3;
        QTest::addRow("rel_candidato") << QStringList{"select * from candidatos"} << 3;
        QTest::addRow("votes, any order") << QStringList{"select * from contagem_votacao"} << 13;
    }
    void systemTexts()
    {
        QFETCH(QStringList, linhas);
        QFETCH(int, registros);
        semeia();
        Query q(*m_db);
        q.setSql(comDia(linhas, m_dia));
        q.open();
        QCOMPARE(q.recordCount(), registros);
    }

    void resultQueries()
    {
        semeia();
        Query q(*m_db);
        q.setSql(comDia({"select count(data) as Totalgeral,",
                         " (select count(voto) from contagem_votacao where voto = \"BRANCO\" and data = "
                         "datevalue(\"{dia}\")) as Totalbranco,",
                         " (select count(voto) from contagem_votacao where voto = \"NULO\" and data = "
                         "datevalue(\"{dia}\")) as Totalnulo,",
                         "(select count(voto) from contagem_votacao where voto = \"NORMAL\" and data = "
                         "datevalue(\"{dia}\")) as Totalnormal",
                         "from contagem_votacao where data =  datevalue(\"{dia}\")"},
                        m_dia));
        q.open();
        QCOMPARE(q.field("Totalgeral").asInteger(), 12);
        QCOMPARE(q.field("Totalbranco").asInteger(), 1);
        QCOMPARE(q.field("Totalnulo").asInteger(), 2);
        QCOMPARE(q.field("Totalnormal").asInteger(), 6);

        q.setSql(comDia({"SELECT id_candidato, numero_candidato, id_cargo, id_partido, count(id_candidato) AS "
                         "Totalvotos",
                         " FROM contagem_votacao WHERE data= datevalue (\"{dia}\") and voto=\"NORMAL\"",
                         "GROUP BY id_cargo, id_partido, id_candidato, numero_candidato order by id_cargo, "
                         "count(id_candidato) desc, id_partido"},
                        m_dia));
        q.open();
        QStringList ranking;
        for (; !q.eof(); q.next())
            ranking << q.field("numero_candidato").asString() + ":" + q.field("Totalvotos").asString();
        QCOMPARE(ranking, (QStringList{"45:3", "13:2", "451:1"}));

        // An empty day still gives one row of zeros.
        q.setSql(comDia({"select count(data) as Totalgeral from contagem_votacao where data =  datevalue(\"{dia}\")"},
                        m_dia.addDays(-30)));
        q.open();
        QCOMPARE(q.recordCount(), 1);
        QCOMPARE(q.field("Totalgeral").asInteger(), 0);
    }

    void cursorFlags()
    {
        semeia();
        Query q(*m_db);
        q.setSql({"select * from ordem_votacao", "order by ordem_votacao"});
        q.open();
        QVERIFY(q.bof());
        QVERIFY(!q.eof());
        QCOMPARE(q.field("ordem_votacao").asInteger(), 1); // sorts as a number: 1, 2, 10
        q.next();
        QVERIFY(!q.bof());
        QCOMPARE(q.field("ordem_votacao").asInteger(), 2);
        q.next();
        QCOMPARE(q.field("ordem_votacao").asInteger(), 10);
        QVERIFY(!q.eof());
        q.next();
        QVERIFY(q.eof());
        QCOMPARE(q.field("ordem_votacao").asInteger(), 10); // stays on the last row
        q.first();
        QVERIFY(q.bof());
        QVERIFY(!q.eof());
        q.prior();
        QVERIFY(q.bof());
        q.last();
        QVERIFY(q.eof());
        QCOMPARE(q.field("ordem_votacao").asInteger(), 10);
        q.prior();
        QVERIFY(!q.eof());
        QCOMPARE(q.field("ordem_votacao").asInteger(), 2);

        Query vazio(*m_db);
        vazio.setSql("select * from cargo where numcad_cargo = 999");
        vazio.open();
        QVERIFY(vazio.bof());
        QVERIFY(vazio.eof());
        QCOMPARE(vazio.recordCount(), 0);
        QVERIFY(vazio.field("cargo").isNull()); // no row: the engine's "nothing"
        QCOMPARE(vazio.field("quantidade_numeros").asInteger(), 0);
        vazio.first();
        QVERIFY(vazio.bof() && vazio.eof());

        // Re-open with a changed text.
        vazio.setSql("select * from cargo");
        QVERIFY(!vazio.isActive());
        vazio.open();
        QCOMPARE(vazio.recordCount(), 2);
    }

    void locateIgnoresCase()
    {
        semeia();
        Query q(*m_db);
        q.setSql("select * from cargo");
        q.open();
        int scrolls = 0;
        q.afterScroll = [&](Query &) { ++scrolls; };
        QVERIFY(q.locate("cargo", "SENADOR"));
        QCOMPARE(q.field("quantidade_numeros").asInteger(), 3);
        QCOMPARE(scrolls, 1);
        QVERIFY(!q.locate("cargo", "Prefeito"));
        QCOMPARE(q.field("cargo").asString(), QString("Senador"));
        QVERIFY(q.locate("numcad_cargo", "1"));
        QCOMPARE(q.field("cargo").asString(), QString("Presidente"));
    }

    void fields()
    {
        semeia();
        Query q(*m_db);
        q.setSql(QString("select * from candidatos_votacao where data_votacao = datevalue (\"{dia}\")").replace(
            "{dia}", DiaTexto::escreve(m_dia)));
        q.open();
        QCOMPARE(q.field("data_votacao").asDate(), m_dia);
        QCOMPARE(q.field("DATA_VOTACAO").asString(), QString("04/10/2026"));
        QCOMPARE(q.field("id_candidato").asString(), QString("1"));
        QVERIFY_THROWS_EXCEPTION(DbError, q.field("nao_existe"));

        q.setSql(QString("select * from contagem_votacao where voto = \"BRANCO\" and data = datevalue(\"{dia}\")").replace(
            "{dia}", DiaTexto::escreve(m_dia)));
        q.open();
        QVERIFY(q.field("id_candidato").isNull());
        QCOMPARE(q.field("id_candidato").asInteger(), 0);
        QCOMPARE(q.field("id_candidato").asString(), QString());
        executa(*m_db, "insert into candidatos_votacao (id_candidato) values (9)");
        q.setSql("select * from candidatos_votacao where id_candidato = 9");
        q.open();
        QVERIFY(!q.field("data_votacao").asDate().isValid()); // a null date reads as 0
    }

    void blobRoundTrip()
    {
        semeia();
        QByteArray bytes(70000, '\0');
        for (auto &b : bytes) b = char(QRandomGenerator::global()->bounded(256));
        bytes[0] = 0;
        {
            QFile f(m_inst->caminho("entrada.bin"));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        }
        Query q(*m_db);
        q.setSql("select * from candidatos");
        q.open();
        QCOMPARE(q.field("foto").blobSize(), 0);
        q.edit();
        q.field("foto").loadFromFile(m_inst->caminho("entrada.bin"));
        q.post();
        q.close();
        q.open();
        QCOMPARE(q.field("foto").blobSize(), bytes.size());
        q.field("foto").saveToFile(m_inst->caminho("saida.bin"));
        QCOMPARE(hashArquivo(m_inst->caminho("saida.bin")), hashArquivo(m_inst->caminho("entrada.bin")));
        q.edit();
        q.field("foto").clear();
        q.post();
        QCOMPARE(q.field("foto").blobSize(), 0);
        q.edit();
        QVERIFY_THROWS_EXCEPTION(DbError, q.field("foto").loadFromFile(m_inst->caminho("nao-existe.bmp")));
    }

    void editingAndEvents()
    {
        semeia();
        Query q(*m_db);
        q.setSql("select * from cargo");
        QStringList eventos;
        q.afterOpen = [&](Query &) { eventos << "open"; };
        q.afterClose = [&](Query &) { eventos << "close"; };
        q.afterInsert = [&](Query &) { eventos << "insert"; };
        q.beforePost = [&](Query &x) {
            eventos << "beforePost";
            x.field("quantidade_numeros").setValue("4"); // text converted to the column's type
        };
        q.afterPost = [&](Query &) { eventos << "post"; };
        q.afterDelete = [&](Query &) { eventos << "delete"; };
        q.afterScroll = [&](Query &) { eventos << "scroll"; };
        q.open();
        QCOMPARE(eventos, (QStringList{"open", "scroll"}));
        eventos.clear();

        QVERIFY_THROWS_EXCEPTION(DbError, q.field("cargo").setValue("x")); // browse state refuses writing
        q.insert();
        QCOMPARE(q.state(), Query::State::Insert);
        QCOMPARE(eventos, (QStringList{"insert", "scroll"}));
        QVERIFY(q.field("numcad_cargo").isNull());
        q.field("cargo").setValue("Prefeito");
        q.post();
        QCOMPARE(q.state(), Query::State::Browse);
        QCOMPARE(q.field("numcad_cargo").asInteger(), 3); // filled by the engine
        QCOMPARE(q.field("quantidade_numeros").value(), QVariant(qint64(4)));
        QCOMPARE(q.recordCount(), 3);
        QCOMPARE(eventos, (QStringList{"insert", "scroll", "beforePost", "post"}));

        // Edit and cancel restores; edit and post stores.
        eventos.clear();
        q.edit();
        q.field("cargo").setValue("Vereador");
        q.cancel();
        QCOMPARE(q.field("cargo").asString(), QString("Prefeito"));
        q.edit();
        q.field("cargo").setValue("Vereador");
        q.post();
        QCOMPARE(contaLinhas(*m_db, "select count(*) from cargo where cargo = \"Vereador\""), 1);

        // Moving while editing saves a changed row and drops an unchanged one.
        q.beforePost = nullptr;
        q.first();
        q.edit();
        q.field("cargo").setValue("Presidente da República");
        q.next();
        QCOMPARE(contaLinhas(*m_db, "select count(*) from cargo where cargo = \"Presidente da República\""), 1);
        q.insert();
        q.next();
        QCOMPARE(q.recordCount(), 3);
        QCOMPARE(contaLinhas(*m_db, "select count(*) from cargo"), 3);

        // Cancel of an insert scrolls back to a real row.
        eventos.clear();
        q.insert();
        q.field("cargo").setValue("Nunca");
        q.cancel();
        QCOMPARE(eventos, (QStringList{"insert", "scroll", "scroll"}));
        QCOMPARE(q.recordCount(), 3);

        // Delete.
        eventos.clear();
        q.last();
        eventos.clear();
        q.remove();
        QCOMPARE(eventos, (QStringList{"delete", "scroll"}));
        QCOMPARE(contaLinhas(*m_db, "select count(*) from cargo"), 2);

        // Closing drops an unsaved row.
        q.insert();
        q.field("cargo").setValue("Perdido");
        q.close();
        QCOMPARE(eventos.last(), QString("close"));
        QCOMPARE(contaLinhas(*m_db, "select count(*) from cargo where cargo = \"Perdido\""), 0);
    }

    void tablesWithoutOwnKeyAreEditable()
    {
        semeia();
        Query q(*m_db);
        q.setSql({"select * from ordem_votacao", "order by ordem_votacao"});
        q.open();
        q.next(); // position 2
        q.edit();
        q.field("ordem_votacao").setValue("3");
        q.post();
        QCOMPARE(contaLinhas(*m_db, "select count(*) from ordem_votacao where ordem_votacao = 3 and id_cargo = 2"), 1);
        q.remove();
        QCOMPARE(contaLinhas(*m_db, "select count(*) from ordem_votacao"), 2);
    }

    void failedPostKeepsChanges()
    {
        semeia();
        Query q(*m_db);
        q.setSql("select * from partido");
        q.open();
        q.insert();
        q.field("partido").setValue("Repetido");
        q.field("legenda").setValue("13");
        QVERIFY_THROWS_EXCEPTION(DbError, q.post());
        QCOMPARE(q.state(), Query::State::Insert);
        QCOMPARE(q.field("partido").asString(), QString("Repetido"));
        q.field("legenda").setValue("77");
        q.post();
        QCOMPARE(contaLinhas(*m_db, "select count(*) from partido"), 3);
    }

    void constraints_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QVariantList>("valores");
        QTest::addColumn<QString>("mensagem");
        const QString cargo = "insert into cargo (cargo, quantidade_numeros) values (:a, :b)";
        const QString de1a5 = "O campo quantidade_numeros aceita apenas números inteiros de 1 a 5";
        QTest::addRow("office name too long") << cargo << QVariantList{QString(61, 'x'), 2}
                                              << "O campo cargo aceita no máximo 60 caracteres";
        QTest::addRow("office without digit count") << "insert into cargo (cargo) values (:a)" << QVariantList{"X"}
                                                    << "O campo quantidade_numeros não pode ficar vazio";
        QTest::addRow("digits not a number") << cargo << QVariantList{"X", "dois"} << de1a5;
        QTest::addRow("digit count 0") << cargo << QVariantList{"X", "0"} << de1a5;
        QTest::addRow("digit count 6") << cargo << QVariantList{"X", "6"} << de1a5;
        QTest::addRow("legend of three") << "insert into partido (legenda) values (:a)" << QVariantList{"133"}
                                         << "O campo legenda aceita apenas algarismos, no máximo 2";
        QTest::addRow("legend with letter") << "insert into partido (legenda) values (:a)" << QVariantList{"1a"}
                                            << "O campo legenda aceita apenas algarismos, no máximo 2";
        QTest::addRow("duplicate legend") << "insert into partido (legenda) values (:a)" << QVariantList{"13"}
                                          << "Já existe um partido com esta legenda";
        QTest::addRow("duplicate candidate number")
            << "insert into candidatos (numero_candidato, id_cargo) values (:a, :b)" << QVariantList{"13", "1"}
            << "Já existe um candidato com este número neste cargo";
        QTest::addRow("duplicate order position") << "insert into ordem_votacao (ordem_votacao, id_cargo) values "
                                                     "(:a, :b)"
                                                  << QVariantList{"10", "2"}
                                                  << "Já existe um cargo nesta posição da ordem de votação";
        QTest::addRow("empty key in a vote") << "insert into contagem_votacao (id_candidato, voto, data) values (:a, "
                                                ":b, :c)"
                                             << QVariantList{"", "NORMAL", QDate(2026, 1, 1)}
                                             << "O campo id_candidato aceita apenas números inteiros de -2147483648 "
                                                "a 2147483647";
        QTest::addRow("key over 32 bits") << "insert into candidatos (id_cargo) values (:a)"
                                          << QVariantList{"99999999999"}
                                          << "O campo id_cargo aceita apenas números inteiros de -2147483648 a "
                                             "2147483647";
        QTest::addRow("day with time") << "insert into candidatos_votacao (data_votacao) values (:a)"
                                       << QVariantList{"2026-01-01 10:00:00"}
                                       << "O campo data_votacao aceita apenas datas, sem hora";
        QTest::addRow("unknown vote kind") << "insert into contagem_votacao (voto, data) values (:a, :b)"
                                           << QVariantList{"TALVEZ", QDate(2026, 1, 1)}
                                           << "O campo voto aceita apenas NORMAL, LEGENDA, NULO ou BRANCO";
        QTest::addRow("vote without day") << "insert into contagem_votacao (voto) values (:a)"
                                          << QVariantList{"NULO"} << "O campo data não pode ficar vazio";
    }
    void constraints()
    {
        QFETCH(QString, sql);
        QFETCH(QVariantList, valores);
        QFETCH(QString, mensagem);
        semeia();
        const qint64 antes = contaLinhas(*m_db, "select (select count(*) from cargo) + (select count(*) from "
                                                "partido) + (select count(*) from candidatos) + (select count(*) "
                                                "from contagem_votacao) + (select count(*) from ordem_votacao) + "
                                                "(select count(*) from candidatos_votacao)");
        try {
            executa(*m_db, sql, valores);
            QFAIL("the engine accepted the row");
        } catch (const DbError &e) {
            QCOMPARE(e.message(), mensagem);
        }
        QCOMPARE(contaLinhas(*m_db, "select (select count(*) from cargo) + (select count(*) from partido) + (select "
                                    "count(*) from candidatos) + (select count(*) from contagem_votacao) + (select "
                                    "count(*) from ordem_votacao) + (select count(*) from candidatos_votacao)"),
                 antes);
    }

    void engineErrorsCarryTheirText()
    {
        Query q(*m_db);
        q.setSql("select * from tabela_que_nao_existe");
        try {
            q.open();
            QFAIL("opened");
        } catch (const DbError &e) {
            QCOMPARE(e.message(), QString("Tabela inexistente: tabela_que_nao_existe"));
        }
        q.setSql("select * from cargo where data = datevalue(\"31/02/2026\")");
        QVERIFY_THROWS_EXCEPTION(DbError, q.open());
    }

    // What the disk and the file system refuse reaches a person in Portuguese; the
    // input is the engine's own text for each result code.
    void engineFailuresTranslated_data()
    {
        QTest::addColumn<int>("codigo");
        QTest::addColumn<QString>("esperado");
        QTest::addRow("disk full") << SQLITE_FULL << "O disco está cheio: não foi possível gravar no banco de dados";
        QTest::addRow("read-only") << SQLITE_READONLY
                                   << "O banco de dados ou a sua pasta é somente leitura: não foi possível gravar";
        QTest::addRow("busy") << SQLITE_BUSY << "O banco de dados está em uso por outro processo";
        QTest::addRow("locked") << SQLITE_LOCKED << "O banco de dados está bloqueado por outra operação em andamento";
        QTest::addRow("corrupt") << SQLITE_CORRUPT << "O arquivo do banco de dados está danificado";
        QTest::addRow("not a database") << SQLITE_NOTADB << "O arquivo do banco de dados está danificado";
        QTest::addRow("I/O error") << SQLITE_IOERR << "Erro de leitura ou gravação no disco do banco de dados";
        QTest::addRow("cannot open") << SQLITE_CANTOPEN << "Não foi possível abrir o arquivo do banco de dados";
        QTest::addRow("permission") << SQLITE_PERM << "Sem permissão de acesso ao banco de dados";
        QTest::addRow("memory") << SQLITE_NOMEM << "Memória insuficiente";
    }
    void engineFailuresTranslated()
    {
        QFETCH(int, codigo);
        QFETCH(QString, esperado);
        QCOMPARE(Esquema::traduzMensagem(QString::fromUtf8(sqlite3_errstr(codigo))), esperado);
    }

    // A real refusal of the engine carries the translated text and the engine's code.
    void readOnlyRefusalCarriesTheCode()
    {
        semeia();
        executa(*m_db, "pragma query_only = 1");
        try {
            executa(*m_db, "delete from cargo");
            QFAIL("deleted");
        } catch (const DbError &e) {
            QCOMPARE(e.message(), QString("O banco de dados ou a sua pasta é somente leitura: não foi possível gravar"));
            QCOMPARE(e.code() & 0xff, SQLITE_READONLY);
        }
        executa(*m_db, "pragma query_only = 0");
    }

    // The change channel: what each operation tells the listeners, before the
    // system's events of the same operation, which keep their order.
    void changeChannel()
    {
        semeia();
        QStringList log;
        Registro r(log);
        Query q(*m_db);
        q.setSql("select * from cargo");
        q.addListener(&r);
        q.afterOpen = [&](Query &) { log << "afterOpen"; };
        q.afterClose = [&](Query &) { log << "afterClose"; };
        q.afterInsert = [&](Query &) { log << "afterInsert"; };
        q.beforePost = [&](Query &) { log << "beforePost"; };
        q.afterPost = [&](Query &) { log << "afterPost"; };
        q.afterDelete = [&](Query &) { log << "afterDelete"; };
        q.afterScroll = [&](Query &) { log << "afterScroll"; };
        const auto depois = [&](const std::function<void()> &f) {
            log.clear();
            f();
            return log;
        };
        QCOMPARE(depois([&] { q.open(); }), (QStringList{"state", "reset", "afterOpen", "afterScroll"}));
        QCOMPARE(depois([&] { q.next(); }), (QStringList{"current", "afterScroll"}));
        QCOMPARE(depois([&] { q.next(); }), QStringList{"current"}); // only the end flag
        QVERIFY(q.eof());
        QCOMPARE(depois([&] { q.next(); }), QStringList{});
        QCOMPARE(depois([&] { q.edit(); }), QStringList{"state"});
        QCOMPARE(depois([&] { q.field("cargo").setValue("Vice"); }), QStringList{"field:1"});
        QCOMPARE(depois([&] { q.cancel(); }), (QStringList{"field:-1", "state"}));
        QCOMPARE(depois([&] { q.insert(); }),
                 (QStringList{"inserted:1", "state", "current", "afterInsert", "afterScroll"}));
        q.field("cargo").setValue("Prefeito");
        q.field("quantidade_numeros").setValue(1);
        QCOMPARE(depois([&] { q.post(); }), (QStringList{"flush", "beforePost", "field:-1", "state", "afterPost"}));
        QCOMPARE(depois([&] { q.remove(); }), (QStringList{"removed:1", "current", "afterDelete", "afterScroll"}));

        // A reader silences the channel, not the events; the last enable resets the listeners once.
        q.disableControls();
        q.disableControls();
        QCOMPARE(depois([&] { q.last(); }), QStringList{"afterScroll"});
        QCOMPARE(depois([&] { q.enableControls(); }), QStringList{});
        QCOMPARE(depois([&] { q.enableControls(); }), (QStringList{"state", "reset"}));
        QCOMPARE(depois([&] { q.enableControls(); }), QStringList{}); // never below zero

        q.removeListener(&r);
        QCOMPARE(depois([&] { q.close(); }), QStringList{"afterClose"});
    }

    // Editors write their pending text when the query asks, before a save or a move.
    void flushBeforeSaveAndMove()
    {
        semeia();
        QStringList log;
        Registro r(log); // outlives the query it listens to
        Query q(*m_db);
        q.setSql("select * from cargo");
        QString pendente;
        r.escreve = [&] {
            if (!pendente.isEmpty()) q.field("cargo").setValue(pendente);
            pendente.clear();
        };
        q.addListener(&r);
        q.open();
        q.edit();
        pendente = "Governador"; // typed, not yet written: the move saves it
        q.next();
        QCOMPARE(contaLinhas(*m_db, "select count(*) from cargo where cargo = \"Governador\""), 1);
        q.edit();
        pendente = "Vereador";
        q.post();
        QCOMPARE(q.field("cargo").asString(), QString("Vereador"));
    }

    void filter_data()
    {
        QTest::addColumn<QString>("filtro");
        QTest::addColumn<QStringList>("nomes");
        QTest::addRow("whole value") << "[numero_candidato] = '45'" << QStringList{"Bruno"};
        QTest::addRow("letter case counts") << "[nome_candidato] = 'ana'" << QStringList{};
        QTest::addRow("same case") << "[nome_candidato] = 'Ana'" << QStringList{"Ana"};
        QTest::addRow("two conditions") << "[id_cargo] = '1' and [id_partido] = '2'" << QStringList{"Bruno"};
        QTest::addRow("different") << "[numero_candidato] <> '45'" << QStringList{"Ana", "Carla", "D'Ávila"};
        QTest::addRow("name in any case, blanks") << "  [NOME_CANDIDATO]   =   'Carla' " << QStringList{"Carla"};
        QTest::addRow("doubled quote") << "[nome_candidato] = 'D''Ávila'" << QStringList{"D'Ávila"};
        QTest::addRow("empty shows all") << "" << QStringList{"Ana", "Bruno", "Carla", "D'Ávila"};
    }
    void filter()
    {
        QFETCH(QString, filtro);
        QFETCH(QStringList, nomes);
        semeia();
        executa(*m_db, "insert into candidatos (nome_candidato, numero_candidato, id_cargo) values (:a, :b, :c)",
                {"D'Ávila", "99", 2});
        Query q(*m_db);
        q.setSql("select * from candidatos");
        q.open();
        q.last();
        int rolagens = 0;
        q.afterScroll = [&](Query &) { ++rolagens; };
        q.setFilter(filtro);
        QCOMPARE(q.filter(), filtro);
        QCOMPARE(rolagens, nomes.isEmpty() ? 0 : 1);
        QVERIFY(q.bof());
        QStringList vistos;
        for (; !q.eof(); q.next()) vistos << q.field("nome_candidato").asString();
        QCOMPARE(vistos, nomes);
        QCOMPARE(q.recordCount(), nomes.size());

        // Set on a closed query, it applies at the next open.
        q.close();
        q.open();
        QCOMPARE(q.recordCount(), nomes.size());
        q.clearFilter();
        QCOMPARE(q.recordCount(), 4);
    }

    void filterRefusals_data()
    {
        QTest::addColumn<QString>("filtro");
        QTest::addRow("no brackets") << "nome_candidato = 'Ana'";
        QTest::addRow("no quotes") << "[nome_candidato] = Ana";
        QTest::addRow("unclosed quote") << "[nome_candidato] = 'Ana";
        QTest::addRow("or") << "[nome_candidato] = 'Ana' or [id_cargo] = '1'";
        QTest::addRow("no operator") << "[nome_candidato] 'Ana'";
        QTest::addRow("unknown field") << "[nao_existe] = '1'";
    }
    void filterRefusals()
    {
        QFETCH(QString, filtro);
        semeia();
        Query q(*m_db);
        q.setSql("select * from candidatos");
        q.open();
        q.setFilter("[id_cargo] = '1'");
        q.next();
        QVERIFY_THROWS_EXCEPTION(DbError, q.setFilter(filtro));
        QCOMPARE(q.filter(), QString("[id_cargo] = '1'")); // the query stays as it was
        QCOMPARE(q.recordCount(), 2);
        QCOMPARE(q.field("nome_candidato").asString(), QString("Bruno"));
    }

    void fieldDefinitions()
    {
        semeia();
        Query q(*m_db);
        q.setSql("select * from candidatos");
        q.open();
        const QList<FieldDef> defs = q.fieldDefs();
        QCOMPARE(defs.size(), 6);
        QCOMPARE(defs[0].type, FieldType::AutoInc);
        QCOMPARE(defs[1].type, FieldType::String);
        QCOMPARE(defs[3].type, FieldType::Integer);
        QCOMPARE(defs[5].type, FieldType::Blob);
        QCOMPARE(defs[5].displayName, QString("foto"));
        q.setSql("select count(*) as n, quantidade_numeros from cargo");
        q.open();
        QCOMPARE(q.fieldDefs()[0].type, FieldType::Integer); // learnt from the row
        QCOMPARE(q.fieldDefs()[1].type, FieldType::SmallInt);
        q.setSql("select * from candidatos_votacao");
        q.open();
        QCOMPARE(q.fieldDefs()[3].type, FieldType::Date);
    }

    // What a query learnt about a text's result goes when the table changes.
    void tableChangedUnderAText()
    {
        semeia();
        Query q(*m_db);
        q.setSql("select * from cargo");
        q.open();
        q.close();
        m_db->execScript("alter table cargo add column sigla text");
        q.open();
        QCOMPARE(q.fieldCount(), 4);
        QVERIFY(q.canModify());
        q.edit();
        q.field("sigla").setValue("PR");
        q.post();
        QCOMPARE(contaLinhas(*m_db, "select count(*) from cargo where sigla = \"PR\""), 1);
    }

    void fixedFieldList()
    {
        semeia();
        Query q(*m_db);
        q.setFixedFields({{"nome_candidato", FieldType::String, 100, "Nome"},
                          {"numcad_candidato", FieldType::AutoInc, 0, QString()},
                          {"id_cargo", FieldType::Integer, 0, QString()}});
        q.setSql("select * from candidatos");
        q.open();
        QCOMPARE(q.fieldCount(), 3);
        QCOMPARE(q.fieldName(0), QString("nome_candidato"));
        QCOMPARE(q.fieldName(2), QString("id_cargo"));
        QCOMPARE(q.fieldDefs()[0].displayName, QString("Nome"));
        QCOMPARE(q.fieldDefs()[0].size, 100);
        QCOMPARE(q.fieldDefs()[1].displayName, QString("numcad_candidato"));
        QCOMPARE(q.field("numcad_candidato").asInteger(), 1);
        QCOMPARE(q.field("nome_candidato").asString(), QString("Ana"));
        QVERIFY_THROWS_EXCEPTION(DbError, q.field("numero_candidato"));
        // Editing writes through the fields it exposes.
        q.edit();
        q.field("nome_candidato").setValue("Ana Maria");
        q.post();
        QCOMPARE(contaLinhas(*m_db, "select count(*) from candidatos where nome_candidato = \"Ana Maria\" and "
                                    "numero_candidato = \"13\""),
                 1);

        // A result without one of the fields does not open.
        q.setFixedFields({{"Totalgeral", FieldType::Integer, 0, QString()}});
        QVERIFY(!q.isActive());
        QVERIFY_THROWS_EXCEPTION(DbError, q.open());
        QVERIFY(!q.isActive());
        q.setFixedFields({});
        q.open();
        QCOMPARE(q.fieldCount(), 6);
    }

    // A report's reader puts the query back as it found it, the row without events.
    void readerRestoresTheQuery()
    {
        semeia();
        QStringList log;
        Registro r(log);
        Query q(*m_db);
        q.setSql("select * from candidatos");
        q.setFilter("[id_cargo] = '1'");
        q.open();
        q.next();
        q.addListener(&r);
        int rolagens = 0;
        q.afterScroll = [&](Query &) { ++rolagens; };

        const Query::ReaderState antes = q.beginReading();
        q.setFilter("[nome_candidato] = 'Carla'");
        q.first();
        QCOMPARE(q.field("numero_candidato").asString(), QString("451"));
        rolagens = 0;
        q.endReading(antes);
        QCOMPARE(rolagens, 0);
        QCOMPARE(log, (QStringList{"state", "reset"}));
        QCOMPARE(q.filter(), QString("[id_cargo] = '1'"));
        QCOMPARE(q.field("nome_candidato").asString(), QString("Bruno"));
        QVERIFY(!q.bof() && !q.eof());

        // A closed query is opened on its first row for the reader and closed again.
        Query fechada(*m_db);
        fechada.setSql("select * from cargo");
        const Query::ReaderState s = fechada.beginReading();
        QVERIFY(fechada.isActive());
        QCOMPARE(fechada.field("cargo").asString(), QString("Presidente"));
        fechada.setFilter("[cargo] = 'Senador'");
        fechada.endReading(s);
        QVERIFY(!fechada.isActive());
        QCOMPARE(fechada.filter(), QString());
        QVERIFY(!fechada.controlsDisabled());
    }

    // Saving or dropping the row being added moves the rows; a move aims at the row itself.
    void moveAfterDroppedInsert()
    {
        semeia();
        executa(*m_db, "insert into cargo (cargo, quantidade_numeros) values (\"Prefeito\", 1)");
        executa(*m_db, "insert into cargo (cargo, quantidade_numeros) values (\"Vereador\", 1)");
        Query q(*m_db);
        q.setSql("select * from cargo");
        q.open();
        q.insert(); // before Presidente: rows are new, Presidente, Senador, Prefeito, Vereador
        q.moveTo(3);
        QCOMPARE(q.field("cargo").asString(), QString("Prefeito"));
        QCOMPARE(q.recordCount(), 4);
    }

    void editOnEmptyStartsInsert()
    {
        Query q(*m_db);
        q.setSql("select * from cargo");
        q.open();
        q.edit();
        QCOMPARE(q.state(), Query::State::Insert);
        q.field("cargo").setValue("Prefeito");
        q.field("quantidade_numeros").setValue(1);
        q.post();
        QCOMPARE(contaLinhas(*m_db, "select count(*) from cargo"), 1);
    }

    // With every row deleted, the after-scroll handler reads the date as 0.
    void noRowReadsAsNothing()
    {
        semeia();
        Query q(*m_db);
        q.setSql("select * from candidatos_votacao where id_candidato = 2");
        q.open();
        int chamadas = 0;
        QDate lida(2020, 1, 1);
        q.afterScroll = [&](Query &x) {
            ++chamadas;
            lida = x.field("data_votacao").asDate();
        };
        q.remove();
        QCOMPARE(chamadas, 1);
        QVERIFY(!lida.isValid());
        QVERIFY(q.bof() && q.eof());
        q.close();
        QVERIFY_THROWS_EXCEPTION(DbError, q.field("data_votacao"));
    }

    void locateInLongResults()
    {
        {
            Transaction t(*m_db);
            for (int i = 1; i <= 100; ++i)
                executa(*m_db, "insert into cargo (cargo, quantidade_numeros) values (:a, 1)", {QString("Cargo %1").arg(i)});
            executa(*m_db, "insert into cargo (cargo, quantidade_numeros) values (\"cargo 50\", 1)");
            t.commit();
        }
        Query q(*m_db);
        q.setSql("select * from cargo");
        q.open();
        QVERIFY(q.locate("cargo", "CARGO 50"));
        QCOMPARE(q.field("numcad_cargo").asInteger(), 50); // the first of the two
        QVERIFY(!q.locate("cargo", "Cargo 500"));
        QCOMPARE(q.find("cargo", "cargo 7"), 6);
        // Rows added and changed are found too.
        q.insert();
        q.field("cargo").setValue("Prefeito");
        q.field("quantidade_numeros").setValue(1);
        q.post();
        q.last();
        QVERIFY(q.locate("cargo", "prefeito"));
        q.edit();
        q.field("cargo").setValue("Vice-prefeito");
        q.post();
        QCOMPARE(q.find("cargo", "Prefeito"), -1);
        QCOMPARE(q.find("cargo", "vice-PREFEITO"), q.currentRow());
    }

    // Blobs stay in their table: read when asked for, untouched by a save of other fields.
    void blobsReadFromTheirTable()
    {
        semeia();
        QByteArray foto(50000, 'x');
        foto[0] = 'B';
        foto[49999] = 'M';
        executa(*m_db, "update candidatos set foto = :f where numcad_candidato = 1", {foto});
        Query q(*m_db);
        q.setSql("select * from candidatos");
        q.open();
        QCOMPARE(q.field("foto").asBytes(), foto);
        q.edit();
        q.field("nome_candidato").setValue("Ana Maria");
        q.post();
        QCOMPARE(contaLinhas(*m_db, "select length(foto) from candidatos where nome_candidato = \"Ana Maria\""),
                 foto.size());
        QCOMPARE(q.field("foto").blobSize(), foto.size());

        const QStringList textos = {"select numcad_candidato, foto from candidatos order by numcad_candidato",
                                    "select foto from candidatos order by numcad_candidato"};
        for (const QString &texto : textos) {
            Query outra(*m_db);
            outra.setSql(texto);
            outra.open();
            QCOMPARE(outra.field("foto").asBytes(), foto);
            outra.next();
            QVERIFY(outra.field("foto").isNull());
        }
        // A row deleted since the query opened has no photo left to read.
        executa(*m_db, "delete from candidatos where numcad_candidato = 1");
        q.first();
        QVERIFY(q.field("foto").isNull());
    }

    // 600 rows of 100 KB: a query that held them would grow by 60 MB.
    void blobsNotHeld()
    {
        {
            Transaction t(*m_db);
            Statement st(*m_db, "insert into candidatos (nome_candidato, numero_candidato, foto) values (?, ?, ?)");
            const QByteArray foto(100 * 1024, 'f');
            for (int i = 0; i < 600; ++i) {
                st.bind(1, QString("Candidato %1").arg(i));
                st.bind(2, QString::number(10000 + i));
                st.bind(3, foto);
                QVERIFY(!st.step());
                sqlite3_reset(st.get());
            }
            t.commit();
        }
        // An editable result, and one that selects its blobs with their key.
        for (const char *texto : {"select *  from candidatos", "select numcad_candidato, foto from candidatos"}) {
            const double antes = rssKib();
            Query q(*m_db);
            q.setSql(texto);
            q.open();
            QCOMPARE(q.recordCount(), 600);
            q.last();
            QCOMPARE(q.field("foto").blobSize(), 100 * 1024);
            const double cresceu = rssKib() - antes;
            QVERIFY2(cresceu < 20 * 1024,
                     qPrintable(QString("%1 grew the process by %2 KiB").arg(texto).arg(cresceu)));
        }
    }

    void transactionRollsBackUnlessCommitted()
    {
        {
            Transaction t(*m_db);
            executa(*m_db, "insert into cargo (cargo, quantidade_numeros) values (\"Desfeito\", 1)");
        }
        QCOMPARE(contaLinhas(*m_db, "select count(*) from cargo"), 0);
        {
            Transaction t(*m_db, Transaction::Mode::Immediate);
            executa(*m_db, "insert into cargo (cargo, quantidade_numeros) values (\"Feito\", 1)");
            t.commit();
            QVERIFY_THROWS_EXCEPTION(DbError, t.commit());
        }
        QCOMPARE(contaLinhas(*m_db, "select count(*) from cargo"), 1);
        // An error halfway leaves nothing of the change behind, and no transaction open.
        try {
            Transaction t(*m_db);
            executa(*m_db, "insert into cargo (cargo, quantidade_numeros) values (\"Metade\", 1)");
            executa(*m_db, "insert into cargo (cargo, quantidade_numeros) values (:a, 1)", {QString(61, 'x')});
            t.commit();
            QFAIL("committed");
        } catch (const DbError &) {
        }
        QCOMPARE(contaLinhas(*m_db, "select count(*) from cargo"), 1);
        QVERIFY(sqlite3_get_autocommit(m_db->handle()));
    }

    void errorsKeepTheEngineCode_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<int>("codigo");
        QTest::addColumn<QString>("doMotor");
        QTest::addRow("duplicate") << "insert into partido (legenda) values (\"13\")" << SQLITE_CONSTRAINT_UNIQUE
                                   << "UNIQUE constraint failed: partido.legenda";
        QTest::addRow("check") << "insert into partido (legenda) values (\"1x\")" << SQLITE_CONSTRAINT_CHECK
                               << "CHECK constraint failed: O campo legenda aceita apenas algarismos, no máximo 2";
        QTest::addRow("no table") << "select * from nada" << SQLITE_ERROR << "no such table: nada";
    }
    void errorsKeepTheEngineCode()
    {
        QFETCH(QString, sql);
        QFETCH(int, codigo);
        QFETCH(QString, doMotor);
        semeia();
        try {
            executa(*m_db, sql);
            QFAIL("no error");
        } catch (const DbError &e) {
            QCOMPARE(e.code(), codigo);
            QCOMPARE(e.engineMessage(), doMotor);
            QVERIFY(e.message() != doMotor); // the operator reads it translated
        }
    }

    void dayTextRoundTrip_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("texto");
        QTest::addRow("C") << "C" << "5 Mar 2027";
        QTest::addRow("en_US") << "en_US" << "3/5/2027";
        QTest::addRow("pt_BR") << "pt_BR" << "05/03/2027";
    }
    void dayTextRoundTrip()
    {
        QFETCH(QString, locale);
        QFETCH(QString, texto);
        DiaTexto::setLocale(QLocale(locale));
        const QDate dia(2027, 3, 5);
        QCOMPARE(DiaTexto::escreve(dia), texto);
        QCOMPARE(DiaTexto::le(texto), dia);
        vota(*m_db, {QVariant(), QVariant(), "BRANCO", dia, QVariant(), QVariant(), QVariant()});
        vota(*m_db, {QVariant(), QVariant(), "BRANCO", dia.addDays(1), QVariant(), QVariant(), QVariant()});
        for (const char *forma : {"datevalue(\"%1\")", "datevalue (\"%1\")"}) {
            Query q(*m_db);
            q.setSql("select * from contagem_votacao where data = " + QString::fromLatin1(forma).arg(texto));
            q.open();
            QCOMPARE(q.recordCount(), 1);
            QCOMPARE(q.field("data").asDate(), dia);
            QCOMPARE(q.field("data").asString(), texto);
        }
    }

    // A scan of the votes does not give them back in the order they were cast.
    void votesDoNotKeepCastingOrder()
    {
        const int n = 300;
        for (int i = 0; i < n; ++i) executa(*m_db, kInsertVoto, {i, QVariant(), "NULO", m_dia, QVariant(), 1, 1});
        Query q(*m_db);
        q.setSql("select * from contagem_votacao");
        q.open();
        QCOMPARE(q.recordCount(), n);
        int subidas = 0;
        qint64 anterior = -1;
        for (; !q.eof(); q.next()) {
            const qint64 v = q.field("id_candidato").asInteger();
            if (v == anterior + 1) ++subidas;
            anterior = v;
        }
        QVERIFY2(subidas < n / 10, qPrintable(QString("%1 consecutive pairs in casting order").arg(subidas)));
    }

    void exclusiveAgainstAnotherProcess()
    {
        QProcess p;
        p.start(SONDA_EXE, {"conecta", m_inst->dir.path()});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 3);
        // The holder keeps working.
        vota(*m_db, {QVariant(), QVariant(), "BRANCO", m_dia, QVariant(), QVariant(), QVariant()});
        m_db->close();
        p.start(SONDA_EXE, {"conecta", m_inst->dir.path()});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 0);
    }

    void voteSurvivesKill()
    {
        m_db->close();
        QProcess p;
        p.start(SONDA_EXE, {"vota", m_inst->dir.path()});
        QVERIFY(p.waitForStarted());
        QVERIFY(p.waitForReadyRead(10000));
        QCOMPARE(p.readLine().trimmed(), QByteArray("gravado"));
        ::kill(pid_t(p.processId()), SIGKILL);
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitStatus(), QProcess::CrashExit);

        m_db->open();
        QCOMPARE(contaLinhas(*m_db, "select count(*) from contagem_votacao where voto = \"BRANCO\""), 1);
        Query check(*m_db);
        check.setSql("PRAGMA integrity_check");
        check.open();
        QCOMPARE(check.field(check.fieldName(0)).asString(), QString("ok"));
    }
};

QTEST_GUILESS_MAIN(TstData)
#include "tst_data.moc"
