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

// Refuses what is no bitmap, a header that claims more than kLadoMaximo pixels a side,
// and a file shorter than the pixels its header declares. `cabecalho` is the file's
// first 54 bytes (or all of it, when shorter); `tamanho` the whole file's size.
void confereCabecalho(const QByteArray &cabecalho, qint64 tamanho, const QString &nome)
{
    const QString sufixo = nome.isEmpty() ? QString() : QStringLiteral(": ") + nome;
    const auto invalida = [&] { return DbError(QStringLiteral("A imagem bitmap não é válida") + sufixo); };
    // File header (14 bytes: "BM", size, reserved, offset of the pixels), then the
    // size of the information header and the dimensions: 16-bit in the old 12-byte
    // header, 32-bit (height negative for a picture stored top down) in every later
    // one; then the bits per pixel and, from the 40-byte header on, the compression
    // and the size of the compressed pixels.
    if (cabecalho.size() < 26 || !cabecalho.startsWith("BM")) throw invalida();
    const auto *b = reinterpret_cast<const uchar *>(cabecalho.constData());
    const quint32 tamanhoInfo = qFromLittleEndian<quint32>(b + 14);
    qint64 largura, altura;
    quint32 bits = 0, compressao = 0, tamanhoComprimido = 0;
    if (tamanhoInfo == 12) {
        largura = qFromLittleEndian<quint16>(b + 18);
        altura = qFromLittleEndian<quint16>(b + 20);
        bits = qFromLittleEndian<quint16>(b + 24);
    } else if (tamanhoInfo >= 40 && cabecalho.size() == 54) {
        largura = qFromLittleEndian<qint32>(b + 18);
        altura = qFromLittleEndian<qint32>(b + 22);
        bits = qFromLittleEndian<quint16>(b + 28);
        compressao = qFromLittleEndian<quint32>(b + 30);
        tamanhoComprimido = qFromLittleEndian<quint32>(b + 34);
    } else {
        throw invalida();
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
    // Pixels the file declares and does not hold would be drawn from whatever memory
    // the picture got: noise on the screen instead of a refusal.
    qint64 declarados;
    if (compressao == 1 || compressao == 2) { // run-length: the header gives the size
        declarados = tamanhoComprimido;
    } else {
        if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) throw invalida();
        declarados = (largura * bits + 31) / 32 * 4 * altura; // rows padded to 4 bytes
    }
    const qint64 presentes = qMax<qint64>(0, tamanho - qFromLittleEndian<quint32>(b + 10));
    if (presentes < declarados)
        throw DbError(QStringLiteral("A imagem bitmap%1 está incompleta: declara %2 bytes de pixels e tem %3")
                          .arg(nome.isEmpty() ? QString() : QStringLiteral(" ") + nome)
                          .arg(declarados)
                          .arg(presentes));
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
    confereCabecalho(arquivo.read(54), arquivo.size(), nome);
    if (!arquivo.seek(0)) throw DbError(QStringLiteral("Não foi possível ler a imagem %1").arg(caminho));
    return le(&arquivo, nome);
}

QImage deBytes(const QByteArray &bytes, const QString &nome)
{
    confereCabecalho(bytes.left(54), bytes.size(), nome);
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return le(&buffer, nome);
}

} // namespace Bitmap
