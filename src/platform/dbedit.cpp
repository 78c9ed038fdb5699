#include "platform/dbedit.h"

#include "platform/mensagens.h"

#include <QKeyEvent>

DbEdit::DbEdit(QWidget *parent) : QLineEdit(parent)
{
    refresh();
}

void DbEdit::setDataSource(DataSource *source)
{
    disconnect(m_escrita);
    if (source) m_escrita = connect(source, &DataSource::flushPending, this, &DbEdit::updateRecord);
    m_link.bind(source, this, [this] { refresh(); });
}

void DbEdit::setDataField(const QString &name)
{
    m_link.setFieldName(name);
    refresh();
}

void DbEdit::refreshState()
{
    Query *q = m_link.query();
    const bool pode =
        m_link.column() >= 0 && (m_link.editing() || (dataSource()->autoEdit() && q && q->canModify()));
    setReadOnly(!pode);
}

void DbEdit::refresh()
{
    Mensagens::protegido([this] {
        refreshState();
        const QString t = m_link.text();
        if (t != text()) setText(t); // keeps the cursor where it is when nothing changed
        setModified(false);
    });
}

void DbEdit::updateRecord()
{
    if (!isModified() || !m_link.editing() || m_link.column() < 0) return;
    const QString t = text();
    setModified(false);
    m_link.setValue(t.isEmpty() ? QVariant() : QVariant(t));
}

void DbEdit::keyPressEvent(QKeyEvent *e)
{
    if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
        refresh();
        selectAll();
        e->accept();
        return;
    }
    // With automatic editing, the first key that types starts editing the row.
    if (!e->text().isEmpty() && e->text().at(0).isPrint() && !m_link.editing() && dataSource() &&
        dataSource()->autoEdit()) {
        bool editando = false;
        Mensagens::protegido([&] { editando = dataSource()->edit(); });
        if (!editando) return;
    }
    QLineEdit::keyPressEvent(e);
}

void DbEdit::focusOutEvent(QFocusEvent *e)
{
    Mensagens::protegido([this] { updateRecord(); });
    QLineEdit::focusOutEvent(e);
}
