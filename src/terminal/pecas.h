#pragma once

// The pieces of the terminal window that draw themselves: the keypad's keys, the
// flat digit boxes, and the pictures stored with the program.

#include "platform/rotuloclicavel.h"

#include <QImage>
#include <QLineEdit>
#include <QPixmap>
#include <functional>

class QPainter;

namespace Desenhos {
enum class Tecla;
}

// A keypad key: a picture drawn for its face that takes clicks.
class TeclaImagem : public RotuloClicavel
{
    Q_OBJECT
public:
    TeclaImagem(Desenhos::Tecla tipo, const QString &rotulo, QWidget *parent);

protected:
    void paintEvent(QPaintEvent *) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;

private:
    Desenhos::Tecla m_tipo;
    QString m_rotulo;
    // The face drawn once per state (up, pressed) at the screen's pixel ratio.
    QPixmap m_faces[2];
};

// A digit box: flat, a one-pixel line instead of a sunken 3-D border (drawn here
// rather than through a style sheet, which would slow every repaint of a digit).
class CaixaDigito : public QLineEdit
{
public:
    using QLineEdit::QLineEdit;

protected:
    void paintEvent(QPaintEvent *e) override;
};

// A picture as stored with the program, when the screen has one device pixel per
// pixel; otherwise drawn here, sharp at the screen's ratio.
QPixmap figura(const QString &nome, QSize tamanho, qreal dpr, const std::function<void(QPainter &)> &desenha);

// A picture stored with the program, or drawn when none is stored.
QImage imagemGuardada(const QString &nome, QImage (*desenha)());
