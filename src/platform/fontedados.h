#pragma once

// The data source lives with the shared data module, which holds the system's data
// sources; the controls reach it here as before.
#include "data/fontedados.h"
