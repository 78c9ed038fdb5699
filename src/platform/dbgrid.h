#pragma once

// A read-only grid over a query: one row per row of the query, column titles, grid
// lines, whole-row selection, no record-marker column, no editing. Clicking a row or
// moving with the arrow keys makes that row the query's current one, so whatever
// else is bound to the query shows it; a move the query refuses (a save that failed)
// leaves the selection on the row that stays current.

#include "platform/querytablemodel.h"

#include <QTableView>

class DbGrid : public QTableView
{
    Q_OBJECT
  public:
    explicit DbGrid(QWidget *parent = nullptr);

    void setDataSource(DataSource *source);
    DataSource *dataSource() const { return m_modelo->source(); }
    void setColumns(const QList<GridColumn> &columns);
    // Whether the columns can be widened by dragging their titles.
    void setColumnsResizable(bool on);

  private:
    void aplicaLarguras();
    void segueConsulta();
    void linhaEscolhida(int row);

    QueryTableModel *m_modelo;
    bool m_sincronizando = false;
    QMetaObject::Connection m_segue;
};
