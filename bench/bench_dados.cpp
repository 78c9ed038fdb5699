// The data layer on the generated election, each figure against the same work
// done with the bare SQLite API on the same connection in the same run.
//
// Lookup: the terminal's existence lookup through a Query made, bound, opened and
// dropped for each number, against the same prepared statement bound, stepped to
// its end (a query counts its rows exactly, so it must learn there is no second
// one) and reset; the two alternate number by number, so both see the same pages
// as warm.
//
// Open: "select *  from candidatos" (100,000 rows, each with a 30 KB photo)
// through a Query, against a bare step loop that reads the same values of the
// same rows; then the memory a child process holds after each of them, above what
// it held before. A bare loop over "select *" as it is written, which reads every
// photo, is timed once as a detail.
//
// Moving: the next candidate with three data-bound controls and a grid on the
// query, until the screen is repainted, against three line edits and a table view
// over a plain model given the same texts. Drop-down: a lookup over the 100,000
// candidates opened, against a pop-up list view over a string list of the same names.
//
// Usage: bench_dados FOLDER [LOOKUPS] [OPENS]

#include "comum.h"
#include "data/database.h"
#include "data/esquema.h"
#include "data/fontedados.h"
#include "data/query.h"
#include "platform/dbedit.h"
#include "platform/dbgrid.h"
#include "platform/dblookupcombo.h"
#include "platform/dbtext.h"
#include "platform/instalacao.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QFile>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QStringListModel>
#include <QTableView>
#include <QVBoxLayout>
#include <cstdio>
#include <random>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

const QString kTodos = QStringLiteral("select *  from candidatos");
// The values Query keeps of each row of kTodos, read with the bare API.
const char *const kMesmasLinhas =
    "select numcad_candidato, nome_candidato, numero_candidato, id_partido, id_cargo, "
    "typeof(foto), rowid from candidatos";

[[noreturn]] void falha(const QString &texto)
{
    std::fprintf(stderr, "bench_dados: %s\n", qPrintable(texto));
    std::exit(1);
}

double msDesde(qint64 t0)
{
    return double(Bench::agoraNs() - t0) / 1e6;
}

// Resident memory now, in KiB.
double rssKib()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly)) falha(QStringLiteral("no /proc/self/statm"));
    const QList<QByteArray> campos = f.readAll().split(' ');
    return campos.value(1).toDouble() * double(sysconf(_SC_PAGESIZE)) / 1024.0;
}

void abre(Database &db, const QString &pasta)
{
    Esquema::prepara(db);
    db.setConnectionString(Database::connectionStringFor(pasta + QStringLiteral("/candidatos.mdb")));
    db.open();
}

// The bare loop over the same values Query keeps: the leanest way to read them.
qint64 lacoNu(sqlite3 *db, const char *sql, bool tudo)
{
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK)
        falha(QString::fromUtf8(sqlite3_errmsg(db)));
    qint64 soma = 0, linhas = 0;
    int rc;
    const int n = sqlite3_column_count(st);
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        ++linhas;
        for (int i = 0; i < n; ++i) {
            if (sqlite3_column_type(st, i) == SQLITE_INTEGER)
                soma += sqlite3_column_int64(st, i);
            else if (tudo || sqlite3_column_type(st, i) == SQLITE_TEXT)
                soma += sqlite3_column_bytes(st, i);
        }
    }
    if (rc != SQLITE_DONE) falha(QString::fromUtf8(sqlite3_errmsg(db)));
    if (sqlite3_finalize(st) != SQLITE_OK) falha(QStringLiteral("finalize"));
    if (soma == 0) falha(QStringLiteral("nothing read"));
    return linhas;
}

