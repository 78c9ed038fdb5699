#include "platform/dbtext.h"

#include "platform/mensagens.h"

DbText::DbText(QWidget *parent) : QLabel(parent)
{
    // Names from the database are never read as markup.
    setTextFormat(Qt::PlainText);
}

void DbText::setDataSource(DataSource *source)
{
    m_link.bind(source, this, [this] { refresh(); });
}

void DbText::setDataField(const QString &name)
{
    m_link.setFieldName(name);
    refresh();
}

void DbText::refresh()
{
    Mensagens::protegido([this] { setText(m_link.text()); });
}
