// votarim-banco: the election database tool. Each command lives in a file of its
// own (comandos.h); this file only picks the command by its name.

#include "comandos.h"

#include <QFile>
#include <QGuiApplication>

#include <cstring>

namespace
{

struct Comando {
    const char *nome;
    int (*executa)(const QStringList &argumentos);
};

const Comando kComandos[] = {
    {"novo", Banco::novo},
    {"exemplo", Banco::exemplo},
    {"resultado", Banco::resultado},
    {"confere", Banco::confere},
    {"zero", Banco::zero},
    {"chave", Banco::chave},
    {"boletim", Banco::boletim},
    {"totaliza", Banco::totaliza},
};

} // namespace

int main(int argc, char **argv)
{
    if (argc == 2 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0)) {
        Banco::escreveUso(stdout);
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
    }
    const Comando *comando = nullptr;
    for (const Comando &c : kComandos)
        if (argc > 1 && std::strcmp(argv[1], c.nome) == 0) comando = &c;
    if (!comando) {
        Banco::escreveUso(stderr);
        return Banco::kSaidaUso;
    }
    // Photos and reports are drawn off screen; no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1; // the arguments are ours, not Qt's
    QGuiApplication app(qtArgc, argv);
    QStringList argumentos;
    for (int i = 2; i < argc; ++i)
        argumentos << QFile::decodeName(argv[i]);
    return comando->executa(argumentos);
}
