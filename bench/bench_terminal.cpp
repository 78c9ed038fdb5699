// The terminal window in this process, on the generated election, against a lean
// version of the same window doing the same work, both driven by clicks on their
// keys as a voter would.
//
// Digits. The lean window is a second terminal window, so it has the same widgets,
// fonts and key pictures, whose digit keys run a lean handler instead of the
// terminal's: the digit put into the next box, the same lookups through bare
// statements prepared once on the same connection, the photo decoded from memory,
// the same labels and mark set, the same sound cue. For NUMBERS rounds, each window
// keys a random 5-digit candidate of its own, the two taking turns to go first;
// each digit is timed from the click until one pass of the event loop has returned,
// so the repaint is included. CORRIGE between numbers, untimed.
//
// Cold. COLD more rounds with the database file evicted from the page cache before
// each number (what dd if=FILE iflag=nocache count=0 does); the terminal's fifth
// digit is compared with its warm figure.
//
// CONFIRMA. CYCLES voters key a valid candidate in every office; the click on
// CONFIRMA is timed until the next office is painted (the vote stored, the office
// prepared, one pass of the event loop), against the same row inserted by a bare
// statement prepared once on the same connection and the lean window showing the
// next office's name and boxes, painted the same way.
//
// Guidance. With the spoken guidance on, each digit is timed from the click until its
// words reach the speech backend, against the same key, guidance off, to the screen
// updated; numbers of both kinds take turns.
//
// Prints the run's medians as RUN lines (measure, value, baseline, goal) and some
// details as RUNDETAIL lines; bench/run.sh gathers several runs.
//
// Usage: bench_terminal FOLDER NUMBERS CYCLES COLD

#include "comum.h"
#include "data/diatexto.h"
#include "data/esquema.h"
#include "data/ufrmdados.h"
#include "platform/fontes.h"
#include "platform/instalacao.h"
#include "platform/mensagens.h"
#include "platform/som.h"
#include "platform/untutils.h"
#include "terminal/fala.h"
#include "terminal/ufrmprincipal.h"

#include <QApplication>
#include <algorithm>
#include <QDate>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <sqlite3.h>
#include <unistd.h>

namespace
{

const char *const kTeclas[] = {"btn_0", "btn_1", "btn_2", "btn_4", "Image3",
                               "btn_5", "btn_6", "btn_7", "btn_8", "btn_9"};
constexpr int kAquecimento = 30; // rounds keyed before timing starts

[[noreturn]] void falha(const QString &texto)
{
    std::fprintf(stderr, "bench_terminal: %s\n", qPrintable(texto));
    std::exit(1);
}

double msDesde(qint64 t0)
{
    return double(Bench::agoraNs() - t0) / 1e6;
}

// A statement prepared once; bind, step and reset for each use.
struct Bare {
    sqlite3_stmt *s = nullptr;
    Bare(sqlite3 *h, const char *sql)
    {
        if (sqlite3_prepare_v3(h, sql, -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr) != SQLITE_OK)
            falha(QString::fromUtf8(sqlite3_errmsg(h)));
    }
    ~Bare() { sqlite3_finalize(s); }
    bool linha(const QByteArray &a, qint64 b = -1)
    {
        sqlite3_reset(s);
        sqlite3_bind_text(s, 1, a.constData(), int(a.size()), SQLITE_TRANSIENT);
        if (b >= 0) sqlite3_bind_int64(s, 2, b);
        const int rc = sqlite3_step(s);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) falha(QStringLiteral("bare statement failed"));
        return rc == SQLITE_ROW;
    }
    QString texto(int i) const
    {
        return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(s, i)),
                                 sqlite3_column_bytes(s, i));
    }
};

// The digit keys of a second terminal window, given the leanest handler that does
// what the terminal's does for a 5-digit office.
class JanelaEnxuta
{
  public:
    JanelaEnxuta(Tfrmprincipal *janela, sqlite3 *h, qint64 cargo)
        : w(janela), m_cargo(cargo), legendaExiste(h, "select legenda from partido where legenda = ?"),
          legenda(h, "select numcad_partido,partido from partido where legenda = ?"),
          candidatoExiste(
              h, "select numero_candidato from candidatos where numero_candidato = ? and id_cargo = ?"),
          candidato(
              h,
              "select numcad_candidato, nome_candidato, partido, id_partido, id_cargo, foto from candidatos "
              "inner join partido on candidatos.id_partido = partido.numcad_partido where numero_candidato "
              "= ? and id_cargo = ?"),
          m_bip(Instalacao::caminho(Instalacao::kSomBip))
    {
        m_caixas = {w->Edit1, w->Edit2, w->Edit3, w->Edit4, w->Edit5};
        for (int d = 0; d < 10; ++d) {
            auto *k = w->findChild<RotuloClicavel *>(QLatin1String(kTeclas[d]));
            QObject::disconnect(k, &RotuloClicavel::clicked, w, nullptr);
            QObject::connect(k, &RotuloClicavel::clicked, w, [this, d] { digito(char('0' + d)); });
        }
    }

