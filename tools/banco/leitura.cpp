#include "leitura.h"

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

void abreParaLeitura(Database &db, const QString &arquivo)
{
    if (!QFileInfo(arquivo).isFile())
        throw std::runtime_error(
            QStringLiteral("O banco de dados %1 não foi encontrado").arg(arquivo).toStdString());
    Esquema::prepara(db);
    db.setConnectionString(
        QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1;Mode=Read").arg(arquivo));
    db.open();
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
    const auto recusa = [&](const QString &motivo) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(caminho), qPrintable(motivo));
        return false;
    };
    struct stat st;
    if (::lstat(QFile::encodeName(caminho).constData(), &st) == 0)
        return recusa(QStringLiteral("já existe; um arquivo existente nunca é substituído"));
    if (!banco.isEmpty()) {
        // The path may name the database through another spelling (../x, a linked folder).
        const QString pasta = QFileInfo(QFileInfo(caminho).absolutePath()).canonicalFilePath();
        const QString alvo = QDir(pasta).filePath(QFileInfo(caminho).fileName());
        const QString db = QFileInfo(banco).canonicalFilePath();
        for (const QString &s : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm"), QStringLiteral("-journal")})
            if (alvo == db + s) return recusa(QStringLiteral("é o banco de dados ou um arquivo dele"));
    }
    QSaveFile f(caminho);
    f.setDirectWriteFallback(false);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
        f.cancelWriting();
        return recusa(QStringLiteral("não foi possível gravar"));
    }
    // Checked again just before the rename: a file that appeared meanwhile is not replaced.
    if (::lstat(QFile::encodeName(caminho).constData(), &st) == 0) {
        f.cancelWriting();
        return recusa(QStringLiteral("já existe; um arquivo existente nunca é substituído"));
    }
    if (!f.commit()) return recusa(QStringLiteral("não foi possível gravar"));
    return true;
}

} // namespace Banco
