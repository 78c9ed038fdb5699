// The terminal window in this process, on the generated election, driven by
// clicks on its keys as a voter would.
//
// Digits: for each of NUMBERS random 5-digit candidates, the time of each digit
// from the click until the event loop has run once more, so the repaint of what
// the click changed (queued as an update request) is included; then CORRIGE. The
// baseline is the bare existence lookup on the same connection, prepared once.
//
// CONFIRMA: for CYCLES voters, a valid candidate is keyed for each office and the
// click on CONFIRMA is timed until it returns (the vote is stored durably and the
// next office prepared). The baseline is a 100-byte append plus fsync to a file in
// the same folder, one after each vote.
//
// Then parts of those handlers are timed alone, with the program's own classes,
// to show where a click's time goes.
//
// Usage: bench_terminal FOLDER [NUMBERS] [CYCLES]

#include "comum.h"
#include "platform/fontes.h"
#include "platform/instalacao.h"
#include "platform/mensagens.h"
#include "data/esquema.h"
#include "data/query.h"
#include "platform/som.h"
#include "data/ufrmdados.h"
#include "terminal/ufrmprincipal.h"
#include "platform/untutils.h"

#include <QApplication>
#include <QDate>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QTest>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <random>
#include <sqlite3.h>
#include <unistd.h>

namespace {

const char *const kTeclas[] = {"btn_0", "btn_1", "btn_2", "btn_4", "Image3",
                               "btn_5", "btn_6", "btn_7", "btn_8", "btn_9"};
constexpr int kAquecimento = 50; // numbers keyed before timing starts
constexpr int kPartes = 300;     // samples of each handler part timed alone

[[noreturn]] void falha(const QString &texto)
{
    std::fprintf(stderr, "bench_terminal: %s\n", qPrintable(texto));
    std::exit(1);
}

// Tells whether a widget was painted since the last reset.
class Pintura : public QObject
{
public:
    bool visto = false;
    void observa(QWidget *w) { w->installEventFilter(this); }

protected:
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Paint) visto = true;
        return false;
    }
};

