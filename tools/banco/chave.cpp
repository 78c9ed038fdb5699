// "chave": creates a terminal's Ed25519 key pair, DIR/N.key (private, 0600) and DIR/N.pub.

#include "comandos.h"

#include "apuracao/assinatura.h"

#include <QRegularExpression>

int Banco::chave(const QStringList &argumentos)
{
    static const QRegularExpression numero(QStringLiteral("^[1-9][0-9]{0,5}$"));
    if (argumentos.size() != 2 || argumentos[0].isEmpty()) {
        escreveUso(stderr);
        return kSaidaUso;
    }
    if (!numero.match(argumentos[1]).hasMatch()) {
        std::fprintf(stderr, "Número de terminal inválido: \"%s\" (de 1 a 999999)\n", qPrintable(argumentos[1]));
        return kSaidaUso;
    }
    try {
        Apuracao::criaChaves(argumentos[0], argumentos[1]);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return escreveSaida(QStringLiteral("Chaves do terminal %1 criadas: %2/%1.key (privada, guarde-a no terminal) e "
                                       "%2/%1.pub (pública, para a totalização)\n")
                            .arg(argumentos[1], argumentos[0])
                            .toUtf8())
               ? 0
               : 1;
}
