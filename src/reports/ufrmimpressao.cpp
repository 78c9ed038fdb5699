#include "reports/ufrmimpressao.h"

Tfrmimpressao *frmimpressao = nullptr;

Tfrmimpressao::Tfrmimpressao(QObject *owner) : QObject(owner) { setObjectName(QStringLiteral("frmimpressao")); }

Tfrmimpressao::~Tfrmimpressao()
{
    if (frmimpressao == this) frmimpressao = nullptr;
}