double msDesde(qint64 t0)
{
    return double(Bench::agoraNs() - t0) / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Votarim"));
    if (argc < 2) falha(QStringLiteral("usage: bench_terminal FOLDER [NUMBERS] [CYCLES]"));
    const QString pasta = QString::fromLocal8Bit(argv[1]);
    const int quantos = argc > 2 ? std::atoi(argv[2]) : 2000;
    const int ciclos = argc > 3 ? std::atoi(argv[3]) : 100;

    Instalacao::definePasta(pasta);
    Som::defineModulo(pasta + QStringLiteral("/votarim-som")); // the real cues, as the program plays them
    Fontes::carrega();
    QStringList mensagens;
    Mensagens::defineObservador([&](Mensagens::Icone, const QString &t, QWidget *) { mensagens << t; });
    conecta_banco();
    if (!banco_conectado) falha(QStringLiteral("no database in %1 (%2)").arg(pasta, mensagens.join(u' ')));

    auto w = std::make_unique<Tfrmprincipal>();
    frmprincipal = w.get();
    w->show();
    if (!QTest::qWaitForWindowExposed(w.get())) falha(QStringLiteral("the window was not shown"));
    if (w->tipo_candidato->text() != Bench::kPrimeiroCargo || w->qtd_digitos != 5)
        falha(QStringLiteral("the first office is \"%1\", not the 5-digit \"%2\"")
                  .arg(w->tipo_candidato->text(), Bench::kPrimeiroCargo));

    sqlite3 *h = frmdados->conexaoDB.handle();
    // The numbers of each office in the voting order, and the names the screen shows.
    std::vector<std::vector<QByteArray>> numeros;
    std::vector<QString> nomesCargos;
    {
        sqlite3_stmt *o = nullptr, *c = nullptr;
        sqlite3_prepare_v2(h,
                           "select cargo.numcad_cargo, cargo.cargo from ordem_votacao join cargo on "
                           "cargo.numcad_cargo = ordem_votacao.id_cargo order by ordem_votacao",
                           -1, &o, nullptr);
        sqlite3_prepare_v2(h, "select numero_candidato from candidatos where id_cargo = ? order by 1", -1, &c,
                           nullptr);
        while (sqlite3_step(o) == SQLITE_ROW) {
            nomesCargos.push_back(
                QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(o, 1))));
            sqlite3_bind_int64(c, 1, sqlite3_column_int64(o, 0));
            std::vector<QByteArray> l;
            while (sqlite3_step(c) == SQLITE_ROW)
                l.emplace_back(reinterpret_cast<const char *>(sqlite3_column_text(c, 0)));
            sqlite3_reset(c);
            numeros.push_back(std::move(l));
        }
        sqlite3_finalize(o);
        sqlite3_finalize(c);
    }
    if (numeros.empty() || numeros[0].empty() || numeros[0][0].size() != 5)
        falha(QStringLiteral("the first office has no 5-digit candidates"));
    const qint64 idPrimeiroCargo = w->tb_ordem_votacao->field(QStringLiteral("id_cargo")).asInteger();

    std::mt19937 sorteio(12345);
    auto sorteia = [&](const std::vector<QByteArray> &l) {
        return l[std::uniform_int_distribution<size_t>(0, l.size() - 1)(sorteio)];
    };
    auto tecla = [&](char d) {
        auto *k = w->findChild<QWidget *>(QLatin1String(kTeclas[d - '0']));
        if (!k) falha(QStringLiteral("no key for %1").arg(d));
        return k;
    };
    auto clica = [&](QWidget *k) { QTest::mouseClick(k, Qt::LeftButton, {}, k->rect().center()); };
    auto digita = [&](const QByteArray &n) {
        for (char d : n) {
            clica(tecla(d));
            QCoreApplication::processEvents();
        }
    };
    QWidget *const corrige = w->findChild<QWidget *>(QStringLiteral("btn_corrige"));
    QWidget *const confirma = w->findChild<QWidget *>(QStringLiteral("btn_confirma"));
    QLineEdit *const caixas[] = {w->Edit1, w->Edit2, w->Edit3, w->Edit4, w->Edit5};
    Pintura pintura[5];
    for (int i = 0; i < 5; ++i)
        pintura[i].observa(caixas[i]);

    // The durable-write baseline, also sampled during the digits: the disk's pace
    // changes from second to second and the photo of the fifth digit waits on it.
    const QByteArray arquivoBase = QFile::encodeName(Instalacao::caminho(QStringLiteral("bench-fsync.tmp")));
    const int fd = ::open(arquivoBase.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0600);
    if (fd < 0) falha(QStringLiteral("cannot create %1").arg(QString::fromLocal8Bit(arquivoBase)));
    const QByteArray cem(100, 'v');
    auto grava = [&] {
        const qint64 t0 = Bench::agoraNs();
        if (::write(fd, cem.constData(), size_t(cem.size())) != cem.size() || ::fsync(fd) != 0)
            falha(QStringLiteral("write/fsync failed"));
        return msDesde(t0);
    };

    // ---- Digits

    sqlite3_stmt *existe = nullptr;
    if (sqlite3_prepare_v2(
            h, "select numero_candidato from candidatos where numero_candidato = ? and id_cargo = ?", -1,
            &existe, nullptr) != SQLITE_OK)
        falha(QString::fromUtf8(sqlite3_errmsg(h)));
    std::vector<double> porDigito[5], digitos, consulta, tratamento, repinta, gravacaoDigitos;
    int pintados = 0;
    std::fprintf(stderr, "bench_terminal: keying %d numbers of 5 digits\n", quantos);
    for (int i = 0; i < kAquecimento + quantos; ++i) {
        const bool mede = i >= kAquecimento;
        const QByteArray numero = sorteia(numeros[0]);
        for (int k = 0; k < 5; ++k) {
            QWidget *t = tecla(numero[k]);
            pintura[k].visto = false;
            const qint64 t0 = Bench::agoraNs();
            clica(t);
            const qint64 t1 = Bench::agoraNs();
            QCoreApplication::processEvents();
            const double d = msDesde(t0);
            if (!mede) continue;
            tratamento.push_back(double(t1 - t0) / 1e6);
            repinta.push_back(d - double(t1 - t0) / 1e6);
            porDigito[k].push_back(d);
            digitos.push_back(d);
            pintados += pintura[k].visto ? 1 : 0;
        }
        QString digitado;
        for (QLineEdit *c : caixas)
            digitado += c->text();
        if (digitado.toUtf8() != numero || w->Label8->isHidden() ||
            !w->Label8->text().contains(QString::fromUtf8(numero)) || w->foto_candidato->pixmap().isNull() ||
            !w->atencaodovoto->text().isEmpty())
            falha(QStringLiteral("number %1 did not show its candidate with a photo")
                      .arg(QString::fromUtf8(numero)));
        // The bare lookup of each prefix, on the same connection, between two voters.
        for (int k = 1; k <= 5 && mede; ++k) {
            const qint64 t0 = Bench::agoraNs();
            sqlite3_bind_text(existe, 1, numero.constData(), k, SQLITE_STATIC);
            sqlite3_bind_int64(existe, 2, idPrimeiroCargo);
            const int rc = sqlite3_step(existe);
            sqlite3_reset(existe);
            consulta.push_back(msDesde(t0));
            if (rc != (k == 5 ? SQLITE_ROW : SQLITE_DONE))
                falha(QStringLiteral("unexpected raw lookup result"));
        }
        clica(corrige);
        QCoreApplication::processEvents();
        if (mede) gravacaoDigitos.push_back(grava());
        if (i % 500 == 499) std::fprintf(stderr, "bench_terminal: %d numbers\n", i + 1);
    }

    // ---- CONFIRMA

    auto contaVotos = [&] {
        sqlite3_stmt *s = nullptr;
        sqlite3_prepare_v2(h, "select count(*) from contagem_votacao", -1, &s, nullptr);
        sqlite3_step(s);
        const qint64 n = sqlite3_column_int64(s, 0);
        sqlite3_finalize(s);
        return n;
    };
    const qint64 votosAntes = contaVotos();
    std::vector<double> confirmaProximo, confirmaFim, gravacao;
    std::fprintf(stderr, "bench_terminal: %d voters through %zu offices\n", ciclos, numeros.size());
    for (int c = 0; c < ciclos; ++c) {
        for (size_t k = 0; k < numeros.size(); ++k) {
            if (w->tipo_candidato->text() != nomesCargos[k])
                falha(QStringLiteral("office %1 not on screen").arg(k + 1));
            digita(sorteia(numeros[k]));
            if (w->Label8->isHidden() || !w->atencaodovoto->text().isEmpty())
                falha(QStringLiteral("office %1: the candidate keyed is not shown").arg(k + 1));
            const qint64 t0 = Bench::agoraNs();
            clica(confirma);
            const double d = msDesde(t0);
            (k + 1 < numeros.size() ? confirmaProximo : confirmaFim).push_back(d);
            gravacao.push_back(grava());
            const bool proximo = k + 1 < numeros.size() ? w->tipo_candidato->text() == nomesCargos[k + 1]
                                                        : !w->Label11->isHidden();
            if (!proximo) falha(QStringLiteral("CONFIRMA on office %1 did not move on").arg(k + 1));
            QCoreApplication::processEvents();
        }
        w->MostraFimTimer(); // the next voter, without waiting for the 2 s "FIM"
    }
    const qint64 votosDepois = contaVotos();
    if (votosDepois - votosAntes != qint64(ciclos) * qint64(numeros.size()))
        falha(QStringLiteral("%1 votes stored, %2 expected")
                  .arg(votosDepois - votosAntes)
                  .arg(ciclos * numeros.size()));
    if (!mensagens.isEmpty())
        falha(QStringLiteral("messages shown: %1").arg(mensagens.join(QStringLiteral(" / "))));

    // ---- Parts of the handlers, timed alone with the program's own classes, to
    // tell where the time of a click goes.

    std::vector<double> porQuery, consultaIgual, fotoArquivo, fotoMemoria, insercao, preparo, som,
        gravacaoPartes;
    const QString idCargo = QString::number(idPrimeiroCargo);
    const QString arquivoFoto = Instalacao::caminho(Instalacao::kFotoTerminal);
    for (int i = 0; i < kPartes; ++i) {
        const QByteArray numero = sorteia(numeros[0]);
        {
            // The lookup of existe_numero: a Query opened for each digit.
            const qint64 t0 = Bench::agoraNs();
            Query q(frmdados->conexaoDB);
            q.setSql(QStringLiteral("select numero_candidato from candidatos where numero_candidato = "
                                    ":numero_candidato and id_cargo = :id_cargo"));
            q.setParam(QStringLiteral("numero_candidato"), QString::fromUtf8(numero));
            q.setParam(QStringLiteral("id_cargo"), idCargo);
            q.open();
            if (q.recordCount() != 1) falha(QStringLiteral("lookup through Query found nothing"));
            porQuery.push_back(msDesde(t0));
        }
        {
            // The bare lookup of the same number right after, its pages as warm.
            const qint64 t0 = Bench::agoraNs();
            sqlite3_bind_text(existe, 1, numero.constData(), int(numero.size()), SQLITE_STATIC);
            sqlite3_bind_int64(existe, 2, idPrimeiroCargo);
            const int rc = sqlite3_step(existe);
            sqlite3_reset(existe);
            consultaIgual.push_back(msDesde(t0));
            if (rc != SQLITE_ROW) falha(QStringLiteral("unexpected raw lookup result"));
        }
        {
            Query q(frmdados->conexaoDB);
            q.setSql(
                QStringLiteral("select foto from candidatos where numero_candidato = :n and id_cargo = :c"));
            q.setParam(QStringLiteral("n"), QString::fromUtf8(numero));
            q.setParam(QStringLiteral("c"), idCargo);
            q.open();
            Field foto = q.field(QStringLiteral("foto"));
            // mostra_dados_voto's way: through a file beside the program.
            qint64 t0 = Bench::agoraNs();
            foto.saveToFile(arquivoFoto);
            QPixmap porArquivo;
            if (!porArquivo.load(arquivoFoto, "BMP")) falha(QStringLiteral("photo not loaded"));
            QFile::remove(arquivoFoto);
            fotoArquivo.push_back(msDesde(t0));
            // The same picture decoded from the bytes already in memory.
            t0 = Bench::agoraNs();
            QPixmap daMemoria;
            if (!daMemoria.loadFromData(foto.asBytes(), "BMP")) falha(QStringLiteral("photo not decoded"));
            fotoMemoria.push_back(msDesde(t0));
        }
        {
            // CONFIRMA's insert alone, as its handler runs it.
            Query q(frmdados->conexaoDB);
            q.setSql(Esquema::kInsereVoto);
            const QVariantList valores = {QStringLiteral("1"),
                                          QString::fromUtf8(numero),
                                          QStringLiteral("NORMAL"),
                                          QDate::currentDate(),
                                          QVariant(),
                                          idCargo,
                                          QStringLiteral("1")};
            const qint64 t0 = Bench::agoraNs();
            for (int v = 0; v < valores.size(); ++v)
                q.setParam(v, valores[v]);
            q.execSql();
            insercao.push_back(msDesde(t0));
        }
        gravacaoPartes.push_back(grava());
        {
            qint64 t0 = Bench::agoraNs();
            w->prepara_cargo();
            preparo.push_back(msDesde(t0));
            t0 = Bench::agoraNs();
            w->toca_som(Instalacao::kSomConfirma);
            som.push_back(msDesde(t0));
            QCoreApplication::processEvents();
        }
    }
    if (!mensagens.isEmpty())
        falha(QStringLiteral("messages shown: %1").arg(mensagens.join(QStringLiteral(" / "))));
    ::close(fd);
    ::unlink(arquivoBase.constData());
    sqlite3_finalize(existe);

    w.reset();
    desconecta_banco();

    using namespace Bench;
    const double med = mediana(digitos), p99 = percentil(digitos, 99);
    const double base = mediana(consulta), baseP99 = percentil(consulta, 99);
    const QString nd = QString::number(digitos.size());
    if (!digitos.empty()) {
        linha(QStringLiteral("Digit click to screen updated, median (%1 digits)").arg(nd), ms(med), ms(base),
              razao(med / base), QStringLiteral("≤ 5x"), med / base <= 5.0);
        linha(QStringLiteral("Digit click to screen updated, p99"), ms(p99), ms(baseP99),
              razao(p99 / baseP99), QStringLiteral("< 2 ms"), p99 < 2.0);
    }
    const double cm = mediana(confirmaProximo), gm = mediana(gravacao);
    if (!confirmaProximo.empty())
        linha(
            QStringLiteral("CONFIRMA to next office prepared, median (%1 votes)").arg(confirmaProximo.size()),
            ms(cm), ms(gm), razao(cm / gm), QStringLiteral("≤ 2x"), cm / gm <= 2.0);

    for (int k = 0; k < 5; ++k)
        detalhe(QStringLiteral("digit %1: median / p99").arg(k + 1),
                QStringLiteral("%1 / %2").arg(ms(mediana(porDigito[k])), ms(percentil(porDigito[k], 99))));
    detalhe(
        QStringLiteral(
            "digits: until the click returns (handlers) / the event-loop pass after it (repaint), medians"),
        QStringLiteral("%1 / %2").arg(ms(mediana(tratamento)), ms(mediana(repinta))));
    detalhe(QStringLiteral("100-byte append + fsync between numbers, during the digits: median / p99"),
            QStringLiteral("%1 / %2").arg(ms(mediana(gravacaoDigitos)), ms(percentil(gravacaoDigitos, 99))));
    detalhe(QStringLiteral("digits whose box was repainted within the timed span"),
            QStringLiteral("%1 of %2").arg(pintados).arg(digitos.size()));
    detalhe(QStringLiteral("CONFIRMA to next office: p99 / max"),
            QStringLiteral("%1 / %2").arg(ms(percentil(confirmaProximo, 99)),
                                          ms(percentil(confirmaProximo, 100))));
    detalhe(QStringLiteral("CONFIRMA on the last office (to FIM): median"), ms(mediana(confirmaFim)));
    detalhe(QStringLiteral("100-byte append + fsync after each vote: p99"), ms(percentil(gravacao, 99)));
    auto parte = [](const QString &nome, const std::vector<double> &v) {
        detalhe(QStringLiteral("part alone: %1, median / p99").arg(nome),
                QStringLiteral("%1 / %2").arg(ms(mediana(v)), ms(percentil(v, 99))));
    };
    parte(QStringLiteral("lookup through Query, as existe_numero"), porQuery);
    parte(QStringLiteral("bare lookup of the same number just after"), consultaIgual);
    parte(QStringLiteral("photo saved to a file, loaded, removed, as mostra_dados_voto"), fotoArquivo);
    parte(QStringLiteral("photo decoded from memory (QPixmap::loadFromData)"), fotoMemoria);
    parte(QStringLiteral("vote insert through Query::execSql, as CONFIRMA"), insercao);
    parte(QStringLiteral("100-byte append + fsync, alternating with the parts"), gravacaoPartes);
    parte(QStringLiteral("prepara_cargo"), preparo);
    parte(QStringLiteral("sound cue (toca_som)"), som);
    return 0;
}
