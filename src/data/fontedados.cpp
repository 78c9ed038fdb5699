#include "data/fontedados.h"

// Turns the query's listener calls into the data source's signals.
class DataSource::Escuta : public QueryListener
{
  public:
    explicit Escuta(DataSource *ds) : m_ds(ds) {}
    void stateChanged(Query &) override { emit m_ds->stateChanged(); }
    void currentChanged(Query &) override { emit m_ds->currentChanged(); }
    void fieldChanged(Query &, int column) override { emit m_ds->fieldChanged(column); }
    void rowsReset(Query &) override { emit m_ds->rowsReset(); }
    void rowInserted(Query &, int row) override { emit m_ds->rowInserted(row); }
    void rowRemoved(Query &, int row) override { emit m_ds->rowRemoved(row); }
    void flushPending(Query &) override { emit m_ds->flushPending(); }
    void queryDestroyed(Query &) override
    {
        m_ds->m_query = nullptr;
        emit m_ds->dataSetChanged();
    }

  private:
    DataSource *m_ds;
};

DataSource::DataSource(QObject *parent, Query *dataSet) : QObject(parent), m_escuta(new Escuta(this))
{
    setDataSet(dataSet);
}

DataSource::~DataSource()
{
    if (m_query) m_query->removeListener(m_escuta);
    delete m_escuta;
}

void DataSource::setDataSet(Query *query)
{
    if (query == m_query) return;
    if (m_query) m_query->removeListener(m_escuta);
    m_query = query;
    if (m_query) m_query->addListener(m_escuta);
    emit dataSetChanged();
}

void DataSource::setAutoEdit(bool on)
{
    if (on == m_autoEdit) return;
    m_autoEdit = on;
    emit stateChanged(); // the controls take input, or no longer
}

bool DataSource::editing() const
{
    return m_query && (m_query->state() == Query::State::Edit || m_query->state() == Query::State::Insert);
}

bool DataSource::edit()
{
    if (editing()) return true;
    if (!m_autoEdit || !m_query || !m_query->canModify()) return false;
    m_query->edit();
    return editing();
}

void FieldLink::bind(DataSource *source, QObject *control, std::function<void()> refresh)
{
    for (const auto &c : m_connections)
        QObject::disconnect(c);
    m_connections.clear();
    m_source = source;
    if (source) {
        for (auto sinal : {&DataSource::dataSetChanged, &DataSource::rowsReset, &DataSource::currentChanged,
                           &DataSource::stateChanged})
            m_connections.push_back(QObject::connect(source, sinal, control, refresh));
        m_connections.push_back(QObject::connect(source, &DataSource::fieldChanged, control, [this, refresh](int c) {
            if (c < 0 || c == column()) refresh();
        }));
    }
    refresh();
}

int FieldLink::column() const
{
    Query *q = query();
    return q && q->isActive() ? q->fieldIndex(m_fieldName) : -1;
}

QVariant FieldLink::value() const
{
    const int c = column();
    return c < 0 ? QVariant() : query()->field(c).value();
}

QString FieldLink::text() const
{
    const int c = column();
    return c < 0 ? QString() : query()->field(c).asString();
}

void FieldLink::setValue(const QVariant &value)
{
    Query *q = query();
    if (!q) throw DbError(QStringLiteral("O controle não está ligado a uma consulta"));
    q->field(m_fieldName).setValue(value);
}
