// "boletim": a terminal's signed bulletin of a day, read from its database without
// changing it: the election's canonical text, the day's canonical result text (the
// same text the result report's fingerprint hashes) and the signature of both.

#include "comandos.h"
#include "leitura.h"

#include "apuracao/apuracao.h"
#include "apuracao/boletim.h"
#include "apuracao/eleicao.h"
#include "data/database.h"
#include "data/diatexto.h"

#include <QRegularExpression>

int Banco::boletim(const QStringList &argumentos)
{
    static const QRegularExpression numero(QStringLiteral("^[1-9][0-9]{0,5}$"));
    QString terminal, chave, saida;
    QStringList posicionais;
    for (qsizetype i = 0; i < argumentos.size(); ++i) {
        const QString &a = argumentos[i];
        QString *destino = a == QLatin1String("--terminal") ? &terminal
                           : a == QLatin1String("--chave")  ? &chave
                           : a == QLatin1String("--saida")  ? &saida
                                                            : nullptr;
        if (destino) {
            if (i + 1 == argumentos.size() || !destino->isEmpty()) destino = nullptr;
            else *destino = argumentos[++i];
            if (destino && !destino->isEmpty()) continue;
            escreveUso(stderr);
            return kSaidaUso;
        }
        if (a.startsWith(QLatin1String("--"))) {
            escreveUso(stderr);
            return kSaidaUso;
        }
        posicionais << a;
    }
    if (posicionais.size() != 2 || posicionais[0].isEmpty() || terminal.isEmpty() || chave.isEmpty() ||
        saida.isEmpty()) {
        escreveUso(stderr);
        return kSaidaUso;
    }
    if (!numero.match(terminal).hasMatch()) {
        std::fprintf(stderr, "Número de terminal inválido: \"%s\" (de 1 a 999999)\n", qPrintable(terminal));
        return kSaidaUso;
    }
    const QDate dia = diaDoArgumento(posicionais[1]);
    if (!dia.isValid()) return kSaidaUso;
    const QString &arquivo = posicionais[0];
    QByteArray bytes;
    QString digitalEleicao, digitalResultado;
    try {
        // The key first: a key others can read is refused before anything is read or signed.
        const Apuracao::ChaveAssinatura privada = Apuracao::lePrivada(chave);
        Database db;
        abreParaLeitura(db, arquivo);
        QByteArray eleicao, resultado;
        {
            // One snapshot: the election and the result it signs are of the same moment.
            Transaction leitura(db);
            eleicao = Apuracao::textoEleicao(Apuracao::leEleicao(db, DiaTexto::escreve(dia)));
            resultado = Apuracao::textoCanonico(Apuracao::calcula(db, dia));
            leitura.commit();
        }
        digitalEleicao = Apuracao::sha256(eleicao);
        digitalResultado = Apuracao::sha256(resultado);
        bytes = Apuracao::escreveBoletim(terminal.toLongLong(), dia, QDateTime::currentDateTimeUtc(), eleicao,
                                         resultado, privada);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", qPrintable(mensagemDeLeitura(e, arquivo)));
        return 1;
    }
    if (!gravaArquivoNovo(saida, bytes, arquivo)) return 1;
    return escreveSaida(QStringLiteral("Boletim do terminal %1 gravado em %2\n"
                                       "Eleição (SHA-256): %3\n"
                                       "Impressão digital (SHA-256): %4\n")
                            .arg(terminal, saida, digitalEleicao, digitalResultado)
                            .toUtf8())
               ? 0
               : 1;
}
