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
#include <algorithm>
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

int varint(const uchar *p, const uchar *fim, qint64 *v)
{
    quint64 x = 0;
    for (int i = 0; i < 9; ++i) {
        if (p + i >= fim) return 0;
        if (i == 8) {
            *v = qint64((x << 8) | p[8]);
            return 9;
        }
        x = (x << 7) | (p[i] & 0x7f);
        if (!(p[i] & 0x80)) {
            *v = qint64(x);
            return i + 1;
        }
    }
    return 0;
}

// The row id a cell points to: the key of a table cell, the last column of an index record.
bool chaveDaCelula(uchar tipo, const uchar *c, const uchar *fim, qint64 *chave)
{
    qint64 v;
    if (tipo == 0x05) return varint(c + 4, fim, chave) > 0;
    if (tipo == 0x0d) {
        const int n = varint(c, fim, &v);
        return n && varint(c + n, fim, chave) > 0;
    }
    const uchar *p = c + (tipo == 0x02 ? 4 : 0);
    qint64 carga;
    int n = varint(p, fim, &carga);
    if (!n || carga > 400) return false; // an index record of a vote is short
    const uchar *registro = p + n, *corpo;
    qint64 tamCabecalho;
    n = varint(registro, fim, &tamCabecalho);
    if (!n) return false;
    corpo = registro + tamCabecalho;
    qint64 ultimo = 0;
    for (const uchar *t = registro + n; t < registro + tamCabecalho;) {
        if (ultimo >= 12)
            corpo += (ultimo - 12) / 2;
        else
            corpo += std::array<int, 10>{0, 1, 2, 3, 4, 6, 8, 8, 0, 0}[size_t(std::min<qint64>(ultimo, 9))];
        const int m = varint(t, fim, &ultimo);
        if (!m) return false;
        t += m;
    }
    const int bytes = std::array<int, 7>{0, 1, 2, 3, 4, 6, 8}[size_t(std::clamp<qint64>(ultimo, 0, 6))];
    if (ultimo < 1 || ultimo > 6 || corpo + bytes > fim) return false;
    qint64 x = qint8(corpo[0]);
    for (int i = 1; i < bytes; ++i)
        x = (x << 8) | corpo[i];
    *chave = x;
    return true;
}

// One b-tree page as an attacker reads it: where each cell lies, what it points to,
// and whether anything is left in its free space.
struct PaginaLida {
    std::vector<std::pair<int, qint64>> celulas; // offset, row id
    bool ordenada = true;                        // cells from the end in key order, no free blocks
    int bytesLivresSujos = 0;
};

bool lePagina(const uchar *pg, int tamanho, int inicio, PaginaLida *out)
{
    const uchar *h = pg + inicio, *fim = pg + tamanho;
    const uchar tipo = h[0];
    if (tipo != 0x02 && tipo != 0x05 && tipo != 0x0a && tipo != 0x0d) return false;
    const int cab = (tipo == 0x0a || tipo == 0x0d) ? 8 : 12;
    const int n = int(le2(h + 3)), topo = le2(h + 5) ? int(le2(h + 5)) : 65536;
    const int fimPonteiros = inicio + cab + 2 * n;
    if (fimPonteiros > topo || topo > tamanho) return false;
    int anterior = tamanho;
    for (int i = 0; i < n; ++i) {
        const int pos = int(le2(pg + inicio + cab + 2 * i));
        qint64 chave;
        if (pos < topo || pos >= tamanho || !chaveDaCelula(tipo, pg + pos, fim, &chave)) return false;
        out->celulas.push_back({pos, chave});
        out->ordenada = out->ordenada && pos < anterior;
        anterior = pos;
    }
    for (int i = fimPonteiros; i < topo; ++i)
        out->bytesLivresSujos += pg[i] != 0;
    for (unsigned livre = le2(h + 1); livre && livre + 4 <= unsigned(tamanho); livre = le2(pg + livre)) {
        out->ordenada = false;
        for (unsigned i = livre + 4; i < std::min(unsigned(tamanho), livre + le2(pg + livre + 2)); ++i)
            out->bytesLivresSujos += pg[i] != 0;
        if (le2(pg + livre) <= livre) break;
    }
    return true;
}

// The share of same-page pairs of votes whose offsets follow their casting order (the
// later vote lower in the page, as the engine writes new cells): 0.5 tells nothing.
struct Medida {
    qint64 pares = 0, naOrdem = 0;
    int paginasDesordenadas = 0, bytesLivresSujos = 0;
    double parte() const { return pares ? double(naOrdem) / double(pares) : 0.5; }
};

