#include "platform/dbgrid.h"

#include "platform/mensagens.h"

#include <QHeaderView>

DbGrid::DbGrid(QWidget *parent) : QTableView(parent), m_modelo(new QueryTableModel(this))
{
    setModel(m_modelo);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setWordWrap(false);
    setTabKeyNavigation(false);
    verticalHeader()->hide();
    // Rows of one height: long results scroll without measuring each row.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsClickable(false);
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &atual) { linhaEscolhida(atual.row()); });
    connect(m_modelo, &QAbstractItemModel::modelReset, this, &DbGrid::aplicaLarguras);
    connect(m_modelo, &QueryTableModel::rowsChanged, this, &DbGrid::segueConsulta);
}

void DbGrid::setDataSource(DataSource *source)
{
    disconnect(m_segue);
    m_modelo->setSource(source);
    if (source) m_segue = connect(source, &DataSource::currentChanged, this, &DbGrid::segueConsulta);
    segueConsulta();
}

void DbGrid::setColumns(const QList<GridColumn> &columns)
{
    m_modelo->setColumns(columns);
}

void DbGrid::setColumnsResizable(bool on)
{
    horizontalHeader()->setSectionResizeMode(on ? QHeaderView::Interactive : QHeaderView::Fixed);
}

void DbGrid::aplicaLarguras()
{
    const QList<GridColumn> colunas = m_modelo->columns();
    for (int i = 0; i < colunas.size(); ++i)
        setColumnWidth(i,
                       colunas[i].width >= 0 ? colunas[i].width : horizontalHeader()->defaultSectionSize());
}

// The selection shows the query's current row.
void DbGrid::segueConsulta()
{
    const DataSource *fonte = dataSource();
    const Query *q = fonte ? fonte->dataSet() : nullptr;
    const int linha = q && q->isActive() ? q->currentRow() : -1;
    if (linha == currentIndex().row() && (linha < 0 || selectionModel()->isRowSelected(linha, QModelIndex())))
        return;
    m_sincronizando = true;
    if (linha < 0 || linha >= m_modelo->rowCount()) {
        selectionModel()->clearCurrentIndex();
        selectionModel()->clearSelection();
    } else {
        const QModelIndex i = m_modelo->index(linha, qMax(0, currentIndex().column()));
        selectionModel()->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        scrollTo(i);
    }
    m_sincronizando = false;
}

// A row clicked or reached with the keys becomes the query's current row.
void DbGrid::linhaEscolhida(int row)
{
    if (m_sincronizando || m_modelo->changingRows() || row < 0) return;
    DataSource *fonte = dataSource();
    Query *q = fonte ? fonte->dataSet() : nullptr;
    if (q && q->isActive() && row != q->currentRow()) Mensagens::protegido([&] { q->moveTo(row); });
    segueConsulta();
}
