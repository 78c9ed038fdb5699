// The totals of a day over many terminals: `votarim-banco totaliza` over 10,000
// signed bulletins of a 500-candidate election, against the floor of the same
// work by the leanest means: one loop, in this process, that reads each file and
// verifies its signature with its terminal's public key. And the tool's peak
// memory over 1,000 and over 10,000 bulletins, which must not grow with their number.
//
// The bulletins (about 350 MB) are generated once into BENCH_DIR/boletins/ through
// the library the tool uses, each terminal with a result of its own.
//
// Usage: bench_boletim BENCH_DIR [RUNS]    (RUNS default 3; votarim-banco in ../votarim/)

#include "comum.h"

#include "apuracao/apuracao.h"
#include "apuracao/assinatura.h"
#include "apuracao/boletim.h"
#include "apuracao/eleicao.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <random>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
constexpr int kTerminais = 10000;
constexpr int kPoucos = 1000;
constexpr int kCargos = 5;
constexpr int kPorCargo = 100;
constexpr int kPartidos = 20;
constexpr int kEleitores = 400; // per terminal

[[noreturn]] void falha(const QString &texto)
{
    std::fprintf(stderr, "bench_boletim: %s\n", qPrintable(texto));
    std::exit(1);
}

Apuracao::Eleicao eleicao()
{
    Apuracao::Eleicao e;
    for (int c = 1; c <= kCargos; ++c) {
        e.cargos.append({c, QStringLiteral("Cargo %1").arg(c), 5});
        e.ordem.append({c, c});
    }
    for (int p = 1; p <= kPartidos; ++p)
        e.partidos.append({p, QStringLiteral("Partido %1").arg(p), QString::number(p + 9)});
    for (int i = 1; i <= kCargos * kPorCargo; ++i) {
        const int partido = (i % kPartidos) + 1, cargo = (i - 1) / kPorCargo + 1;
        e.candidatos.append({i, QStringLiteral("Candidata ou candidato %1").arg(i),
                             QStringLiteral("%1%2").arg(partido + 9).arg(i, 3, 10, QLatin1Char('0')), partido, cargo,
                             Apuracao::sha256(QByteArray::number(i))});
        e.mapa.append({i, cargo, partido});
    }
    return e;
}

// A day's canonical result text as the result report writes it, with random votes:
// nominal, blank and null votes in an office, legend votes without one.
QByteArray resultado(const Apuracao::Eleicao &e, std::mt19937 &rng)
{
    std::vector<qint64> nominal(size_t(e.candidatos.size()), 0), legenda(kPartidos, 0);
    std::vector<qint64> branco(kCargos, 0), nulo(kCargos, 0);
    qint64 legendas = 0;
    for (int v = 0; v < kEleitores * kCargos; ++v) {
        const unsigned tipo = rng() % 10;
        const int cargo = int(rng() % kCargos);
        if (tipo < 7) {
            ++nominal[size_t(cargo * kPorCargo + int(rng() % 17) * int(rng() % 6))];
        } else if (tipo == 7) {
            ++legenda[rng() % kPartidos];
            ++legendas;
        } else if (tipo == 8) {
            ++branco[size_t(cargo)];
        } else {
            ++nulo[size_t(cargo)];
        }
    }
    Apuracao::Resultado r;
    r.dia = QDate(2024, 10, 6);
    qint64 porTipo[4] = {0, legendas, 0, 0};
    for (int c = 0; c < kCargos; ++c) {
        Apuracao::Cargo cargo{c + 1, c + 1, e.cargos[c].nome, 0, 0, branco[size_t(c)], nulo[size_t(c)], 0};
        for (int i = c * kPorCargo; i < (c + 1) * kPorCargo; ++i)
            cargo.normal += nominal[size_t(i)];
        cargo.total = cargo.normal + cargo.branco + cargo.nulo;
        porTipo[0] += cargo.normal;
        porTipo[2] += cargo.branco;
        porTipo[3] += cargo.nulo;
        r.cargos.append(cargo);
    }
    if (legendas > 0)
        r.cargos.append({std::nullopt, std::nullopt, QStringLiteral("sem cargo registrado"), 0, legendas, 0, 0, legendas});
    const char *tipos[4] = {"NORMAL", "LEGENDA", "BRANCO", "NULO"};
    for (int i = 0; i < 4; ++i)
        r.totais.append({QString::fromLatin1(tipos[i]), porTipo[i], {}});
    for (qsizetype i = 0; i < e.candidatos.size(); ++i) {
        const auto &c = e.candidatos[i];
        const QString cargo = e.cargos[c.cargo - 1].nome, partido = e.partidos[c.partido - 1].nome;
        r.concorrentes.append({c.cargo, cargo, c.partido, partido, c.chave, c.numero, c.nome, {}});
        if (nominal[size_t(i)] > 0)
            r.ranking.append({c.cargo, cargo, 0, c.chave, c.numero, c.nome, c.partido, partido, nominal[size_t(i)], {}, {}});
    }
    for (int p = 0; p < kPartidos; ++p)
        if (legenda[size_t(p)] > 0)
            r.legendas.append({p + 1, e.partidos[p].legenda, e.partidos[p].nome, legenda[size_t(p)], {}});
    Apuracao::classifica(r);
    return Apuracao::textoCanonico(r);
}

QString arquivoDe(const QString &pasta, int terminal)
{
    return QStringLiteral("%1/resultado1/%2.txt").arg(pasta).arg(terminal, 5, 10, QLatin1Char('0'));
}