  private:
    void marca(const QString &texto)
    {
        w->atencaodovoto->setText(texto);
        w->atencaodovoto->adjustSize();
        w->atencaodovoto->show();
        if (!w->piscaatencaodovoto->isActive()) w->piscaatencaodovoto->start();
    }

    void digito(char d)
    {
        Som::instancia().tocaSeExistir(m_bip);
        int k = 0;
        while (k < 5 && !m_caixas[k]->text().isEmpty())
            ++k;
        if (k == 5) return;
        m_caixas[k]->setText(QString(QLatin1Char(d)));
        m_numero.resize(k);
        m_numero += d;
        if (k == 1) {
            if (legendaExiste.linha(m_numero) && legenda.linha(m_numero)) {
                marca(Cedula::kMarcaLegenda);
                w->Label10->setText(legenda.texto(1));
                w->Label9->show();
                w->Label10->show();
            }
        } else if (k > 1 && !candidatoExiste.linha(m_numero, m_cargo)) {
            legendaExiste.linha(m_numero.left(2));
        } else if (k == 4 && candidato.linha(m_numero, m_cargo)) {
            w->piscaatencaodovoto->stop();
            w->atencaodovoto->clear();
            w->atencaodovoto->hide();
            w->Label7->show();
            w->Label8->setText(candidato.texto(1));
            w->Label8->show();
            w->Label10->setText(candidato.texto(2));
            QPixmap foto;
            if (!foto.loadFromData(static_cast<const uchar *>(sqlite3_column_blob(candidato.s, 5)),
                                   uint(sqlite3_column_bytes(candidato.s, 5)), "BMP"))
                falha(QStringLiteral("lean window: photo not decoded"));
            w->foto_candidato->setPixmap(foto);
            w->foto_candidato->show();
        }
        // Reset, as the terminal's statements are: no read transaction stays open.
        for (Bare *b : {&legendaExiste, &legenda, &candidatoExiste, &candidato})
            sqlite3_reset(b->s);
        if (k + 1 < 5) m_caixas[k + 1]->setFocus();
    }

