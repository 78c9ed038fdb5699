#pragma once

// The registration window's date pickers: a day in the system's short date format
// with a drop-down calendar, and the same picker with a check box of its own.

#include <QDateEdit>
#include <QWidget>

class QCheckBox;

class SeletorData : public QDateEdit
{
    Q_OBJECT
  public:
    explicit SeletorData(QWidget *parent = nullptr);
};

// The built-in check box sits before the day; a change of either is one change.
class SeletorDataComCaixa : public QWidget
{
    Q_OBJECT
  public:
    explicit SeletorDataComCaixa(QWidget *parent = nullptr);

    QDate date() const;
    void setDate(const QDate &dia);
    bool isChecked() const;
    QCheckBox *caixa() const { return m_caixa; }
    SeletorData *seletor() const { return m_data; }

  signals:
    void mudou();

  protected:
    void resizeEvent(QResizeEvent *e) override;

  private:
    QCheckBox *m_caixa;
    SeletorData *m_data;
};