// Pairs with both votes before ate and at least one from desde on.
void mede(const uchar *pg, int tamanho, int inicio, const QHash<qint64, int> &ordem, int desde, int ate,
          Medida &m)
{
    PaginaLida p;
    if (!lePagina(pg, tamanho, inicio, &p)) return;
    std::vector<std::pair<int, int>> votos; // offset, casting order
    for (const auto &[pos, chave] : p.celulas)
        if (ordem.value(chave, ate) < ate) votos.push_back({pos, ordem.value(chave)});
    if (votos.empty()) return;
    m.paginasDesordenadas += !p.ordenada;
    m.bytesLivresSujos += p.bytesLivresSujos;
    for (size_t i = 0; i < votos.size(); ++i)
        for (size_t j = i + 1; j < votos.size(); ++j) {
            auto a = votos[i], b = votos[j];
            if (std::max(a.second, b.second) < desde || a.second == b.second) continue;
            if (a.second > b.second) std::swap(a, b);
            ++m.pares;
            m.naOrdem += b.first < a.first;
        }
}

QByteArray conteudo(const QString &caminho)
{
    QFile f(caminho);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Every page of the database file; with paginasLivresSujas, the leaves of the free list
// that hold anything but zeros.
Medida medeBanco(const QString &banco, const QHash<qint64, int> &ordem, int desde,
                 int *paginasLivresSujas = nullptr)
{
    Medida m;
    const QByteArray b = conteudo(banco);
    const auto *d = reinterpret_cast<const uchar *>(b.constData());
    const int tam = le2(d + 16) == 1 ? 65536 : int(le2(d + 16));
    for (qsizetype p = 0; p + tam <= b.size(); p += tam)
        mede(d + p, tam, p ? 0 : 100, ordem, desde, INT_MAX, m);
    if (paginasLivresSujas) {
        *paginasLivresSujas = 0;
        for (quint32 tronco = le4(d + 32); tronco && qsizetype(tronco) * tam <= b.size();
             tronco = le4(d + qsizetype(tronco - 1) * tam)) {
            const uchar *t = d + qsizetype(tronco - 1) * tam;
            for (quint32 i = 0; i < le4(t + 4); ++i) {
                const uchar *folha = d + qsizetype(le4(t + 8 + 4 * i) - 1) * tam;
                *paginasLivresSujas += std::any_of(folha, folha + tam, [](uchar c) { return c != 0; });
            }
        }
    }
    return m;
}

// Every frame of the log.
Medida medeLog(const QString &banco, const QHash<qint64, int> &ordem, int ate)
{
    Medida m;
    const QByteArray w = conteudo(banco + "-wal");
    const auto *l = reinterpret_cast<const uchar *>(w.constData());
    const int tam = w.size() >= 32 ? int(le4(l + 8)) : 0;
    for (qsizetype q = 32 + 24; tam && q + tam <= w.size(); q += 24 + tam)
        mede(l + q, tam, le4(l + q - 24) == 1 ? 100 : 0, ordem, 0, ate, m);
    return m;
}

// B-tree pages of the whole file whose cells do not lie in key order from the page's end.
int paginasForaDeOrdem(const QString &banco)
{
    const QByteArray b = conteudo(banco);
    const auto *d = reinterpret_cast<const uchar *>(b.constData());
    const int tam = le2(d + 16) == 1 ? 65536 : int(le2(d + 16));
    int n = 0;
    for (qsizetype p = 0; p + tam <= b.size(); p += tam) {
        PaginaLida pg;
        if (lePagina(d + p, tam, p ? 0 : 100, &pg)) n += !pg.ordenada || pg.bytesLivresSujos;
    }
    return n;
}

// A connection opened as the program opens it, storing votes with the program's statement.
struct Urna {
    Database db;
    explicit Urna(const QString &banco)
    {
        Esquema::prepara(db);
        db.setConnectionString(Database::connectionStringFor(banco));
        db.open();
        Sigilo::abreArquivo(db);
    }
    // A vote that can be told apart by its key: NORMAL or LEGENDA with id_candidato = id.
    int vota(qint64 id)
    {
        const QVariant nulo;
        const QVariantList v =
            id % 3 ? QVariantList{id,
                                  QString::number(id % 100000),
                                  Esquema::kVotoNormal,
                                  kDia,
                                  nulo,
                                  1 + id % 5,
                                  1 + id % 7}
                   : QVariantList{id,   nulo, Esquema::kVotoLegenda, kDia, QString::number(10 + id % 90),
                                  nulo, nulo};
        Query q(db);
        q.setSql(Esquema::kInsereVoto);
        for (int i = 0; i < v.size(); ++i)
            q.setParam(i, v[i]);
        return q.execSql();
    }
    QHash<qint64, int> ordemPorChave(const std::vector<qint64> &ids)
    {
        QHash<qint64, int> porId, out;
        for (int i = 0; i < int(ids.size()); ++i)
            porId.insert(ids[size_t(i)], i);
        Query q(db);
        q.setSql("select rowid, id_candidato from contagem_votacao");
        q.open();
        for (; !q.eof(); q.next())
            out.insert(q.field(0).asInteger(), porId.value(q.field(1).asInteger(), -1));
        return out;
    }
};

std::vector<qint64> embaralhados(int n)
{
    std::vector<qint64> ids(static_cast<size_t>(n));
    std::iota(ids.begin(), ids.end(), 1);
    std::shuffle(ids.begin(), ids.end(), *QRandomGenerator::global());
    return ids;
}

// A connection that bypasses the page ordering, as a program without it wrote files.
struct Cru {
    sqlite3 *db = nullptr;
    explicit Cru(const QString &banco)
    {
        sqlite3_open_v2(banco.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, "unix");
        executa("PRAGMA recursive_triggers=OFF");
    }
    ~Cru() { sqlite3_close(db); }
    void executa(const QString &sql)
    {
        char *erro = nullptr;
        if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &erro) != SQLITE_OK) {
            const QString m = QString::fromUtf8(erro);
            sqlite3_free(erro);
            QFAIL(qPrintable(m));
        }
    }
};

