#pragma once

// A report project as read from its file: reports by name, each with its page,
// its bands and their items. Positions and sizes are held in points (1/72 inch);
// the file gives them in millimetres. The format is described in docs/report-format.md.

#include "reportengine/expression.h"

#include <QColor>
#include <QLocale>
#include <QMarginsF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

namespace ReportEngine
{

// A text with {expressions} in it.
struct TextTemplate {
    struct Part {
        QString literal;
        ExprPtr expr; // null for a literal part
    };
    std::vector<Part> parts;
    std::vector<Expr *> contextNodes; // every node whose value comes from the run, in order
};

struct FontSpec {
    QString family;
    double size = 0;
    bool bold = false;
    bool italic = false;
};

struct Item {
    enum class Kind { Text, Line, Rect, Image, Chart, QrCode };
    Kind kind = Kind::Text;
    SourcePos pos;
    QRectF box; // a line runs from the top-left to the bottom-right corner of its box

    // text
    TextTemplate text;
    Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter;
    bool wrap = false;
    bool grow = false;
    bool show = true;
    QString column; // the column's title in CSV output
    FontSpec font;

    QColor color = Qt::black;
    QColor fill; // invalid: no fill
    double penWidth = 0.5;

    // image: from a blob field or from a file beside the project
    ExprPtr imageField;
    QString imageFile;
    bool keepAspect = true;

    // chart: a horizontal bar per row of its scope
    ExprPtr label;
    ExprPtr value;
    QString scope;  // as written; resolved when the report is compiled
    int chart = -1; // ChartDef
    int limit = 0;  // most bars drawn; 0 for all
    double bar = 0; // each bar's height, the chart and its band growing to fit them; 0: bars share `box`

    // QR codes of the text `value`: each code `codeSize` wide, holding "prefix k/n" and a slice of
    // at most `sliceBytes` bytes; laid out in rows in the box, the band growing for more rows
    QString prefix;
    int sliceBytes = 0;
    double codeSize = 0;
};

struct Band {
    enum class Kind {
        PageHeader,
        PageFooter,
        Title,
        Summary,
        Head,
        Detail,
        Foot,
        Empty,
        GroupHeader,
        GroupFooter
    };
    Kind kind = Kind::Detail;
    SourcePos pos;
    double height = 0;
    bool repeat = false; // a group header printed again at the top of its continuation pages
    std::vector<Item> items;
};

struct Lookup {
    struct On {
        QString field;
        QString op;
        ExprPtr value;
        SourcePos pos;
    };
    QString name;
    QString data;
    SourcePos pos;
    std::vector<On> conditions;
};

struct Group {
    QString name;
    ExprPtr key;
    SourcePos pos;
    bool newPage = false;
    std::optional<Band> header;
    std::optional<Band> footer;
};

struct Section {
    QString name;
    QString data;
    SourcePos pos;
    bool newPage = false;
    std::vector<Lookup> lookups;
    std::vector<Group> groups; // outermost first
    std::optional<Band> head;
    std::optional<Band> detail;
    std::optional<Band> foot;
    std::optional<Band> empty;
    // Expressions evaluated on this section's rows; their fields are bound at each run.
    std::vector<Expr *> rowExpressions;
};

// An aggregate of one scope: level -1 is every row of the section, otherwise a group.
struct AggregateDef {
    enum class Kind { Count, Sum, Min, Max };
    Kind kind = Kind::Count;
    int section = 0;
    int level = -1;
    const Expr *argument = nullptr;
};

struct ChartDef {
    int section = 0;
    int level = -1;
    const Item *item = nullptr;
};

struct Report {
    QString name;
    QString title;
    SourcePos pos;
    QSizeF pageSize;   // points, as oriented
    QMarginsF margins; // points
    bool landscape = false;
    FontSpec font;
    std::optional<Band> pageHeader;
    std::optional<Band> pageFooter;
    std::optional<Band> titleBand;
    std::optional<Band> summary;
    std::vector<Section> sections;
    std::vector<AggregateDef> aggregates;
    std::vector<ChartDef> charts;
    std::vector<Expr *> digests; // sha256(...) nodes, computed once at the start of a run
};

struct Project {
    int version = 0;
    QLocale locale;
    QString folder; // files named by image items are found here
    std::vector<std::unique_ptr<Report>> reports;

    // The report of that name, letter case aside; null when there is none.
    Report *find(const QString &name) const;
};

// Reads a project; an empty input is an empty project. Every error names the
// file, the line and the column.
std::unique_ptr<Project> readProject(const QByteArray &bytes, const QString &path);

constexpr double kPointsPerMm = 72.0 / 25.4;

} // namespace ReportEngine
