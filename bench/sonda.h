#pragma once

// Ends a start-up run once the window's first frame is painted: a zero timer
// queued from the window's first paint event runs after the whole paint pass,
// children included. It prints the time since the parent's clock reading (passed
// in BENCH_T0_NS, CLOCK_MONOTONIC), the moments marked on the way, the text that
// shows which office is on screen and the peak resident memory, then leaves the
// event loop.

#include "comum.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <functional>
#include <utility>
#include <vector>

// Moments of the start-up, kept until the end so that printing costs nothing on the way.
inline std::vector<std::pair<const char *, qint64>> &marcas()
{
    static std::vector<std::pair<const char *, qint64>> m;
    return m;
}
inline void marca(const char *nome)
{
    marcas().emplace_back(nome, Bench::agoraNs());
}

class Sonda : public QObject
{
public:
    Sonda(QWidget *janela, std::function<QString()> texto) : m_janela(janela), m_texto(std::move(texto))
    {
        janela->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *obj, QEvent *e) override
    {
        if (obj == m_janela && e->type() == QEvent::Paint && !m_visto) {
            m_visto = true;
            QTimer::singleShot(0, this, [this] { termina(); });
        }
        return false;
    }

private:
    void termina()
    {
        const qint64 agora = Bench::agoraNs();
        const qint64 t0 = qEnvironmentVariable("BENCH_T0_NS").toLongLong();
        std::printf("FIRST_SCREEN_NS %lld\n", t0 > 0 ? agora - t0 : -1LL);
        for (const auto &[nome, t] : marcas())
            std::printf("PHASE %s %lld\n", nome, t0 > 0 ? t - t0 : -1LL);
        std::printf("SHOWN %s\n", m_texto().toUtf8().constData());
        QFile status(QStringLiteral("/proc/self/status"));
        if (status.open(QIODevice::ReadOnly))
            for (const QByteArray &l : status.readAll().split('\n'))
                if (l.startsWith("VmHWM:")) std::printf("%s\n", l.simplified().constData());
        std::fflush(stdout);
        QCoreApplication::exit(0);
    }

    QWidget *m_janela;
    std::function<QString()> m_texto;
    bool m_visto = false;
};
