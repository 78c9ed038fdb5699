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
#include <QStandardPaths>
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

// The folder as a listing of names, sizes and contents, to tell that a check left it as it was.
QStringList pasta(const QString &caminho)
{
    QStringList out;
    const QDir dir(caminho);
    for (const QString &nome : dir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name))
        out << nome + u' ' +
                   QString::fromLatin1(
                       QCryptographicHash::hash(conteudo(dir.filePath(nome)), QCryptographicHash::Sha1).toHex());
    return out;
}

// An election with one case of each finding of the check before 06/10/2024, made
// without the program's guards (and, for two cases, without the file's own rules).
void semeiaAchados(const QString &arquivo)
{
    Esquema::criaBanco(arquivo, [](Database &db) {
        db.execScript(QStringLiteral(
            "PRAGMA ignore_check_constraints = ON; DROP INDEX ordem_votacao_posicao;"
            "INSERT INTO cargo (cargo, quantidade_numeros) VALUES ('Prefeito', 2), ('Vereador', 3), "
            "('Governador', 7), ('Senador', 3);"
            "INSERT INTO partido (partido, legenda) VALUES ('Azul', '13'), ('Verde', '45'), ('Sem Legenda', NULL);"
            "INSERT INTO candidatos (nome_candidato, numero_candidato, id_partido, id_cargo) VALUES "
            "('Ana', '13', 1, 1), ('Bia', '451', 2, 2), ('Caio', '45', 2, 2), ('Davi', '132', 2, 2), "
            "('Eva', '1', 3, 3);"
            "INSERT INTO ordem_votacao (ordem_votacao, id_cargo) VALUES (1, 1), (2, 2), (3, 3), (3, 4), (4, 99);"
            "INSERT INTO candidatos_votacao (id_candidato, id_cargo, id_partido, data_votacao) VALUES "
            "(1, 1, 1, '2024-10-06'), (2, 2, 2, '2024-10-06'), (2, 2, 2, '2024-10-06'), (5, 3, 3, '2024-10-06'), "
            "(4, 2, 1, '2024-10-06'), (NULL, 1, 1, '2024-10-06'), (3, 1, 2, '2024-10-27');"
            "INSERT INTO contagem_votacao (voto, data) VALUES ('BRANCO', '2024-10-06'), ('NULO', '2024-10-27');"
            "PRAGMA ignore_check_constraints = OFF"));
    });
}

void abre(Database &db, const QString &arquivo)
{
    Esquema::prepara(db);
    db.setConnectionString(Database::connectionStringFor(arquivo));
    db.open();
}

// The demo election, with three of its candidates of one office remembered, keys for
// terminals 1 to 3, and three copies of the file, one per terminal.
struct Eleicao {
    QString raiz, chaves, diaIso, diaTexto, legenda;
    QDate data;
    QStringList chave, numero, nome, partidoNome, cargo, partido, partidoChave;
    QString pasta(const QString &nome) const { return raiz + u'/' + nome; }
};

Eleicao preparaEleicao(QTemporaryDir &dir)
{
    Eleicao e;
    e.raiz = dir.path();
    e.chaves = dir.filePath(QStringLiteral("chaves"));
    e.data = QDate::currentDate();
    e.diaIso = e.data.toString(Qt::ISODate);
    e.diaTexto = e.data.toString(QStringLiteral("dd/MM/yyyy"));
    QDir(dir.path()).mkdir(QStringLiteral("chaves"));
    const QString modelo = dir.filePath(QStringLiteral("modelo.mdb"));
    if (executa({QStringLiteral("exemplo"), modelo}).codigo != 0) return e;
    for (const char *n : {"1", "2", "3"})
        executa({QStringLiteral("chave"), e.chaves, QString::fromLatin1(n)});
    {
        Database db;
        abre(db, modelo);
        Query q(db);
        // Two candidates of the same office with three or more digits, with their party's legend.
        q.setSql(QStringLiteral(
            "select c.numcad_candidato, c.numero_candidato, c.nome_candidato, p.partido, c.id_cargo, c.id_partido, "
            "p.legenda from candidatos c join partido p on p.numcad_partido = c.id_partido "
            "join cargo o on o.numcad_cargo = c.id_cargo where o.quantidade_numeros >= 3 "
            "order by o.numcad_cargo, c.numcad_candidato limit 2"));
        q.open();
        for (q.first(); !q.eof(); q.next()) {
            e.chave << q.field(0).asString();
            e.numero << q.field(1).asString();
            e.nome << q.field(2).asString();
            e.partidoNome << q.field(3).asString();
            e.cargo << q.field(4).asString();
            e.partido << q.field(5).asString();
        }
        q.first();
        e.legenda = q.field(6).asString();
    }
    for (const char *t : {"t1.mdb", "t2.mdb", "t3.mdb"})
        QFile::copy(modelo, dir.filePath(QString::fromLatin1(t)));
    return e;
}

struct Voto {
    const char *tipo;
    int candidato; // index into the remembered candidates (or their party, for LEGENDA)
};

