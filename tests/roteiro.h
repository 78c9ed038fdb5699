#pragma once

// Drives the report engine's modal windows in the tests that run reports.

#include <QApplication>
#include <QDialog>
#include <QSet>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <vector>

// Drives the modal windows a run opens: each step waits for the top-level
// window of that name and acts on it; any other dialog is noted and closed, so
// that a window nobody expected fails the test instead of hanging it.
class Roteiro : public QObject
{
  public:
    struct Passo {
        QString janela;
        std::function<void(QWidget *)> acao;
    };
    explicit Roteiro(std::vector<Passo> passos) : m_passos(std::move(passos))
    {
        connect(&m_timer, &QTimer::timeout, this, [this] { olha(); });
        m_timer.start(5);
    }
    QStringList vistas;
    bool completo() const { return m_proximo == m_passos.size(); }

  private:
    void olha()
    {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (!w->isVisible() || m_tratadas.contains(w)) continue;
            if (m_proximo < m_passos.size() && w->objectName() == m_passos[m_proximo].janela) {
                m_tratadas.insert(w);
                vistas << w->objectName();
                auto acao = m_passos[m_proximo++].acao;
                acao(w);
                return;
            }
            if (auto *d = qobject_cast<QDialog *>(w); d && d->isModal()) {
                m_tratadas.insert(w);
                vistas << QStringLiteral("inesperada:") + w->objectName();
                d->reject();
                return;
            }
        }
    }
    std::vector<Passo> m_passos;
    size_t m_proximo = 0;
    QSet<QWidget *> m_tratadas;
    QTimer m_timer;
};

template <class T> T *filho(QWidget *w, const char *nome)
{
    T *c = w->findChild<T *>(QLatin1String(nome));
    if (!c) qWarning("falta %s em %s", nome, qPrintable(w->objectName()));
    return c;
}
