#pragma once

// A read-only grid over a query: one row per row of the query, column titles, grid
// lines, whole-row selection, no record-marker column, no editing. Clicking a row or
// moving with the arrow keys makes that row the query's current one, so whatever
// else is bound to the query shows it; a move the query refuses (a save that failed)
// leaves the selection on the row that stays current.

#include "platform/fontedados.h"

#include <QAbstractTableModel>
#include <QTableView>

struct GridColumn {
    QString field;
    QString title;
    int width = -1; // -1: the grid's default
};

// The rows of a query, some fields of each, read as they are shown.
class QueryTableModel : public QAbstractTableModel
{
    Q_OBJECT
  public:
    explicit QueryTableModel(QObject *parent = nullptr);

    void setSource(DataSource *source);
    DataSource *source() const { return m_fonte.source(); }
    void setColumns(const QList<GridColumn> &columns);
    QList<GridColumn> columns() const { return m_colunas; }
    // While rows come or go, the view moves its selection by itself: that is no
    // choice of the operator's.
    bool changingRows() const { return m_mudando; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  signals:
    // Rows came, went or were read afresh; the view has settled.
    void rowsChanged();

  private:
    void reset();
    void linhaMudou(int row);

    FieldLink m_fonte;
    QList<GridColumn> m_colunas;
    std::vector<int> m_indices; // each column's field in the query, -1 when absent
    int m_linhas = 0;
    bool m_mudando = false;
    QMetaObject::Connection m_conexoes[6];
};

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
    QMetaObject::Connection m_conexoes[4];
};
