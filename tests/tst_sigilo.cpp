// Ballot secrecy in the file: votes cast in a known order through the program's own
// vote statement and "FIM" step, then the file and its log read byte by byte as an
// attacker with a copy would read them; crashes at each step of the mechanism; the
// one-time rebuild of a vote table written before the pages were ordered.

#include "apoio.h"
#include "data/diatexto.h"
#include "data/sigilo.h"
#include "data/ufrmdados.h"
#include "platform/untutils.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <climits>
#include <csignal>
#include <numeric>
#include <sqlite3.h>

namespace
{

const QDate kDia{2026, 10, 4};

quint32 le4(const uchar *p)
{
    return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3];
}
unsigned le2(const uchar *p)
{
    return unsigned(p[0]) << 8 | p[1];
}
int varint(const uchar *p, qint64 *v)
{
    quint64 x = 0;
    for (int i = 0; i < 8; ++i) {
        x = (x << 7) | (p[i] & 0x7f);
        if (!(p[i] & 0x80)) return *v = qint64(x), i + 1;
    }
    return *v = qint64((x << 8) | p[8]), 9;
}

// One b-tree page as an attacker reads it: where each cell lies, the row id it points
// to (an index record ends with it: a random row id takes 8 bytes), and what is left in
// its free space.
struct PaginaLida {
    std::vector<std::pair<int, qint64>> celulas; // offset, row id
    bool ordenada = true;                        // cells from the end in key order, no free blocks
    int bytesLivresSujos = 0;
};

// pg is followed by at least 32 readable bytes.
bool lePagina(const uchar *pg, int tamanho, int inicio, PaginaLida *out)
{
    const uchar *h = pg + inicio, tipo = h[0];
    if (tipo != 0x02 && tipo != 0x05 && tipo != 0x0a && tipo != 0x0d) return false;
    const int cab = (tipo == 0x0a || tipo == 0x0d) ? 8 : 12, n = int(le2(h + 3));
    const int topo = le2(h + 5) ? int(le2(h + 5)) : 65536, fimPonteiros = inicio + cab + 2 * n;
    if (fimPonteiros > topo || topo > tamanho) return false;
    for (int i = 0, anterior = tamanho; i < n; ++i) {
        const int pos = int(le2(pg + inicio + cab + 2 * i));
        if (pos < topo || pos + 4 > tamanho) return false;
        const uchar *c = pg + pos + (tipo == 0x02 || tipo == 0x05 ? 4 : 0);
        qint64 carga, chave = 0;
        const int k = varint(c, &carga);
        if (tipo == 0x05)
            chave = carga;
        else if (tipo == 0x0d)
            varint(c + k, &chave);
        else if (carga >= 8 && carga < 200 && pos + k + carga <= tamanho)
            for (int b = 0; b < 8; ++b)
                chave = (chave << 8) | c[k + carga - 8 + b];
        out->celulas.push_back({pos, chave});
        out->ordenada = out->ordenada && pos < anterior;
        anterior = pos;
    }
    out->bytesLivresSujos = int(std::count_if(pg + fimPonteiros, pg + topo, [](uchar b) { return b; }));
    for (unsigned livre = le2(h + 1); livre && livre + 4 <= unsigned(tamanho); livre = le2(pg + livre)) {
        out->ordenada = false;
        const unsigned fim = std::min(unsigned(tamanho), livre + le2(pg + livre + 2));
        out->bytesLivresSujos += int(std::count_if(pg + livre + 4, pg + fim, [](uchar b) { return b; }));
        if (le2(pg + livre) <= livre) break;
    }
    return true;
}

// The share of same-page pairs of votes whose offsets follow their casting order (the
// later vote lower in the page, as the engine writes new cells): 0.5 tells nothing.
struct Medida {
    qint64 pares = 0, naOrdem = 0;
    double parte() const { return pares ? double(naOrdem) / double(pares) : 0.5; }
    QString texto() const { return QString("share %1 over %2 pairs").arg(parte(), 0, 'f', 3).arg(pares); }
};

