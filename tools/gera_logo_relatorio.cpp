// Writes the terminal's built-in logo as a picture file for the reports, which
// show it in their page header unless the installation's own "logo_kelvora.bmp"
// covers it (as the terminal shows that file in place of its built-in picture).
//
// Usage: gera_logo_relatorio SAIDA.png

#include "platform/fontes.h"
#include "terminal/desenhos.h"

#include <QGuiApplication>
#include <QImage>
#include <cstdio>

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "uso: gera_logo_relatorio SAIDA.png\n");
        return 2;
    }
    Fontes::carrega();
    const QImage logo = Desenhos::logoPadrao();
    if (logo.isNull() || !logo.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "gera_logo_relatorio: não foi possível gravar %s\n", argv[1]);
        return 1;
    }
    return 0;
}
