#include "app/votarim.h"

#include "platform/fontes.h"
#include "platform/mensagens.h"
#include "platform/untutils.h"
#include "registration/ufrmcadcanditatos.h"
#include "terminal/fala.h"
#include "terminal/ufrmprincipal.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QScreen>
#include <QTranslator>
#include <memory>

namespace Votarim {

void ligaJanelas()
{
    Tfrmprincipal::abreCadastro = [](Tfrmprincipal *dono) {
        auto *janela = new Tfrmcadastro(dono); // destroys itself when closed
        janela->exec();
    };
}

void traduzDialogos()
{
    auto *traducao = new QTranslator(QCoreApplication::instance());
    if (traducao->load(QLocale(QLocale::Portuguese, QLocale::Brazil), QStringLiteral("qtbase"), QStringLiteral("_"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(traducao);
    else
        delete traducao; // without the translations the dialogs keep Qt's own words
}

int executa(const QString &opcaoFala)
{
    QApplication::setApplicationName(QStringLiteral("Votarim"));
    Fontes::carrega();
    traduzDialogos();
    ligaJanelas();

    auto janela = std::make_unique<Tfrmprincipal>();
    frmprincipal = janela.get();
    if (encerramento_pedido()) return 1;

    // Without a speech engine the terminal starts all the same, and says why once.
    QString motivo;
    if (!opcaoFala.isEmpty()) {
        if (auto saida = criaSaidaFala(opcaoFala, &motivo)) janela->ligaGuia(std::move(saida));
    }

    if (const QScreen *tela = janela->screen())
        janela->move(tela->availableGeometry().center() - janela->rect().center());
    janela->show();
    if (!motivo.isEmpty())
        Mensagens::mostra(Mensagens::Icone::Informacao, QStringLiteral("Guia por voz indisponível: %1").arg(motivo));
    const int rc = QApplication::exec();
    janela.reset();
    desconecta_banco();
    return rc;
}

} // namespace Votarim