    Tfrmprincipal *w;
    qint64 m_cargo;
    Bare legendaExiste, legenda, candidatoExiste, candidato;
    QString m_bip;
    std::vector<QLineEdit *> m_caixas;
    QByteArray m_numero;
};

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Votarim"));
    if (argc < 5) falha(QStringLiteral("usage: bench_terminal FOLDER NUMBERS CYCLES COLD"));
    const QString pasta = QString::fromLocal8Bit(argv[1]);
    const int quantos = std::atoi(argv[2]), ciclos = std::atoi(argv[3]), frios = std::atoi(argv[4]);
    const QString plataforma = QGuiApplication::platformName() == QLatin1String("xcb")
                                   ? QStringLiteral("Xvfb")
                                   : QGuiApplication::platformName();

    Instalacao::definePasta(pasta);
    Som::defineModulo(pasta + QStringLiteral("/votarim-som")); // the real cues, as the program plays them
    Fontes::carrega();
    QStringList mensagens;
    Mensagens::defineObservador([&](Mensagens::Icone, const QString &t, QWidget *) { mensagens << t; });
    conecta_banco();
    if (!banco_conectado) falha(QStringLiteral("no database in %1 (%2)").arg(pasta, mensagens.join(u' ')));

    // Side by side, so that under X neither covers the other.
    auto w = std::make_unique<Tfrmprincipal>();
    frmprincipal = w.get();
    auto e = std::make_unique<Tfrmprincipal>();
    w->move(0, 0);
    e->move(600, 0);
    w->show();
    e->show();
    if (!QTest::qWaitForWindowExposed(w.get()) || !QTest::qWaitForWindowExposed(e.get()))
        falha(QStringLiteral("the windows were not shown"));
    if (w->tipo_candidato->text() != Bench::kPrimeiroCargo || w->qtd_digitos() != 5)
        falha(QStringLiteral("the first office is \"%1\", not the 5-digit \"%2\"")
                  .arg(w->tipo_candidato->text(), Bench::kPrimeiroCargo));

    sqlite3 *h = frmdados->conexaoDB.handle();
    // The numbers of each office in the voting order, and the names the screen shows.
    std::vector<std::vector<QByteArray>> numeros;
    std::vector<QString> nomesCargos;
    {
        Bare o(h, "select cargo.numcad_cargo, cargo.cargo from ordem_votacao join cargo on "
                  "cargo.numcad_cargo = ordem_votacao.id_cargo order by ordem_votacao");
        Bare c(h, "select numero_candidato from candidatos where id_cargo = ? order by 1");
        while (sqlite3_step(o.s) == SQLITE_ROW) {
            nomesCargos.push_back(o.texto(1));
            sqlite3_reset(c.s);
            sqlite3_bind_int64(c.s, 1, sqlite3_column_int64(o.s, 0));
            std::vector<QByteArray> l;
            while (sqlite3_step(c.s) == SQLITE_ROW)
                l.push_back(c.texto(0).toUtf8());
            numeros.push_back(std::move(l));
        }
    }
    if (numeros.empty() || numeros[0].empty() || numeros[0][0].size() != 5)
        falha(QStringLiteral("the first office has no 5-digit candidates"));
    const qint64 idPrimeiroCargo = w->tb_ordem_votacao->field(QStringLiteral("id_cargo")).asInteger();
    JanelaEnxuta enxuta(e.get(), h, idPrimeiroCargo);

    std::mt19937 sorteio(12345);
    auto sorteia = [&](const std::vector<QByteArray> &l) {
        return l[std::uniform_int_distribution<size_t>(0, l.size() - 1)(sorteio)];
    };
    auto clica = [](QWidget *k) { QTest::mouseClick(k, Qt::LeftButton, {}, k->rect().center()); };
    auto tecla = [](Tfrmprincipal *j, char d) {
        return j->findChild<QWidget *>(QLatin1String(kTeclas[d - '0']));
    };

    // The database file evicted from the page cache, as dd iflag=nocache count=0 does.
    const QByteArray arquivoBanco = QFile::encodeName(Instalacao::caminho(Esquema::kArquivoBanco));
    const int fdBanco = ::open(arquivoBanco.constData(), O_RDONLY);
    if (fdBanco < 0) falha(QStringLiteral("cannot open the database file"));
    auto esfria = [&] {
        if (::posix_fadvise(fdBanco, 0, 0, POSIX_FADV_DONTNEED) != 0)
            falha(QStringLiteral("posix_fadvise failed"));
    };

    // The number on a window's screen (the lean window keys its boxes, not a ballot).
    auto digitado = [](Tfrmprincipal *j) {
        return (j->Edit1->text() + j->Edit2->text() + j->Edit3->text() + j->Edit4->text() + j->Edit5->text()).toUtf8();
    };
    // Keys a number in a window, each digit timed until the event loop has run once more.
    auto digita = [&](Tfrmprincipal *j, const QByteArray &numero, std::vector<double> *tempos) {
        // The window being keyed is the active one, as a voter's terminal is (focus
        // moves between its boxes then cost what they cost on the real screen).
        if (QApplication::activeWindow() != j) {
            j->activateWindow();
            if (!QTest::qWaitForWindowActive(j, 2000))
                falha(QStringLiteral("a window could not be activated"));
        }
        for (int k = 0; k < 5; ++k) {
            QWidget *t = tecla(j, numero[k]);
            const qint64 t0 = Bench::agoraNs();
            clica(t);
            QCoreApplication::processEvents();
            if (tempos) tempos[k].push_back(msDesde(t0));
        }
        if (j->Label8->isHidden() || j->Label8->text().isEmpty() || j->foto_candidato->pixmap().isNull() ||
            !j->atencaodovoto->text().isEmpty() || digitado(j) != numero)
            falha(QStringLiteral("%1 window: number %2 did not show its candidate with a photo")
                      .arg(j == w.get() ? QStringLiteral("terminal") : QStringLiteral("lean"),
                           QString::fromUtf8(numero)));
        clica(j->btn_corrige);
        QCoreApplication::processEvents();
    };

    // ---- Digits, warm then cold

    std::vector<double> real[5], magra[5], realFrio[5], magraFrio[5];
    std::fprintf(stderr, "bench_terminal (%s): keying %d + %d numbers in each window\n",
                 qPrintable(plataforma), quantos, frios);
    for (int i = 0; i < kAquecimento + quantos + frios; ++i) {
        const bool frio = i >= kAquecimento + quantos;
        const bool mede = i >= kAquecimento;
        std::vector<double> *tr = !mede ? nullptr : frio ? realFrio : real;
        std::vector<double> *tm = !mede ? nullptr : frio ? magraFrio : magra;
        const QByteArray a = sorteia(numeros[0]), b = sorteia(numeros[0]);
        if (i % 2 == 0) {
            if (frio) esfria();
            digita(w.get(), a, tr);
            if (frio) esfria();
            digita(e.get(), b, tm);
        } else {
            if (frio) esfria();
            digita(e.get(), b, tm);
            if (frio) esfria();
            digita(w.get(), a, tr);
        }
    }
    ::close(fdBanco);

    using namespace Bench;
    auto run = [](const QString &medida, double valor, double base, double meta) {
        std::printf("RUN|%s|%.6f|%.6f|%g|ms\n", qPrintable(medida), valor, base, meta);
    };
    auto det = [](const QString &nome, double valor) {
        std::printf("RUNDETAIL|%s|%.6f\n", qPrintable(nome), valor);
    };
    if (quantos > 0)
        for (int k = 0; k < 5; ++k) {
            run(QStringLiteral("Digit %1 click to screen updated, %2").arg(k + 1).arg(plataforma),
                mediana(real[k]), mediana(magra[k]), 1.5);
            det(QStringLiteral("digit %1, %2: terminal p99 (ms)").arg(k + 1).arg(plataforma),
                percentil(real[k], 99));
            det(QStringLiteral("digit %1, %2: lean window p99 (ms)").arg(k + 1).arg(plataforma),
                percentil(magra[k], 99));
        }
    if (frios > 0 && quantos > 0) {
        run(QStringLiteral("Digit 5, cold cache against warm, %1").arg(plataforma), mediana(realFrio[4]),
            mediana(real[4]), 2.0);
        det(QStringLiteral("digit 5, cold cache, %1: lean window median (ms)").arg(plataforma),
            mediana(magraFrio[4]));
        det(QStringLiteral("digit 5, cold cache, %1: terminal against lean window (ratio)").arg(plataforma),
            mediana(realFrio[4]) / mediana(magraFrio[4]));
    }

    // ---- CONFIRMA against a bare insert of the same row

    if (ciclos > 0) {
        Bare insere(h,
                    "insert into contagem_votacao (id_candidato,numero_candidato,voto,data,legenda,id_cargo,"
                    "id_partido) values (?,?,?,?,?,?,?)");
        const QByteArray hoje = DiaTexto::paraBanco(QDate::currentDate()).toUtf8();
        std::vector<double> confirma, insercoes, fim;
        std::fprintf(stderr, "bench_terminal (%s): %d voters through %zu offices\n", qPrintable(plataforma),
                     ciclos, numeros.size());
        for (int c = 0; c < ciclos; ++c) {
            for (size_t k = 0; k < numeros.size(); ++k) {
                if (w->tipo_candidato->text() != nomesCargos[k])
                    falha(QStringLiteral("office %1 not on screen").arg(k + 1));
                const QByteArray n = sorteia(numeros[k]);
                for (char d : n)
                    clica(tecla(w.get(), d));
                QCoreApplication::processEvents();
                if (w->Label8->isHidden() || !w->atencaodovoto->text().isEmpty())
                    falha(QStringLiteral("office %1: the candidate keyed is not shown").arg(k + 1));
                const Cedula *cedula = w->cedula();
                const QByteArray linha[] = {cedula->candidato_atual.toUtf8(), n,
                                            QByteArrayLiteral("NORMAL"),     hoje,
                                            cedula->cargo_atual.toUtf8(),    cedula->partido_atual.toUtf8()};
                const bool ultimo = k + 1 == numeros.size();
                // The same row by the leanest means, on the same connection and file; it
                // goes before or after the click by turns, as the disk's pace changes.
                auto nua = [&] {
                    const qint64 t0 = Bench::agoraNs();
                    const QString proximo = nomesCargos[(k + 1) % numeros.size()];
                    const int digitos = int(numeros[(k + 1) % numeros.size()][0].size());
                    sqlite3_reset(insere.s);
                    for (int p = 0; p < 6; ++p) {
                        const QByteArray &v = linha[p];
                        sqlite3_bind_text(insere.s, p < 4 ? p + 1 : p + 2, v.constData(), int(v.size()),
                                          SQLITE_STATIC);
                    }
                    sqlite3_bind_null(insere.s, 5);
                    if (sqlite3_step(insere.s) != SQLITE_DONE) falha(QStringLiteral("bare insert failed"));
                    sqlite3_reset(insere.s);
                    // The next office on the lean window's screen, painted.
                    e->tipo_candidato->setText(proximo);
                    e->tipo_candidato->adjustSize();
                    for (QWidget *l : {e->Label7, e->Label8, e->Label9, e->Label10}) l->hide();
                    QLineEdit *caixas[] = {e->Edit1, e->Edit2, e->Edit3, e->Edit4, e->Edit5};
                    for (int i = 0; i < 5; ++i) {
                        caixas[i]->clear();
                        caixas[i]->setVisible(i < digitos);
                    }
                    e->foto_candidato->clear();
                    caixas[0]->setFocus();
                    QCoreApplication::processEvents();
                    if (!ultimo) insercoes.push_back(msDesde(t0));
                };
                const bool antes = (c * numeros.size() + k) % 2 == 1;
                if (antes) nua();
                const qint64 t0 = Bench::agoraNs();
                clica(w->btn_confirma);
                QCoreApplication::processEvents();
                const double d = msDesde(t0);
                (ultimo ? fim : confirma).push_back(d);
                if (ultimo ? w->Label11->isHidden() : w->tipo_candidato->text() != nomesCargos[k + 1])
                    falha(QStringLiteral("CONFIRMA on office %1 did not move on").arg(k + 1));
                if (!antes) nua();
            }
            w->MostraFimTimer(); // the next voter, without waiting for the 2 s "FIM"
        }
        run(QStringLiteral("CONFIRMA to next office painted"), mediana(confirma), mediana(insercoes), 1.25);
        det(QStringLiteral("CONFIRMA: p99 (ms)"), percentil(confirma, 99));
        det(QStringLiteral("CONFIRMA: bare insert p99 (ms)"), percentil(insercoes, 99));
        det(QStringLiteral("CONFIRMA on the last office, to FIM: median (ms)"), mediana(fim));
    }
    // ---- Guidance: key to words at the speech backend, against the same key without it

    if (quantos > 0) {
        // A backend that only notes when the words arrive.
        struct FalaCronometrada : SaidaFala {
            qint64 *quando;
            explicit FalaCronometrada(qint64 *q) : quando(q) {}
            void diz(const QString &) override { *quando = Bench::agoraNs(); }
            void defineVelocidade(double) override {}
        };
        if (w->tipo_candidato->text() != Bench::kPrimeiroCargo) w->MostraFimTimer();
        qint64 dito = 0;
        std::vector<double> comGuia, semGuia;
        const int rodadas = std::max(10, quantos / 3);
        std::fprintf(stderr, "bench_terminal (%s): %d numbers with and without guidance\n", qPrintable(plataforma),
                     rodadas);
        for (int i = 0; i < 2 * rodadas; ++i) {
            const bool guia = i % 2 == 0;
            w->ligaGuia(guia ? std::make_unique<FalaCronometrada>(&dito) : nullptr);
            const QByteArray n = sorteia(numeros[0]);
            for (char d : n) {
                dito = 0;
                const qint64 t0 = Bench::agoraNs();
                clica(tecla(w.get(), d));
                QCoreApplication::processEvents();
                if (!guia) {
                    semGuia.push_back(msDesde(t0));
                    continue;
                }
                for (int espera = 0; dito == 0 && espera < 1000; ++espera)
                    QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
                if (dito == 0) falha(QStringLiteral("guidance: no words reached the backend"));
                comGuia.push_back(double(dito - t0) / 1e6);
            }
            clica(w->btn_corrige);
            QCoreApplication::processEvents();
        }
        w->ligaGuia(nullptr);
        run(QStringLiteral("Digit click to words at the speech backend, guidance on, %1").arg(plataforma),
            mediana(comGuia), mediana(semGuia), 1.3);
        det(QStringLiteral("guidance, %1: key to words p99 (ms, goal 50)").arg(plataforma), percentil(comGuia, 99));
        det(QStringLiteral("guidance, %1: key to words max (ms)").arg(plataforma),
            *std::max_element(comGuia.begin(), comGuia.end()));
    }
    if (!mensagens.isEmpty())
        falha(QStringLiteral("messages shown: %1").arg(mensagens.join(QStringLiteral(" / "))));
    std::fflush(stdout);

    e.reset();
    w.reset();
    desconecta_banco();
    return 0;
}
