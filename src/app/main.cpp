#include "app/votarim.h"

#include <QApplication>
#include <cstring>

int main(int argc, char *argv[])
{
    // The program reads one option of its own, the spoken guidance ("--fala" or
    // "--fala=arquivo:CAMINHO"); Qt is given the program's name alone, so none of its
    // own options (-stylesheet, -platform, ...) can change the terminal.
    QByteArray fala;
    for (int i = 1; i < argc; ++i)
        if (argv[i] && (std::strcmp(argv[i], "--fala") == 0 || std::strncmp(argv[i], "--fala=", 7) == 0))
            fala = argv[i];
    static char nome[] = "votarim";
    char *argumentos[] = {argc > 0 && argv[0] ? argv[0] : nome, nullptr};
    int quantos = 1;
    QApplication app(quantos, argumentos);
    return Votarim::executa(QString::fromLocal8Bit(fala));
}
