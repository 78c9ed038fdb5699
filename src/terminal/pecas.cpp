#include "terminal/pecas.h"

#include "terminal/desenhos.h"

#include <QPainter>

QPixmap figura(const QString &nome, QSize tamanho, qreal dpr, const std::function<void(QPainter &)> &desenha)
{
    if (dpr == 1) {
        const QImage pronta = Desenhos::pronta(nome);
        if (pronta.size() == tamanho) return QPixmap::fromImage(pronta);
    }
    QPixmap pm(tamanho * dpr);
    pm.setDevicePixelRatio(dpr);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    desenha(p);
    return pm;
}

QImage imagemGuardada(const QString &nome, QImage (*desenha)())
{
    const QImage pronta = Desenhos::pronta(nome);
    return pronta.isNull() ? desenha() : pronta;
}

void CaixaDigito::paintEvent(QPaintEvent *e)
{
    QLineEdit::paintEvent(e);
    QPainter p(this);
    p.setPen(Qt::black);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

TeclaImagem::TeclaImagem(Desenhos::Tecla tipo, const QString &rotulo, QWidget *parent)
    : RotuloClicavel(parent), m_tipo(tipo), m_rotulo(rotulo)
{
    setCursor(Qt::PointingHandCursor);
    setAccessibleName(rotulo);
}

void TeclaImagem::paintEvent(QPaintEvent *)
{
    QPixmap &face = m_faces[pressionado() ? 1 : 0];
    const qreal dpr = devicePixelRatioF();
    if (face.isNull() || face.devicePixelRatio() != dpr || face.deviceIndependentSize() != QSizeF(size()))
        face = figura(Desenhos::nomeDaTecla(m_rotulo, pressionado()), size(), dpr, [this](QPainter &p) {
            Desenhos::desenhaTecla(p, QRectF(rect()), m_tipo, m_rotulo, pressionado());
        });
    QPainter(this).drawPixmap(0, 0, face);
}

void TeclaImagem::mousePressEvent(QMouseEvent *e)
{
    RotuloClicavel::mousePressEvent(e);
    update();
}

void TeclaImagem::mouseReleaseEvent(QMouseEvent *e)
{
    update(); // before the click's handler runs, so the key is seen released
    RotuloClicavel::mouseReleaseEvent(e);
}
