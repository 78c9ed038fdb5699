#pragma once

#include "data/fontedados.h"

#include <QAbstractTableModel>

struct GridColumn {
    QString field;
    QString title;
    int width = -1; // -1: the grid's default
};

// The rows of a query, some fields of each, read as they are shown: a grid's rows,
// or a drop-down's (its first column).
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
