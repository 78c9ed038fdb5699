// The baseline for start-up: the least a Qt Widgets program does to put a window
// of the terminal's size on screen with text and a picture, as the terminal has:
// one label and one 30 KB picture (a 24-bit 100 × 100 BMP beside the program,
// "bench-imagem.bmp"). Any window with text pays for the font set-up.

#include "sonda.h"

#include <QApplication>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

int main(int argc, char *argv[])
{
    marca("main entered");
    QApplication app(argc, argv);
    marca("QApplication built");
    QWidget janela;
    janela.setFixedSize(579, 409);
    auto *texto = new QLabel(QStringLiteral("Seu voto para : Deputado Estadual"), &janela);
    texto->move(10, 10);
    texto->adjustSize();
    auto *imagem = new QLabel(&janela);
    imagem->setGeometry(10, 40, 100, 100);
    QPixmap figura;
    if (!figura.load(QCoreApplication::applicationDirPath() + QStringLiteral("/bench-imagem.bmp"), "BMP"))
        return 3;
    imagem->setPixmap(figura);
    if (const QScreen *tela = janela.screen())
        janela.move(tela->availableGeometry().center() - janela.rect().center());
    Sonda sonda(&janela, [] { return QStringLiteral("(bare window)"); });
    marca("window built");
    janela.show();
    marca("shown");
    return QApplication::exec();
}
