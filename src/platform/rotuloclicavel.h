#pragma once

#include <QLabel>
#include <QMouseEvent>

// A label or picture that takes clicks: a left-button press and release inside it.
class RotuloClicavel : public QLabel
{
    Q_OBJECT
public:
    using QLabel::QLabel;

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *e) override
    {
        if (e->button() == Qt::LeftButton) m_pressionado = true;
        QLabel::mousePressEvent(e);
    }
    void mouseReleaseEvent(QMouseEvent *e) override
    {
        const bool clique = m_pressionado && e->button() == Qt::LeftButton && rect().contains(e->position().toPoint());
        m_pressionado = false;
        QLabel::mouseReleaseEvent(e);
        if (clique) emit clicked();
    }
    bool pressionado() const { return m_pressionado; }

private:
    bool m_pressionado = false;
};
