#pragma once

// Data-bound text: a label that shows its field's value in the current row, as
// plain text. Never editable.

#include "data/fontedados.h"

#include <QLabel>

class DbText : public QLabel
{
    Q_OBJECT
  public:
    explicit DbText(QWidget *parent = nullptr);

    DataSource *dataSource() const { return m_link.source(); }
    void setDataSource(DataSource *source);
    QString dataField() const { return m_link.fieldName(); }
    void setDataField(const QString &name);

  private:
    void refresh();

    FieldLink m_link;
};
