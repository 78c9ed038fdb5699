#include "app/votarim.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // The program reads no command line: Qt is given the program's name alone, so
    // none of its own options (-stylesheet, -platform, ...) can change the terminal.
    static char nome[] = "votarim";
    char *argumentos[] = {argc > 0 && argv[0] ? argv[0] : nome, nullptr};
    int quantos = 1;
    QApplication app(quantos, argumentos);
    return Votarim::executa();
}
