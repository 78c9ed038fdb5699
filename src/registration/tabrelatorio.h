#pragma once

#include <QWidget>

class QComboBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QPushButton;

// The registration window's report tab: the choice of report, the day of a result and
// the print command, which fills the report data module's day queries and runs the
// chosen report of "relatorio.rav".
class TabRelatorio : public QWidget
{
    Q_OBJECT
  public:
    explicit TabRelatorio(QWidget *parent);

    void cbx_relatorioChange();
    void mostra_dia_relatorio(bool mostra);
    void btn_impressaoClick();

    QGroupBox *GroupBox8;
    QLabel *Label21;
    QComboBox *cbx_relatorio;
    QPushButton *btn_impressao;
    QLabel *Label22;
    QDateEdit *cmp_datavotacao_relatorio;

  private:
    void imprime();
};