void gera(const QString &pasta)
{
    if (QFileInfo::exists(arquivoDe(pasta, kTerminais))) return;
    std::fprintf(stderr, "bench_boletim: generating %d bulletins in %s...\n", kTerminais, qPrintable(pasta));
    QDir().mkpath(pasta + QStringLiteral("/resultado1"));
    QDir().mkpath(pasta + QStringLiteral("/chaves"));
    const Apuracao::Eleicao e = eleicao();
    const QByteArray textoEleicao = Apuracao::textoEleicao(e);
    std::mt19937 rng(20241006);
    // One key pair under every terminal's name (hard links): verifying costs the same, and
    // 10,000 key pairs written durably one by one would take most of the run.
    const QString chaves = pasta + QStringLiteral("/chaves");
    if (!QFileInfo::exists(chaves + QStringLiteral("/1.key"))) Apuracao::criaChaves(chaves, QStringLiteral("1"));
    const Apuracao::ChaveAssinatura privada = Apuracao::lePrivada(chaves + QStringLiteral("/1.key"));
    for (int t = 1; t <= kTerminais; ++t) {
        const QString pub = QStringLiteral("%1/%2.pub").arg(chaves).arg(t);
        if (t > 1 && !QFileInfo::exists(pub) &&
            ::link(QFile::encodeName(chaves + QStringLiteral("/1.pub")).constData(), QFile::encodeName(pub).constData()) != 0)
            falha(QStringLiteral("cannot link %1").arg(pub));
        const QByteArray b = Apuracao::escreveBoletim(t, QDate(2024, 10, 6), QDateTime::currentDateTimeUtc(),
                                                      textoEleicao, resultado(e, rng), privada);
        QFile f(arquivoDe(pasta, t));
        if (!f.open(QIODevice::WriteOnly) || f.write(b) != b.size()) falha(QStringLiteral("cannot write %1").arg(f.fileName()));
    }
}


// Processor time (user + system), ms: on a machine shared with other work the wall
// clock measures the others too.
double msDeCpu(const rusage &u)
{
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

double cpuProprio()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return msDeCpu(u);
}

// The floor: each file read and its signature verified, nothing else. Processor ms.
double piso(const QString &pasta)
{
    const double t0 = cpuProprio();
    for (int t = 1; t <= kTerminais; ++t) {
        QFile f(arquivoDe(pasta, t));
        if (!f.open(QIODevice::ReadOnly)) falha(QStringLiteral("cannot read %1").arg(f.fileName()));
        const QByteArray b = f.readAll();
        const qsizetype ultima = b.lastIndexOf('\n', b.size() - 2) + 1;
        const QByteArray assinatura = QByteArray::fromBase64(b.mid(ultima + 20, b.size() - ultima - 21));
        const Apuracao::ChaveAssinatura chave = Apuracao::lePublica(QStringLiteral("%1/chaves/%2.pub").arg(pasta).arg(t));
        if (!Apuracao::confere(chave, b.left(ultima), assinatura)) falha(QStringLiteral("bad signature in the floor"));
    }
    return cpuProprio() - t0;
}

// votarim-banco totaliza over the first n bulletins, in a child: processor ms and peak memory (KiB).
std::pair<double, long> totaliza(const QString &pasta, int n)
{
    const QByteArray ferramenta =
        QFile::encodeName(QCoreApplication::applicationDirPath() + QStringLiteral("/../votarim/votarim-banco"));
    std::vector<QByteArray> argumentos = {ferramenta, "totaliza", "--chaves", QFile::encodeName(pasta + QStringLiteral("/chaves"))};
    for (int t = 1; t <= n; ++t)
        argumentos.push_back(QFile::encodeName(arquivoDe(pasta, t)));
    std::vector<char *> argv;
    for (QByteArray &a : argumentos)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t filho = ::fork();
    if (filho == 0) {
        const int nulo = ::open("/dev/null", O_WRONLY);
        ::dup2(nulo, 1);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int estado = 0;
    rusage uso{};
    if (filho < 0 || ::wait4(filho, &estado, 0, &uso) != filho || !WIFEXITED(estado) || WEXITSTATUS(estado) != 0)
        falha(QStringLiteral("votarim-banco totaliza failed"));
    return {msDeCpu(uso), uso.ru_maxrss};
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) falha(QStringLiteral("usage: bench_boletim BENCH_DIR [RUNS]"));
    const QString pasta = QFile::decodeName(argv[1]) + QStringLiteral("/boletins");
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    gera(pasta);
    std::vector<double> poucos, todos;
    for (int r = 0; r < runs; ++r) {
        // Each side goes first in turn, so the page cache favours neither.
        double base = 0;
        std::pair<double, long> nosso;
        if (r % 2 == 0) {
            base = piso(pasta);
            nosso = totaliza(pasta, kTerminais);
        } else {
            nosso = totaliza(pasta, kTerminais);
            base = piso(pasta);
        }
        std::printf("RUN|totaliza, 10,000 bulletins of 500 candidates, vs read + verify loop (processor time)|%.3f|%.3f|2|ms\n",
                    nosso.first, base);
        todos.push_back(double(nosso.second));
        poucos.push_back(double(totaliza(pasta, kPoucos).second));
        std::fflush(stdout);
    }
    const double m1 = Bench::mediana(poucos), m10 = Bench::mediana(todos);
    Bench::linha(QStringLiteral("totaliza peak memory, 10,000 vs 1,000 bulletins (%1 runs)").arg(runs), Bench::mib(m10),
                 Bench::mib(m1), Bench::razao(m10 / m1), QStringLiteral("≤ 1.10x"), m10 <= 1.10 * m1);
    return 0;
}
