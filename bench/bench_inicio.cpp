// The program's start-up as app/main.cpp does it, line for line, plus a probe
// that ends the run once the first office is painted and clock readings between
// the steps. Run from a copy placed in the installation folder, since the program
// finds its files beside itself.

#include "platform/fontes.h"
#include "platform/untutils.h"
#include "sonda.h"
#include "terminal/ufrmprincipal.h"

#include <QApplication>
#include <QLabel>
#include <QScreen>
#include <memory>

int main(int argc, char *argv[])
{
    marca("main entered");
    static char nome[] = "votarim";
    char *argumentos[] = {argc > 0 && argv[0] ? argv[0] : nome, nullptr};
    int quantos = 1;
    QApplication app(quantos, argumentos);
    QApplication::setApplicationName(QStringLiteral("Votarim"));
    marca("QApplication built");
    Fontes::carrega();
    marca("fonts loaded");

    auto janela = std::make_unique<Tfrmprincipal>();
    frmprincipal = janela.get();
    marca("window built (database open)");
    if (encerramento_pedido()) return 1;

    if (const QScreen *tela = janela->screen())
        janela->move(tela->availableGeometry().center() - janela->rect().center());
    Sonda sonda(janela.get(), [&janela] { return janela->tipo_candidato->text(); });
    janela->show();
    marca("shown (first office prepared)");
    const int rc = QApplication::exec();
    janela.reset();
    desconecta_banco();
    return rc;
}
