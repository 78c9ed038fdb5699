#include "registration/seletordata.h"

#include "data/diatexto.h"

#include <QCheckBox>

SeletorData::SeletorData(QWidget *parent) : QDateEdit(parent)
{
    setCalendarPopup(true);
    // Month and weekday names in Portuguese in the calendar, whatever the machine's locale.
    setLocale(DiaTexto::locale());
    setDisplayFormat(DiaTexto::formato(DiaTexto::locale()));
    // Today: a report or a map row for a day nobody chose would be plainly wrong.
    setDate(QDate::currentDate());
}

SeletorDataComCaixa::SeletorDataComCaixa(QWidget *parent)
    : QWidget(parent), m_caixa(new QCheckBox(this)), m_data(new SeletorData(this))
{
    setFocusProxy(m_data);
    connect(m_caixa, &QCheckBox::toggled, this, &SeletorDataComCaixa::mudou);
    connect(m_data, &QDateEdit::dateChanged, this, &SeletorDataComCaixa::mudou);
}

QDate SeletorDataComCaixa::date() const
{
    return m_data->date();
}
void SeletorDataComCaixa::setDate(const QDate &dia)
{
    m_data->setDate(dia);
}
bool SeletorDataComCaixa::isChecked() const
{
    return m_caixa->isChecked();
}

void SeletorDataComCaixa::resizeEvent(QResizeEvent *)
{
    // The box before the day, the picker with its calendar button after it.
    const int lado = m_caixa->sizeHint().width();
    m_caixa->setGeometry(2, 0, lado, height());
    m_data->setGeometry(lado + 4, 0, width() - lado - 4, height());
}
