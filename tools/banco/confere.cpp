// "confere": the check before a voting day. Reads the database without changing it
// and lists, one line each, everything that would make the day go wrong; a closing
// line counts them. Exit 0 when nothing is found, 1 when anything is, 2 when the
// file cannot be read or the command is misused.

#include "comandos.h"
#include "leitura.h"

#include "data/conferencia.h"
#include "data/database.h"

#include <QDate>
#include <QRegularExpression>

namespace
{

int confereDia(const QString &arquivo, const QDate &dia)
{
    QStringList achados;
    try {
        Database db;
        Banco::abreParaLeitura(db, arquivo);
        // One snapshot for every finding.
        Transaction leitura(db);
        achados = Conferencia::achadosDoDia(db, dia);
        leitura.commit();
    } catch (const std::exception &e) {
        // A file that is missing, held or not a database: a message, never an abort.
        std::fprintf(stderr, "%s\n", qPrintable(Banco::mensagemDeLeitura(e, arquivo)));
        return Banco::kSaidaUso;
    }
    QString texto;
    for (const QString &a : achados)
        texto += a + u'\n';
    // Portuguese, whatever the machine's locale.
    const QString diaTexto = dia.toString(QStringLiteral("dd/MM/yyyy"));
    if (achados.isEmpty())
        texto += QStringLiteral("Conferência do dia %1: nenhum problema encontrado.\n").arg(diaTexto);
    else
        texto += QStringLiteral("Conferência do dia %1: %2 %3.\n")
                     .arg(diaTexto)
                     .arg(achados.size())
                     .arg(achados.size() == 1 ? QStringLiteral("problema encontrado")
                                              : QStringLiteral("problemas encontrados"));
    if (!Banco::escreveSaida(texto.toUtf8())) return Banco::kSaidaUso;
    return achados.isEmpty() ? 0 : 1;
}

} // namespace

int Banco::confere(const QStringList &argumentos)
{
    if (argumentos.isEmpty() || argumentos.size() > 2 || argumentos[0].isEmpty()) {
        Banco::escreveUso(stderr);
        return kSaidaUso;
    }
    QDate dia = QDate::currentDate();
    if (argumentos.size() == 2) {
        static const QRegularExpression formaDoDia(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
        dia = QDate::fromString(argumentos[1], Qt::ISODate);
        if (!formaDoDia.match(argumentos[1]).hasMatch() || !dia.isValid()) {
            std::fprintf(stderr, "Dia inválido: \"%s\" (use AAAA-MM-DD, por exemplo 2024-10-06)\n",
                         qPrintable(argumentos[1]));
            return kSaidaUso;
        }
    }
    return confereDia(argumentos[0], dia);
}
