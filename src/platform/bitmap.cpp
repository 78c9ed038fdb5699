#include "platform/bitmap.h"

#include "data/dberror.h"

#include <QFile>
#include <QImageReader>
#include <QtEndian>

namespace Bitmap
{

QImage carrega(const QString &caminho, const QString &nome)
{
    const QString sufixo = nome.isEmpty() ? QString() : QStringLiteral(": ") + nome;
    const auto invalida = [&] { return DbError(QStringLiteral("A imagem bitmap não é válida") + sufixo); };

    QFile arquivo(caminho);
    if (!arquivo.open(QIODevice::ReadOnly))
        throw DbError(
            QStringLiteral("Não foi possível abrir a imagem %1: %2").arg(caminho, arquivo.errorString()));
    // File header (14 bytes: "BM", size, reserved, offset of the pixels), then the
    // size of the information header and the dimensions: 16-bit in the old 12-byte
    // header, 32-bit (height negative for a picture stored top down) in every later
    // one; then the bits per pixel and, from the 40-byte header on, the compression
    // and the size of the compressed pixels.
    const QByteArray cabecalho = arquivo.read(54);
    if (cabecalho.size() < 26 || !cabecalho.startsWith("BM")) throw invalida();
    const auto *b = reinterpret_cast<const uchar *>(cabecalho.constData());
    const quint32 tamanhoInfo = qFromLittleEndian<quint32>(b + 14);
    qint64 largura, altura;
    int bits;
    quint32 compressao = 0, tamanhoComprimido = 0;
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
    const qint64 presentes = qMax<qint64>(0, arquivo.size() - qFromLittleEndian<quint32>(b + 10));
    if (presentes < declarados)
        throw DbError(QStringLiteral("A imagem bitmap%1 está incompleta: declara %2 bytes de pixels e tem %3")
                          .arg(nome.isEmpty() ? QString() : QStringLiteral(" ") + nome)
                          .arg(declarados)
                          .arg(presentes));
    arquivo.close();

    QImageReader leitor(caminho, "BMP");
    leitor.setDecideFormatFromContent(false);
    const QImage imagem = leitor.read();
    if (imagem.isNull()) throw invalida();
    return imagem;
}

} // namespace Bitmap