// In a child process: the memory held after one open, above what the process held before it.
double memoriaEmFilho(const QString &pasta, bool porQuery)
{
    int canal[2];
    if (pipe(canal) != 0) falha(QStringLiteral("pipe"));
    const pid_t pid = fork();
    if (pid < 0) falha(QStringLiteral("fork"));
    if (pid == 0) {
        ::close(canal[0]);
        double kib = -1;
        {
            Database db;
            abre(db, pasta);
            Query q(db);
            q.setSql(QStringLiteral("select * from cargo"));
            q.open();
            q.close();
            const double antes = rssKib();
            if (porQuery) {
                q.setSql(kTodos);
                q.open();
                if (q.recordCount() != 100000) falha(QStringLiteral("expected 100,000 candidates"));
                kib = rssKib() - antes;
            } else {
                lacoNu(db.handle(), kMesmasLinhas, false);
                kib = rssKib() - antes;
            }
        }
        if (write(canal[1], &kib, sizeof kib) != sizeof kib) _exit(1);
        _exit(0);
    }
    ::close(canal[1]);
    double kib = -1;
    if (read(canal[0], &kib, sizeof kib) != sizeof kib) falha(QStringLiteral("no answer from the child"));
    ::close(canal[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) falha(QStringLiteral("child failed"));
    return kib;
}

void consultas(const QString &pasta, int buscas, int aberturas)
{
    Database db;
    abre(db, pasta);
    std::mt19937 sorte(7);
    std::uniform_int_distribution<int> numero(10000, 99999);

    // ---- Lookup
    sqlite3_stmt *existe = nullptr;
    const char *textoNu =
        "select numero_candidato from candidatos where numero_candidato = ? and id_cargo = ?";
    if (sqlite3_prepare_v3(db.handle(), textoNu, -1, SQLITE_PREPARE_PERSISTENT, &existe, nullptr) !=
        SQLITE_OK)
        falha(QStringLiteral("prepare"));
    std::vector<double> porQuery, nua;
    const QString idCargo = QStringLiteral("1");
    for (int i = -200; i < buscas; ++i) { // the first 200 warm the pages and the caches
        const QByteArray n = QByteArray::number(numero(sorte));
        qint64 t0 = Bench::agoraNs();
        {
            Query q(db);
            q.setSql(QStringLiteral("select numero_candidato from candidatos where numero_candidato = "
                                    ":numero_candidato and id_cargo = :id_cargo"));
            q.setParam(QStringLiteral("numero_candidato"), QString::fromLatin1(n));
            q.setParam(QStringLiteral("id_cargo"), idCargo);
            q.open();
            if (q.recordCount() != 1) falha(QStringLiteral("lookup through Query found nothing"));
        }
        const double a = msDesde(t0);
        t0 = Bench::agoraNs();
        sqlite3_bind_text(existe, 1, n.constData(), int(n.size()), SQLITE_STATIC);
        sqlite3_bind_int64(existe, 2, 1);
        int linhas = 0, rc;
        while ((rc = sqlite3_step(existe)) == SQLITE_ROW)
            ++linhas;
        sqlite3_reset(existe);
        const double b = msDesde(t0);
        if (rc != SQLITE_DONE || linhas != 1) falha(QStringLiteral("bare lookup found nothing"));
        if (i < 0) continue;
        porQuery.push_back(a);
        nua.push_back(b);
    }
    sqlite3_finalize(existe);
    const double mq = Bench::mediana(porQuery), mn = Bench::mediana(nua);
    Bench::linha(QStringLiteral("Lookup through Query, median (%1 lookups)").arg(buscas), Bench::ms(mq),
                 Bench::ms(mn), Bench::razao(mq / mn), QStringLiteral("≤ 2x"), mq <= 2 * mn);
    Bench::detalhe(QStringLiteral("lookup through Query / bare: p99"),
                   Bench::ms(Bench::percentil(porQuery, 99)) + QStringLiteral(" / ") +
                       Bench::ms(Bench::percentil(nua, 99)));

    // ---- Open of 100,000 rows with photos
    if (aberturas <= 0) return;
    std::vector<double> abrir, laco;
    for (int i = -1; i < aberturas; ++i) { // one warm-up of each
        qint64 t0 = Bench::agoraNs();
        {
            Query q(db);
            q.setSql(kTodos);
            q.open();
            if (q.recordCount() != 100000) falha(QStringLiteral("expected 100,000 candidates"));
        }
        const double a = msDesde(t0);
        t0 = Bench::agoraNs();
        if (lacoNu(db.handle(), kMesmasLinhas, false) != 100000)
            falha(QStringLiteral("bare loop miscounted"));
        const double b = msDesde(t0);
        if (i < 0) continue;
        abrir.push_back(a);
        laco.push_back(b);
    }
    const double ma = Bench::mediana(abrir), ml = Bench::mediana(laco);
    Bench::linha(QStringLiteral("Open of select *  from candidatos, 100,000 rows with photos (median of %1)")
                     .arg(aberturas),
                 Bench::ms(ma), Bench::ms(ml), Bench::razao(ma / ml), QStringLiteral("< 500 ms"), ma < 500);
    Bench::detalhe(QStringLiteral("open of 100,000 photo rows: min–max through Query / bare loop"),
                   Bench::ms(*std::min_element(abrir.begin(), abrir.end())) + QStringLiteral("–") +
                       Bench::ms(*std::max_element(abrir.begin(), abrir.end())) + QStringLiteral(" / ") +
                       Bench::ms(*std::min_element(laco.begin(), laco.end())) + QStringLiteral("–") +
                       Bench::ms(*std::max_element(laco.begin(), laco.end())));
    qint64 t0 = Bench::agoraNs();
    lacoNu(db.handle(), "select * from candidatos", true);
    Bench::detalhe(QStringLiteral("bare loop over select * as written, photos read (once)"),
                   Bench::ms(msDesde(t0)));
}

// The leanest table a view can show: the same texts, kept in vectors.
class TabelaSimples : public QAbstractTableModel
{
  public:
    std::vector<QString> nomes, numeros;
    int rowCount(const QModelIndex &p = QModelIndex()) const override
    {
        return p.isValid() ? 0 : int(nomes.size());
    }
    int columnCount(const QModelIndex &p = QModelIndex()) const override { return p.isValid() ? 0 : 2; }
    QVariant data(const QModelIndex &i, int role) const override
    {
        if (role != Qt::DisplayRole) return QVariant();
        return i.column() == 0 ? nomes[size_t(i.row())] : numeros[size_t(i.row())];
    }
};

void telas(const QString &pasta, int passos)
{
    Database db;
    abre(db, pasta);
    Query q(db);
    q.setSql(kTodos);
    DataSource ds(nullptr, &q);
    QWidget janela;
    auto *caixa = new QVBoxLayout(&janela);
    auto *nome = new DbEdit(&janela);
    auto *numero = new DbEdit(&janela);
    auto *chave = new DbText(&janela);
    auto *grade = new DbGrid(&janela);
    nome->setDataSource(&ds);
    nome->setDataField(QStringLiteral("nome_candidato"));
    numero->setDataSource(&ds);
    numero->setDataField(QStringLiteral("numero_candidato"));
    chave->setDataSource(&ds);
    chave->setDataField(QStringLiteral("numcad_candidato"));
    grade->setDataSource(&ds);
    grade->setColumns({{QStringLiteral("nome_candidato"), QStringLiteral("Canditato"), 304},
                       {QStringLiteral("numero_candidato"), QStringLiteral("Nº Canditato"), 107}});
    for (QWidget *w : std::initializer_list<QWidget *>{nome, numero, chave, grade})
        caixa->addWidget(w);
    janela.resize(456, 300);
    janela.show();
    q.open();
    QCoreApplication::processEvents();

    // The same screen with plain widgets given the same texts.
    QWidget simples;
    auto *caixa2 = new QVBoxLayout(&simples);
    auto *nome2 = new QLineEdit(&simples);
    auto *numero2 = new QLineEdit(&simples);
    auto *chave2 = new QLabel(&simples);
    auto *grade2 = new QTableView(&simples);
    TabelaSimples tabela;
    for (int r = 0; r < q.rowCount(); ++r) {
        tabela.nomes.push_back(q.displayText(r, 1));
        tabela.numeros.push_back(q.displayText(r, 2));
    }
    grade2->setModel(&tabela);
    grade2->verticalHeader()->hide();
    grade2->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grade2->setSelectionBehavior(QAbstractItemView::SelectRows);
    for (QWidget *w : std::initializer_list<QWidget *>{nome2, numero2, chave2, grade2})
        caixa2->addWidget(w);
    simples.resize(456, 300);
    simples.show();
    QCoreApplication::processEvents();

    std::vector<double> nosso, nu;
    for (int i = -20; i < passos; ++i) {
        qint64 t0 = Bench::agoraNs();
        q.next();
        QCoreApplication::processEvents();
        const double a = msDesde(t0);
        const int r = q.currentRow();
        t0 = Bench::agoraNs();
        nome2->setText(tabela.nomes[size_t(r)]);
        numero2->setText(tabela.numeros[size_t(r)]);
        chave2->setText(QString::number(r + 1));
        grade2->selectRow(r);
        QCoreApplication::processEvents();
        const double b = msDesde(t0);
        if (i < 0) continue;
        nosso.push_back(a);
        nu.push_back(b);
    }
    if (nome->text() != tabela.nomes[size_t(q.currentRow())])
        falha(QStringLiteral("the edit box did not follow"));
    const double mn = Bench::mediana(nosso), mb = Bench::mediana(nu);
    Bench::linha(
        QStringLiteral("Next candidate with three bound controls and a grid, repainted (median of %1)")
            .arg(passos),
        Bench::ms(mn), Bench::ms(mb), Bench::razao(mn / mb), QStringLiteral("≤ 1 ms"), mn <= 1.0);

    // The map tab's candidate drop-down: 100,000 names.
    Query lista(db);
    lista.setSql(kTodos);
    DataSource dsLista(nullptr, &lista);
    lista.open();
    Query mapa(db);
    mapa.setSql(QStringLiteral("select * from candidatos_votacao"));
    DataSource dsMapa(nullptr, &mapa);
    mapa.open();
    QStringListModel nomes;
    QStringList todos;
    for (int r = 0; r < lista.rowCount(); ++r)
        todos << lista.displayText(r, 1);
    nomes.setStringList(todos);
    std::vector<double> abre1, abre2;
    for (int i = -1; i < 5; ++i) {
        DbLookupComboBox l(&janela);
        l.setDataSource(&dsMapa);
        l.setDataField(QStringLiteral("id_candidato"));
        l.setListSource(&dsLista);
        l.setKeyField(QStringLiteral("numcad_candidato"));
        l.setListField(QStringLiteral("nome_candidato"));
        caixa->addWidget(&l);
        mapa.edit();
        qint64 t0 = Bench::agoraNs();
        l.showPopup();
        QCoreApplication::processEvents();
        const double a = msDesde(t0);
        if (!l.popupList() || !l.popupList()->isVisible())
            falha(QStringLiteral("the drop-down did not open"));
        l.hidePopup();
        mapa.cancel();
        // The floor: a pop-up list view over the same names, made and shown as a new
        // lookup makes its list at its first opening (QComboBox::showPopup sizes its
        // view over every row and is no floor).
        t0 = Bench::agoraNs();
        QFrame suspensa(&simples, Qt::Popup);
        auto *moldura = new QVBoxLayout(&suspensa);
        moldura->setContentsMargins(1, 1, 1, 1);
        auto *vista = new QListView(&suspensa);
        vista->setUniformItemSizes(true);
        vista->setModel(&nomes);
        moldura->addWidget(vista);
        suspensa.resize(450, 10 * (vista->sizeHintForRow(0) + 1));
        suspensa.move(simples.mapToGlobal(QPoint(16, 116)));
        vista->setCurrentIndex(nomes.index(0));
        suspensa.show();
        QCoreApplication::processEvents();
        const double b = msDesde(t0);
        if (!vista->isVisible()) falha(QStringLiteral("the list view did not open"));
        suspensa.hide();
        if (i < 0) continue;
        abre1.push_back(a);
        abre2.push_back(b);
    }
    const double ma = Bench::mediana(abre1), mb2 = Bench::mediana(abre2);
    Bench::linha(QStringLiteral("Lookup drop-down of 100,000 names opened (median of 5)"), Bench::ms(ma),
                 Bench::ms(mb2), Bench::razao(ma / mb2), QStringLiteral("< 100 ms"), ma < 100);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_dados FOLDER [LOOKUPS] [OPENS]\n");
        return 2;
    }
    const QString pasta = QString::fromLocal8Bit(argv[1]);
    const int buscas = argc > 2 ? std::atoi(argv[2]) : 5000;
    const int aberturas = argc > 3 ? std::atoi(argv[3]) : 5;

    // Memory first, in children forked before the application exists.
    std::vector<double> memQuery, memNua;
    for (int i = 0; i < 3; ++i) {
        memQuery.push_back(memoriaEmFilho(pasta, true));
        memNua.push_back(memoriaEmFilho(pasta, false));
    }
    const double mq = Bench::mediana(memQuery), mn = Bench::mediana(memNua);
    Bench::linha(QStringLiteral("Memory held by that open, above the process before it (median of 3)"),
                 Bench::mib(mq), Bench::mib(mn), Bench::razao(mq / std::max(mn, 1.0)),
                 QStringLiteral("< 50 MiB"), mq < 50 * 1024);

    QApplication app(argc, argv);
    Instalacao::definePasta(pasta);
    consultas(pasta, buscas, aberturas);
    telas(pasta, 300);
    return 0;
}
