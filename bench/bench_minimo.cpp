// The baseline for start-up: the least a Qt Widgets program does to put a
// window of the terminal's size on screen. With BENCH_WITH_TEXT=1 the window
// also shows one line of text, which tells the part of the program's start-up
// that any window with text pays (the font set-up and the first glyphs).

#include "sonda.h"

#include <QApplication>
#include <QLabel>
#include <QScreen>
#include <QWidget>

int main(int argc, char *argv[])
{
    marca("main entered");
    QApplication app(argc, argv);
    marca("QApplication built");
    QWidget janela;
    janela.setFixedSize(579, 409);
    if (qEnvironmentVariableIntValue("BENCH_WITH_TEXT") == 1) {
        auto *texto = new QLabel(QStringLiteral("Seu voto para : Deputado Estadual"), &janela);
        texto->adjustSize();
    }
    if (const QScreen *tela = janela.screen())
        janela.move(tela->availableGeometry().center() - janela.rect().center());
    Sonda sonda(&janela, [] { return QStringLiteral("(bare window)"); });
    marca("window built");
    janela.show();
    marca("shown");
    return QApplication::exec();
}
