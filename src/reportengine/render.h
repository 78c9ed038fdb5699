#pragma once

// The one render path: a prepared page drawn on any painter (the preview, a
// printer, a PDF), so that what is previewed, printed and saved never differs.
// And the deliveries that use it: PDF and CSV files, written to a temporary file
// that only replaces the chosen name when complete, and print jobs.

#include "reportengine/prepared.h"

#include <QString>
#include <functional>

class QPainter;
class QPrinter;

namespace ReportEngine
{

// Draws a page with one point of the page as `pixelsPerPoint` device pixels
// (horizontal, vertical); the painter's state is kept.
void renderPage(QPainter &painter, const PreparedReport &report, int page, QSizeF pixelsPerPoint);

// Called with the number of the page being delivered; false cancels.
using PageProgress = std::function<bool(int page)>;

// PDF/A-1b with the report's title, text as text in embedded fonts. False when
// cancelled (nothing is left at the path); throws ReportError when the file
// cannot be written (the path is left as it was).
bool writePdf(const PreparedReport &report, const QString &path, const QString &creator,
              const PageProgress &progress = {});

// The detail rows of each section as printed, one table after another: UTF-8
// with a byte-order mark, ";" between fields, CR LF between lines.
void writeCsv(const PreparedReport &report, const QString &path);
QByteArray csvText(const PreparedReport &report);
// The bytes written to a temporary file that only replaces the path when complete.
void writeFile(const QString &path, const QByteArray &bytes);
// One CSV field: quoted, its quotes doubled, when it holds a separator, a quote or a line end.
QString csvField(const QString &s);

struct PrintSettings {
    QString jobTitle;
    double scaleX = 100; // percent
    double scaleY = 100;
};

// Prints on the printer as set up (printer, copies, collation, duplex); the page
// size and orientation are the report's. False when cancelled.
bool printReport(const PreparedReport &report, QPrinter &printer, const PrintSettings &settings,
                 const PageProgress &progress = {});

// The message for a file that could not be written.
QString cannotWrite(const QString &path, const QString &reason);

} // namespace ReportEngine
