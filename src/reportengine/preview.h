#pragma once

// The preview window: the prepared pages drawn by the one render path, one page
// at a time, with page navigation, zoom in and out, fit to the page's width or
// the whole page, and, as the settings allow, print and save.

#include "reportengine/prepared.h"

#include <QAbstractListModel>
#include <QDialog>
#include <QHash>
#include <QImage>
#include <QPixmap>
#include <functional>

class QComboBox;
class QLabel;
class QListView;
class QScrollArea;
class QSpinBox;
class QToolButton;

namespace ReportEngine
{

// One page at the chosen zoom, drawn once per page and zoom and kept.
class PageView : public QWidget
{
  public:
    PageView(const PreparedReport &report, QWidget *parent = nullptr);
    void setPage(int page);
    void setScale(double pixelsPerPoint);
    int page() const { return m_page; }
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent *event) override;

  private:
    void draw();

    const PreparedReport &m_report;
    int m_page = 0;
    double m_scale = 1;
    QImage m_image;
};

// The pages in small, for the thumbnail strip: each drawn by the one render path the
// first time the strip shows it, then kept.
class ThumbnailModel : public QAbstractListModel
{
  public:
    ThumbnailModel(const PreparedReport &report, int width, QObject *parent = nullptr);
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QSize thumbnailSize() const;

  private:
    const PreparedReport &m_report;
    int m_width;
    mutable QHash<int, QPixmap> m_drawn;
};

class PreviewDialog : public QDialog
{
  public:
    PreviewDialog(const PreparedReport &report, const QString &title, int zoom, QWidget *parent = nullptr);

    // Empty functions leave their buttons out.
    void setPrint(std::function<void()> print);
    void setSave(std::function<void()> save);

    void showPage(int page); // from 0
    int currentPage() const;
    void setZoom(int zoom); // percent, kZoomFitWidth or kZoomWholePage
    int zoom() const { return m_zoom; }
    // The zoom in percent that is on the screen now.
    double effectiveZoom() const;
    void zoomIn();
    void zoomOut();
    // The strip of page thumbnails beside the page; a click on one shows that page.
    void setThumbnailsVisible(bool visible);

  protected:
    void resizeEvent(QResizeEvent *event) override;

  private:
    QToolButton *button(const QString &name, const QString &text, const QString &tip);
    void applyZoom();
    void updateControls();

    const PreparedReport &m_report;
    QScrollArea *m_scroll;
    PageView *m_view;
    QSpinBox *m_pageNumber;
    QLabel *m_pageCount;
    QComboBox *m_zoomBox;
    QToolButton *m_first, *m_previous, *m_next, *m_last, *m_print, *m_save, *m_thumbnailsButton;
    QListView *m_thumbnails;
    int m_zoom = 100;
    double m_effective = 100;
    std::function<void()> m_printAction, m_saveAction;
};

} // namespace ReportEngine
