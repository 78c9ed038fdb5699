// Start-up to the first office on screen, and peak memory, of the program
// (bench_inicio) against a window with a label and a picture (bench_minimo), each
// run as a child process from the installation folder, in pairs whose order
// alternates, after one warm-up run each.
// Time: from just before the child is spawned to its first painted frame (the
// child reads the same monotonic clock). Memory: the child's ru_maxrss from wait4.
//
// Usage: bench_partida FOLDER [RUNS]   (FOLDER holds bench_inicio, bench_minimo,
//                                       votarim and candidatos.mdb)

#include "comum.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

extern char **environ;

namespace
{

struct Execucao {
    double primeiraTelaMs = -1; // spawn to first frame, by the child's reading of the clock
    double ateSairMs = -1;      // spawn to the parent seeing it exit
    double picoKib = -1;        // ru_maxrss
    QByteArray mostrado;
    std::vector<std::pair<QByteArray, double>> etapas; // marked moments, ms since the spawn
    int status = -1;
};

// The median moment of each step over the runs, in the order the steps happen.
QString etapas(const std::vector<Execucao> &execucoes)
{
    QStringList partes;
    if (execucoes.empty()) return {};
    for (size_t i = 0; i < execucoes.front().etapas.size(); ++i) {
        std::vector<double> v;
        for (const Execucao &e : execucoes)
            if (i < e.etapas.size()) v.push_back(e.etapas[i].second);
        partes << QStringLiteral("%1 at %2")
                      .arg(QString::fromUtf8(execucoes.front().etapas[i].first),
                           Bench::ms(Bench::mediana(v)));
    }
    std::vector<double> v;
    for (const Execucao &e : execucoes)
        v.push_back(e.primeiraTelaMs);
    partes << QStringLiteral("first frame at %1").arg(Bench::ms(Bench::mediana(v)));
    return partes.join(QStringLiteral("; "));
}

// Runs exe with BENCH_T0_NS set to the moment of the spawn. With matarAposMs > 0
// the child is not expected to end by itself and gets SIGTERM after that long.
Execucao executa(const QByteArray &exe, int matarAposMs = 0)
{
    int tubo[2];
    if (pipe(tubo) != 0) qFatal("pipe failed");
    posix_spawn_file_actions_t acoes;
    posix_spawn_file_actions_init(&acoes);
    posix_spawn_file_actions_adddup2(&acoes, tubo[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&acoes, tubo[0]);
    posix_spawn_file_actions_addclose(&acoes, tubo[1]);

    std::vector<QByteArray> env;
    for (char **e = environ; *e; ++e)
        if (std::strncmp(*e, "BENCH_T0_NS=", 12) != 0) env.emplace_back(*e);
    char *argv[] = {const_cast<char *>(exe.constData()), nullptr};

    const qint64 t0 = Bench::agoraNs();
    env.push_back("BENCH_T0_NS=" + QByteArray::number(t0));
    std::vector<char *> envp;
    for (QByteArray &e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, exe.constData(), &acoes, nullptr, argv, envp.data()) != 0)
        qFatal("spawn failed: %s", exe.constData());
    posix_spawn_file_actions_destroy(&acoes);
    close(tubo[1]);

    Execucao r;
    if (matarAposMs > 0) {
        usleep(useconds_t(matarAposMs) * 1000);
        kill(pid, SIGTERM);
    }
    QByteArray saida;
    char buf[4096];
    for (ssize_t n; (n = read(tubo[0], buf, sizeof buf)) != 0;) {
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        saida.append(buf, n);
    }
    close(tubo[0]);
    rusage uso{};
    wait4(pid, &r.status, 0, &uso);
    r.ateSairMs = double(Bench::agoraNs() - t0) / 1e6;
    r.picoKib = double(uso.ru_maxrss);
    for (const QByteArray &l : saida.split('\n')) {
        if (l.startsWith("FIRST_SCREEN_NS ")) r.primeiraTelaMs = l.mid(16).toDouble() / 1e6;
        if (l.startsWith("SHOWN ")) r.mostrado = l.mid(6);
        if (l.startsWith("PHASE ")) {
            const qsizetype fim = l.lastIndexOf(' ');
            r.etapas.emplace_back(l.mid(6, fim - 6), l.mid(fim + 1).toDouble() / 1e6);
        }
    }
    return r;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_partida FOLDER [RUNS]\n");
        return 2;
    }
    const QByteArray pasta = QByteArray(argv[1]) + '/';
    const int execucoes = argc > 2 ? std::atoi(argv[2]) : 10;
    const QByteArray programa = pasta + "bench_inicio", minimo = pasta + "bench_minimo";

    executa(programa);
    executa(minimo);
    std::vector<Execucao> todasP, todasM;
    for (int i = 0; i < execucoes; ++i) {
        // Each pair is one run: the program and the baseline one after the other,
        // the order alternating.
        Execucao p, m;
        if (i % 2 == 0) {
            p = executa(programa);
            m = executa(minimo);
        } else {
            m = executa(minimo);
            p = executa(programa);
        }
        if (p.status != 0 || p.primeiraTelaMs < 0 || p.mostrado != Bench::kPrimeiroCargo.toUtf8()) {
            std::fprintf(stderr, "bench_partida: the program did not show \"%s\" (status %d, shown \"%s\")\n",
                         qPrintable(Bench::kPrimeiroCargo), p.status, p.mostrado.constData());
            return 1;
        }
        if (m.status != 0 || m.primeiraTelaMs < 0) {
            std::fprintf(stderr, "bench_partida: the baseline window did not show (status %d)\n", m.status);
            return 1;
        }
        todasP.push_back(p);
        todasM.push_back(m);
        std::printf("RUN|Start-up to first office on screen, offscreen|%.6f|%.6f|1.25|ms\n", p.primeiraTelaMs,
                    m.primeiraTelaMs);
        std::printf("RUN|Peak memory, RSS|%.1f|%.1f|1.5|KiB\n", p.picoKib, m.picoKib);
        std::printf("RUNDETAIL|start-up, spawn to exit with tear-down: program (ms)|%.6f\n", p.ateSairMs);
        std::printf("RUNDETAIL|start-up, spawn to exit with tear-down: baseline (ms)|%.6f\n", m.ateSairMs);
        std::fprintf(stderr, "bench_partida: run %d: program %.1f ms %.0f KiB, baseline %.1f ms %.0f KiB\n",
                     i + 1, p.primeiraTelaMs, p.picoKib, m.primeiraTelaMs, m.picoKib);
    }
    Bench::detalhe(QStringLiteral("start-up steps of the program (medians, since the spawn)"),
                   etapas(todasP));
    Bench::detalhe(QStringLiteral("start-up steps of the baseline window (medians, since the spawn)"),
                   etapas(todasM));

    // The real executable, which never stops by itself: its peak memory once it has
    // run well past its start-up, to check that bench_inicio stands for it.
    const QByteArray real = pasta + "votarim";
    if (access(real.constData(), X_OK) == 0) {
        const Execucao r = executa(real, 3000);
        Bench::detalhe(QStringLiteral("peak RSS of the real votarim, stopped after 3 s"),
                       Bench::mib(r.picoKib));
    }
    return 0;
}