void votos(const Eleicao &e, const QString &arquivo, const QList<Voto> &lista)
{
    Database db;
    abre(db, e.pasta(arquivo));
    for (const Voto &v : lista) {
        Query q(db);
        q.setSql(QStringLiteral("insert into contagem_votacao (id_candidato, numero_candidato, voto, data, legenda, "
                                "id_cargo, id_partido) values (:c, :n, :v, :d, :l, :o, :p)"));
        const QString tipo = QString::fromLatin1(v.tipo);
        const bool normal = tipo == QLatin1String("NORMAL"), legenda = tipo == QLatin1String("LEGENDA");
        q.setParam(QStringLiteral("c"), normal ? QVariant(e.chave[v.candidato]) : legenda ? QVariant(e.partido[v.candidato]) : QVariant());
        q.setParam(QStringLiteral("n"), normal ? QVariant(e.numero[v.candidato]) : QVariant());
        q.setParam(QStringLiteral("v"), tipo);
        q.setParam(QStringLiteral("d"), e.diaIso);
        q.setParam(QStringLiteral("l"), legenda ? QVariant(e.legenda) : QVariant());
        q.setParam(QStringLiteral("o"), normal ? QVariant(e.cargo[v.candidato]) : QVariant());
        q.setParam(QStringLiteral("p"), normal ? QVariant(e.partido[v.candidato]) : QVariant());
        q.execSql();
    }
}

// Output of another program (pdftotext, pdftoppm, zbarimg); empty when it failed.
QByteArray saidaDe(const QString &programa, const QStringList &argumentos)
{
    QProcess p;
    p.start(programa, argumentos);
    if (!p.waitForFinished(120000) || p.exitCode() != 0) return {};
    return p.readAllStandardOutput();
}

// What a phone reads from the paper: the "VOTARIM k/n" codes of every page image,
// their slices joined in order of k. Empty when a slice is missing.
QByteArray textoDosCodigos(const QStringList &imagens)
{
    const QByteArray lido =
        saidaDe(QStringLiteral("zbarimg"), QStringList{QStringLiteral("--raw"), QStringLiteral("-q"),
                                                       QStringLiteral("-Sbinary")} + imagens);
    static const QRegularExpression cabecalho(QStringLiteral("VOTARIM (\\d+)/(\\d+)\n"));
    const QString latim = QString::fromLatin1(lido);
    QList<QRegularExpressionMatch> achados;
    for (auto it = cabecalho.globalMatch(latim); it.hasNext();)
        achados << it.next();
    QMap<int, QByteArray> partes;
    for (qsizetype i = 0; i < achados.size(); ++i) {
        const qsizetype inicio = achados[i].capturedEnd();
        const qsizetype fim = i + 1 < achados.size() ? achados[i + 1].capturedStart() : lido.size();
        partes.insert(achados[i].captured(1).toInt(), lido.mid(inicio, fim - inicio));
    }
    QByteArray juntos;
    const int n = achados.isEmpty() ? 0 : achados.first().captured(2).toInt();
    for (int k = 1; k <= n; ++k) {
        if (!partes.contains(k)) return {};
        juntos += partes.value(k);
    }
    return juntos;
}

