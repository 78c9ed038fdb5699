#include "platform/bitmap.h"

#include "data/dberror.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QtEndian>

namespace Bitmap
{

namespace
{

// Refuses what is no bitmap and a header that claims more than kLadoMaximo pixels a side.
void confereCabecalho(const QByteArray &cabecalho, const QString &nome)
{
    const QString sufixo = nome.isEmpty() ? QString() : QStringLiteral(": ") + nome;
    // File header (14 bytes: "BM", size, reserved, offset), then the size of the
    // information header and the dimensions: 16-bit in the old 12-byte header, 32-bit
    // (height negative for a picture stored top down) in every later one.
    if (cabecalho.size() < 26 || !cabecalho.startsWith("BM"))
        throw DbError(QStringLiteral("A imagem bitmap não é válida") + sufixo);
    const auto *b = reinterpret_cast<const uchar *>(cabecalho.constData());
    const quint32 tamanhoInfo = qFromLittleEndian<quint32>(b + 14);
    qint64 largura, altura;
    if (tamanhoInfo == 12) {
        largura = qFromLittleEndian<quint16>(b + 18);
        altura = qFromLittleEndian<quint16>(b + 20);
    } else if (tamanhoInfo >= 40) {
        largura = qFromLittleEndian<qint32>(b + 18);
        altura = qFromLittleEndian<qint32>(b + 22);
    } else {
        throw DbError(QStringLiteral("A imagem bitmap não é válida") + sufixo);
    }
    largura = qAbs(largura);
    altura = qAbs(altura);
    if (largura > kLadoMaximo || altura > kLadoMaximo)
        throw DbError(
            QStringLiteral("A imagem bitmap%1 declara %2 × %3 pixels; o limite é de %4 pixels de cada lado")
                .arg(nome.isEmpty() ? QString() : QStringLiteral(" ") + nome)
                .arg(largura)
                .arg(altura)
                .arg(kLadoMaximo));
}

QImage le(QIODevice *origem, const QString &nome)
{
    QImageReader leitor(origem, "BMP");
    leitor.setDecideFormatFromContent(false);
    const QImage imagem = leitor.read();
    if (imagem.isNull())
        throw DbError(QStringLiteral("A imagem bitmap não é válida") +
                      (nome.isEmpty() ? QString() : QStringLiteral(": ") + nome));
    return imagem;
}

} // namespace

QImage carrega(const QString &caminho, const QString &nome)
{
    QFile arquivo(caminho);
    if (!arquivo.open(QIODevice::ReadOnly))
        throw DbError(
            QStringLiteral("Não foi possível abrir a imagem %1: %2").arg(caminho, arquivo.errorString()));
    confereCabecalho(arquivo.read(26), nome);
    if (!arquivo.seek(0)) throw DbError(QStringLiteral("Não foi possível ler a imagem %1").arg(caminho));
    return le(&arquivo, nome);
}

QImage deBytes(const QByteArray &bytes, const QString &nome)
{
    confereCabecalho(bytes.left(26), nome);
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return le(&buffer, nome);
}

} // namespace Bitmap
