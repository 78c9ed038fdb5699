#include "reportengine/qrcode.h"
#include "reportengine/reporterror.h"

#include <qrencode.h>

#include <memory>

namespace ReportEngine
{

QList<QByteArray> qrContents(const QByteArray &text, const QString &prefix, int sliceBytes)
{
    QList<QByteArray> slices;
    qsizetype at = 0;
    while (at < text.size()) {
        qsizetype end = std::min(text.size(), at + qsizetype(std::max(sliceBytes, 4)));
        // Back to the start of a character: UTF-8 continuation bytes are 10xxxxxx.
        while (end < text.size() && end > at + 1 && (quint8(text[end]) & 0xC0) == 0x80)
            --end;
        slices << text.mid(at, end - at);
        at = end;
    }
    if (slices.isEmpty()) slices << QByteArray();
    QList<QByteArray> contents;
    const qsizetype n = slices.size();
    for (qsizetype k = 0; k < n; ++k)
        contents << QStringLiteral("%1 %2/%3\n").arg(prefix).arg(k + 1).arg(n).toUtf8() + slices[k];
    return contents;
}

QImage qrImage(const QByteArray &bytes, int scale)
{
    struct Free {
        void operator()(QRcode *c) const { QRcode_free(c); }
    };
    std::unique_ptr<QRcode, Free> code(QRcode_encodeData(
        int(bytes.size()), reinterpret_cast<const unsigned char *>(bytes.constData()), 0, QR_ECLEVEL_M));
    if (!code)
        throw ReportError(QStringLiteral("o texto não cabe num código QR (%1 bytes): use menos bytes por código")
                              .arg(bytes.size()));
    const int quiet = 4, side = code->width + 2 * quiet;
    QImage image(side * scale, side * scale, QImage::Format_Grayscale8);
    image.fill(255);
    for (int y = 0; y < code->width; ++y)
        for (int x = 0; x < code->width; ++x) {
            if (!(code->data[y * code->width + x] & 1)) continue;
            for (int dy = 0; dy < scale; ++dy) {
                uchar *line = image.scanLine((y + quiet) * scale + dy);
                std::fill(line + (x + quiet) * scale, line + (x + quiet + 1) * scale, uchar(0));
            }
        }
    return image;
}

} // namespace ReportEngine
