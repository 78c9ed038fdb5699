#pragma once

// The data source that stands between a query and the controls bound to it: it
// hears the query's change channel and passes each change on as a signal, so the
// controls never poll. Automatic editing is off unless asked for: editors then
// take input only after the navigator's Insert or Edit.

#include "data/query.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <vector>

class DataSource : public QObject
{
    Q_OBJECT
  public:
    explicit DataSource(QObject *parent = nullptr, Query *dataSet = nullptr);
    ~DataSource() override;

    Query *dataSet() const { return m_query; }
    void setDataSet(Query *query);

    bool autoEdit() const { return m_autoEdit; }
    void setAutoEdit(bool on);

    bool active() const { return m_query && m_query->isActive(); }
    // Adding or editing a row.
    bool editing() const;
    // Starts editing when automatic editing is on; whether the row now takes input.
    bool edit();

  signals:
    // Another query, or none (the query was destroyed).
    void dataSetChanged();
    void stateChanged();
    // The current row, or only the start/end flags.
    void currentChanged();
    // A value of the current row; column -1: all of them.
    void fieldChanged(int column);
    void rowsReset();
    void rowInserted(int row);
    void rowRemoved(int row);
    // Editors write the text they hold into their fields now.
    void flushPending();

  private:
    class Escuta;
    Query *m_query = nullptr;
    bool m_autoEdit = false;
    Escuta *m_escuta;
};

// A control's tie to one field of its data source's query. The column is looked up
// by name each time, so it follows the query through reopenings.
class FieldLink
{
  public:
    DataSource *source() const { return m_source; }
    void setSource(DataSource *source) { m_source = source; }
    // Ties the link to a source (or none); refresh runs whenever what the control shows
    // may have changed: another query, its rows, the current row, the state or this field.
    void bind(DataSource *source, QObject *control, std::function<void()> refresh);
    QString fieldName() const { return m_fieldName; }
    void setFieldName(const QString &name) { m_fieldName = name; }

    Query *query() const { return m_source ? m_source->dataSet() : nullptr; }
    // The field's column in the open query; -1 when closed or absent.
    int column() const;
    bool editing() const { return m_source && m_source->editing(); }
    // The current row's value as text; "" with no query, row or field.
    QString text() const;
    QVariant value() const;
    // Throws DbError when the row is not being added or edited.
    void setValue(const QVariant &value);

  private:
    QPointer<DataSource> m_source;
    QString m_fieldName;
    std::vector<QMetaObject::Connection> m_connections;
};
