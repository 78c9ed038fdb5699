#pragma once

// A data-bound edit box: shows its field's text in the current row and takes
// typing only while the row is being added or edited. The typed text goes into
// the field when the box loses the focus, and before the row is saved or left
// (the query asks for it); Escape puts the field's text back.

#include "data/fontedados.h"

#include <QLineEdit>

class DbEdit : public QLineEdit
{
    Q_OBJECT
  public:
    explicit DbEdit(QWidget *parent = nullptr);

    DataSource *dataSource() const { return m_link.source(); }
    void setDataSource(DataSource *source);
    QString dataField() const { return m_link.fieldName(); }
    void setDataField(const QString &name);

    // Writes the typed text into the field, when there is any; an empty box
    // clears the field. Done on leaving the box and before a save or a move.
    void updateRecord();

  protected:
    void keyPressEvent(QKeyEvent *e) override;
    void focusOutEvent(QFocusEvent *e) override;

  private:
    void refresh();
    void refreshState();

    FieldLink m_link;
    QMetaObject::Connection m_escrita; // flushPending: the typed text into the field
};
