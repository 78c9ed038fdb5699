#pragma once

// The QR code item's work, apart from the layout: a text cut into slices of at
// most a given number of bytes, each code holding the line "PREFIX k/n" and then
// the k-th slice, so that the slices joined in order of k are the text exactly;
// and one code drawn as a picture.

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

namespace ReportEngine
{

// The contents of the codes, in order. Slices end on a whole UTF-8 character, so
// that a reader that decodes each code as text loses nothing. An empty text gives one
// code with the line alone.
QList<QByteArray> qrContents(const QByteArray &text, const QString &prefix, int sliceBytes);

// The code of the bytes (8-bit mode, error correction level M), black on white with
// the four-module quiet zone, `scale` pixels per module. Throws ReportError when
// the bytes do not fit a QR code.
QImage qrImage(const QByteArray &bytes, int scale);

} // namespace ReportEngine
