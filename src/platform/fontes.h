#pragma once

// Tahoma (the window font) from the installation's fonts/ folder or Debian's
// fonts-wine; Verdana is drawn with DejaVu Sans, which has the same proportions.
namespace Fontes {
void carrega();
}
