#pragma once

#include <QWidget>

// The registration window's report tab: the choice of report, the day of a result and
// the print command.
class TabRelatorio : public QWidget
{
    Q_OBJECT
public:
    explicit TabRelatorio(QWidget *parent);
};
