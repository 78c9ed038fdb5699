#include "ufrmdados.h"

Tfrmdados *frmdados = nullptr;
