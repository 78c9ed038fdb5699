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

#include <QList>
#include <QPair>
#include <functional>
#include <memory>

namespace ReportEngine
{

using Parameters = QList<QPair<QString, QString>>;

// Called as each page begins and now and then between rows, with the number of
// the page being generated; returning false cancels the run.
using Progress = std::function<bool(int page)>;

// Throws ReportError; returns null when the progress callback cancelled.
std::unique_ptr<PreparedReport> layoutReport(Report &report, const Project &project,
                                             const ConnectionRegistry &connections,
                                             const Parameters &parameters, const Progress &progress = {});

// The font a report item asks for, sized in points on paper.
QFont reportFont(const FontSpec &fontDef);

} // namespace ReportEngine
