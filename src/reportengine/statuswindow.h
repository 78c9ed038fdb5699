#pragma once

// The status window shown while pages are generated or printed: one line with
// the page number and a button that cancels. It is not modal, but while it is
// shown the other windows take no mouse or keyboard input, so that nothing else
// runs against the data the report is reading.

#include <QDialog>
#include <QElapsedTimer>

class QLabel;
class QPushButton;

namespace ReportEngine
{

class StatusWindow : public QDialog
{
  public:
    // `format` is a status line where %p stands for the page number.
    StatusWindow(const QString &title, const QString &format, QWidget *parent = nullptr);
    ~StatusWindow() override;

    // Shows the page and lets events through; false once cancel was pressed.
    bool showPage(int page);
    bool cancelled() const { return m_cancelled; }

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void reject() override;

  private:
    QString m_format;
    QLabel *m_line;
    QPushButton *m_cancel;
    bool m_cancelled = false;
    int m_page = -1;
    QElapsedTimer m_sinceEvents;
};

} // namespace ReportEngine
