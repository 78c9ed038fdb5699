#include "terminal/desenhos.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainterPath>
#include <QPolygonF>
#include <QRadialGradient>
#include <algorithm>

namespace {

// Tahoma is registered by the program at start-up; until then (or when it is
// missing) DejaVu Sans stands in. Only a positive answer is remembered, since
// the font may be registered after the first drawing.
QString familia()
{
    static bool temTahoma = false; // drawing happens on the GUI thread only
    if (!temTahoma) temTahoma = QFontDatabase::hasFamily(QStringLiteral("Tahoma"));
    return temTahoma ? QStringLiteral("Tahoma") : QStringLiteral("DejaVu Sans");
}

QFont fonte(qreal pixels, bool negrito)
{
    QFont f(familia());
    f.setPixelSize(std::max(1, qRound(pixels)));
    f.setBold(negrito);
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

// ---- Braille --------------------------------------------------------------

// A cell as a bit set: bit n-1 is dot n. Dots 1-2-3 are the left column top to
// bottom, 4-5-6 the right one.
constexpr quint8 pontos(std::initializer_list<int> lista)
{
    quint8 b = 0;
    for (int n : lista)
        b |= quint8(1u << (n - 1));
    return b;
}

// Letters a to j; the rest of the alphabet and the digits are built from these.
constexpr quint8 primeiraDezena[10] = {
    pontos({1}),       pontos({1, 2}),       pontos({1, 4}),    pontos({1, 4, 5}), pontos({1, 5}),
    pontos({1, 2, 4}), pontos({1, 2, 4, 5}), pontos({1, 2, 5}), pontos({2, 4}),    pontos({2, 4, 5}),
};

quint8 celula(QChar c)
{
    const char16_t u = QChar::toLower(c.unicode());
    if (u >= u'1' && u <= u'9') return primeiraDezena[u - u'1'];
    if (u == u'0') return primeiraDezena[9];
    if (u >= u'a' && u <= u'j') return primeiraDezena[u - u'a'];
    if (u >= u'k' && u <= u't') return primeiraDezena[u - u'k'] | pontos({3});
    if (u == u'w') return primeiraDezena[9] | pontos({6});
    if (u >= u'u' && u <= u'z') {
        static constexpr int base[] = {0, 1, -1, 2, 3, 4}; // u v (w) x y z
        const int i = base[u - u'u'];
        return i < 0 ? 0 : quint8(primeiraDezena[i] | pontos({3, 6}));
    }
    return 0;
}

// A raised dot: a soft shadow below-right and a grey dome lit from the top left.
void desenhaPonto(QPainter &p, const QPointF &c, qreal r, int sombra)
{
    p.setPen(Qt::NoPen);
    if (sombra > 0) {
        p.setBrush(QColor(0, 0, 0, sombra));
        p.drawEllipse(c + QPointF(r * 0.3, r * 0.4), r * 1.05, r * 1.05);
    }
    QRadialGradient g(c - QPointF(r * 0.35, r * 0.45), r * 1.6);
    g.setColorAt(0.0, QColor(236, 236, 236));
    g.setColorAt(0.55, QColor(170, 170, 170));
    g.setColorAt(1.0, QColor(105, 105, 105));
    p.setBrush(g);
    p.drawEllipse(c, r, r);
}

// primeiro is the centre of dot 1; d the distance between neighbouring dots.
void desenhaCelula(QPainter &p, const QPointF &primeiro, qreal d, qreal r, quint8 bits, int sombra)
{
    for (int n = 0; n < 6; ++n) {
        if (!(bits & (1u << n))) continue;
        const qreal x = primeiro.x() + (n < 3 ? 0 : d);
        const qreal y = primeiro.y() + (n % 3) * d;
        desenhaPonto(p, QPointF(x, y), r, sombra);
    }
}

// ---- Keys -----------------------------------------------------------------

struct Estilo {
    QColor topo, base; // face gradient
    QColor lado;       // the key's side, seen below the face
    QColor borda;
    QColor texto;
    qreal larguraNominal;
    int sombraPonto;
    int brilho; // strength of the highlight along the upper edge
};

Estilo estilo(Desenhos::Tecla t)
{
    using enum Desenhos::Tecla;
    switch (t) {
    case Branco:
        return {.topo = QColor(0xff, 0xff, 0xff),
                .base = QColor(0xdc, 0xdc, 0xd4),
                .lado = QColor(0x8e, 0x8e, 0x86),
                .borda = QColor(0x70, 0x70, 0x6a),
                .texto = Qt::black,
                .larguraNominal = 67,
                .sombraPonto = 110,
                .brilho = 200};
    case Corrige:
        return {.topo = QColor(0xff, 0xa4, 0x48),
                .base = QColor(0xe8, 0x74, 0x0c),
                .lado = QColor(0x8c, 0x42, 0x04),
                .borda = QColor(0x7a, 0x3c, 0x06),
                .texto = Qt::black,
                .larguraNominal = 67,
                .sombraPonto = 60,
                .brilho = 150};
    case Confirma:
        return {.topo = QColor(0x42, 0xc0, 0x60),
                .base = QColor(0x17, 0x86, 0x34),
                .lado = QColor(0x0a, 0x4a, 0x1a),
                .borda = QColor(0x0b, 0x46, 0x1b),
                .texto = Qt::black,
                .larguraNominal = 67,
                .sombraPonto = 60,
                .brilho = 140};
    case Digito:
        break;
    }
    // Dark dots on a black key would not show, so the digit's cell has no shadow.
    return {.topo = QColor(0x44, 0x44, 0x44),
            .base = QColor(0x10, 0x10, 0x10),
            .lado = QColor(0x2c, 0x2c, 0x2c),
            .borda = QColor(0x60, 0x60, 0x60),
            .texto = Qt::white,
            .larguraNominal = 45,
            .sombraPonto = 0,
            .brilho = 70};
}

// Tahoma's bold face is only slightly heavier than the regular one; the key
// words are printed heavier, so the outline is traced with a thin pen as well.
void escreveCheio(QPainter &p, const QPointF &linhaBase, const QString &texto, const QFont &f,
                  const QColor &cor)
{
    QPainterPath contorno;
    contorno.addText(linhaBase, f, texto);
    p.fillPath(contorno, cor);
    p.strokePath(contorno, QPen(cor, f.pixelSize() * 0.045, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
}

QPainterPath retanguloArredondado(const QRectF &r, qreal raio)
{
    QPainterPath c;
    c.addRoundedRect(r, raio, raio);
    return c;
}

void desenhaConteudoDigito(QPainter &p, const QRectF &face, const QString &rotulo, const Estilo &e)
{
    const QFont f = fonte(face.height() * 0.62, true);
    p.setFont(f);
    const QFontMetricsF m(f, p.device());
    const QString digito = rotulo.left(1);
    const qreal avanco = m.horizontalAdvance(digito);

    const qreal d = face.height() * 0.118;
    const qreal r = d * 0.4;
    const qreal separacao = d * 0.9;
    const qreal larguraGrupo = avanco + separacao + d + 2 * r;
    const qreal x0 = face.center().x() - larguraGrupo / 2;
    const qreal linhaBase = face.center().y() + m.capHeight() / 2;

    p.setPen(e.texto);
    p.drawText(QPointF(x0, linhaBase), digito);

    const quint8 bits = digito.isEmpty() ? 0 : celula(digito.at(0));
    desenhaCelula(p, QPointF(x0 + avanco + separacao + r, face.center().y() - d), d, r, bits, e.sombraPonto);
}

void desenhaConteudoPalavra(QPainter &p, const QRectF &face, const QString &palavra, const Estilo &e, qreal u)
{
    const qreal margem = 4 * u;
    const qreal largura = face.width() - 2 * margem;

    // The word is sized from the key's height, then shrunk until it fits across.
    qreal pixels = std::min(face.height() * 0.36, 12.5 * u);
    QFont f = fonte(pixels, true);
    while (pixels > 5 && QFontMetricsF(f, p.device()).horizontalAdvance(palavra) > largura) {
        pixels -= 0.5;
        f = fonte(pixels, true);
    }
    p.setFont(f);
    const QFontMetricsF m(f, p.device());

    // Dot spacing is taken from the longest word so the three keys share one dot size.
    const int n = int(palavra.size());
    const qreal passoCelula = 2.55;
    const qreal d = std::min(face.height() * 0.085, largura / ((std::max(n, 8) - 1) * passoCelula + 1.7));
    const qreal r = d * 0.42;
    const qreal passo = d * passoCelula;

    const qreal altura = m.capHeight() + d * 1.5 + 2 * d + 2 * r;
    const qreal topo = face.center().y() - altura / 2;
    const qreal linhaBase = topo + m.capHeight();

    escreveCheio(p, QPointF(face.center().x() - m.horizontalAdvance(palavra) / 2, linhaBase), palavra, f,
                 e.texto);

    const qreal larguraBraille = (n - 1) * passo + d;
    const QPointF primeiro(face.center().x() - larguraBraille / 2, linhaBase + d * 1.5 + r);
    for (int i = 0; i < n; ++i)
        desenhaCelula(p, primeiro + QPointF(i * passo, 0), d, r, celula(palavra.at(i)), e.sombraPonto);
}

// ---- The product mark -------------------------------------------------------

constexpr QColor azulEscuro(0x0f, 0x2a, 0x5c);
constexpr QColor verde(0x1d, 0x9a, 0x3d);

// A ballot box with a marked ballot going into its slot. Drawn in a 100 x 100
// frame whose content spans roughly x 12..88 and y 6..93, fitted into area.
void desenhaMarca(QPainter &p, const QRectF &area)
{
    const QRectF conteudo(12, 6, 76, 87);
    const qreal s = std::min(area.width() / conteudo.width(), area.height() / conteudo.height());
    p.save();
    p.translate(area.center());
    p.scale(s, s);
    p.translate(-conteudo.center());

    // Lid, seen from slightly above.
    QPolygonF tampa;
    tampa << QPointF(12, 60) << QPointF(88, 60) << QPointF(80, 47) << QPointF(20, 47);
    QLinearGradient gt(0, 47, 0, 60);
    gt.setColorAt(0, QColor(0x5b, 0x8a, 0xd0));
    gt.setColorAt(1, QColor(0x2f, 0x5c, 0xa3));
    p.setPen(QPen(azulEscuro, 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(gt);
    p.drawPolygon(tampa);

    const QRectF fenda(31, 51.5, 38, 4);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x08, 0x15, 0x30));
    p.drawRoundedRect(fenda, 2, 2);

    // The ballot shows only above the middle of the slot: the rest is inside the box.
    p.save();
    p.setClipRect(QRectF(0, 0, 100, fenda.center().y()), Qt::IntersectClip);
    p.translate(50, fenda.center().y());
    p.rotate(-9);
    const QRectF cedula(-16, -46, 32, 50);
    p.setPen(QPen(QColor(0x7d, 0x8c, 0xa3), 1.2));
    p.setBrush(Qt::white);
    p.drawRect(cedula);
    p.setPen(QPen(QColor(0xc2, 0xcb, 0xd8), 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(-10, -38), QPointF(10, -38));
    p.drawLine(QPointF(-10, -32), QPointF(4, -32));
    QPainterPath visto;
    visto.moveTo(-9, -18);
    visto.lineTo(-3, -11);
    visto.lineTo(10, -27);
    p.setPen(QPen(verde, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(visto);
    p.restore();

    // Front of the box.
    const QRectF frente(12, 60, 76, 33);
    QLinearGradient gf(0, frente.top(), 0, frente.bottom());
    gf.setColorAt(0, QColor(0x27, 0x50, 0x96));
    gf.setColorAt(1, QColor(0x0f, 0x2a, 0x5c));
    p.setPen(QPen(azulEscuro, 1.2));
    p.setBrush(gf);
    p.drawPath(retanguloArredondado(frente, 2.5));
    p.setPen(QPen(QColor(255, 255, 255, 70), 1.2));
    p.drawLine(QPointF(14, 61.6), QPointF(86, 61.6));
    // A green band across the front, as a seal.
    p.setPen(Qt::NoPen);
    p.setBrush(verde);
    p.drawRect(QRectF(12.6, 72, 74.8, 6));
    p.setBrush(QColor(0xf2, 0xc5, 0x11));
    p.drawRect(QRectF(12.6, 78, 74.8, 2));
    p.restore();
}

} // namespace

namespace Desenhos {

void desenhaTecla(QPainter &p, const QRectF &rect, Tecla tipo, const QString &rotulo, bool pressionada)
{
    if (rect.width() < 4 || rect.height() < 4) return;
    const Estilo e = estilo(tipo);
    // One unit is a pixel of the key at its natural size; everything but the text layout follows it.
    const qreal u = std::min(rect.width() / e.larguraNominal, rect.height() / 35.0);
    const qreal lado = 2.5 * u;
    const qreal raio = 5 * u;
    const qreal traco = std::max(1.0, u);

    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    // The side of the key shows as a dark lip under the face; pressing the key
    // sinks the face over most of it.
    QRectF face(rect.x(), rect.y(), rect.width(), rect.height() - lado);
    if (pressionada) face.translate(0, lado * 0.7);

    const qreal meio = traco / 2;
    p.setPen(QPen(e.borda.darker(130), traco));
    p.setBrush(e.lado);
    p.drawPath(retanguloArredondado(rect.adjusted(meio, meio, -meio, -meio), raio));

    QColor topo = e.topo, base = e.base;
    if (pressionada) {
        topo = topo.darker(118);
        base = base.darker(118);
    }
    QLinearGradient g(face.topLeft(), face.bottomLeft());
    g.setColorAt(0, topo);
    g.setColorAt(0.55, QColor::fromRgbF((topo.redF() + base.redF() * 2) / 3,
                                        (topo.greenF() + base.greenF() * 2) / 3,
                                        (topo.blueF() + base.blueF() * 2) / 3));
    g.setColorAt(1, base);
    p.setPen(QPen(e.borda, traco));
    p.setBrush(g);
    p.drawPath(retanguloArredondado(face.adjusted(meio, meio, -meio, -meio), raio));

    // Light catching the upper edge, fading towards the middle of the face.
    const QRectF dentro = face.adjusted(traco * 1.5, traco * 1.5, -traco * 1.5, -traco * 1.5);
    QLinearGradient brilho(dentro.topLeft(), QPointF(dentro.left(), dentro.top() + dentro.height() * 0.5));
    brilho.setColorAt(0, QColor(255, 255, 255, pressionada ? e.brilho / 3 : e.brilho));
    brilho.setColorAt(1, QColor(255, 255, 255, 0));
    p.setPen(QPen(QBrush(brilho), traco));
    p.setBrush(Qt::NoBrush);
    p.drawPath(retanguloArredondado(dentro, std::max(0.0, raio - traco)));

    if (tipo == Tecla::Digito)
        desenhaConteudoDigito(p, face, rotulo, e);
    else
        desenhaConteudoPalavra(p, face, rotulo, e, u);
    p.restore();
}

QImage logoPadrao()
{
    QImage img(100, 69, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    desenhaMarca(p, QRectF(25, 2, 50, 45));

    const QString nome = QStringLiteral("Votarim");
    QFont f = fonte(17, true);
    qreal pixels = 17;
    while (pixels > 8 && QFontMetricsF(f).horizontalAdvance(nome) > 94) {
        pixels -= 1;
        f = fonte(pixels, true);
    }
    escreveCheio(p, QPointF(50 - QFontMetricsF(f).horizontalAdvance(nome) / 2, 65), nome, f, azulEscuro);
    return img;
}

void desenhaBanner(QPainter &p, const QRectF &rect)
{
    if (rect.isEmpty()) return;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setClipRect(rect, Qt::IntersectClip);
    p.translate(rect.topLeft());
    p.scale(rect.width() / 225.0, rect.height() / 50.0);

    QLinearGradient fundo(0, 0, 225, 0);
    fundo.setColorAt(0, QColor(0x0a, 0x1e, 0x4a));
    fundo.setColorAt(0.55, QColor(0x17, 0x3f, 0x80));
    fundo.setColorAt(1, QColor(0x0c, 0x27, 0x5a));
    p.fillRect(QRectF(0, 0, 225, 50), fundo);
    QLinearGradient reflexo(0, 0, 0, 24);
    reflexo.setColorAt(0, QColor(255, 255, 255, 42));
    reflexo.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillRect(QRectF(0, 0, 225, 24), reflexo);

    // Fine diagonal lines on the right, as on printed official headers.
    p.setPen(QPen(QColor(255, 255, 255, 18), 1));
    for (qreal x = 150; x < 260; x += 6)
        p.drawLine(QPointF(x, 0), QPointF(x - 44, 44));

    // The national colours along the bottom edge.
    p.fillRect(QRectF(0, 44, 225, 3), QColor(0x1d, 0x9a, 0x3d));
    p.fillRect(QRectF(0, 47, 225, 3), QColor(0xf2, 0xc5, 0x11));

    // Emblem: a seal with the product mark.
    const QPointF centro(24, 22);
    QRadialGradient anel(centro - QPointF(5, 5), 24);
    anel.setColorAt(0, QColor(0xff, 0xe6, 0x8a));
    anel.setColorAt(1, QColor(0xb8, 0x8a, 0x1e));
    p.setPen(Qt::NoPen);
    p.setBrush(anel);
    p.drawEllipse(centro, 18, 18);
    p.setBrush(Qt::white);
    p.drawEllipse(centro, 15.5, 15.5);
    desenhaMarca(p, QRectF(centro.x() - 11, centro.y() - 11.5, 22, 22.5));

    QFont titulo = fonte(21, true);
    titulo.setLetterSpacing(QFont::AbsoluteSpacing, 2);
    escreveCheio(p, QPointF(52, 24), QStringLiteral("VOTARIM"), titulo, Qt::white);
    p.setFont(fonte(11, false));
    p.setPen(QColor(0xcf, 0xdc, 0xf2));
    p.drawText(QPointF(53, 38), QStringLiteral("Simulador eleitoral"));
    p.restore();
}

QString nomeDaTecla(const QString &rotulo, bool pressionada)
{
    return QStringLiteral("tecla ") + rotulo + (pressionada ? QStringLiteral(" pressionada") : QString());
}

QImage imagemIcone()
{
    QImage img(72, 72, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fundo(0, 0, 0, 72);
    fundo.setColorAt(0, QColor(0xff, 0xff, 0xff));
    fundo.setColorAt(1, QColor(0xdd, 0xe6, 0xf3));
    p.fillRect(img.rect(), fundo);
    desenhaMarca(p, QRectF(3, 2, 66, 68));
    return img;
}

} // namespace Desenhos
