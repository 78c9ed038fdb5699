#pragma once

// Lays out one report over its data connections: the pages, prepared once per
// run as lists of drawing operations, with no widget involved. Bands are never
// split and never overlap the page footer; a group header is kept with the rows
// that follow it; the section's column titles and the repeating group headers
// are printed again on continuation pages; aggregates, charts and "de Y" whose
// scope is not complete where they are printed are filled in a final pass.

#include "reportengine/dataconnection.h"
#include "reportengine/prepared.h"
#include "reportengine/project.h"

#include <QColor>
#include <QList>
#include <QPair>
#include <functional>
#include <memory>
#include <vector>

namespace ReportEngine
{

using Parameters = QList<QPair<QString, QString>>;

// Lines the caller draws at the foot of every page of a run, whatever the project
// holds: the engine keeps room for them below the page footer, across the page's
// printable width, so that a project cannot hide them or print over them.
struct PageStampLine {
    QString text;
    QColor color = Qt::black;
};
struct PageStamp {
    std::vector<PageStampLine> lines;
    QString family = QStringLiteral("DejaVu Sans Mono");
    double size = 8; // points
};
// The least distance from the page's edges at which the stamp is drawn (points).
constexpr double kStampEdge = 8 * 72.0 / 25.4;

// Called as each page begins and now and then between rows, with the number of
// the page being generated; returning false cancels the run.
using Progress = std::function<bool(int page)>;

// Throws ReportError; returns null when the progress callback cancelled.
std::unique_ptr<PreparedReport> layoutReport(Report &report, const Project &project,
                                             const ConnectionRegistry &connections,
                                             const Parameters &parameters, const Progress &progress = {},
                                             const PageStamp &stamp = {});

// The font a report item asks for, sized in points on paper.
QFont reportFont(const FontSpec &fontDef);

} // namespace ReportEngine
