#pragma once

// Helpers the benchmark programs share: a monotonic clock, order statistics and
// the line format run.sh turns into the results table.

#include <QString>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

namespace Bench {

// The office the generated election opens on (first in the voting order, 5 digits).
inline const QString kPrimeiroCargo = QStringLiteral("Deputado Estadual");

// CLOCK_MONOTONIC is one clock for every process on the machine, so a parent's
// timestamp can be compared with its child's.
inline qint64 agoraNs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return qint64(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

// Nearest-rank percentile: p99 of 100 samples is the 99th smallest, a real sample.
inline double percentil(std::vector<double> v, double p)
{
    if (v.empty()) return std::nan("");
    std::sort(v.begin(), v.end());
    size_t rank = size_t(std::ceil(p / 100.0 * double(v.size())));
    rank = std::clamp<size_t>(rank, 1, v.size());
    return v[rank - 1];
}

inline double mediana(const std::vector<double> &v)
{
    if (v.empty()) return std::nan("");
    std::vector<double> s = v;
    std::sort(s.begin(), s.end());
    const size_t n = s.size();
    return n % 2 ? s[n / 2] : (s[n / 2 - 1] + s[n / 2]) / 2.0;
}

inline QString ms(double valorMs)
{
    if (valorMs < 0.1) return QString::number(valorMs * 1000.0, 'f', 1) + QStringLiteral(" µs");
    return QString::number(valorMs, 'f', 3) + QStringLiteral(" ms");
}

inline QString mib(double kib)
{
    return QString::number(kib / 1024.0, 'f', 1) + QStringLiteral(" MiB");
}

inline QString razao(double r)
{
    return QString::number(r, 'f', 2) + QStringLiteral("x");
}

// One row of the results table: "ROW|measure|value|baseline|ratio|goal|met".
inline void linha(const QString &medida, const QString &valor, const QString &base, const QString &r,
                  const QString &meta, bool atingida)
{
    const QString s = QStringList{QStringLiteral("ROW"),
                                  medida,
                                  valor,
                                  base,
                                  r,
                                  meta,
                                  atingida ? QStringLiteral("yes") : QStringLiteral("NO")}
                          .join(u'|');
    std::printf("%s\n", s.toUtf8().constData());
    std::fflush(stdout);
}

// A figure that explains the table but has no goal: "DETAIL|name|value".
inline void detalhe(const QString &nome, const QString &valor)
{
    std::printf("DETAIL|%s|%s\n", nome.toUtf8().constData(), valor.toUtf8().constData());
    std::fflush(stdout);
}

} // namespace Bench
