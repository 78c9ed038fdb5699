#include "data/ufrmdados.h"

#include "data/esquema.h"

Tfrmdados *frmdados = nullptr;

Tfrmdados::Tfrmdados(QObject *owner) : QObject(owner) { Esquema::prepara(conexaoDB); }
