// The usage text and the writing of a command's output, shared by every command.

#include "comandos.h"

#include "data/database.h"
#include "data/esquema.h"
#include "reportengine/render.h"
#include "reports/ufrmimpressao.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <QTemporaryFile>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <sys/stat.h>

namespace
{

// The path with the links of its folders resolved; the file itself need not exist.
QString comPastaResolvida(const QString &caminho)
{
    const QFileInfo info(caminho);
    const QString pasta = QFileInfo(info.absolutePath()).canonicalFilePath();
    if (pasta.isEmpty()) return QDir::cleanPath(info.absoluteFilePath());
    return QDir(pasta).filePath(info.fileName());
}

// Every name under which a path can reach a file: as written, with its folders
// resolved, and (when it exists) with a link at the file itself followed.
QSet<QString> nomesDe(const QString &caminho)
{
    QSet<QString> nomes{QDir::cleanPath(QFileInfo(caminho).absoluteFilePath()), comPastaResolvida(caminho)};
    const QString canonico = QFileInfo(caminho).canonicalFilePath();
    if (!canonico.isEmpty()) nomes.insert(canonico);
    return nomes;
}

// The database and the files the engine keeps beside it while it works on it; the
// engine names them after the database's real file, so both names count.
QStringList arquivosDoBanco(const QString &banco)
{
    QStringList bases{QFileInfo(banco).absoluteFilePath()};
    const QString canonico = QFileInfo(banco).canonicalFilePath();
    if (!canonico.isEmpty()) bases << canonico;
    QStringList arquivos;
    for (const QString &base : bases)
        for (const char *sufixo : {"", "-wal", "-shm", "-journal"})
            arquivos << base + QLatin1String(sufixo);
    return arquivos;
}

bool mesmoArquivo(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The system's reason in the operator's words.
QString motivoDoSistema(int erro)
{
    switch (erro) {
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("a pasta não existe");
    case EACCES:
    case EPERM:
        return QStringLiteral("sem permissão de escrita");
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("o disco está cheio");
    case EROFS:
        return QStringLiteral("o disco é somente leitura");
    case EISDIR:
        return QStringLiteral("é uma pasta");
    default:
        return QStringLiteral("erro %1 do sistema").arg(erro);
    }
}

[[noreturn]] void recusa(const QString &motivo)
{
    throw std::runtime_error(motivo.toStdString());
}

} // namespace

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
               "  votarim-banco zero ARQUIVO AAAA-MM-DD [--pdf SAIDA]\n"
               "                                  o relatório de zeros que abre o dia: cada cargo\n"
               "                                  com seus candidatos a 0 votos e as impressões\n"
               "                                  digitais; recusado quando o dia já tem votos ou\n"
               "                                  quando a conferência do dia acha algum problema\n"
               "  votarim-banco chave PASTA N     cria o par de chaves do terminal N: PASTA/N.key\n"
               "                                  (privada, só do dono) e PASTA/N.pub (pública)\n"
               "  votarim-banco boletim ARQUIVO AAAA-MM-DD --terminal N --chave PASTA/N.key\n"
               "                --saida BOLETIM   o boletim assinado do terminal N para o dia\n"
               "  votarim-banco totaliza --chaves PASTA BOLETIM... [--csv | --pdf SAIDA]\n"
               "                                  confere cada boletim com PASTA/N.pub e soma os\n"
               "                                  aceitos; saída 1 (totais \"PARCIAL\") se algum\n"
               "                                  for recusado\n"
               "Em novo e exemplo o ARQUIVO não pode existir: um banco existente nunca é substituído.\n"
               "Em resultado e confere o banco não pode estar aberto pelo Votarim.\n",
               saida);
}
void abreParaLeitura(Database &db, const QString &arquivo)
{
    if (!QFileInfo(arquivo).isFile())
        throw DbError(QStringLiteral("O banco de dados %1 não foi encontrado").arg(arquivo));
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

QString saidaProibida(const QString &saida, const QString &banco)
{
    if (QFileInfo(saida).isDir())
        return QStringLiteral("A saída %1 é uma pasta: informe o nome de um arquivo").arg(saida);
    const QString proibida =
        QStringLiteral("A saída %1 é o banco de dados %2 ou um arquivo que o banco mantém ao lado dele: "
                       "escolha outro arquivo, o banco não é substituído")
            .arg(saida, banco);
    const QSet<QString> nomesDaSaida = nomesDe(saida);
    struct stat daSaida;
    const bool saidaExiste = ::stat(QFile::encodeName(saida).constData(), &daSaida) == 0;
    for (const QString &arquivo : arquivosDoBanco(banco)) {
        if (nomesDaSaida.intersects(nomesDe(arquivo))) return proibida;
        // A hard link has a name of its own and the same file behind it.
        struct stat doBanco;
        if (saidaExiste && ::stat(QFile::encodeName(arquivo).constData(), &doBanco) == 0 &&
            mesmoArquivo(daSaida, doBanco))
            return proibida;
    }
    return {};
}

void gravaArquivo(const QString &saida, const QString &banco,
                  const std::function<void(const QString &temporario)> &escreve)
{
    QString motivo = saidaProibida(saida, banco);
    if (!motivo.isEmpty()) recusa(motivo);
    const QFileInfo info(saida);
    // In the target's own folder, so the rename below never crosses file systems.
    QTemporaryFile temporario(
        QDir(info.absolutePath()).filePath(QStringLiteral(".%1.XXXXXX").arg(info.fileName())));
    if (!temporario.open())
        recusa(QStringLiteral("Não foi possível gravar %1: %2").arg(saida, motivoDoSistema(errno)));
    temporario.close();
    const QByteArray nomeTemporario = QFile::encodeName(temporario.fileName());
    // The permissions of any new file, not the private ones of a temporary file.
    const mode_t mascara = ::umask(0);
    ::umask(mascara);
    if (::chmod(nomeTemporario.constData(), 0666 & ~mascara) != 0)
        recusa(QStringLiteral("Não foi possível gravar %1: %2").arg(saida, motivoDoSistema(errno)));
    escreve(temporario.fileName());
    // Checked again at the last moment: the target may have changed while the file was written.
    motivo = saidaProibida(saida, banco);
    if (!motivo.isEmpty()) recusa(motivo);
    // rename() replaces a link at the target by the file; it never writes through it.
    if (::rename(nomeTemporario.constData(), QFile::encodeName(saida).constData()) != 0)
        recusa(QStringLiteral("Não foi possível gravar %1: %2").arg(saida, motivoDoSistema(errno)));
    temporario.setAutoRemove(false); // its name is the target's now
}

void gravaRelatorio(Tfrmimpressao &modulo, const QString &nome, const QString &saida, const QString &banco)
{
    const QString caminho = modulo.relatorio->ProjectFile;
    // Only a regular file: reading a FIFO or a device would wait forever.
    if (!QFileInfo(caminho).isFile())
        recusa(QStringLiteral("O projeto de relatórios %1 não foi encontrado").arg(caminho));
    const auto paginas = modulo.relatorio->prepareReport(nome);
    if (!paginas) recusa(QStringLiteral("O projeto %1 não tem o relatório %2").arg(caminho, nome));
    gravaArquivo(saida, banco, [&](const QString &temporario) {
        if (!ReportEngine::writePdf(*paginas, temporario, QStringLiteral("Votarim")))
            recusa(QStringLiteral("A geração do relatório foi interrompida"));
    });
}

void gravaArquivo(const QString &saida, const QString &banco, const QByteArray &bytes)
{
    gravaArquivo(saida, banco, [&](const QString &temporario) {
        QSaveFile arquivo(temporario);
        if (!arquivo.open(QIODevice::WriteOnly) || arquivo.write(bytes) != bytes.size() || !arquivo.commit())
            recusa(QStringLiteral("Não foi possível gravar %1: %2").arg(saida, motivoDoSistema(errno)));
    });
}

} // namespace Banco
