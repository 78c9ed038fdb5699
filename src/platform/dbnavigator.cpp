#include "platform/dbnavigator.h"

#include "platform/mensagens.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>

namespace
{

using Button = DbNavigator::Button;

const char *const kDicas[DbNavigator::kButtons] = {
    "Primeiro registro",     "Registro anterior",         "Próximo registro",
    "Último registro",       "Adiciona um novo registro", "Remove o registro atual",
    "Edita o regstro atual", "Salva as modificações",     "Cancela as modificações atuais"};

const char *const kNomes[DbNavigator::kButtons] = {"First",  "Prior", "Next", "Last",  "Insert",
                                                   "Delete", "Edit",  "Post", "Cancel"};

// The glyphs, drawn on a 16 x 16 grid.
QIcon desenha(Button b)
{
    constexpr int lado = 16;
    QPixmap p(lado * 2, lado * 2); // drawn at twice the size for sharp scaling
    p.fill(Qt::transparent);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    g.scale(2, 2);
    const QColor tinta(Qt::black);
    g.setPen(Qt::NoPen);
    g.setBrush(tinta);
    const auto triangulo = [&](QPointF a, QPointF b2, QPointF c) {
        QPainterPath t;
        t.moveTo(a);
        t.lineTo(b2);
        t.lineTo(c);
        t.closeSubpath();
        g.drawPath(t);
    };
    switch (b) {
    case Button::First:
        g.drawRect(QRectF(4, 4, 2, 8));
        triangulo({12, 4}, {12, 12}, {6.5, 8});
        break;
    case Button::Prior:
        triangulo({10.5, 4}, {10.5, 12}, {5, 8});
        break;
    case Button::Next:
        triangulo({5.5, 4}, {5.5, 12}, {11, 8});
        break;
    case Button::Last:
        triangulo({4, 4}, {4, 12}, {9.5, 8});
        g.drawRect(QRectF(10, 4, 2, 8));
        break;
    case Button::Insert:
        g.drawRect(QRectF(7, 3, 2, 10));
        g.drawRect(QRectF(3, 7, 10, 2));
        break;
    case Button::Delete:
        g.drawRect(QRectF(3, 7, 10, 2));
        break;
    case Button::Edit:
        triangulo({3, 11}, {13, 11}, {8, 5});
        break;
    case Button::Post: {
        QPen caneta(tinta, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        g.setPen(caneta);
        g.setBrush(Qt::NoBrush);
        g.drawPolyline(QPolygonF({QPointF(3.5, 8.5), QPointF(6.5, 11.5), QPointF(12.5, 4.5)}));
        break;
    }
    case Button::Cancel: {
        QPen caneta(tinta, 2, Qt::SolidLine, Qt::RoundCap);
        g.setPen(caneta);
        g.drawLine(QPointF(4, 4), QPointF(12, 12));
        g.drawLine(QPointF(12, 4), QPointF(4, 12));
        break;
    }
    }
    g.end();
    return QIcon(p);
}

} // namespace

DbNavigator::DbNavigator(QWidget *parent) : QWidget(parent)
{
    auto *linha = new QHBoxLayout(this);
    linha->setContentsMargins(0, 0, 0, 0);
    linha->setSpacing(0);
    for (int i = 0; i < kButtons; ++i) {
        const auto b = Button(i);
        auto *botao = new QToolButton(this);
        botao->setObjectName(QString::fromLatin1(kNomes[i]));
        botao->setToolTip(QString::fromUtf8(kDicas[i]));
        botao->setIcon(desenha(b));
        botao->setIconSize(QSize(16, 16));
        botao->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        botao->setFocusPolicy(Qt::NoFocus);
        connect(botao, &QToolButton::clicked, this, [this, b] { click(b); });
        linha->addWidget(botao);
        m_botoes[i] = botao;
    }
    atualiza();
}

void DbNavigator::setDataSource(DataSource *source)
{
    // A row inserted or removed always comes with a state or current-row change.
    m_fonte.bind(source, this, [this] { atualiza(); });
}

void DbNavigator::atualiza()
{
    const Query *q = m_fonte.query();
    const bool aberta = q && q->isActive();
    const bool editando = aberta && (q->state() == Query::State::Edit || q->state() == Query::State::Insert);
    const bool altera = aberta && q->canModify();
    const bool inicio = !aberta || q->bof();
    const bool fim = !aberta || q->eof();
    const bool vazia = !aberta || (q->bof() && q->eof());
    const bool ativo[kButtons] = {!inicio,
                                  !inicio,
                                  !fim,
                                  !fim,
                                  altera,
                                  altera && !vazia,
                                  altera && !editando,
                                  altera && editando,
                                  altera && editando};
    for (int i = 0; i < kButtons; ++i)
        m_botoes[i]->setEnabled(ativo[i]);
}

void DbNavigator::click(Button b)
{
    Mensagens::protegido([&] { executa(b); });
    atualiza(); // a refused action changes nothing, but its error may leave the buttons behind
}

void DbNavigator::executa(Button b)
{
    Query *q = m_fonte.query();
    if (!q || !m_botoes[int(b)]->isEnabled()) return;
    if (m_antes && !m_antes(b)) return;
    switch (b) {
    case Button::First:
        q->first();
        break;
    case Button::Prior:
        q->prior();
        break;
    case Button::Next:
        q->next();
        break;
    case Button::Last:
        q->last();
        break;
    case Button::Insert:
        q->insert();
        break;
    case Button::Delete:
        if (Mensagens::confirma(QStringLiteral("Delete record?"))) q->remove();
        break;
    case Button::Edit:
        q->edit();
        break;
    case Button::Post:
        q->post();
        break;
    case Button::Cancel:
        q->cancel();
        break;
    }
}
