#include "platform/dblookupcombo.h"

#include "platform/mensagens.h"

#include <QFrame>
#include <QKeyEvent>
#include <QListView>
#include <QScreen>
#include <QVBoxLayout>

// ---- DbLookupComboBox

DbLookupComboBox::DbLookupComboBox(QWidget *parent) : QComboBox(parent), m_modelo(new QueryTableModel(this))
{
    // Sizes from the widget, never from measuring every name of a long list.
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setModel(m_modelo);
    if (auto *lista = qobject_cast<QListView *>(view())) lista->setUniformItemSizes(true);
    connect(this, &QComboBox::activated, this, [this](int row) { escolhe(row); });
    setCurrentIndex(-1);
}

void DbLookupComboBox::setDataSource(DataSource *source)
{
    m_link.bind(source, this, [this] { refresh(); });
}

void DbLookupComboBox::setDataField(const QString &name)
{
    m_link.setFieldName(name);
    refresh();
}

void DbLookupComboBox::setListSource(DataSource *source)
{
    for (auto &c : m_conexoesLista)
        disconnect(c);
    m_lista.setSource(source);
    m_modelo->setSource(source);
    // A list read afresh, or with a row more or less, may hold the key elsewhere or no
    // longer; and the drop-down must not pick a row by itself meanwhile.
    if (source) {
        m_conexoesLista[0] = connect(source, &DataSource::rowsReset, this, &DbLookupComboBox::refresh);
        m_conexoesLista[1] = connect(source, &DataSource::rowInserted, this, &DbLookupComboBox::refresh);
        m_conexoesLista[2] = connect(source, &DataSource::rowRemoved, this, &DbLookupComboBox::refresh);
    }
    refresh();
}

void DbLookupComboBox::setKeyField(const QString &name)
{
    m_lista.setFieldName(name);
    refresh();
}

void DbLookupComboBox::setListField(const QString &name)
{
    m_campoLista = name;
    m_modelo->setColumns({GridColumn{name, QString()}});
    refresh();
}

void DbLookupComboBox::refresh()
{
    if (m_atualizando) return;
    m_atualizando = true;
    Mensagens::protegido([this] {
        int linha = -1;
        Query *lista = m_lista.query();
        const QVariant chave = m_link.value();
        if (!chave.isNull() && lista && lista->isActive() && m_lista.column() >= 0) {
            const QString texto = m_link.text();
            // The list query follows the key, unless a row of its own is being changed.
            const bool pode = lista->state() == Query::State::Browse;
            const int atual = lista->currentRow();
            if (atual >= 0 &&
                lista->displayText(atual, m_lista.column()).compare(texto, Qt::CaseInsensitive) == 0)
                linha = atual;
            else if (pode && lista->locate(m_lista.fieldName(), texto))
                linha = lista->currentRow();
            else if (!pode)
                linha = lista->find(m_lista.fieldName(), texto);
        }
        if (linha != currentIndex()) setCurrentIndex(linha);
    });
    m_atualizando = false;
}

bool DbLookupComboBox::aceitaEntrada() const
{
    if (m_link.column() < 0) return false;
    if (m_link.editing()) return true;
    const Query *q = m_link.query();
    return dataSource()->autoEdit() && q && q->canModify();
}

void DbLookupComboBox::escolhe(int row)
{
    Mensagens::protegido([&] {
        Query *lista = m_lista.query();
        if (!aceitaEntrada() || !lista || m_lista.column() < 0 || row < 0 || row >= lista->rowCount()) return;
        if (!m_link.editing() && !dataSource()->edit()) return;
        m_link.setValue(lista->value(row, m_lista.column()));
    });
    refresh(); // a refused pick shows the key the field still holds
}

void DbLookupComboBox::showPopup()
{
    if (!aceitaEntrada()) return;
    if (!m_suspensa) {
        m_suspensa = new QFrame(this, Qt::Popup);
        m_suspensa->setFrameShape(QFrame::Box);
        auto *caixa = new QVBoxLayout(m_suspensa);
        caixa->setContentsMargins(1, 1, 1, 1);
        m_listaSuspensa = new QListView(m_suspensa);
        m_listaSuspensa->setModel(m_modelo);
        m_listaSuspensa->setUniformItemSizes(true);
        m_listaSuspensa->setEditTriggers(QAbstractItemView::NoEditTriggers);
        m_listaSuspensa->setSelectionMode(QAbstractItemView::SingleSelection);
        m_listaSuspensa->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        m_listaSuspensa->setFrameShape(QFrame::NoFrame);
        caixa->addWidget(m_listaSuspensa);
        const auto escolheLinha = [this](const QModelIndex &i) {
            hidePopup();
            setCurrentIndex(i.row());
            escolhe(i.row());
        };
        connect(m_listaSuspensa, &QListView::clicked, this, escolheLinha);
        connect(m_listaSuspensa, &QListView::activated, this, escolheLinha);
    }
    const int linhas = qBound(1, count(), maxVisibleItems());
    const int altura = m_listaSuspensa->sizeHintForRow(0) > 0 ? m_listaSuspensa->sizeHintForRow(0)
                                                              : fontMetrics().height() + 4;
    m_suspensa->resize(width(), linhas * altura + 2 * m_suspensa->frameWidth() + 2);
    QPoint ponto = mapToGlobal(QPoint(0, height()));
    if (const QScreen *tela = screen()) { // above the box when there is no room below
        const QRect area = tela->availableGeometry();
        if (ponto.y() + m_suspensa->height() > area.bottom())
            ponto.setY(mapToGlobal(QPoint(0, 0)).y() - m_suspensa->height());
    }
    m_suspensa->move(ponto);
    const QModelIndex atual = m_modelo->index(qMax(0, currentIndex()), 0);
    m_listaSuspensa->setCurrentIndex(atual);
    m_listaSuspensa->scrollTo(atual, QAbstractItemView::PositionAtTop);
    m_suspensa->show();
    m_listaSuspensa->setFocus();
}

void DbLookupComboBox::hidePopup()
{
    if (m_suspensa) m_suspensa->hide();
}

void DbLookupComboBox::keyPressEvent(QKeyEvent *e)
{
    if (m_deleteLimpa && e->key() == Qt::Key_Delete &&
        !(e->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier))) {
        Mensagens::protegido([this] { m_link.setValue(QVariant()); });
        e->accept();
        return;
    }
    // Moving the focus on with Tab is all the keyboard may do while no row is changed.
    if (!aceitaEntrada() && e->key() != Qt::Key_Tab && e->key() != Qt::Key_Backtab) {
        e->ignore();
        return;
    }
    QComboBox::keyPressEvent(e);
}

void DbLookupComboBox::wheelEvent(QWheelEvent *e)
{
    if (!aceitaEntrada()) {
        e->ignore();
        return;
    }
    QComboBox::wheelEvent(e);
}