// The pages of a file, or the frames of a log (intervalo: the 24-byte frame header);
// pairs of votes cast before ate with at least one from desde on.
Medida mede(const QString &caminho, int intervalo, const QHash<qint64, int> &ordem, int desde,
            int ate = INT_MAX)
{
    Medida m;
    QFile f(caminho);
    const QByteArray b = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    const auto *d = reinterpret_cast<const uchar *>(b.constData());
    const int tam = b.size() < 32      ? 0
                    : intervalo        ? int(le4(d + 8))
                    : le2(d + 16) == 1 ? 65536
                                       : int(le2(d + 16));
    for (qsizetype p = intervalo ? 32 + intervalo : 0; tam && p + tam <= b.size(); p += tam + intervalo) {
        PaginaLida pg;
        const bool primeira = intervalo ? le4(d + p - intervalo) == 1 : p == 0;
        const QByteArray pagina = b.mid(p, tam) + QByteArray(32, 0);
        if (!lePagina(reinterpret_cast<const uchar *>(pagina.constData()), tam, primeira ? 100 : 0, &pg))
            continue;
        std::vector<std::pair<int, int>> votos; // offset, casting order
        for (const auto &[pos, chave] : pg.celulas)
            if (ordem.value(chave, ate) < ate) votos.push_back({pos, ordem.value(chave)});
        for (size_t i = 0; i < votos.size(); ++i)
            for (size_t j = i + 1; j < votos.size(); ++j) {
                auto [a, z] =
                    std::minmax(votos[i], votos[j], [](auto x, auto y) { return x.second < y.second; });
                if (z.second < desde || a.second == z.second) continue;
                ++m.pares;
                m.naOrdem += z.first < a.first;
            }
    }
    return m;
}

// B-tree pages of the whole file not laid out in key order, and free-list leaves not zeroed.
int paginasForaDeOrdem(const QString &banco)
{
    QFile f(banco);
    const QByteArray b = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    const auto *d = reinterpret_cast<const uchar *>(b.constData());
    const qsizetype tam = le2(d + 16) == 1 ? 65536 : le2(d + 16);
    int n = 0;
    for (qsizetype p = 0; p + tam <= b.size(); p += tam) {
        PaginaLida pg;
        const QByteArray pagina = b.mid(p, tam) + QByteArray(32, 0);
        if (lePagina(reinterpret_cast<const uchar *>(pagina.constData()), int(tam), p ? 0 : 100, &pg))
            n += !pg.ordenada || pg.bytesLivresSujos;
    }
    for (quint32 tronco = le4(d + 32); tronco; tronco = le4(d + (tronco - 1) * tam))
        for (quint32 i = 0; i < le4(d + (tronco - 1) * tam + 4); ++i) {
            const uchar *folha = d + (le4(d + (tronco - 1) * tam + 8 + 4 * i) - 1) * tam;
            n += std::any_of(folha, folha + tam, [](uchar c) { return c; });
        }
    return n;
}

// A connection opened as the program opens it, storing votes with the program's statement.
struct TerminalDeVotacao {
    Database db;
    explicit TerminalDeVotacao(const QString &banco)
    {
        Esquema::prepara(db);
        db.setConnectionString(Database::connectionStringFor(banco));
        db.open();
        Sigilo::abreArquivo(db);
    }
    // A vote told apart by its content: NORMAL or LEGENDA with id_candidato = id.
    int vota(qint64 id)
    {
        const QVariant n;
        const QVariantList v =
            id % 3 ? QVariantList{id, QString::number(id % 100000), "NORMAL", kDia, n, 1 + id % 5, 1 + id % 7}
                   : QVariantList{id, n, "LEGENDA", kDia, QString::number(10 + id % 90), n, n};
        Query q(db);
        q.setSql(Esquema::kInsereVoto);
        for (int i = 0; i < v.size(); ++i)
            q.setParam(i, v[i]);
        return q.execSql();
    }
    // Row id to the casting order of the vote whose id_candidato is ids[order].
    QHash<qint64, int> ordemPorChave(const std::vector<qint64> &ids)
    {
        QHash<qint64, int> porId, out;
        for (int i = 0; i < int(ids.size()); ++i)
            porId.insert(ids[size_t(i)], i);
        Query q(db);
        q.setSql("select rowid, id_candidato from contagem_votacao");
        for (q.open(); !q.eof(); q.next())
            if (porId.contains(q.field(1).asInteger()))
                out.insert(q.field(0).asInteger(), porId[q.field(1).asInteger()]);
        return out;
    }
};

