// The usage text and the writing of a command's output, shared by every command.

#include "comandos.h"

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
               "Em novo e exemplo o ARQUIVO não pode existir: um banco existente nunca é substituído.\n"
               "Em resultado o banco não pode estar aberto pelo Votarim.\n",
               saida);
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
