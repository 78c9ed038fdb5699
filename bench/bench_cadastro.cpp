// The registration window on the generated election (100,000 candidates each with a
// 30 KB photo, 200 parties, 1,000,000 votes), against a lean window doing the same
// work, each in a fresh child process beside the terminal window, RUNS times, the
// order of the two alternating.
//
// Opening: from the window's creation until its first tab has been painted, with
// every shared query open. Baseline: only what the first tab shows (offices, parties,
// the candidates' keys, names and numbers) read by bare statements on the same
// connection into compact vectors, and a dialog of six tabs whose first shows the
// same labels, boxes, two combo boxes and a grid over a plain model.
// Memory: the child's peak (VmHWM) once the window is open and has been used, above
// its peak with the terminal alone.
// Next candidate: a click on the navigator's Next, until the screen is repainted
// (both lookups move the office and party queries, the grid follows), median of 300.
// Baseline: the same texts put into plain widgets, the combo boxes' rows found in a
// hash and the grid's row selected.
// Drop-down: the map tab's candidate lookup opened while a map row is being added
// (100,000 names), median of 5, against a pop-up list view over a list model of the names.
//
// Prints ROW lines (value and baseline medians over the runs, ratio min / median / max)
// for bench/run.sh. Usage: bench_cadastro FOLDER [RUNS]

#include "comum.h"
#include "platform/dbgrid.h"
#include "platform/dblookupcombo.h"
#include "platform/dbnavigator.h"
#include "platform/fontes.h"
#include "platform/instalacao.h"
#include "platform/untutils.h"
#include "registration/ufrmcadcanditatos.h"
#include "terminal/ufrmprincipal.h"

#include <QAbstractListModel>
#include <QAbstractTableModel>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QEventLoop>
#include <QFile>
#include <QFrame>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QProcess>
#include <QPushButton>
#include <QStringListModel>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <cstdio>
#include <map>
#include <sqlite3.h>

namespace
{

constexpr int kPassos = 300;
constexpr int kListas = 5;

[[noreturn]] void falha(const QString &texto)
{
    std::fprintf(stderr, "bench_cadastro: %s\n", qPrintable(texto));
    std::exit(1);
}

double msDesde(qint64 t0)
{
    return double(Bench::agoraNs() - t0) / 1e6;
}

double picoKib()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) falha(QStringLiteral("no /proc/self/status"));
    for (const QByteArray &l : f.readAll().split('\n'))
        if (l.startsWith("VmHWM:")) return l.mid(6).trimmed().split(' ').value(0).toDouble();
    falha(QStringLiteral("no VmHWM"));
}

// Runs the event loop until the widget's first paint pass is over.
void esperaPintura(QWidget *w, const std::function<void()> &mostra)
{
    struct Sonda : QObject {
        QEventLoop laco;
        bool visto = false;
        bool eventFilter(QObject *, QEvent *e) override
        {
            if (e->type() == QEvent::Paint && !visto) {
                visto = true;
                QTimer::singleShot(0, &laco, [this] { laco.quit(); });
            }
            return false;
        }
    } sonda;
    w->installEventFilter(&sonda);
    mostra();
    QTimer::singleShot(5000, &sonda.laco, [&] { falha(QStringLiteral("no paint within 5 s")); });
    sonda.laco.exec();
    w->removeEventFilter(&sonda);
}

void clica(QAbstractButton *b)
{
    QTest::mouseClick(b, Qt::LeftButton, {}, b->rect().center());
}

struct Medida {
    double abrir = 0, memoria = 0, proximo = 0, lista = 0;
};

void imprime(const Medida &m)
{
    std::printf("MEDIDA %.6f %.1f %.6f %.6f\n", m.abrir, m.memoria, m.proximo, m.lista);
    std::fflush(stdout);
}

// ---- The registration window

