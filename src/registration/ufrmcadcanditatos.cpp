#include "registration/ufrmcadcanditatos.h"

Tfrmcadastro *frmcadastro = nullptr;

Tfrmcadastro::Tfrmcadastro(QWidget *owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("frmcadastro"));
    setWindowTitle(QStringLiteral("Votarim"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(true);
    resize(640, 480);
    frmcadastro = this;
}

Tfrmcadastro::~Tfrmcadastro()
{
    if (frmcadastro == this) frmcadastro = nullptr;
}