// A file as the program wrote it before its pages were ordered: the (data, voto) index
// and votes stored in ids' order, some ballots at a time.
void criaArquivoAntigo(const QString &banco, const std::vector<qint64> &ids)
{
    Esquema::criaBanco(banco);
    Cru c(banco);
    c.executa("DROP INDEX contagem_votacao_normal; DROP INDEX contagem_votacao_legenda;"
              "CREATE INDEX contagem_votacao_dia ON contagem_votacao (data, voto)");
    for (size_t i = 0; i < ids.size(); i += 5) {
        c.executa("BEGIN");
        for (size_t j = i; j < std::min(ids.size(), i + 5); ++j) {
            const qint64 id = ids[j];
            c.executa(
                id % 3 ? QString("insert into contagem_votacao (id_candidato, numero_candidato, voto, data, "
                                 "id_cargo, id_partido) values (%1, '%2', 'NORMAL', '%3', %4, %5)")
                             .arg(id)
                             .arg(id % 100000)
                             .arg(DiaTexto::paraBanco(kDia))
                             .arg(1 + id % 5)
                             .arg(1 + id % 7)
                       : QString("insert into contagem_votacao (id_candidato, voto, data, legenda) values "
                                 "(%1, 'LEGENDA', '%2', '%3')")
                             .arg(id)
                             .arg(DiaTexto::paraBanco(kDia))
                             .arg(10 + id % 90));
        }
        c.executa("COMMIT");
    }
}

QString umTexto(Database &db, const QString &sql)
{
    Query q(db);
    q.setSql(sql);
    q.open();
    QStringList linhas;
    for (; !q.eof(); q.next()) {
        QStringList campos;
        for (int i = 0; i < q.fieldCount(); ++i)
            campos << q.field(i).asString();
        linhas << campos.join(u'|');
    }
    return linhas.join(u'\n');
}