Medida janelaReal(Tfrmprincipal *terminal)
{
    Medida m;
    const double antes = picoKib();
    const qint64 t0 = Bench::agoraNs();
    auto *w = new Tfrmcadastro(terminal);
    esperaPintura(w->pg_candidato, [w] { w->show(); });
    m.abrir = msDesde(t0);
    if (frmdados->tb_candidatos.recordCount() != 100000 || !frmdados->tb_candidato_votacaoG.isActive())
        falha(QStringLiteral("the window did not open every query"));

    std::vector<double> passos;
    QAbstractButton *proximo = w->navegador_candidato->button(DbNavigator::Button::Next);
    for (int i = -20; i < kPassos; ++i) {
        const qint64 t = Bench::agoraNs();
        clica(proximo);
        QCoreApplication::processEvents();
        if (i >= 0) passos.push_back(msDesde(t));
    }
    if (w->cmp_id_partido->currentText() !=
            frmdados->tb_partido.field(QStringLiteral("partido")).asString() ||
        frmdados->tb_partido.field(QStringLiteral("numcad_partido")).asInteger() !=
            frmdados->tb_candidatos.field(QStringLiteral("id_partido")).asInteger())
        falha(QStringLiteral("the party did not follow the candidate"));
    m.proximo = Bench::mediana(passos);

    w->pg_principal->setCurrentIndex(4);
    QCoreApplication::processEvents();
    clica(w->DBNavigator1->button(DbNavigator::Button::Insert));
    std::vector<double> listas;
    for (int i = -1; i < kListas; ++i) {
        const qint64 t = Bench::agoraNs();
        w->cmp_id_candidato_cand_votacao->showPopup();
        QCoreApplication::processEvents();
        if (i >= 0) listas.push_back(msDesde(t));
        QListView *l = w->cmp_id_candidato_cand_votacao->popupList();
        if (!l || !l->isVisible() || l->model()->rowCount() != 100000) falha(QStringLiteral("no drop-down"));
        w->cmp_id_candidato_cand_votacao->hidePopup();
    }
    m.lista = Bench::mediana(listas);
    m.memoria = picoKib() - antes;
    w->close();
    return m;
}

// ---- The lean window: the same rows by bare statements, plain widgets

std::vector<QStringList> le(sqlite3 *h, const char *sql)
{
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(h, sql, -1, &st, nullptr) != SQLITE_OK)
        falha(QString::fromUtf8(sqlite3_errmsg(h)));
    std::vector<QStringList> linhas;
    const int n = sqlite3_column_count(st);
    while (sqlite3_step(st) == SQLITE_ROW) {
        QStringList l;
        for (int i = 0; i < n; ++i)
            l << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, i)),
                                   sqlite3_column_bytes(st, i));
        linhas.push_back(l);
    }
    sqlite3_finalize(st);
    return linhas;
}

// The candidates as the first tab shows them, compactly: keys as numbers, the name
// and number texts one after the other in one UTF-8 buffer.
struct Candidatos {
    std::vector<qint64> chave, partido, cargo;
    QByteArray textos;
    std::vector<quint32> inicio{0}; // name and number of row r: [2r, 2r + 1), [2r + 1, 2r + 2)

    size_t size() const { return chave.size(); }
    QString texto(size_t linha, int qual) const
    {
        const quint32 a = inicio[2 * linha + size_t(qual)], b = inicio[2 * linha + size_t(qual) + 1];
        return QString::fromUtf8(textos.constData() + a, qsizetype(b - a));
    }
    QString nome(size_t linha) const { return texto(linha, 0); }
    QString numero(size_t linha) const { return texto(linha, 1); }
};

Candidatos leCandidatos(sqlite3 *h)
{
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(h,
                           "select numcad_candidato, nome_candidato, numero_candidato, id_partido, id_cargo "
                           "from candidatos",
                           -1, &st, nullptr) != SQLITE_OK)
        falha(QString::fromUtf8(sqlite3_errmsg(h)));
    Candidatos c;
    while (sqlite3_step(st) == SQLITE_ROW) {
        c.chave.push_back(sqlite3_column_int64(st, 0));
        for (int i : {1, 2}) {
            c.textos.append(reinterpret_cast<const char *>(sqlite3_column_text(st, i)),
                            sqlite3_column_bytes(st, i));
            c.inicio.push_back(quint32(c.textos.size()));
        }
        c.partido.push_back(sqlite3_column_int64(st, 3));
        c.cargo.push_back(sqlite3_column_int64(st, 4));
    }
    sqlite3_finalize(st);
    return c;
}

class Tabela : public QAbstractTableModel
{
  public:
    const Candidatos *linhas = nullptr;
    int rowCount(const QModelIndex &p = QModelIndex()) const override
    {
        return p.isValid() ? 0 : int(linhas->size());
    }
    int columnCount(const QModelIndex &p = QModelIndex()) const override { return p.isValid() ? 0 : 2; }
    QVariant data(const QModelIndex &i, int role) const override
    {
        if (role != Qt::DisplayRole) return QVariant();
        return linhas->texto(size_t(i.row()), i.column());
    }
};

// The drop-down's names, read from the same compact rows as the grid's.
class NomesDosCandidatos : public QAbstractListModel
{
  public:
    const Candidatos *linhas = nullptr;
    int rowCount(const QModelIndex &p = QModelIndex()) const override
    {
        return p.isValid() ? 0 : int(linhas->size());
    }
    QVariant data(const QModelIndex &i, int role) const override
    {
        if (role != Qt::DisplayRole) return QVariant();
        return linhas->nome(size_t(i.row()));
    }
};