// Makes terminal N's bulletin of the file; the key defaults to the terminal's own.
bool boletim(const Eleicao &e, const QString &arquivo, int terminal, const QString &saida,
             const QString &chave = QString(), QDate dia = QDate())
{
    const Execucao r = executa({QStringLiteral("boletim"), e.pasta(arquivo), (dia.isValid() ? dia : e.data).toString(Qt::ISODate),
                                QStringLiteral("--terminal"), QString::number(terminal), QStringLiteral("--chave"),
                                chave.isEmpty() ? e.pasta(QStringLiteral("chaves/%1.key").arg(terminal)) : chave,
                                QStringLiteral("--saida"), e.pasta(saida)});
    if (r.codigo != 0) qWarning("%s", r.erro.constData());
    return r.codigo == 0;
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

    // One line per finding, in a fixed order, a closing count, exit 1; the file and its folder untouched.
    void confereListaAchados()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString arquivo = dir.filePath(QStringLiteral("eleicao.mdb"));
        semeiaAchados(arquivo);
        const QStringList antes = pasta(dir.path());
        const Execucao r = executa({QStringLiteral("confere"), arquivo, QStringLiteral("2024-10-06")});
        QVERIFY2(r.codigo == 1, r.erro.constData());
        const QStringList esperado = {
            "O candidato \"Caio\" (número 45) não pode receber votos: no cargo \"Vereador\" o número de um "
            "candidato tem exatamente 3 dígitos.",
            "O candidato \"Davi\" (número 132) não pode receber votos: no cargo \"Vereador\", de 3 dígitos, o "
            "número de um candidato começa pela legenda do seu partido (\"Verde\": 45).",
            "O candidato \"Eva\" (número 1) não pode receber votos: o cargo \"Governador\" não tem uma quantidade "
            "de dígitos válida (de 1 a 5).",
            "Uma linha do mapa de votação do dia (candidato \"Davi\", cargo \"Vereador\", partido \"Azul\") não "
            "está completa: o cargo e o partido de uma linha do mapa são os do seu candidato, \"Davi\": cargo "
            "\"Vereador\", partido \"Verde\".",
            "Uma linha do mapa de votação do dia (sem candidato, cargo \"Prefeito\", partido \"Azul\") não está "
            "completa: ela não tem um candidato cadastrado.",
            "O cargo \"Governador\" tem 7 como quantidade de dígitos: ela deve ser de 1 a 5, ou o cargo não pode "
            "ser votado.",
            "A posição 4 da ordem de votação não tem um cargo cadastrado: o terminal a pula.",
            "A posição 3 da ordem de votação tem mais de um cargo: \"Governador\", \"Senador\".",
            "O cargo \"Senador\" (posição 3 da ordem de votação) não tem candidato no mapa de votação do dia.",
            "O partido \"Sem Legenda\" não tem legenda de dois dígitos: ninguém pode votar na sua legenda.",
            "O candidato \"Bia\" está 2 vezes no mapa de votação do dia.",
            "Já há 1 voto registrado neste dia: a votação não começaria do zero.",
            "Conferência do dia 06/10/2024: 12 problemas encontrados.",
        };
        QCOMPARE(QString::fromUtf8(r.saida).split(u'\n', Qt::SkipEmptyParts), esperado);
        QCOMPARE(pasta(dir.path()), antes);

        // The day after: its map is empty, so only what does not depend on the day and the empty offices.
        const Execucao outro = executa({QStringLiteral("confere"), arquivo, QStringLiteral("2024-10-07")});
        QCOMPARE(outro.codigo, 1);
        QVERIFY(!outro.saida.contains("Bia"));
        QVERIFY(!outro.saida.contains("voto registrado"));
        QVERIFY(outro.saida.contains("O cargo \"Prefeito\" (posição 1 da ordem de votação) não tem candidato"));
        QCOMPARE(pasta(dir.path()), antes);
    }

    // The demo election passes the check for its own day; reading it, by confere or
    // resultado, leaves its folder as it was.
    void confereExemploEPastaIntacta()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString arquivo = dir.filePath(QStringLiteral("exemplo.mdb"));
        QCOMPARE(executa({QStringLiteral("exemplo"), arquivo}).codigo, 0);
        QString dia;
        {
            Database db;
            Esquema::prepara(db);
            db.setConnectionString(Database::connectionStringFor(arquivo));
            db.open();
            Query q(db);
            q.setSql(QStringLiteral("select data_votacao from candidatos_votacao"));
            q.open();
            dia = q.field(0).asDate().toString(Qt::ISODate);
        }
        const QStringList antes = pasta(dir.path());
        QCOMPARE(antes.size(), 1);
        const Execucao r = executa({QStringLiteral("confere"), arquivo, dia});
        QVERIFY2(r.codigo == 0, r.saida.constData());
        QCOMPARE(QString::fromUtf8(r.saida),
                 QStringLiteral("Conferência do dia %1: nenhum problema encontrado.\n")
                     .arg(QDate::fromString(dia, Qt::ISODate).toString(QStringLiteral("dd/MM/yyyy"))));
        QCOMPARE(pasta(dir.path()), antes);
        QCOMPARE(executa({QStringLiteral("resultado"), arquivo, dia}).codigo, 0);
        QCOMPARE(pasta(dir.path()), antes);

        // Held by the program: not read, said so, exit 2.
        Database programa;
        Esquema::prepara(programa);
        programa.setConnectionString(Database::connectionStringFor(arquivo));
        programa.open();
        const Execucao preso = executa({QStringLiteral("confere"), arquivo, dia});
        QCOMPARE(preso.codigo, 2);
        QVERIFY2(preso.erro.contains("está aberto pelo Votarim"), preso.erro.constData());
        QVERIFY(preso.saida.isEmpty());
        programa.close(); // and the refused look left nothing behind either
        QCOMPARE(pasta(dir.path()), antes);
    }

    void confereUsoErrado_data()
    {
        QTest::addColumn<QStringList>("argumentos");
        QTest::addColumn<QByteArray>("erro");
        QTest::newRow("dia inválido") << QStringList{QStringLiteral("confere"), QStringLiteral("x.mdb"),
                                                      QStringLiteral("2024-02-30")}
                                      << QByteArray("Dia inválido");
        QTest::newRow("dia em outro formato") << QStringList{QStringLiteral("confere"), QStringLiteral("x.mdb"),
                                                              QStringLiteral("06/10/2024")}
                                              << QByteArray("Dia inválido");
        QTest::newRow("arquivo inexistente") << QStringList{QStringLiteral("confere"), QStringLiteral("nenhum.mdb")}
                                             << QByteArray("nenhum.mdb");
        QTest::newRow("arquivo que não é banco")
            << QStringList{QStringLiteral("confere"), QStringLiteral("notas.mdb")} << QByteArray("não é um banco");
    }
    void confereUsoErrado()
    {
        QFETCH(QStringList, argumentos);
        QFETCH(QByteArray, erro);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QFile notas(dir.filePath(QStringLiteral("notas.mdb")));
        QVERIFY(notas.open(QIODevice::WriteOnly) && notas.write("anotações") > 0);
        notas.close();
        QStringList args;
        for (const QString &a : argumentos)
            args << (a.endsWith(QLatin1String(".mdb")) ? dir.filePath(a) : a);
        const QStringList antes = pasta(dir.path());
        const Execucao r = executa(args);
        QCOMPARE(r.codigo, 2);
        QVERIFY2(r.erro.contains(erro), r.erro.constData());
        QVERIFY(r.saida.isEmpty());
        QCOMPARE(pasta(dir.path()), antes);
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
        QTest::newRow("sem arquivo (confere)") << QStringList{QStringLiteral("confere")};
        QTest::newRow("zero com --pdf sem saída")
            << QStringList{QStringLiteral("zero"), QStringLiteral("x.mdb"), QStringLiteral("2024-10-06"),
                           QStringLiteral("--pdf")};
        QTest::newRow("totaliza com --csv e --pdf")
            << QStringList{QStringLiteral("totaliza"), QStringLiteral("--chaves"), QStringLiteral("/tmp"),
                           QStringLiteral("--csv"), QStringLiteral("--pdf"), QStringLiteral("t.pdf"),
                           QStringLiteral("b.txt")};
        QTest::newRow("argumento a mais (confere)")
            << QStringList{QStringLiteral("confere"), QStringLiteral("x.mdb"), QStringLiteral("2024-10-06"),
                           QStringLiteral("y")};
        QTest::newRow("chave sem número") << QStringList{QStringLiteral("chave"), QStringLiteral("/tmp")};
        QTest::newRow("boletim sem chave")
            << QStringList{QStringLiteral("boletim"), QStringLiteral("x.mdb"), QStringLiteral("2024-10-06"),
                           QStringLiteral("--terminal"), QStringLiteral("1"), QStringLiteral("--saida"),
                           QStringLiteral("b.txt")};
        QTest::newRow("boletim com opção desconhecida")
            << QStringList{QStringLiteral("boletim"), QStringLiteral("x.mdb"), QStringLiteral("2024-10-06"),
                           QStringLiteral("--terminal"), QStringLiteral("1"), QStringLiteral("--chave"),
                           QStringLiteral("1.key"), QStringLiteral("--saida"), QStringLiteral("b.txt"),
                           QStringLiteral("--forca")};
        QTest::newRow("totaliza sem chaves") << QStringList{QStringLiteral("totaliza"), QStringLiteral("b.txt")};
        QTest::newRow("totaliza sem boletins")
            << QStringList{QStringLiteral("totaliza"), QStringLiteral("--chaves"), QStringLiteral("/tmp")};
        QTest::newRow("zero com opção desconhecida")
            << QStringList{QStringLiteral("zero"), QStringLiteral("x.mdb"), QStringLiteral("2024-10-06"),
                           QStringLiteral("--html")};
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

    void totalizaSomaTerminais()
    {
        QTemporaryDir dir;
        Eleicao e = preparaEleicao(dir);
        // Three terminals voted differently: 3, 2 and 4 voters.
        votos(e, QStringLiteral("t1.mdb"), {{"NORMAL", 0}, {"NORMAL", 0}, {"BRANCO", -1}});
        votos(e, QStringLiteral("t2.mdb"), {{"NORMAL", 1}, {"LEGENDA", 0}});
        votos(e, QStringLiteral("t3.mdb"), {{"NORMAL", 0}, {"NULO", -1}, {"LEGENDA", 0}, {"NORMAL", 1}});
        for (int t = 1; t <= 3; ++t)
            QVERIFY(boletim(e, QStringLiteral("t%1.mdb").arg(t), t, QStringLiteral("b%1.txt").arg(t)));
        const Execucao r = executa({QStringLiteral("totaliza"), QStringLiteral("--chaves"), e.chaves, "--csv",
                                    e.pasta(QStringLiteral("b1.txt")), e.pasta(QStringLiteral("b2.txt")),
                                    e.pasta(QStringLiteral("b3.txt"))});
        QVERIFY2(r.codigo == 0, r.erro.constData());
        QVERIFY(!r.erro.contains("recusado"));
        QVERIFY(!r.saida.contains("PARCIAL"));
        QVERIFY2(r.saida.contains("\r\nTOTAL;9;"), r.saida.constData());
        QVERIFY(r.saida.contains("\r\nNORMAL;5;"));
        QVERIFY(r.saida.contains("\r\nLEGENDA;2;"));
        QVERIFY(r.saida.contains("\r\nBRANCO;1;"));
        QVERIFY(r.saida.contains("\r\nNULO;1;"));
        QVERIFY(r.saida.contains(QStringLiteral(";1;%1;%2;%3;3\r\n").arg(e.numero[0], e.nome[0], e.partidoNome[0]).toUtf8()));
        QVERIFY(r.saida.contains(QStringLiteral(";%1;%2;%3;2\r\n").arg(e.numero[1], e.nome[1], e.partidoNome[1]).toUtf8()));
        QVERIFY(r.saida.contains(QStringLiteral("%1;%2;2\r\n").arg(e.legenda, e.partidoNome[0]).toUtf8()));
        // Per office: the candidates' office took 5 nominal votes; the other kinds have no office.
        QVERIFY(r.saida.contains(QStringLiteral(";2;%1;%2;%3;2\r\n").arg(e.numero[1], e.nome[1], e.partidoNome[1]).toUtf8()));
        QVERIFY2(r.saida.contains(";5;0;0;0;5\r\n"), r.saida.constData());
        QVERIFY(r.saida.contains("\r\nsem cargo registrado;0;2;1;1;4\r\n"));
        const Execucao emTexto = executa({QStringLiteral("totaliza"), QStringLiteral("--chaves"), e.chaves,
                                          e.pasta(QStringLiteral("b1.txt")), e.pasta(QStringLiteral("b2.txt")),
                                          e.pasta(QStringLiteral("b3.txt"))});
        QCOMPARE(emTexto.codigo, 0);
        const QString t = QString::fromUtf8(emTexto.saida);
        QVERIFY2(t.contains(QStringLiteral("sem cargo registrado: 0 nominais, 2 de legenda, 1 brancos, 1 nulos, 4 no total")),
                 emTexto.saida.constData());
        QVERIFY(t.contains(QStringLiteral("    1º  %1  %2  %3  3 votos  60,00 %").arg(e.numero[0], e.nome[0], e.partidoNome[0])));
        QVERIFY(t.contains(QStringLiteral("Impressão digital dos totais (SHA-256): ")));
        // Each terminal's result fingerprint in the list is the one its own result tool prints.
        for (int t = 1; t <= 3; ++t) {
            const Execucao res = executa({QStringLiteral("resultado"), e.pasta(QStringLiteral("t%1.mdb").arg(t)), e.diaIso});
            const QByteArray digital = res.saida.mid(res.saida.indexOf("Impressão digital (SHA-256): ") + 30, 64);
            QVERIFY(r.saida.contains(QByteArray::number(t) + ';' + e.diaTexto.toUtf8() + ';' + digital));
        }
    }

    void totalizaRecusa_data()
    {
        QTest::addColumn<QString>("caso");
        QTest::addColumn<QByteArray>("motivo");
        QTest::addRow("byte alterado") << QStringLiteral("alterado") << QByteArray("assinatura inválida");
        QTest::addRow("terminal sem chave") << QStringLiteral("semchave") << QByteArray("terminal 9 sem chave pública");
        QTest::addRow("segundo boletim do terminal") << QStringLiteral("segundo") << QByteArray("segundo boletim do terminal 1");
        QTest::addRow("mesmo conteúdo, outro nome") << QStringLiteral("copia") << QByteArray("o mesmo boletim de");
        QTest::addRow("outro dia") << QStringLiteral("dia") << QByteArray("boletim do dia");
        QTest::addRow("outra eleição") << QStringLiteral("eleicao") << QByteArray("outra eleição");
        QTest::addRow("assinado por outro terminal") << QStringLiteral("outrachave") << QByteArray("assinatura inválida");
        QTest::addRow("cortado") << QStringLiteral("cortado") << QByteArray("boletim malformado");
        QTest::addRow("vazio") << QStringLiteral("vazio") << QByteArray("boletim malformado (vazio)");
        QTest::addRow("binário") << QStringLiteral("binario") << QByteArray("boletim malformado");
        QTest::addRow("10 MB") << QStringLiteral("grande") << QByteArray("arquivo grande demais");
        QTest::addRow("fifo") << QStringLiteral("fifo") << QByteArray("não é um arquivo comum");
        QTest::addRow("link") << QStringLiteral("link") << QByteArray("é um link simbólico");
        QTest::addRow("inexistente") << QStringLiteral("inexistente") << QByteArray("arquivo não encontrado");
    }

    void totalizaRecusa()
    {
        QFETCH(QString, caso);
        QFETCH(QByteArray, motivo);
        QTemporaryDir dir;
        Eleicao e = preparaEleicao(dir);
        votos(e, QStringLiteral("t1.mdb"), {{"NORMAL", 0}, {"BRANCO", -1}});
        votos(e, QStringLiteral("t2.mdb"), {{"NORMAL", 1}});
        QVERIFY(boletim(e, QStringLiteral("t1.mdb"), 1, QStringLiteral("b1.txt")));
        QVERIFY(boletim(e, QStringLiteral("t2.mdb"), 2, QStringLiteral("b2.txt")));
        const QString ruim = e.pasta(QStringLiteral("ruim.txt"));
        const QByteArray b2 = conteudo(e.pasta(QStringLiteral("b2.txt")));
        const auto grava = [&](const QByteArray &bytes) {
            QFile f(ruim);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QCOMPARE(f.write(bytes), bytes.size());
        };
        if (caso == QLatin1String("alterado")) {
            grava(QByteArray(b2).replace("gerado: 20", "gerado: 19"));
        } else if (caso == QLatin1String("semchave")) {
            QCOMPARE(executa({QStringLiteral("chave"), e.pasta(QString()), QStringLiteral("9")}).codigo, 0);
            QVERIFY(boletim(e, QStringLiteral("t2.mdb"), 9, QStringLiteral("ruim.txt"), e.pasta(QStringLiteral("9.key"))));
        } else if (caso == QLatin1String("segundo")) {
            QVERIFY(boletim(e, QStringLiteral("t2.mdb"), 1, QStringLiteral("ruim.txt")));
        } else if (caso == QLatin1String("copia")) {
            QVERIFY(QFile::copy(e.pasta(QStringLiteral("b1.txt")), ruim));
        } else if (caso == QLatin1String("dia")) {
            QVERIFY(boletim(e, QStringLiteral("t2.mdb"), 3, QStringLiteral("ruim.txt"), QString(), e.data.addDays(1)));
        } else if (caso == QLatin1String("eleicao")) {
            Database db;
            abre(db, e.pasta(QStringLiteral("t2.mdb")));
            Query q(db);
            q.setSql(QStringLiteral("update candidatos set nome_candidato = nome_candidato || 'x' where numcad_candidato = %1").arg(e.chave[1]));
            q.execSql();
            db.close();
            QVERIFY(boletim(e, QStringLiteral("t2.mdb"), 3, QStringLiteral("ruim.txt")));
        } else if (caso == QLatin1String("outrachave")) {
            QVERIFY(boletim(e, QStringLiteral("t2.mdb"), 2, QStringLiteral("ruim.txt"), e.pasta(QStringLiteral("chaves/1.key"))));
        } else if (caso == QLatin1String("cortado")) {
            grava(b2.left(b2.size() / 2));
        } else if (caso == QLatin1String("vazio")) {
            grava({});
        } else if (caso == QLatin1String("binario")) {
            grava(QByteArray(b2).replace(300, 2, QByteArray("\0\xff", 2)));
        } else if (caso == QLatin1String("grande")) {
            grava(QByteArray(10 * 1024 * 1024, 'V'));
        } else if (caso == QLatin1String("fifo")) {
            QCOMPARE(::mkfifo(QFile::encodeName(ruim).constData(), 0600), 0);
        } else if (caso == QLatin1String("link")) {
            QVERIFY(QFile::link(e.pasta(QStringLiteral("b2.txt")), ruim));
        }
        // The refused file stands between two good ones: they are still added up.
        const Execucao r = executa({QStringLiteral("totaliza"), QStringLiteral("--chaves"), e.chaves, "--csv",
                                    e.pasta(QStringLiteral("b1.txt")), ruim, e.pasta(QStringLiteral("b2.txt"))});
        QCOMPARE(r.codigo, 1);
        QVERIFY2(r.erro.contains(ruim.toUtf8() + ": recusado: " + motivo), r.erro.constData());
        QCOMPARE(r.erro.count(": recusado: "), 1);
        QVERIFY(r.saida.startsWith("\xEF\xBB\xBFPARCIAL"));
        QVERIFY2(r.saida.contains("\r\nTOTAL;3;"), r.saida.constData());
        QVERIFY(r.saida.contains("\r\nNORMAL;2;"));
    }

    void boletimConfereComOpenssl()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("openssl")).isEmpty()) QSKIP("openssl não instalado");
        QTemporaryDir dir;
        Eleicao e = preparaEleicao(dir);
        votos(e, QStringLiteral("t1.mdb"), {{"NORMAL", 0}, {"LEGENDA", 0}});
        QVERIFY(boletim(e, QStringLiteral("t1.mdb"), 1, QStringLiteral("b1.txt")));
        // The commands of docs/eleicao.md, with coreutils and openssl alone.
        const QString roteiro = QStringLiteral(
            "set -e; cd '%1'\n"
            "head -n -1 b1.txt > assinado\n"
            "tail -n 1 b1.txt | cut -d' ' -f2 | base64 -d > assinatura\n"
            "openssl pkeyutl -verify -pubin -inkey chaves/1.pub -rawin -in assinado -sigfile assinatura\n"
            "n=$(sed -n 's/^eleicao-linhas: //p' b1.txt)\n"
            "e=$(grep -n '^eleicao-linhas: ' b1.txt | cut -d: -f1)\n"
            "tail -n +$((e+1)) b1.txt | head -n \"$n\" | sha256sum | cut -d' ' -f1\n"
            "sed -n 's/^eleicao-sha256: //p' b1.txt\n"
            "m=$(sed -n 's/^resultado-linhas: //p' b1.txt)\n"
            "r=$(grep -n '^resultado-linhas: ' b1.txt | cut -d: -f1)\n"
            "tail -n +$((r+1)) b1.txt | head -n \"$m\" | sha256sum | cut -d' ' -f1\n"
            "sed -n 's/^resultado-sha256: //p' b1.txt\n");
        QProcess p;
        p.start(QStringLiteral("bash"), {QStringLiteral("-c"), roteiro.arg(e.pasta(QString()))});
        QVERIFY(p.waitForFinished(60000));
        const QByteArray saida = p.readAllStandardOutput();
        QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
        const QList<QByteArray> linhas = saida.split('\n');
        QVERIFY2(linhas.size() >= 5 && linhas[0].contains("Signature Verified Successfully"), saida.constData());
        QCOMPARE(linhas[1], linhas[2]);
        QCOMPARE(linhas[3], linhas[4]);
        // One changed byte and openssl refuses it too.
        QByteArray b = conteudo(e.pasta(QStringLiteral("b1.txt")));
        b.replace("dia: ", "dia: 1");
        b.remove(b.indexOf("dia: 1") + 6, 1);
        QFile f(e.pasta(QStringLiteral("b1.txt")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(b);
        f.close();
        p.start(QStringLiteral("bash"), {QStringLiteral("-c"), roteiro.arg(e.pasta(QString()))});
        QVERIFY(p.waitForFinished(60000));
        QVERIFY(p.exitCode() != 0);
    }

    void boletimRecusaChaveESaida_data()
    {
        QTest::addColumn<QString>("caso");
        QTest::addColumn<QByteArray>("motivo");
        QTest::addRow("chave legível por outros") << QStringLiteral("modo") << QByteArray("chave privada acessível a outros usuários");
        QTest::addRow("saída é o banco") << QStringLiteral("banco") << QByteArray("já existe");
        QTest::addRow("saída já existe") << QStringLiteral("existe") << QByteArray("já existe");
        QTest::addRow("saída é o -journal do banco") << QStringLiteral("wal") << QByteArray("é o banco de dados");
    }

    void boletimRecusaChaveESaida()
    {
        QFETCH(QString, caso);
        QFETCH(QByteArray, motivo);
        QTemporaryDir dir;
        Eleicao e = preparaEleicao(dir);
        votos(e, QStringLiteral("t1.mdb"), {{"NORMAL", 0}});
        const QString banco = e.pasta(QStringLiteral("t1.mdb"));
        QString saida = e.pasta(QStringLiteral("b1.txt"));
        const QString chave = e.pasta(QStringLiteral("chaves/1.key"));
        if (caso == QLatin1String("modo")) QVERIFY(::chmod(QFile::encodeName(chave).constData(), 0644) == 0);
        if (caso == QLatin1String("banco")) saida = banco;
        if (caso == QLatin1String("existe")) QVERIFY(QFile::copy(banco, saida));
        if (caso == QLatin1String("wal")) saida = e.pasta(QStringLiteral("../%1/t1.mdb-journal").arg(QFileInfo(e.raiz).fileName()));
        const QByteArray antes = conteudo(banco);
        const QByteArray saidaAntes = conteudo(saida);
        const Execucao r = executa({QStringLiteral("boletim"), banco, e.diaIso, QStringLiteral("--terminal"),
                                    QStringLiteral("1"), QStringLiteral("--chave"), chave, QStringLiteral("--saida"), saida});
        QCOMPARE(r.codigo, 1);
        QVERIFY2(r.erro.contains(motivo), r.erro.constData());
        QCOMPARE(conteudo(banco), antes);
        QCOMPARE(conteudo(saida), saidaAntes);
    }

    // The result, zero and totals reports: the project hash and the fingerprint on
    // every page, and on the last one the QR codes of the very text that fingerprint hashes.
    void relatorioComCodigos_data()
    {
        QTest::addColumn<QString>("comando");
        QTest::addColumn<QString>("titulo");
        QTest::addRow("resultado") << QStringLiteral("resultado") << QStringLiteral("Resultado da votação do dia");
        QTest::addRow("zero") << QStringLiteral("zero") << QStringLiteral("Relatório de zeros do dia");
        QTest::addRow("totaliza") << QStringLiteral("totaliza") << QStringLiteral("Totalização dos boletins do dia");
        QTest::addRow("totaliza com recusado") << QStringLiteral("parcial") << QStringLiteral("PARCIAL");
    }

    void relatorioComCodigos()
    {
        QFETCH(QString, comando);
        QFETCH(QString, titulo);
        for (const char *p : {"zbarimg", "pdftoppm", "pdftotext"})
            if (QStandardPaths::findExecutable(QString::fromLatin1(p)).isEmpty())
                QSKIP("zbarimg (zbar-tools) ou poppler-utils não instalado");
        QTemporaryDir dir;
        Eleicao e = preparaEleicao(dir);
        const QString pdf = e.pasta(QStringLiteral("r.pdf"));
        Execucao r;
        if (comando == QLatin1String("zero")) {
            r = executa({comando, e.pasta(QStringLiteral("modelo.mdb")), e.diaIso, QStringLiteral("--pdf"), pdf});
        } else {
            votos(e, QStringLiteral("t1.mdb"), {{"NORMAL", 0}, {"LEGENDA", 0}, {"NULO", -1}});
            votos(e, QStringLiteral("t2.mdb"), {{"NORMAL", 1}, {"NORMAL", 0}});
            if (comando == QLatin1String("resultado")) {
                r = executa({comando, e.pasta(QStringLiteral("t1.mdb")), e.diaIso, QStringLiteral("--pdf"), pdf});
            } else {
                QVERIFY(boletim(e, QStringLiteral("t1.mdb"), 1, QStringLiteral("b1.txt")));
                QVERIFY(boletim(e, QStringLiteral("t2.mdb"), 2, QStringLiteral("b2.txt")));
                QStringList args{QStringLiteral("totaliza"), QStringLiteral("--chaves"), e.chaves,
                                 QStringLiteral("--pdf"), pdf, e.pasta(QStringLiteral("b1.txt")),
                                 e.pasta(QStringLiteral("b2.txt"))};
                if (comando == QLatin1String("parcial")) args << e.pasta(QStringLiteral("b1.txt"));
                r = executa(args);
                // The report never takes a bulletin's place.
                const QByteArray b1 = conteudo(e.pasta(QStringLiteral("b1.txt")));
                QStringList sobreBoletim = args;
                sobreBoletim[4] = e.pasta(QStringLiteral("b1.txt"));
                const Execucao recusada = executa(sobreBoletim);
                QCOMPARE(recusada.codigo, 1);
                QVERIFY2(recusada.erro.contains("é o boletim"), recusada.erro.constData());
                QCOMPARE(conteudo(e.pasta(QStringLiteral("b1.txt"))), b1);
            }
        }
        QCOMPARE(r.codigo, comando == QLatin1String("parcial") ? 1 : 0);
        const QRegularExpression linhaDigital(QStringLiteral("Impressão digital[^:]*\\(SHA-256\\): ([0-9a-f]{64})"));
        const QString digital = linhaDigital.match(QString::fromUtf8(r.saida)).captured(1);
        QVERIFY2(!digital.isEmpty(), r.saida.constData());
        QStringList grupos;
        for (int i = 0; i < 64; i += 8)
            grupos << digital.mid(i, 8);
        const QStringList paginas =
            QString::fromUtf8(saidaDe(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")})).split(u'\f', Qt::SkipEmptyParts);
        QVERIFY(!paginas.isEmpty());
        QVERIFY2(paginas.first().contains(titulo), qPrintable(paginas.first()));
        for (const QString &pagina : paginas) {
            QVERIFY2(pagina.contains(QStringLiteral("Impressão digital (SHA-256): ") + grupos.join(u' ')), qPrintable(pagina));
            QVERIFY(pagina.contains(QStringLiteral("Projeto de relatório (SHA-256): ")));
            QVERIFY(!pagina.contains(QStringLiteral("Projeto de relatório diferente do distribuído")));
        }
        if (comando != QLatin1String("resultado")) QVERIFY(paginas.join(QString()).contains(e.nome[0]));
        // The codes, read back from the last page's picture, are the text the fingerprint hashes.
        const int ultima = int(paginas.size());
        saidaDe(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("200"), QStringLiteral("-png"),
                                             QStringLiteral("-f"), QString::number(ultima), QStringLiteral("-l"),
                                             QString::number(ultima), QStringLiteral("-singlefile"), pdf,
                                             e.pasta(QStringLiteral("ultima"))});
        QVERIFY(QFile::exists(e.pasta(QStringLiteral("ultima.png"))));
        const QByteArray texto = textoDosCodigos({e.pasta(QStringLiteral("ultima.png"))});
        QVERIFY(texto.startsWith("#votarim-resultado\t1\n"));
        QCOMPARE(QString::fromLatin1(QCryptographicHash::hash(texto, QCryptographicHash::Sha256).toHex()), digital);
    }

    void zeroSoAntesDoPrimeiroVoto()
    {
        QTemporaryDir dir;
        Eleicao e = preparaEleicao(dir);
        const QString banco = e.pasta(QStringLiteral("modelo.mdb"));
        const Execucao zero = executa({QStringLiteral("zero"), banco, e.diaIso});
        QVERIFY2(zero.codigo == 0, zero.erro.constData());
        const QString texto = QString::fromUtf8(zero.saida);
        QVERIFY(texto.contains(QStringLiteral("  %1  %2  %3  0 votos").arg(e.numero[0], e.nome[0], e.partidoNome[0])));
        QVERIFY(texto.contains(QStringLiteral("Total de votos do dia: 0")));
        const Execucao res = executa({QStringLiteral("resultado"), banco, e.diaIso});
        const QString digital = QString::fromUtf8(res.saida.mid(res.saida.indexOf("Impressão digital (SHA-256): ") + 30, 64));
        QVERIFY(texto.contains(QStringLiteral("Impressão digital (SHA-256): %1").arg(digital)));
        // The bulletin of the same file carries the same election fingerprint.
        QVERIFY(boletim(e, QStringLiteral("modelo.mdb"), 1, QStringLiteral("b1.txt")));
        const QByteArray b = conteudo(e.pasta(QStringLiteral("b1.txt")));
        const QByteArray eleicao = b.mid(b.indexOf("eleicao-sha256: ") + 16, 64);
        QVERIFY(zero.saida.contains("Eleição (SHA-256): " + eleicao));

        votos(e, QStringLiteral("modelo.mdb"), {{"BRANCO", -1}});
        const Execucao depois = executa({QStringLiteral("zero"), banco, e.diaIso});
        QCOMPARE(depois.codigo, 1);
        QVERIFY2(depois.erro.contains("já tem 1 voto"), depois.erro.constData());
        QVERIFY(depois.saida.isEmpty());
        // Another day of the same file has no votes yet, but no map either: the check refuses it.
        const Execucao outroDia = executa({QStringLiteral("zero"), banco, e.data.addDays(1).toString(Qt::ISODate)});
        QCOMPARE(outroDia.codigo, 1);
        QVERIFY2(outroDia.erro.contains("a conferência encontrou"), outroDia.erro.constData());
        // No vote yet, but a party without its legend: refused, each finding named.
        {
            Database db;
            abre(db, e.pasta(QStringLiteral("t3.mdb")));
            Query q(db);
            q.setSql(QStringLiteral("update partido set legenda = null where numcad_partido = %1").arg(e.partido[0]));
            q.execSql();
        }
        const Execucao semLegenda = executa({QStringLiteral("zero"), e.pasta(QStringLiteral("t3.mdb")), e.diaIso});
        QCOMPARE(semLegenda.codigo, 1);
        QVERIFY2(semLegenda.erro.contains("a conferência encontrou"), semLegenda.erro.constData());
        QVERIFY(semLegenda.saida.isEmpty());
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
