#include "fontes.h"
#include "ufrmprincipal.h"
#include "untutils.h"

#include <QApplication>
#include <QScreen>
#include <memory>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Votarim"));
    Fontes::carrega();

    auto janela = std::make_unique<Tfrmprincipal>();
    frmprincipal = janela.get();
    if (encerramento_pedido()) return 1;

    if (const QScreen *tela = janela->screen())
        janela->move(tela->availableGeometry().center() - janela->rect().center());
    janela->show();
    const int rc = QApplication::exec();
    janela.reset();
    desconecta_banco();
    return rc;
}
