#include "leitura.h"
#include "comandos.h"

#include "data/database.h"
#include "data/dberror.h"
#include "data/esquema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#include <sys/stat.h>

#include <cstdio>

namespace Banco
{

QDate diaDoArgumento(const QString &texto)
{
    static const QRegularExpression forma(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    const QDate data = QDate::fromString(texto, Qt::ISODate);
    if (!forma.match(texto).hasMatch() || !data.isValid()) {
        std::fprintf(stderr, "Dia inválido: \"%s\" (use AAAA-MM-DD, por exemplo 2024-10-06)\n", qPrintable(texto));
        return {};
    }
    return data;
}

QString mensagemDeLeitura(const std::exception &e, const QString &arquivo)
{
    if (const auto *erro = dynamic_cast<const DbError *>(&e)) {
        const int codigo = erro->code() & 0xff;
        if (codigo == 5 /* SQLITE_BUSY */ || codigo == 6 /* SQLITE_LOCKED */)
            return QStringLiteral("O banco de dados %1 está aberto pelo Votarim (ou por outro programa): feche-o e "
                                  "repita")
                .arg(arquivo);
    }
    return QString::fromUtf8(e.what());
}

bool gravaArquivoNovo(const QString &caminho, const QByteArray &bytes, const QString &banco)
{
    struct stat st;
    try {
        if (::lstat(QFile::encodeName(caminho).constData(), &st) == 0)
            throw std::runtime_error(
                QStringLiteral("%1: já existe; um arquivo existente nunca é substituído").arg(caminho).toStdString());
        gravaArquivo(caminho, banco, bytes);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return false;
    }
    return true;
}

} // namespace Banco