// Reads only what the first tab shows: the offices and parties of its two lists and
// the candidates' keys, names and numbers.
Medida janelaEnxuta(Tfrmprincipal *terminal)
{
    Medida m;
    const double antes = picoKib();
    const qint64 t0 = Bench::agoraNs();
    sqlite3 *h = frmdados->conexaoDB.handle();
    const auto cargos = le(h, "select numcad_cargo, cargo from cargo");
    const auto partidos = le(h, "select numcad_partido, partido from partido");
    const Candidatos candidatos = leCandidatos(h);
    QHash<qint64, int> linhaCargo, linhaPartido;
    QStringList nomesCargos, nomesPartidos;
    for (const QStringList &c : cargos) {
        linhaCargo.insert(c[0].toLongLong(), int(nomesCargos.size()));
        nomesCargos << c[1];
    }
    for (const QStringList &p : partidos) {
        linhaPartido.insert(p[0].toLongLong(), int(nomesPartidos.size()));
        nomesPartidos << p[1];
    }
    QStringListModel modeloCargos(nomesCargos), modeloPartidos(nomesPartidos);
    Tabela tabela;
    tabela.linhas = &candidatos;

    auto *w = new QDialog(terminal);
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->setFixedSize(492, 320);
    auto *abas = new QTabWidget(w);
    abas->setGeometry(8, 8, 476, 304);
    auto *pagina = new QWidget;
    abas->addTab(pagina, QStringLiteral("Cadastro candidato"));
    for (const char *t :
         {"Cadastro cargo", "Cadastro partido ", "Sequência da votação", "Candidatos votação", "Relatório"})
        abas->addTab(new QWidget, QString::fromUtf8(t));
    auto *chave = new QLabel(pagina);
    chave->setGeometry(84, 11, 183, 17);
    auto *nome = new QLineEdit(pagina);
    nome->setGeometry(6, 48, 456, 21);
    auto *numero = new QLineEdit(pagina);
    numero->setGeometry(6, 94, 127, 21);
    auto *cargo = new QComboBox(pagina);
    cargo->setModel(&modeloCargos);
    cargo->setGeometry(139, 94, 151, 21);
    auto *partido = new QComboBox(pagina);
    partido->setModel(&modeloPartidos);
    partido->setGeometry(296, 94, 156, 21);
    auto *grade = new QTableView(pagina);
    grade->setModel(&tabela);
    grade->setGeometry(6, 143, 456, 127);
    grade->verticalHeader()->hide();
    grade->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grade->setSelectionBehavior(QAbstractItemView::SelectRows);
    int atual = 0;
    const auto mostraLinha = [&] {
        const size_t r = size_t(atual);
        chave->setText(QString::number(candidatos.chave[r]));
        nome->setText(candidatos.nome(r));
        numero->setText(candidatos.numero(r));
        partido->setCurrentIndex(linhaPartido.value(candidatos.partido[r], -1));
        cargo->setCurrentIndex(linhaCargo.value(candidatos.cargo[r], -1));
        grade->selectRow(atual);
    };
    mostraLinha();
    esperaPintura(pagina, [w] { w->show(); });
    m.abrir = msDesde(t0);
    if (candidatos.size() != 100000) falha(QStringLiteral("lean window read nothing"));

    QPushButton proximo(QStringLiteral("Próximo"), pagina);
    proximo.setGeometry(6, 121, 50, 19);
    proximo.show();
    QObject::connect(&proximo, &QPushButton::clicked, w, [&] {
        ++atual;
        mostraLinha();
    });
    std::vector<double> passos;
    for (int i = -20; i < kPassos; ++i) {
        const qint64 t = Bench::agoraNs();
        clica(&proximo);
        QCoreApplication::processEvents();
        if (i >= 0) passos.push_back(msDesde(t));
    }
    m.proximo = Bench::mediana(passos);

    NomesDosCandidatos modeloNomes;
    modeloNomes.linhas = &candidatos;
    abas->setCurrentIndex(4);
    QFrame suspensa(w, Qt::Popup);
    auto *caixa = new QVBoxLayout(&suspensa);
    caixa->setContentsMargins(1, 1, 1, 1);
    auto *lista = new QListView(&suspensa);
    lista->setUniformItemSizes(true);
    lista->setModel(&modeloNomes);
    caixa->addWidget(lista);
    suspensa.resize(450, 10 * (lista->sizeHintForRow(0) + 1));
    QCoreApplication::processEvents();
    std::vector<double> listas;
    for (int i = -1; i < kListas; ++i) {
        const qint64 t = Bench::agoraNs();
        suspensa.move(w->mapToGlobal(QPoint(16, 116)));
        lista->setCurrentIndex(modeloNomes.index(0));
        suspensa.show();
        QCoreApplication::processEvents();
        if (i >= 0) listas.push_back(msDesde(t));
        suspensa.hide();
    }
    m.lista = Bench::mediana(listas);
    m.memoria = picoKib() - antes;
    w->close();
    return m;
}

