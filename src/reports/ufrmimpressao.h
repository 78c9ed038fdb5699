#pragma once

#include <QObject>

// The report data module: created by the first registration window, owned by the
// application, and kept until the program ends.
class Tfrmimpressao : public QObject
{
    Q_OBJECT
public:
    explicit Tfrmimpressao(QObject *owner);
    ~Tfrmimpressao() override;
};

// Never more than one.
extern Tfrmimpressao *frmimpressao;
