#include "reportengine/preview.h"

#include "reportengine/outputoptions.h"
#include "reportengine/render.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

namespace ReportEngine
{

namespace
{
constexpr int kBorder = 8; // grey around the page, in pixels
}

PageView::PageView(const PreparedReport &report, QWidget *parent) : QWidget(parent), m_report(report)
{
    setObjectName(QStringLiteral("pagina"));
}

void PageView::setPage(int page)
{
    if (page == m_page && !m_image.isNull()) return;
    m_page = page;
    m_image = QImage();
    update();
}

void PageView::setScale(double pixelsPerPoint)
{
    if (std::abs(pixelsPerPoint - m_scale) < 1e-9 && !m_image.isNull()) return;
    m_scale = pixelsPerPoint;
    m_image = QImage();
    updateGeometry();
    resize(sizeHint());
    update();
}

QSize PageView::sizeHint() const
{
    const QSizeF s = m_report.pageSize * m_scale;
    return QSize(int(std::ceil(s.width())) + 2 * kBorder, int(std::ceil(s.height())) + 2 * kBorder);
}

void PageView::draw()
{
    const QSizeF s = m_report.pageSize * m_scale;
    m_image = QImage(std::max(1, int(std::ceil(s.width()))), std::max(1, int(std::ceil(s.height()))),
                     QImage::Format_RGB32);
    // The image's resolution is the screen's, so that fonts come out at the size asked.
    m_image.setDotsPerMeterX(int(std::lround(logicalDpiX() / 0.0254)));
    m_image.setDotsPerMeterY(int(std::lround(logicalDpiY() / 0.0254)));
    m_image.fill(Qt::white);
    QPainter p(&m_image);
    renderPage(p, m_report, m_page, QSizeF(m_scale, m_scale));
}

void PageView::paintEvent(QPaintEvent *)
{
    if (m_image.isNull()) draw();
    QPainter p(this);
    p.fillRect(rect(), palette().dark());
    const QPoint at((width() - m_image.width()) / 2, kBorder);
    p.fillRect(QRect(at + QPoint(3, 3), m_image.size()), Qt::black);
    p.drawImage(at, m_image);
}

PreviewDialog::PreviewDialog(const PreparedReport &report, const QString &title, int zoom, QWidget *parent)
    : QDialog(parent), m_report(report)
{
    setObjectName(QStringLiteral("visualizacaoRelatorio"));
    setWindowTitle(title);
    setModal(true);
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);

    m_first = button(QStringLiteral("primeira"), QStringLiteral("|<"), QStringLiteral("Primeira página"));
    m_previous = button(QStringLiteral("anterior"), QStringLiteral("<"), QStringLiteral("Página anterior"));
    m_pageNumber = new QSpinBox(this);
    m_pageNumber->setObjectName(QStringLiteral("numeroPagina"));
    m_pageNumber->setRange(1, std::max(1, int(report.pages.size())));
    m_pageCount = new QLabel(QStringLiteral("de %1").arg(report.pages.size()), this);
    m_next = button(QStringLiteral("proxima"), QStringLiteral(">"), QStringLiteral("Próxima página"));
    m_last = button(QStringLiteral("ultima"), QStringLiteral(">|"), QStringLiteral("Última página"));
    QToolButton *out =
        button(QStringLiteral("diminuir"), QStringLiteral("-"), QStringLiteral("Diminuir o zoom"));
    QToolButton *in =
        button(QStringLiteral("aumentar"), QStringLiteral("+"), QStringLiteral("Aumentar o zoom"));
    m_zoomBox = new QComboBox(this);
    m_zoomBox->setObjectName(QStringLiteral("zoom"));
    for (int z : zoomChoices())
        m_zoomBox->addItem(zoomName(z), z);
    m_print = button(QStringLiteral("imprimir"), QStringLiteral("Imprimir"),
                     QStringLiteral("Imprimir o relatório (Ctrl+P)"));
    m_save = button(QStringLiteral("salvar"), QStringLiteral("Salvar"),
                    QStringLiteral("Salvar em PDF ou CSV (Ctrl+S)"));
    QToolButton *close =
        button(QStringLiteral("fechar"), QStringLiteral("Fechar"), QStringLiteral("Fechar a visualização"));
    // From the keyboard too, for an operator without a mouse.
    m_print->setShortcut(QKeySequence::Print);
    m_save->setShortcut(QKeySequence::Save);
    m_print->hide();
    m_save->hide();

    auto *bar = new QHBoxLayout;
    bar->setSpacing(2);
    for (QWidget *w :
         std::initializer_list<QWidget *>{m_first, m_previous, m_pageNumber, m_pageCount, m_next, m_last})
        bar->addWidget(w);
    bar->addSpacing(8);
    for (QWidget *w : std::initializer_list<QWidget *>{out, m_zoomBox, in})
        bar->addWidget(w);
    bar->addSpacing(8);
    bar->addWidget(m_print);
    bar->addWidget(m_save);
    bar->addStretch();
    bar->addWidget(close);

