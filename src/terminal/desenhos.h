#pragma once

#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QRectF>
#include <QString>

// The terminal's pictures drawn as vectors with QPainter, so the keypad, logo and
// banner stay sharp at any device pixel ratio without shipping image files.
namespace Desenhos {

enum class Tecla { Digito, Branco, Corrige, Confirma };

// Draws one keypad key face filling rect (device-independent pixels).
// Digito: black face, white digit (rotulo is "0".."9") followed by its Braille cell in grey dots.
// Branco: white face; Corrige: orange face; Confirma: green face; each with the black word
// ("BRANCO", "CORRIGE", "CONFIRMA", given in rotulo) over a row of Braille dots spelling the word.
// pressionada: drawn darker and pushed down, as a key being pressed.
void desenhaTecla(QPainter &p, const QRectF &rect, Tecla tipo, const QString &rotulo,
                  bool pressionada = false);

// The built-in logo, 100 x 69, 24-bit, shown at the top of the terminal.
QImage logoPadrao();

// The fixed banner picture, 225 x 50 at its natural size, at the top of the keypad column.
void desenhaBanner(QPainter &p, const QRectF &rect);

// The window icon: one 72 x 72 image in 24-bit colour.
QImage imagemIcone();

// The same pictures drawn at build time at one device pixel and stored with the
// program, so that the start-up shows them without drawing: "logo", "icone",
// "banner" and nomeDaTecla(...). Null for a name not stored.
QImage pronta(const QString &nome);
QString nomeDaTecla(const QString &rotulo, bool pressionada);

} // namespace Desenhos
