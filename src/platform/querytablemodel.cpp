#include "platform/querytablemodel.h"

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
    if ((role != Qt::DisplayRole && role != Qt::EditRole) || !index.isValid() || index.row() >= m_linhas)
        return QVariant();
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