    m_view = new PageView(report, this);
    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("rolagem"));
    m_scroll->setWidget(m_view);
    m_scroll->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_scroll->setBackgroundRole(QPalette::Dark);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(bar);
    layout->addWidget(m_scroll, 1);

    connect(m_first, &QToolButton::clicked, this, [this] { showPage(0); });
    connect(m_previous, &QToolButton::clicked, this, [this] { showPage(currentPage() - 1); });
    connect(m_next, &QToolButton::clicked, this, [this] { showPage(currentPage() + 1); });
    connect(m_last, &QToolButton::clicked, this, [this] { showPage(int(m_report.pages.size()) - 1); });
    connect(m_pageNumber, &QSpinBox::valueChanged, this, [this](int n) { showPage(n - 1); });
    connect(in, &QToolButton::clicked, this, [this] { zoomIn(); });
    connect(out, &QToolButton::clicked, this, [this] { zoomOut(); });
    connect(m_zoomBox, &QComboBox::activated, this,
            [this](int i) { setZoom(m_zoomBox->itemData(i).toInt()); });
    connect(m_print, &QToolButton::clicked, this, [this] {
        if (m_printAction) m_printAction();
    });
    connect(m_save, &QToolButton::clicked, this, [this] {
        if (m_saveAction) m_saveAction();
    });
    connect(close, &QToolButton::clicked, this, &QDialog::accept);

    resize(615, 450);
    setZoom(zoom);
    showPage(0);
}

QToolButton *PreviewDialog::button(const QString &name, const QString &text, const QString &tip)
{
    auto *b = new QToolButton(this);
    b->setObjectName(name);
    b->setText(text);
    b->setToolTip(tip);
    b->setAutoRaise(true);
    return b;
}

void PreviewDialog::setPrint(std::function<void()> print)
{
    m_printAction = std::move(print);
    m_print->setVisible(bool(m_printAction));
}

void PreviewDialog::setSave(std::function<void()> save)
{
    m_saveAction = std::move(save);
    m_save->setVisible(bool(m_saveAction));
}

int PreviewDialog::currentPage() const
{
    return m_view->page();
}

void PreviewDialog::showPage(int page)
{
    const int n = int(m_report.pages.size());
    if (n == 0) return;
    page = std::clamp(page, 0, n - 1);
    m_view->setPage(page);
    m_scroll->verticalScrollBar()->setValue(0);
    updateControls();
}

void PreviewDialog::updateControls()
{
    const int page = currentPage();
    const int n = int(m_report.pages.size());
    const QSignalBlocker blocker(m_pageNumber);
    m_pageNumber->setValue(page + 1);
    m_first->setEnabled(page > 0);
    m_previous->setEnabled(page > 0);
    m_next->setEnabled(page < n - 1);
    m_last->setEnabled(page < n - 1);
    const int index = m_zoomBox->findData(m_zoom);
    if (index >= 0) {
        m_zoomBox->setCurrentIndex(index);
    } else {
        m_zoomBox->setEditText(zoomName(m_zoom));
    }
}

void PreviewDialog::setZoom(int zoom)
{
    m_zoom = zoom == kZoomFitWidth || zoom == kZoomWholePage ? zoom : std::clamp(zoom, 10, 400);
    if (m_zoomBox->findData(m_zoom) < 0) {
        int at = 0;
        while (at < m_zoomBox->count() && m_zoomBox->itemData(at).toInt() > 0 &&
               m_zoomBox->itemData(at).toInt() < m_zoom)
            ++at;
        m_zoomBox->insertItem(at, zoomName(m_zoom), m_zoom);
    }
    applyZoom();
    updateControls();
}

double PreviewDialog::effectiveZoom() const
{
    return m_effective;
}

void PreviewDialog::applyZoom()
{
    const double pointsToScreen = logicalDpiX() / 72.0; // 100 %: the page at its real size
    double percent = m_zoom;
    const QSize room = m_scroll->viewport()->size() - QSize(2 * kBorder + 4, 2 * kBorder + 4);
    if (m_zoom == kZoomFitWidth || m_zoom == kZoomWholePage) {
        const QSizeF page = m_report.pageSize * pointsToScreen;
        const double byWidth = room.width() / page.width();
        const double byHeight = room.height() / page.height();
        percent = 100.0 * (m_zoom == kZoomFitWidth ? byWidth : std::min(byWidth, byHeight));
        percent = std::max(percent, 5.0);
    }
    m_effective = percent;
    m_view->setScale(pointsToScreen * percent / 100.0);
}

void PreviewDialog::zoomIn()
{
    const QList<int> steps = {10, 25, 50, 75, 100, 125, 150, 200, 300, 400};
    for (int s : steps)
        if (s > m_effective + 0.5) return setZoom(s);
}

void PreviewDialog::zoomOut()
{
    const QList<int> steps = {400, 300, 200, 150, 125, 100, 75, 50, 25, 10};
    for (int s : steps)
        if (s < m_effective - 0.5) return setZoom(s);
}

void PreviewDialog::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    if (m_zoom == kZoomFitWidth || m_zoom == kZoomWholePage) applyZoom();
}

} // namespace ReportEngine
