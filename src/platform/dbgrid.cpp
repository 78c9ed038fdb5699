#include "platform/dbgrid.h"

#include "platform/mensagens.h"

#include <QHeaderView>

// ---- QueryTableModel

QueryTableModel::QueryTableModel(QObject *parent) : QAbstractTableModel(parent) {}

void QueryTableModel::setSource(DataSource *source)
{
    for (auto &c : m_conexoes)
        disconnect(c);
    m_fonte.setSource(source);
    if (source) {
        m_conexoes[0] = connect(source, &DataSource::dataSetChanged, this, &QueryTableModel::reset);
        m_conexoes[1] = connect(source, &DataSource::rowsReset, this, &QueryTableModel::reset);
        m_conexoes[2] = connect(source, &DataSource::rowInserted, this, [this](int row) {
            m_mudando = true;
            beginInsertRows(QModelIndex(), row, row);
            ++m_linhas;
            endInsertRows();
            m_mudando = false;
            emit rowsChanged();
        });
        m_conexoes[3] = connect(source, &DataSource::rowRemoved, this, [this](int row) {
            m_mudando = true;
            beginRemoveRows(QModelIndex(), row, row);
            --m_linhas;
            endRemoveRows();
            m_mudando = false;
            emit rowsChanged();
        });
        // The row being edited shows what is typed into it; a cancel or a save shows it anew.
        m_conexoes[4] = connect(source, &DataSource::fieldChanged, this, [this](int) {
            if (const Query *q = m_fonte.query()) linhaMudou(q->currentRow());
        });
        m_conexoes[5] = connect(source, &DataSource::stateChanged, this, [this] {
            if (const Query *q = m_fonte.query()) linhaMudou(q->currentRow());
        });
    }
    reset();
}

void QueryTableModel::setColumns(const QList<GridColumn> &columns)
{
    m_colunas = columns;
    reset();
}

void QueryTableModel::reset()
{
    m_mudando = true;
    beginResetModel();
    const Query *q = m_fonte.query();
    const bool aberta = q && q->isActive();
    m_linhas = aberta ? q->rowCount() : 0;
    m_indices.clear();
    for (const GridColumn &c : m_colunas)
        m_indices.push_back(aberta ? q->fieldIndex(c.field) : -1);
    endResetModel();
    m_mudando = false;
    emit rowsChanged();
}

void QueryTableModel::linhaMudou(int row)
{
    if (row < 0 || row >= m_linhas || m_colunas.isEmpty()) return;
    emit dataChanged(index(row, 0), index(row, int(m_colunas.size()) - 1));
}

int QueryTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_linhas;
}
int QueryTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_colunas.size());
}

QVariant QueryTableModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_linhas) return QVariant();
    const int campo = m_indices[size_t(index.column())];
    const Query *q = m_fonte.query();
    if (campo < 0 || !q) return QVariant();
    return q->displayText(index.row(), campo);
}

QVariant QueryTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < m_colunas.size())
        return m_colunas[section].title;
    return QVariant();
}

// ---- DbGrid

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
    for (auto &c : m_conexoes)
        disconnect(c);
    m_modelo->setSource(source);
    if (source) m_conexoes[0] = connect(source, &DataSource::currentChanged, this, &DbGrid::segueConsulta);
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
