#pragma once

#include <QDialog>

// The operator's registration window, shown modally over the terminal and
// destroyed when it closes.
class Tfrmcadastro : public QDialog
{
    Q_OBJECT
public:
    explicit Tfrmcadastro(QWidget *owner);
    ~Tfrmcadastro() override;
};

// Meaningful only while a registration window is open.
extern Tfrmcadastro *frmcadastro;
