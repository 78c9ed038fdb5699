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
               "  votarim-banco zero ARQUIVO AAAA-MM-DD\n"
               "                                  o relatório de zeros que abre o dia: cada cargo\n"
               "                                  com seus candidatos a 0 votos e as impressões\n"
               "                                  digitais; recusado quando o dia já tem votos\n"
               "  votarim-banco chave PASTA N     cria o par de chaves do terminal N: PASTA/N.key\n"
               "                                  (privada, só do dono) e PASTA/N.pub (pública)\n"
               "  votarim-banco boletim ARQUIVO AAAA-MM-DD --terminal N --chave PASTA/N.key\n"
               "                --saida BOLETIM   o boletim assinado do terminal N para o dia\n"
               "  votarim-banco totaliza --chaves PASTA BOLETIM... [--csv]\n"
               "                                  confere cada boletim com PASTA/N.pub e soma os\n"
               "                                  aceitos; saída 1 (totais \"PARCIAL\") se algum\n"
               "                                  for recusado\n"
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
