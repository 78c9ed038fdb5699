#include "platform/dbtext.h"

#include "platform/mensagens.h"

DbText::DbText(QWidget *parent) : QLabel(parent)
{
    // Names from the database are never read as markup.
    setTextFormat(Qt::PlainText);
}

void DbText::setDataSource(DataSource *source)
{
    for (auto &c : m_conexoes)
        disconnect(c);
    m_link.setSource(source);
    if (source) {
        m_conexoes[0] = connect(source, &DataSource::dataSetChanged, this, &DbText::refresh);
        m_conexoes[1] = connect(source, &DataSource::rowsReset, this, &DbText::refresh);
        m_conexoes[2] = connect(source, &DataSource::currentChanged, this, &DbText::refresh);
        m_conexoes[3] = connect(source, &DataSource::stateChanged, this, &DbText::refresh);
        m_conexoes[4] = connect(source, &DataSource::fieldChanged, this, [this](int column) {
            if (column < 0 || column == m_link.column()) refresh();
        });
    }
    refresh();
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
