// The engine adapter: the system's SQL texts on the election schema, the cursor
// and its flags, fields, editing with its events, the rules the file enforces,
// the exclusive lock and the durability of a vote.

#include "apoio.h"
#include "data/diatexto.h"

#include <QProcess>
#include <QRandomGenerator>
#include <csignal>

namespace {

const QString kInsertVoto = Esquema::kInsereVoto;

QStringList comDia(const QStringList &linhas, const QDate &dia)
{
    QStringList out;
    for (QString l : linhas) out << l.replace(QStringLiteral("{dia}"), DiaTexto::escreve(dia));
    return out;
}

void vota(Database &db, const QVariantList &v) { executa(db, kInsertVoto, v); }

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
        QVERIFY_THROWS_EXCEPTION(DbError, vazio.field("cargo").asString());
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
        QTest::addRow("office name too long") << "insert into cargo (cargo) values (:a)" << QVariantList{QString(61, 'x')}
                                              << "O campo cargo aceita no máximo 60 caracteres";
        QTest::addRow("digits not a number") << "insert into cargo (cargo, quantidade_numeros) values (:a, :b)"
                                             << QVariantList{"X", "dois"}
                                             << "O campo quantidade_numeros aceita apenas números inteiros de -32768 "
                                                "a 32767";
        QTest::addRow("small int out of range") << "insert into cargo (quantidade_numeros) values (:a)"
                                                << QVariantList{"40000"}
                                                << "O campo quantidade_numeros aceita apenas números inteiros de "
                                                   "-32768 a 32767";
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