int filho(const QString &pasta, bool real, int argc, char **argv)
{
    QApplication app(argc, argv);
    Instalacao::definePasta(pasta);
    Fontes::carrega();
    Tfrmprincipal terminal;
    if (!frmdados || !banco_conectado) falha(QStringLiteral("no database in ") + pasta);
    esperaPintura(&terminal, [&] { terminal.show(); });
    imprime(real ? janelaReal(&terminal) : janelaEnxuta(&terminal));
    return 0;
}

Medida executaFilho(const QString &exe, const QString &pasta, bool real)
{
    QProcess p;
    p.start(exe, {pasta, real ? QStringLiteral("--janela") : QStringLiteral("--enxuta")});
    if (!p.waitForFinished(300000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        falha(QStringLiteral("child failed: ") + QString::fromLocal8Bit(p.readAllStandardError()));
    for (const QByteArray &l : p.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> c = l.split(' ');
        if (c.value(0) == "MEDIDA" && c.size() == 5)
            return Medida{c[1].toDouble(), c[2].toDouble(), c[3].toDouble(), c[4].toDouble()};
    }
    falha(QStringLiteral("no figures from the child"));
}

void linha(const QString &nome, const std::vector<Medida> &reais, const std::vector<Medida> &enxutas,
           double Medida::*campo, bool emKib, double meta, const QString &textoMeta)
{
    std::vector<double> v, b, r;
    for (size_t i = 0; i < reais.size(); ++i) {
        v.push_back(reais[i].*campo);
        b.push_back(enxutas[i].*campo);
        r.push_back(b.back() > 0 ? v.back() / b.back() : 0);
    }
    std::sort(r.begin(), r.end());
    const double mv = Bench::mediana(v), mb = Bench::mediana(b);
    const auto mostra = [emKib](double x) { return emKib ? Bench::mib(x) : Bench::ms(x); };
    Bench::linha(QStringLiteral("%1 (%2 runs)").arg(nome).arg(v.size()), mostra(mv), mostra(mb),
                 Bench::razao(r.front()) + QStringLiteral(" / ") + Bench::razao(Bench::mediana(r)) +
                     QStringLiteral(" / ") + Bench::razao(r.back()),
                 textoMeta, mv <= meta);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_cadastro FOLDER [RUNS]\n");
        return 2;
    }
    const QString pasta = QString::fromLocal8Bit(argv[1]);
    if (argc > 2 && (qstrcmp(argv[2], "--janela") == 0 || qstrcmp(argv[2], "--enxuta") == 0))
        return filho(pasta, qstrcmp(argv[2], "--janela") == 0, argc, argv);

    QCoreApplication app(argc, argv);
    const int execucoes = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const QString exe = QCoreApplication::applicationFilePath();
    std::vector<Medida> reais, enxutas;
    executaFilho(exe, pasta, true); // warm-up: the file's pages into the cache
    for (int i = 0; i < execucoes; ++i) {
        const bool realPrimeiro = i % 2 == 0;
        const Medida a = executaFilho(exe, pasta, realPrimeiro);
        const Medida b = executaFilho(exe, pasta, !realPrimeiro);
        reais.push_back(realPrimeiro ? a : b);
        enxutas.push_back(realPrimeiro ? b : a);
    }
    linha(QStringLiteral("Registration window opened, first tab painted"), reais, enxutas, &Medida::abrir,
          false, 1000, QStringLiteral("< 1 s"));
    linha(QStringLiteral("Registration window: peak memory above the terminal's alone"), reais, enxutas,
          &Medida::memoria, true, 100 * 1024, QStringLiteral("≤ 100 MiB"));
    linha(QStringLiteral("Registration window: next candidate with the navigator, repainted (median of 300)"),
          reais, enxutas, &Medida::proximo, false, 2, QStringLiteral("≤ 2 ms"));
    linha(QStringLiteral("Map tab: candidate drop-down of 100,000 names opened (median of 5)"), reais,
          enxutas, &Medida::lista, false, 100, QStringLiteral("< 100 ms"));
    return 0;
}