// The four queries of the day's result, as the report tab builds them.
QStringList consultasDoDia()
{
    const QString dia = DiaTexto::escreve(kDia);
    return QStringList{
        "select count(data) as Totalgeral,\r\n (select count(voto) from contagem_votacao where voto = "
        "\"BRANCO\" "
        "and data = datevalue(\"{dia}\")) as Totalbranco,\r\n (select count(voto) from contagem_votacao "
        "where "
        "voto = \"NULO\" and data = datevalue(\"{dia}\")) as Totalnulo,\r\n (select count(voto) from "
        "contagem_votacao where voto = \"LEGENDA\" and data = datevalue(\"{dia}\")) as "
        "Totallegenda,\r\n(select "
        "count(voto) from contagem_votacao where voto = \"NORMAL\" and data = datevalue(\"{dia}\")) as "
        "Totalnormal\r\nfrom contagem_votacao where data =  datevalue(\"{dia}\")\r\n",
        "SELECT id_candidato, numero_candidato, id_cargo, id_partido, count(id_candidato) AS Totalvotos\r\n "
        "FROM "
        "contagem_votacao WHERE data= datevalue (\"{dia}\") and voto=\"NORMAL\"\r\nGROUP BY id_cargo, "
        "id_partido, id_candidato, numero_candidato order by id_cargo, count(id_candidato) desc, "
        "id_partido\r\n",
        "SELECT id_candidato,legenda, count(legenda) AS Totalvotos\r\n FROM contagem_votacao\r\n WHERE data "
        "= "
        "datevalue (\"{dia}\") And voto=\"LEGENDA\"\r\n GROUP BY legenda, id_candidato\r\n",
        "select candidatos.nome_candidato, cargo, partido,candidatos_votacao.data_votacao from "
        "candidatos_votacao, candidatos,cargo,partido\r\nwhere candidatos_votacao.id_candidato = "
        "candidatos.numcad_candidato and candidatos_votacao.id_cargo = cargo.numcad_cargo and "
        "candidatos_votacao.id_partido = partido.numcad_partido\r\n and data_votacao = datevalue(\"{dia}\") "
        "order by cargo, partido, candidatos.nome_candidato \r\n"}
        .replaceInStrings("{dia}", dia);
}

// Each query's rows; rows the texts leave unordered are sorted.
QStringList resultadosDoDia(Database &db)
{
    QStringList out;
    for (const QString &sql : consultasDoDia()) {
        QStringList linhas = umTexto(db, sql).split(u'\n');
        linhas.sort();
        out << linhas.join(u'\n');
    }
    return out;
}

