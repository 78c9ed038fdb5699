// The usage text and the writing of a command's output, shared by every command.

#include "comandos.h"

#include "data/database.h"
#include "data/esquema.h"

#include <QByteArray>

namespace Banco
{
void escreveUso(std::FILE *saida)
{
    std::fputs("Uso:\n"
               "  votarim-banco novo ARQUIVO      cria um banco de dados vazio, só com as tabelas\n"
               "  votarim-banco exemplo ARQUIVO   cria um banco com uma eleição de demonstração\n"
               "                                  (cargos, partidos, candidatos com foto e a\n"
               "                                  votação do dia de hoje)\n"
               "  votarim-banco resultado ARQUIVO AAAA-MM-DD [--csv | --pdf SAIDA]\n"
               "                                  o resultado do dia, lido do banco sem alterá-lo,\n"
               "                                  com a impressão digital (SHA-256) do relatório:\n"
               "                                  em texto, em CSV ou o relatório em PDF (SAIDA)\n"
               "  votarim-banco confere ARQUIVO [AAAA-MM-DD]\n"
               "                                  confere, sem alterar o banco, tudo o que faria a\n"
               "                                  votação do dia (hoje, se omitido) dar errado: uma\n"
               "                                  linha por problema; sai com 0 sem problemas, 1 com\n"
               "                                  algum, 2 se o banco não puder ser lido\n"
               "Em novo e exemplo o ARQUIVO não pode existir: um banco existente nunca é substituído.\n"
               "Em resultado e confere o banco não pode estar aberto pelo Votarim.\n",
               saida);
}
void abreParaLeitura(Database &db, const QString &arquivo)
{
    Esquema::prepara(db);
    db.setConnectionString(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1;Mode=Read").arg(arquivo));
    db.open();
}

bool escreveSaida(const QByteArray &bytes)
{
    if (std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) != size_t(bytes.size()) ||
        std::fflush(stdout) != 0) {
        std::fprintf(stderr, "Não foi possível escrever o resultado na saída\n");
        return false;
    }
    return true;
}

} // namespace Banco
