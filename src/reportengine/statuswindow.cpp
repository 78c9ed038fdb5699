#include "reportengine/statuswindow.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace ReportEngine
{

StatusWindow::StatusWindow(const QString &title, const QString &format, QWidget *parent)
    : QDialog(parent), m_format(format)
{
    setObjectName(QStringLiteral("estadoRelatorio"));
    setWindowTitle(title);
    setModal(false);
    m_line = new QLabel(this);
    m_line->setObjectName(QStringLiteral("linhaEstado"));
    m_line->setMinimumWidth(260);
    m_line->setAlignment(Qt::AlignCenter);
    m_cancel = new QPushButton(QStringLiteral("Cancelar"), this);
    m_cancel->setObjectName(QStringLiteral("cancelar"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_line);
    layout->addWidget(m_cancel, 0, Qt::AlignCenter);
    connect(m_cancel, &QPushButton::clicked, this, [this] { m_cancelled = true; });
    qApp->installEventFilter(this);
    m_sinceEvents.start();
}

StatusWindow::~StatusWindow()
{
    qApp->removeEventFilter(this);
}

bool StatusWindow::showPage(int page)
{
    const bool newPage = page != m_page;
    if (newPage) {
        m_page = page;
        m_line->setText(QString(m_format).replace(QStringLiteral("%p"), QString::number(page)));
    }
    // Events are let through at each new page and at least every 50 ms, so that
    // cancel is seen within a page and the window stays alive.
    if (newPage || m_sinceEvents.elapsed() >= 50 || !isVisible()) {
        if (!isVisible()) show();
        QCoreApplication::processEvents();
        m_sinceEvents.restart();
    }
    return !m_cancelled;
}

void StatusWindow::reject()
{
    m_cancelled = true;
}

bool StatusWindow::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::Close: {
        auto *widget = qobject_cast<QWidget *>(watched);
        if (widget && widget->window() != this) return true;
        break;
    }
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace ReportEngine