QString planos(Database &db)
{
    QStringList out;
    for (const QString &sql : consultasDoDia().mid(0, 3))
        out << umTexto(db, "EXPLAIN QUERY PLAN " + QString(sql).replace("\r\n", " "));
    return out.join(u'\n');
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

    // The check: 30 votes on an empty file, the last 100 on a file of 100,000,
    // five votes a ballot and the "FIM" step after each. One file's share varies by a
    // few hundredths with its random keys, so each case pools several files.
    // The last row writes without the ordering: the check must see the order there.
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
        Medida total;
        for (int a = 0; a < arquivos; ++a) {
            InstalacaoTeste inst;
            const std::vector<qint64> ids = embaralhados(antes + medidos);
            Urna urna(inst.banco());
            urna.db.execScript("BEGIN");
            for (int i = 0; i < antes; ++i)
                urna.vota(ids[size_t(i)]);
            urna.db.execScript("COMMIT");
            Sigilo::encerraCiclo(urna.db);
            if (ordenado) {
                for (int i = antes; i < antes + medidos; ++i) {
                    QCOMPARE(urna.vota(ids[size_t(i)]), 1); // execSql counts the vote the trigger stored
                    if ((i - antes) % 5 == 4) Sigilo::encerraCiclo(urna.db);
                }
            } else {
                urna.db.close();
                {
                    Cru c(inst.banco());
                    for (int i = antes; i < antes + medidos; ++i)
                        c.executa(
                            QString("insert into contagem_votacao (id_candidato, voto, data) values (%1, "
                                    "'NULO', '2026-10-04')")
                                .arg(ids[size_t(i)]));
                    c.executa("PRAGMA wal_checkpoint(TRUNCATE)");
                }
                urna.db.open();
            }
            int livresSujas = -1;
            const Medida m = medeBanco(inst.banco(), urna.ordemPorChave(ids), antes, &livresSujas);
            QCOMPARE(QFileInfo(inst.banco() + "-wal").size(), 0);
            total.pares += m.pares;
            total.naOrdem += m.naOrdem;
            total.paginasDesordenadas += m.paginasDesordenadas;
            total.bytesLivresSujos += m.bytesLivresSujos;
            QCOMPARE(livresSujas, 0);
            verificaIntegro(urna.db, antes + medidos);
        }
        const QString info = QString("share %1 over %2 pairs, %3 pages out of key order, %4 dirty free bytes")
                                 .arg(total.parte(), 0, 'f', 3)
                                 .arg(total.pares)
                                 .arg(total.paginasDesordenadas)
                                 .arg(total.bytesLivresSujos);
        qInfo("%s", qPrintable(info));
        QVERIFY(total.pares > 1000);
        if (ordenado) {
            QVERIFY2(total.parte() >= 0.4 && total.parte() <= 0.6, qPrintable(info));
            QVERIFY2(total.paginasDesordenadas == 0 && total.bytesLivresSujos == 0, qPrintable(info));
        } else {
            QVERIFY2(total.parte() > 0.9, qPrintable(info));
        }
    }

    // While a voter votes the log holds that ballot's pages; the cells of earlier ballots
    // in them come from the ordered file, not from images that kept their casting order.
    void logHoldsNoEarlierOrder()
    {
        Medida total;
        for (int a = 0; a < 6; ++a) {
            InstalacaoTeste inst;
            const std::vector<qint64> ids = embaralhados(32);
            Urna urna(inst.banco());
            for (int i = 0; i < 32; ++i) {
                urna.vota(ids[size_t(i)]);
                if (i % 5 == 4) Sigilo::encerraCiclo(urna.db);
            }
            QVERIFY(QFileInfo(inst.banco() + "-wal").size() > 0); // two votes of the seventh ballot
            const Medida m = medeLog(inst.banco(), urna.ordemPorChave(ids), 30);
            total.pares += m.pares;
            total.naOrdem += m.naOrdem;
        }
        const QString info = QString("share %1 over %2 pairs").arg(total.parte(), 0, 'f', 3).arg(total.pares);
        qInfo("%s", qPrintable(info));
        QVERIFY(total.pares > 1000);
        QVERIFY2(total.parte() >= 0.4 && total.parte() <= 0.6, qPrintable(info));
    }

    // A child process that starts as the program does is killed at a step of the
    // mechanism; the next start loses no vote, doubles none, and leaves the file whole,
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
        InstalacaoTeste inst(antigos == 0);
        if (antigos) criaArquivoAntigo(inst.banco(), embaralhados(antigos));
        QProcess p;
        p.start(SONDA_EXE, {"morre", inst.dir.path(), QString::number(votos), ponto, QString::number(vez)});
        QVERIFY(p.waitForStarted());
        QByteArray linha;
        while (linha.isEmpty() && p.waitForReadyRead(30000))
            linha = p.readLine().trimmed();
        QCOMPARE(linha, QByteArray(ponto == "nenhum" ? "fim" : "ponto"));
        ::kill(pid_t(p.processId()), SIGKILL);
        QVERIFY(p.waitForFinished(10000));

        // The program's own start-up.
        conecta_banco();
        QVERIFY(banco_conectado);
        Database &db = frmdados->conexaoDB;
        verificaIntegro(db, antigos + gravados);
        QCOMPARE(QFileInfo(inst.banco() + "-wal").size(), 0);
        QCOMPARE(umTexto(db, "select name from sqlite_master where tbl_name like 'contagem_votacao%' and "
                             "type in ('table', 'index') order by name"),
                 QString("contagem_votacao\ncontagem_votacao_legenda\ncontagem_votacao_normal"));
        QCOMPARE(paginasForaDeOrdem(inst.banco()), 0);
    }

    // A file written before the ordering: its pages show the casting order until the
    // first start rebuilds the vote table, once, with the same votes, row ids and results.
    void olderFileRebuiltOnce()
    {
        InstalacaoTeste inst(false);
        // Few enough votes that no page has split: all of them in casting order.
        const std::vector<qint64> ids = embaralhados(80);
        criaArquivoAntigo(inst.banco(), ids);
        QStringList antes;
        QHash<qint64, int> ordem;
        {
            Database db;
            Esquema::prepara(db);
            db.setConnectionString(Database::connectionStringFor(inst.banco()));
            db.open();
            antes = resultadosDoDia(db);
            QVERIFY(planos(db).contains("contagem_votacao_dia"));
            Query q(db);
            q.setSql("select rowid, id_candidato from contagem_votacao");
            q.open();
            for (int i = 0; !q.eof(); q.next(), ++i)
                ordem.insert(q.field(0).asInteger(),
                             int(std::find(ids.begin(), ids.end(), q.field(1).asInteger()) - ids.begin()));
        }
        const double antiga = medeBanco(inst.banco(), ordem, 0).parte();
        QVERIFY2(antiga > 0.9, qPrintable(QString::number(antiga)));

        QStringList passos;
        Sigilo::defineObservador([&](const char *p) { passos << p; });
        const auto esquece = qScopeGuard([] { Sigilo::defineObservador({}); }); // also when a check fails
        {
            Urna urna(inst.banco());
            QCOMPARE(urna.ordemPorChave(ids), ordem); // the same row ids
            QCOMPARE(resultadosDoDia(urna.db), antes);
            const QString plano = planos(urna.db);
            QVERIFY2(plano.contains("COVERING INDEX contagem_votacao_normal") &&
                         plano.contains("COVERING INDEX contagem_votacao_legenda") &&
                         !plano.contains("TEMP B-TREE FOR GROUP BY"),
                     qPrintable(plano));
            verificaIntegro(urna.db, 80);
            QCOMPARE(umTexto(urna.db, "select sql from sqlite_master where name = 'contagem_votacao'"),
                     Esquema::criaTabelaVotos("contagem_votacao"));
        }
        QVERIFY(passos.contains("copiada"));
        const Medida m = medeBanco(inst.banco(), ordem, 0);
        QVERIFY2(m.parte() >= 0.4 && m.parte() <= 0.6, qPrintable(QString::number(m.parte())));
        QCOMPARE(paginasForaDeOrdem(inst.banco()), 0);
        passos.clear();
        {
            Urna deNovo(inst.banco());
        }
        QVERIFY(!passos.contains("copiada"));
    }

    // Pages of every kind (photos over several overflow pages, deleted and changed rows,
    // interior pages) keep their contents through the ordering.
    void everyKindOfPageKeepsItsContents()
    {
        InstalacaoTeste inst;
        QByteArray antes;
        {
            Urna urna(inst.banco());
            urna.db.execScript("BEGIN");
            for (int i = 1; i <= 600; ++i)
                executa(urna.db,
                        "insert into candidatos (nome_candidato, numero_candidato, id_partido, id_cargo, "
                        "foto) values (:a, :b, 1, 1, :c)",
                        {QString("Candidato %1").arg(i), QString::number(i),
                         QByteArray(int(QRandomGenerator::global()->bounded(12000)), char('a' + i % 26))});
            urna.db.execScript("COMMIT");
            executa(urna.db, "delete from candidatos where numcad_candidato % 3 = 0");
            executa(urna.db, "update candidatos set nome_candidato = nome_candidato || ' da Silva' where "
                             "numcad_candidato % 5 = 0");
            for (qint64 id : embaralhados(3000))
                urna.vota(id);
            Sigilo::encerraCiclo(urna.db);
            antes = umTexto(urna.db, "select *, length(foto) from candidatos order by 1").toUtf8() +
                    umTexto(urna.db, "select rowid, * from contagem_votacao order by rowid").toUtf8();
        }
        QCOMPARE(paginasForaDeOrdem(inst.banco()), 0);
        Urna urna(inst.banco());
        QCOMPARE(umTexto(urna.db, "PRAGMA integrity_check"), QString("ok"));
        QCOMPARE(umTexto(urna.db, "select *, length(foto) from candidatos order by 1").toUtf8() +
                     umTexto(urna.db, "select rowid, * from contagem_votacao order by rowid").toUtf8(),
                 antes);
    }

    // A page that is not a well-formed b-tree page is written as it came.
    void malformedPagesLeftAlone_data()
    {
        QTest::addColumn<int>("posicao");
        QTest::addColumn<QByteArray>("bytes");
        // Offsets into the vote table's first page: 0 type, 1-2 first free block,
        // 3-4 cell count, 5-6 content start, 7 fragments, 8.. cell pointers.
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
        int raiz;
        {
            Urna urna(inst.banco());
            for (qint64 id : embaralhados(20))
                urna.vota(id);
            raiz = int(
                contaLinhas(urna.db, "select rootpage from sqlite_master where name = 'contagem_votacao'"));
        }
        QByteArray pagina = conteudo(inst.banco()).mid((raiz - 1) * 4096, 4096);
        QByteArray copia = pagina;
        QVERIFY(Sigilo::ordenaPagina(reinterpret_cast<uchar *>(copia.data()), 4096, 0, 4096));
        QCOMPARE(copia, pagina); // already ordered: unchanged
        pagina.replace(posicao, bytes.size(), bytes);
        copia = pagina;
        QVERIFY(!Sigilo::ordenaPagina(reinterpret_cast<uchar *>(copia.data()), 4096, 0, 4096));
        QCOMPARE(copia, pagina);
    }
};

QTEST_GUILESS_MAIN(TstSigilo)
#include "tst_sigilo.moc"
