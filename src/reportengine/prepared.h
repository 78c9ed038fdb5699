#pragma once

// A report's pages prepared once per run: lists of drawing operations in points
// from the page's top-left corner, which the one render path draws on any device.

#include <QColor>
#include <QFont>
#include <QImage>
#include <QRectF>
#include <QSizeF>
#include <QStringList>
#include <memory>
#include <vector>

class QTemporaryFile;

namespace ReportEngine
{

struct TextStyle {
    QFont font; // its point size is the size on paper
    QColor color;
    Qt::Alignment align;
    bool wrap = false;
};

struct PenStyle {
    QColor color;
    double width = 0;
    QColor fill; // invalid: no fill
};

struct Op {
    enum class Kind : quint8 { Text, Line, Rect, Image };
    Kind kind = Kind::Text;
    QRectF rect;    // a line runs from rect's top-left to its bottom-right
    int style = -1; // TextStyle for text, PenStyle for lines and rectangles
    int ref = -1;   // text: index into the page's texts; image: ImageStore id
};

struct Page {
    std::vector<Op> ops;
    QStringList texts;
};

// Pictures of a run. Pictures from blob fields go to a spool file as their
// bytes, so that thousands of photos cost disk, not memory; pictures from files
// (a logo on every page) are held once, decoded.
class ImageStore
{
  public:
    ImageStore();
    ~ImageStore();
    ImageStore(const ImageStore &) = delete;
    ImageStore &operator=(const ImageStore &) = delete;

    int addBytes(const QByteArray &bytes);
    int addImage(const QImage &image);
    // A null image when the bytes are not a picture Qt can read.
    QImage image(int id) const;
    int count() const { return int(m_entries.size()); }

  private:
    struct Entry {
        qint64 offset = -1;
        qint64 size = 0;
        QImage image;
    };
    std::vector<Entry> m_entries;
    mutable std::unique_ptr<QTemporaryFile> m_spool;
    mutable bool m_unflushed = false;
};

struct CsvTable {
    QStringList header;
    std::vector<QStringList> rows;
};

struct PreparedReport {
    QString name;
    QString title;
    QSizeF pageSize; // points
    bool landscape = false;
    std::vector<Page> pages;
    std::vector<TextStyle> textStyles;
    std::vector<PenStyle> penStyles;
    ImageStore images;
    std::vector<CsvTable> csv; // the detail rows of each section, as printed
};

} // namespace ReportEngine
