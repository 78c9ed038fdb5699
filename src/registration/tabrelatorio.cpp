#include "registration/tabrelatorio.h"

TabRelatorio::TabRelatorio(QWidget *parent) : QWidget(parent) { setObjectName(QStringLiteral("tab_relatorio")); }
