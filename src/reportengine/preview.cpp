#include "reportengine/preview.h"

#include "reportengine/outputoptions.h"
#include "reportengine/render.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <ranges>

namespace ReportEngine
{

namespace
{
constexpr int kBorder = 8;          // grey around the page, in pixels
constexpr int kThumbnailWidth = 80; // a page in the strip, in pixels

// The zoom choices that are percentages, smallest first: the steps of zoom in and out.
QList<int> zoomSteps()
{
    QList<int> steps = zoomChoices();
    steps.removeIf([](int zoom) { return zoom == kZoomFitWidth || zoom == kZoomWholePage; });
    std::sort(steps.begin(), steps.end());
    return steps;
}
} // namespace

ThumbnailModel::ThumbnailModel(const PreparedReport &report, int width, QObject *parent)
    : QAbstractListModel(parent), m_report(report), m_width(width)
{
}

int ThumbnailModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_report.pages.size());
}

QSize ThumbnailModel::thumbnailSize() const
{
    const QSizeF page = m_report.pageSize;
    const double scale = page.width() > 0 ? m_width / page.width() : 1;
    return QSize(m_width, std::max(1, int(std::ceil(page.height() * scale))));
}

QVariant ThumbnailModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount()) return {};
    if (role == Qt::DisplayRole) return QString::number(index.row() + 1);
    if (role == Qt::ToolTipRole) return QStringLiteral("Página %1").arg(index.row() + 1);
    if (role != Qt::DecorationRole) return {};
    auto it = m_drawn.constFind(index.row());
    if (it != m_drawn.cend()) return *it;
    const QSize size = thumbnailSize();
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        const double scale = double(size.width()) / m_report.pageSize.width();
        renderPage(p, m_report, index.row(), QSizeF(scale, scale));
        p.setPen(Qt::gray);
        p.drawRect(image.rect().adjusted(0, 0, -1, -1));
    }
    return *m_drawn.insert(index.row(), QPixmap::fromImage(image));
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
    m_thumbnailsButton = button(QStringLiteral("miniaturas"), QStringLiteral("▤"),
                                QStringLiteral("Mostrar ou esconder as miniaturas das páginas"));
    m_thumbnailsButton->setCheckable(true);
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
    bar->addSpacing(4);
    for (QWidget *w : std::initializer_list<QWidget *>{out, m_zoomBox, in})
        bar->addWidget(w);
    bar->addSpacing(4);
    bar->addWidget(m_thumbnailsButton);
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

    auto *model = new ThumbnailModel(report, kThumbnailWidth, this);
    m_thumbnails = new QListView(this);
    m_thumbnails->setObjectName(QStringLiteral("miniaturas"));
    m_thumbnails->setModel(model);
    m_thumbnails->setIconSize(model->thumbnailSize());
    m_thumbnails->setUniformItemSizes(true); // pages are drawn only as they scroll into view
    m_thumbnails->setViewMode(QListView::IconMode);
    m_thumbnails->setFlow(QListView::TopToBottom);
    m_thumbnails->setWrapping(false);
    m_thumbnails->setMovement(QListView::Static);
    m_thumbnails->setSpacing(4);
    m_thumbnails->setFixedWidth(kThumbnailWidth + 2 * 4 + m_thumbnails->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 8);
    m_thumbnails->hide();

    auto *pages = new QHBoxLayout;
    pages->addWidget(m_thumbnails);
    pages->addWidget(m_scroll, 1);
    auto *layout = new QVBoxLayout(this);
    // The window opens at its own size whatever the fonts make the tool bar ask for.
    layout->setSizeConstraint(QLayout::SetNoConstraint);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(bar);
    layout->addLayout(pages, 1);

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
    connect(m_thumbnailsButton, &QToolButton::toggled, this, [this](bool on) { setThumbnailsVisible(on); });
    connect(m_thumbnails, &QListView::clicked, this, [this](const QModelIndex &i) { showPage(i.row()); });

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

void PreviewDialog::setThumbnailsVisible(bool visible)
{
    const QSignalBlocker blocker(m_thumbnailsButton);
    m_thumbnailsButton->setChecked(visible);
    m_thumbnails->setVisible(visible);
    if (m_zoom == kZoomFitWidth || m_zoom == kZoomWholePage) applyZoom();
}

void PreviewDialog::updateControls()
{
    const int page = currentPage();
    const int n = int(m_report.pages.size());
    m_thumbnails->setCurrentIndex(m_thumbnails->model()->index(page, 0));
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
    for (int s : zoomSteps())
        if (s > m_effective + 0.5) return setZoom(s);
}

void PreviewDialog::zoomOut()
{
    const QList<int> steps = zoomSteps();
    for (int s : steps | std::views::reverse)
        if (s < m_effective - 0.5) return setZoom(s);
}

void PreviewDialog::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    if (m_zoom == kZoomFitWidth || m_zoom == kZoomWholePage) applyZoom();
}

} // namespace ReportEngine
