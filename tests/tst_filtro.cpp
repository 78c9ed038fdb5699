// The filter text that queries and report data views read alike.

#include "filtro/filtro.h"

#include <QTest>

using Filtro::Operador;

namespace
{

// The conditions one per line, "campo|op|valor", to compare in one go.
QString descreve(const QList<Filtro::Condicao> &condicoes)
{
    QStringList linhas;
    for (const Filtro::Condicao &c : condicoes)
        linhas << c.campo + u'|' + Filtro::textoDoOperador(c.operador) + u'|' + c.valor;
    return linhas.join(u'\n');
}

} // namespace

class TstFiltro : public QObject
{
    Q_OBJECT

  private slots:
    void leBemFormado_data()
    {
        QTest::addColumn<QString>("texto");
        QTest::addColumn<QString>("condicoes");
        QTest::addRow("empty") << "" << "";
        QTest::addRow("blanks only") << " \t " << "";
        QTest::addRow("one equality") << "[id] = '3'" << "id|=|3";
        QTest::addRow("as a report writes it")
            << "[id_cargo] = '1' and [id_partido] <> '2'" << "id_cargo|=|1\nid_partido|<>|2";
        QTest::addRow("no blanks around the operator") << "[id]='3'" << "id|=|3";
        QTest::addRow("blanks everywhere") << "  [ nome ]   =   'Ana'  " << "nome|=|Ana";
        QTest::addRow("AND in capitals") << "[a] = '1' AND [b] = '2'" << "a|=|1\nb|=|2";
        QTest::addRow("and after the quote") << "[a] = '1'and [b] = '2'" << "a|=|1\nb|=|2";
        QTest::addRow("doubled quote") << "[nome] = 'D''Ávila'" << "nome|=|D'Ávila";
        QTest::addRow("only a quote") << "[nome] = ''''" << "nome|=|'";
        QTest::addRow("empty value") << "[nome] = ''" << "nome|=|";
        QTest::addRow("blanks kept inside the value") << "[nome] = ' Ana  '" << "nome|=| Ana  ";
        QTest::addRow("and inside the value") << "[nome] = 'x and [y] = z'" << "nome|=|x and [y] = z";
        QTest::addRow("bracket inside the value") << "[nome] = 'a]b'" << "nome|=|a]b";
        QTest::addRow("less or equal") << "[n] <= '5'" << "n|<=|5";
        QTest::addRow("greater or equal") << "[n] >= '5'" << "n|>=|5";
        QTest::addRow("less") << "[n] < '5'" << "n|<|5";
        QTest::addRow("greater") << "[n] > '5'" << "n|>|5";
        QTest::addRow("three conditions") << "[a] = '1' and [b] = '2' and [c] <> ''" << "a|=|1\nb|=|2\nc|<>|";
    }
    void leBemFormado()
    {
        QFETCH(QString, texto);
        QFETCH(QString, condicoes);
        const std::optional<QList<Filtro::Condicao>> lidas = Filtro::le(texto);
        QVERIFY(lidas);
        QCOMPARE(descreve(*lidas), condicoes);
    }

    void recusaMalFormado_data()
    {
        QTest::addColumn<QString>("texto");
        QTest::addRow("no brackets") << "nome = 'Ana'";
        QTest::addRow("unclosed bracket") << "[nome = 'Ana'";
        QTest::addRow("empty field") << "[ ] = 'Ana'";
        QTest::addRow("no operator") << "[nome] 'Ana'";
        QTest::addRow("unknown operator") << "[nome] == 'Ana'";
        QTest::addRow("like") << "[nome] like 'Ana'";
        QTest::addRow("no quotes") << "[nome] = Ana";
        QTest::addRow("double quotes") << "[nome] = \"Ana\"";
        QTest::addRow("unclosed quote") << "[nome] = 'Ana";
        QTest::addRow("quote doubled at the end") << "[nome] = 'Ana''";
        QTest::addRow("or") << "[a] = '1' or [b] = '2'";
        QTest::addRow("and at the end") << "[a] = '1' and ";
        QTest::addRow("and alone at the end") << "[a] = '1' and";
        QTest::addRow("and glued to the next") << "[a] = '1' and[b] = '2'";
        QTest::addRow("two conditions without and") << "[a] = '1' [b] = '2'";
        QTest::addRow("text after the value") << "[a] = '1' x";
        QTest::addRow("and first") << "and [a] = '1'";
    }
    void recusaMalFormado()
    {
        QFETCH(QString, texto);
        QVERIFY(!Filtro::le(texto));
        QCOMPARE(Filtro::mensagemDeFiltroInvalido(texto), QStringLiteral("Filtro inválido: ") + texto);
    }

    void operadores_data()
    {
        QTest::addColumn<QString>("texto");
        QTest::addColumn<QString>("atendidos"); // by a text before, equal to and after the value
        QTest::addRow("=") << "=" << "-=-";
        QTest::addRow("<>") << "<>" << "<->";
        QTest::addRow("<") << "<" << "<--";
        QTest::addRow("<=") << "<=" << "<=-";
        QTest::addRow(">") << ">" << "-->";
        QTest::addRow(">=") << ">=" << "-=>";
    }
    void operadores()
    {
        QFETCH(QString, texto);
        QFETCH(QString, atendidos);
        const std::optional<Operador> op = Filtro::operadorDe(texto);
        QVERIFY(op);
        QCOMPARE(Filtro::textoDoOperador(*op), texto);
        const QString marcas = QString(Filtro::atende(*op, -1) ? u'<' : u'-') +
                               (Filtro::atende(*op, 0) ? u'=' : u'-') + (Filtro::atende(*op, 1) ? u'>' : u'-');
        QCOMPARE(marcas, atendidos);
        QVERIFY(!Filtro::operadorDe(texto + u' '));
    }
};

QTEST_GUILESS_MAIN(TstFiltro)
#include "tst_filtro.moc"
