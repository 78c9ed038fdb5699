#pragma once

// A data-bound lookup: holds a key in a field of its data source's query and shows,
// for that key, the list field of the row of a list query that has it (nothing when
// no row has it). To show a key it moves the list query to that row, so whatever is
// bound to the list query follows. The drop-down lists every row of the list query
// in that query's order, through a model that reads rows as they are shown, so a
// long list opens at once. Picking a row writes its key into the field, and only
// while the row is being added or edited; otherwise the lookup takes no input.

#include "platform/querytablemodel.h"

#include <QComboBox>

class QFrame;
class QListView;

class DbLookupComboBox : public QComboBox
{
    Q_OBJECT
  public:
    explicit DbLookupComboBox(QWidget *parent = nullptr);

    void setDataSource(DataSource *source);
    DataSource *dataSource() const { return m_link.source(); }
    void setDataField(const QString &name);
    QString dataField() const { return m_link.fieldName(); }

    void setListSource(DataSource *source);
    void setKeyField(const QString &name);
    void setListField(const QString &name);

    // The Delete key (without Shift, Ctrl or Alt) empties the field; outside adding
    // or editing that is the data layer's error, shown by the general error report.
    void setDeleteClears(bool on) { m_deleteLimpa = on; }

    // Shows the key held in the field, moving the list query to it.
    void refresh();

    // The drop-down is a list of its own over the same model: the combo box's own
    // measures the text of every row before it opens.
    void showPopup() override;
    void hidePopup() override;
    QListView *popupList() const { return m_listaSuspensa; }

  protected:
    void keyPressEvent(QKeyEvent *e) override;
    void wheelEvent(QWheelEvent *e) override;

  private:
    bool aceitaEntrada() const;
    void escolhe(int row);

    FieldLink m_link;
    FieldLink m_lista; // the key field of the list query
    QString m_campoLista;
    QueryTableModel *m_modelo;
    QFrame *m_suspensa = nullptr;
    QListView *m_listaSuspensa = nullptr;
    bool m_deleteLimpa = false;
    bool m_atualizando = false;
    QMetaObject::Connection m_conexoesLista[3];
};