// Ids in an order unrelated to their values, so that no key follows the casting order.
std::vector<qint64> embaralhados(int n)
{
    std::vector<qint64> ids(static_cast<size_t>(n));
    std::iota(ids.begin(), ids.end(), 1);
    std::shuffle(ids.begin(), ids.end(), *QRandomGenerator::global());
    return ids;
}

// Writes through plain SQLite, bypassing the ordering, as the program did before it.
void escreveSemOrdem(const QString &banco, const QStringList &comandos)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(banco.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, "unix");
    for (const QString &c : QStringList{"PRAGMA recursive_triggers=OFF"} + comandos)
        QCOMPARE(sqlite3_exec(db, c.toUtf8().constData(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}

// Votes with those ids, five a transaction, without the ordering; with the older
// schema's (data, voto) index when antigo.
void votaSemOrdem(const QString &banco, const std::vector<qint64> &ids, bool antigo)
{
    QStringList c;
    if (antigo)
        c << "DROP INDEX contagem_votacao_normal; DROP INDEX contagem_votacao_legenda; CREATE INDEX "
             "contagem_votacao_dia ON contagem_votacao (data, voto)";
    for (size_t i = 0; i < ids.size(); ++i)
        c << QString("%1 insert into contagem_votacao (id_candidato, numero_candidato, voto, data, legenda, "
                     "id_cargo) values (%2, %3, '%4', '2026-10-04', %5, %6); %7")
                 .arg(i % 5 ? "" : "BEGIN;")
                 .arg(ids[i])
                 .arg(ids[i] % 3 ? QString::number(ids[i]) : "null", ids[i] % 3 ? "NORMAL" : "LEGENDA",
                      ids[i] % 3 ? "null" : QString::number(10 + ids[i] % 90))
                 .arg(1 + ids[i] % 5)
                 .arg(i % 5 == 4 || i + 1 == ids.size() ? "COMMIT" : "");
    escreveSemOrdem(banco, c);
}

QString umTexto(Database &db, const QString &sql)
{
    Query q(db);
    q.setSql(sql);
    QStringList linhas;
    for (q.open(); !q.eof(); q.next()) {
        QStringList campos;
        for (int i = 0; i < q.fieldCount(); ++i)
            campos << q.field(i).asString();
        linhas << campos.join(u'|');
    }
    return linhas.join(u'\n');
}

// The day's result queries of the report tab (rows sorted where the text leaves ties
// or order to the engine), or their plans.
QStringList resultadoDoDia(Database &db, const QString &prefixo = {})
{
    const QStringList textos = {
        "select count(data) as Totalgeral, (select count(voto) from contagem_votacao where voto = \"BRANCO\" "
        "and "
        "data = datevalue(\"{dia}\")) as Totalbranco, (select count(voto) from contagem_votacao where voto = "
        "\"LEGENDA\" and data = datevalue(\"{dia}\")) as Totallegenda, (select count(voto) from "
        "contagem_votacao "
        "where voto = \"NORMAL\" and data = datevalue(\"{dia}\")) as Totalnormal from contagem_votacao where "
        "data =  datevalue(\"{dia}\")",
        "SELECT id_candidato, numero_candidato, id_cargo, id_partido, count(id_candidato) AS Totalvotos FROM "
        "contagem_votacao WHERE data= datevalue (\"{dia}\") and voto=\"NORMAL\" GROUP BY id_cargo, "
        "id_partido, "
        "id_candidato, numero_candidato order by id_cargo, count(id_candidato) desc, id_partido",
        "SELECT id_candidato,legenda, count(legenda) AS Totalvotos FROM contagem_votacao WHERE data = "
        "datevalue "
        "(\"{dia}\") And voto=\"LEGENDA\" GROUP BY legenda, id_candidato"};
    QStringList out;
    for (const QString &t : textos) {
        QStringList linhas =
            umTexto(db, prefixo + QString(t).replace("{dia}", DiaTexto::escreve(kDia))).split('\n');
        if (prefixo.isEmpty()) linhas.sort();
        out << linhas.join('\n');
    }
    return out;
}

} // namespace

class TstSigilo : public QObject
{
    Q_OBJECT

    void verificaIntegro(Database &db, qint64 votos)
    {
        QCOMPARE(umTexto(db, "PRAGMA integrity_check"), QString("ok"));
        QCOMPARE(contaLinhas(db, "select count(*) from contagem_votacao"), votos);
    }

  private slots:
    void cleanup() { desconecta_banco(); }

    // The secrecy check: 30 votes on an empty file, the last 100 on a file of 100,000,
    // five a ballot, the "FIM" step after each; then two votes of one more ballot, whose
    // log holds pages where earlier ballots' cells must show no order either. One
    // file's share varies by a few hundredths with its random keys: each case pools
    // several files. The control writes without the ordering: the check sees the order.
    void pagesGiveNoCastingOrder_data()
    {
        QTest::addColumn<int>("arquivos");
        QTest::addColumn<int>("antes");
        QTest::addColumn<int>("medidos");
        QTest::addColumn<bool>("ordenado");
        QTest::addRow("30 votes on an empty file") << 8 << 0 << 30 << true;
        QTest::addRow("last 100 votes of 100,100") << 2 << 100000 << 100 << true;
        QTest::addRow("control: written without the ordering") << 2 << 0 << 30 << false;
    }
    void pagesGiveNoCastingOrder()
    {
        QFETCH(int, arquivos);
        QFETCH(int, antes);
        QFETCH(int, medidos);
        QFETCH(bool, ordenado);
        Medida arquivo, log;
        for (int a = 0; a < arquivos; ++a) {
            InstalacaoTeste inst;
            const std::vector<qint64> ids = embaralhados(antes + medidos + 2);
            TerminalDeVotacao terminal(inst.banco());
            terminal.db.execScript("BEGIN");
            for (int i = 0; i < antes; ++i)
                terminal.vota(ids[size_t(i)]);
            terminal.db.execScript("COMMIT");
            Sigilo::encerraCiclo(terminal.db);
            if (ordenado) {
                for (int i = antes; i < antes + medidos; ++i) {
                    QCOMPARE(terminal.vota(ids[size_t(i)]), 1); // execSql counts the vote the trigger stored
                    if ((i - antes) % 5 == 4) Sigilo::encerraCiclo(terminal.db);
                }
            } else {
                terminal.db.close();
                votaSemOrdem(inst.banco(), {ids.begin() + antes, ids.begin() + antes + medidos}, false);
                terminal.db.open();
            }
            QCOMPARE(QFileInfo(inst.banco() + "-wal").size(), 0);
            QCOMPARE(paginasForaDeOrdem(inst.banco()) == 0, ordenado);
            const Medida m = mede(inst.banco(), 0, terminal.ordemPorChave(ids), antes);
            arquivo.pares += m.pares, arquivo.naOrdem += m.naOrdem;
            verificaIntegro(terminal.db, antes + medidos);
            if (!ordenado) continue;
            terminal.vota(ids[size_t(antes + medidos)]), terminal.vota(ids[size_t(antes + medidos + 1)]);
            const Medida l = mede(inst.banco() + "-wal", 24, terminal.ordemPorChave(ids), 0, antes + medidos);
            log.pares += l.pares, log.naOrdem += l.naOrdem;
        }
        qInfo("file: %s; log: %s", qPrintable(arquivo.texto()), qPrintable(log.texto()));
        QVERIFY(arquivo.pares > 1000);
        if (!ordenado) QVERIFY2(arquivo.parte() > 0.9, qPrintable(arquivo.texto()));
        if (!ordenado) return;
        QVERIFY2(arquivo.parte() >= 0.4 && arquivo.parte() <= 0.6, qPrintable(arquivo.texto()));
        QVERIFY(log.pares > 1000);
        QVERIFY2(log.parte() >= 0.4 && log.parte() <= 0.6, qPrintable(log.texto()));
    }

    // A child that starts as the program does is killed at a step of the mechanism; the
    // program's next start loses no vote, doubles none, and leaves the file whole,
    // ordered and without a log.
    void crashAtEachStep_data()
    {
        QTest::addColumn<int>("antigos"); // votes of a file written before the ordering
        QTest::addColumn<int>("votos");
        QTest::addColumn<QByteArray>("ponto");
        QTest::addColumn<int>("vez");
        QTest::addColumn<int>("gravados");
        QTest::addRow("mid-ballot, after the 3rd vote") << 0 << 5 << QByteArray("voto") << 3 << 3;
        QTest::addRow("FIM, 1st page written") << 0 << 5 << QByteArray("pagina") << 1 << 5;
        QTest::addRow("FIM, 2nd page written") << 0 << 5 << QByteArray("pagina") << 2 << 5;
        QTest::addRow("after FIM") << 0 << 5 << QByteArray("nenhum") << 1 << 5;
        QTest::addRow("rebuild, votes copied") << 300 << 0 << QByteArray("copiada") << 1 << 0;
        QTest::addRow("rebuild, tables swapped") << 300 << 0 << QByteArray("trocada") << 1 << 0;
        QTest::addRow("rebuild, committed") << 300 << 0 << QByteArray("reconstruida") << 1 << 0;
        QTest::addRow("rebuild, 5th page written") << 300 << 2 << QByteArray("pagina") << 5 << 0;
    }
    void crashAtEachStep()
    {
        QFETCH(int, antigos);
        QFETCH(int, votos);
        QFETCH(QByteArray, ponto);
        QFETCH(int, vez);
        QFETCH(int, gravados);
        InstalacaoTeste inst;
        if (antigos) votaSemOrdem(inst.banco(), embaralhados(antigos), true);
        QProcess p;
        p.start(SONDA_EXE, {"morre", inst.dir.path(), QString::number(votos), ponto, QString::number(vez)});
        QVERIFY(p.waitForStarted());
        QByteArray linha;
        while (linha.isEmpty() && p.waitForReadyRead(30000))
            linha = p.readLine().trimmed();
        QCOMPARE(linha, QByteArray(ponto == "nenhum" ? "fim" : "ponto"));
        ::kill(pid_t(p.processId()), SIGKILL);
        QVERIFY(p.waitForFinished(10000));

        conecta_banco(); // the program's own start-up
        QVERIFY(banco_conectado);
        verificaIntegro(frmdados->conexaoDB, antigos + gravados);
        QCOMPARE(QFileInfo(inst.banco() + "-wal").size(), 0);
        QCOMPARE(umTexto(frmdados->conexaoDB,
                         "select name from sqlite_master where tbl_name like 'contagem%' and "
                         "type in ('table', 'index') order by name"),
                 QString("contagem_votacao\ncontagem_votacao_legenda\ncontagem_votacao_normal"));
        QCOMPARE(paginasForaDeOrdem(inst.banco()), 0);
    }

    // A file written before the ordering shows the casting order until the first start
    // rebuilds its vote table, once, with the same votes, row ids and day's results.
    void olderFileRebuiltOnce()
    {
        InstalacaoTeste inst;
        const std::vector<qint64> ids = embaralhados(80); // no page has split: all in casting order
        votaSemOrdem(inst.banco(), ids, true);
        QStringList antes;
        QHash<qint64, int> ordem;
        {
            Database db;
            Esquema::prepara(db);
            db.setConnectionString(Database::connectionStringFor(inst.banco()));
            db.open();
            antes = resultadoDoDia(db);
            QVERIFY(resultadoDoDia(db, "EXPLAIN QUERY PLAN ").join(' ').contains("contagem_votacao_dia"));
            Query q(db);
            q.setSql("select rowid, id_candidato from contagem_votacao");
            for (q.open(); !q.eof(); q.next())
                ordem[q.field(0).asInteger()] =
                    int(std::find(ids.begin(), ids.end(), q.field(1).asInteger()) - ids.begin());
        }
        QVERIFY2(mede(inst.banco(), 0, ordem, 0).parte() > 0.9,
                 qPrintable(mede(inst.banco(), 0, ordem, 0).texto()));

        QStringList passos;
        Sigilo::defineObservador([&](const char *p) { passos << p; });
        const auto esquece = qScopeGuard([] { Sigilo::defineObservador({}); }); // also when a check fails
        {
            TerminalDeVotacao terminal(inst.banco());
            QCOMPARE(terminal.ordemPorChave(ids), ordem); // the same row ids
            QCOMPARE(resultadoDoDia(terminal.db), antes);
            const QString plano = resultadoDoDia(terminal.db, "EXPLAIN QUERY PLAN ").join('\n');
            QVERIFY2(plano.contains("COVERING INDEX contagem_votacao_normal") &&
                         plano.contains("COVERING INDEX contagem_votacao_legenda") &&
                         !plano.contains("GROUP BY"),
                     qPrintable(plano));
            verificaIntegro(terminal.db, 80);
            QCOMPARE(umTexto(terminal.db, "select sql from sqlite_master where name = 'contagem_votacao'"),
                     Esquema::criaTabelaVotos("contagem_votacao"));
        }
        QVERIFY(passos.contains("copiada"));
        const Medida m = mede(inst.banco(), 0, ordem, 0);
        QVERIFY2(m.parte() >= 0.4 && m.parte() <= 0.6, qPrintable(m.texto()));
        QCOMPARE(paginasForaDeOrdem(inst.banco()), 0);
        passos.clear();
        TerminalDeVotacao deNovo(inst.banco());
        QVERIFY(!passos.contains("copiada"));
    }

    // Pages of every kind (photos over overflow pages, deleted and changed rows, interior
    // pages) keep their contents through the ordering.
    void everyKindOfPageKeepsItsContents()
    {
        InstalacaoTeste inst;
        const QString tudo = "select *, length(foto) from candidatos order by 1";
        QString antes;
        {
            TerminalDeVotacao terminal(inst.banco());
            terminal.db.execScript("BEGIN");
            for (int i = 1; i <= 600; ++i)
                executa(terminal.db,
                        "insert into candidatos (nome_candidato, numero_candidato, id_partido, id_cargo, "
                        "foto) values (:a, :b, 1, 1, :c)",
                        {QString("Candidato %1").arg(i), QString::number(i),
                         QByteArray(int(QRandomGenerator::global()->bounded(12000)), char('a' + i % 26))});
            terminal.db.execScript("COMMIT");
            executa(terminal.db, "delete from candidatos where numcad_candidato % 3 = 0");
            executa(terminal.db, "update candidatos set nome_candidato = nome_candidato || ' da Silva' where "
                             "numcad_candidato % 5 = 0");
            for (qint64 id : embaralhados(3000))
                terminal.vota(id);
            Sigilo::encerraCiclo(terminal.db);
            antes =
                umTexto(terminal.db, tudo) + umTexto(terminal.db, "select rowid, * from contagem_votacao order by 1");
        }
        QCOMPARE(paginasForaDeOrdem(inst.banco()), 0);
        TerminalDeVotacao terminal(inst.banco());
        QCOMPARE(umTexto(terminal.db, "PRAGMA integrity_check"), QString("ok"));
        QCOMPARE(umTexto(terminal.db, tudo) +
                     umTexto(terminal.db, "select rowid, * from contagem_votacao order by 1"),
                 antes);
    }

    // A page that is not a well-formed b-tree page is written as it came. Offsets into
    // the vote table's page: 0 type, 1-2 first free block, 3-4 cells, 7 fragments, 8.. pointers.
    void malformedPagesLeftAlone_data()
    {
        QTest::addColumn<int>("posicao");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addRow("not a b-tree page type") << 0 << QByteArray("\x01", 1);
        QTest::addRow("a cell pointer past the page") << 8 << QByteArray("\x10\x00", 2);
        QTest::addRow("a cell pointer below the content") << 8 << QByteArray("\x00\x20", 2);
        QTest::addRow("more cells than pointers fit") << 3 << QByteArray("\x07\xff", 2);
        QTest::addRow("fragment count wrong") << 7 << QByteArray("\x05", 1);
        QTest::addRow("free block inside a cell") << 1 << QByteArray("\x0f\xf8", 2);
    }
    void malformedPagesLeftAlone()
    {
        QFETCH(int, posicao);
        QFETCH(QByteArray, bytes);
        InstalacaoTeste inst;
        qint64 raiz;
        {
            TerminalDeVotacao terminal(inst.banco());
            for (qint64 id : embaralhados(20))
                terminal.vota(id);
            raiz = contaLinhas(terminal.db, "select rootpage from sqlite_master where name = 'contagem_votacao'");
        }
        QFile f(inst.banco());
        QVERIFY(f.open(QIODevice::ReadOnly) && f.seek((raiz - 1) * 4096));
        QByteArray pagina = f.read(4096), copia = pagina;
        QVERIFY(Sigilo::ordenaPagina(reinterpret_cast<uchar *>(copia.data()), 4096, 0, 4096));
        QCOMPARE(copia, pagina); // already ordered: unchanged
        copia = pagina.replace(posicao, bytes.size(), bytes);
        QVERIFY(!Sigilo::ordenaPagina(reinterpret_cast<uchar *>(copia.data()), 4096, 0, 4096));
        QCOMPARE(copia, pagina);
    }
};

QTEST_GUILESS_MAIN(TstSigilo)
#include "tst_sigilo.moc"
