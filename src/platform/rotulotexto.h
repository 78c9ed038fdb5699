#pragma once

#include <QLabel>

// A label for texts that come from the database or from a file: shown as they are,
// never read as HTML. A name such as "<img src=...>" would otherwise make the label
// read a file (or allocate without end), and "<font size=7>" would restyle the screen.
class RotuloTexto : public QLabel
{
  public:
    explicit RotuloTexto(QWidget *parent = nullptr) : QLabel(parent) { setTextFormat(Qt::PlainText); }
    RotuloTexto(const QString &texto, QWidget *parent) : RotuloTexto(parent) { setText(texto); }
};
