#pragma once

// The report generator's state and its helper records, shared by the files that
// lay a report out: layout.cpp (running, preparing, sections and paging),
// layoutvalues.cpp (values, aggregates, lookups and their cache), layoutdraw.cpp
// (bands, images, charts, QR codes, the stamp and styles) and layoutcsv.cpp.

#include "reportengine/layout.h"
#include "reportengine/qrcode.h"
#include "reportengine/reporterror.h"
#include <QBuffer>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QHash>
#include <QImageReader>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <deque>

namespace ReportEngine::internal
{

struct Cancelled {
};

constexpr int kPending = -1;      // in Deferred::pending: the value is ready
constexpr int kPendingPages = -2; // the page count
constexpr double kMeasureDpi = 1200;
constexpr qint64 kLookupCacheBytes = 32 * 1024 * 1024;

struct Row {
    std::vector<QVariant> values; // by slot
    std::vector<bool> found;      // by lookup
    QStringList keys;             // group keys
};

struct Slot {
    int source; // 0: the section's connection; k + 1: lookup k
    int field;
};

struct SectionRun {
    DataConnection *connection = nullptr;
    std::vector<DataConnection *> lookups;
    std::vector<Slot> fieldSlots;
    std::vector<std::vector<int>> slotsOf; // by source
    std::vector<int> aggregates;           // definitions accumulated on each row
    std::vector<int> charts;
    std::vector<const Item *> csvItems; // the detail band's texts, left to right
    int csvTable = -1;
};

struct AggregateState {
    qint64 count = 0;
    qint64 wholeSum = 0;
    double sum = 0;
    bool whole = true;
    QVariant min, max;
    bool complete = false;
};

struct ChartState {
    std::vector<std::pair<QString, double>> bars;
    bool complete = false;
};

struct Deferred {
    enum class Target { PageText, CsvCell } target = Target::PageText;
    int a = 0, b = 0, c = 0; // page and text, or table, row and column
    const TextTemplate *text = nullptr;
    std::vector<QVariant> values;
    std::vector<int> pending;
};

// Texts that grew their band: the text and its measured height.
using Grown = QHash<const Item *, std::pair<QString, double>>;

struct DeferredChart {
    int page;
    QRectF rect;
    const Item *item;
    int instance;
};

class ValuesResolver : public Resolver
{
  public:
    explicit ValuesResolver(const std::vector<QVariant> &values) : m_values(values) {}
    QVariant resolve(const Expr &node) const override
    {
        return node.context >= 0 && size_t(node.context) < m_values.size() ? m_values[size_t(node.context)]
                                                                           : QVariant();
    }

  private:
    const std::vector<QVariant> &m_values;
};

class Generator
{
  public:
    Generator(Report &report, const Project &project, const ConnectionRegistry &connections,
              const Parameters &parameters, const Progress &progress, const PageStamp &stamp);

    ~Generator();

    std::unique_ptr<PreparedReport> run();

  private:
    // ---- preparing a run: connections, fields, styles

    [[noreturn]] void failAt(SourcePos p, const QString &why) const;

    DataConnection *connection(const QString &name, SourcePos pos);

    int fieldIndex(DataConnection *c, const QString &connectionName, const QString &field, SourcePos pos);

    void prepare();

    // The column's own name, else the column title printed above it, else its field's name.
    QString csvTitle(const Section &s, const Item &item, int column) const;

    void bindField(const Section &s, SectionRun &run, Expr &node);

    int textStyle(const Item &item);

    int penStyle(const QColor &color, double width, const QColor &fill);

    // ---- rows

    class LiveResolver : public Resolver
    {
      public:
        LiveResolver(const Generator &g, const Row *row) : m_g(g), m_row(row) {}
        QVariant resolve(const Expr &node) const override { return m_g.contextValue(node, m_row, nullptr); }

      private:
        const Generator &m_g;
        const Row *m_row;
    };

    // The value of a context node now; with `pending` given, a scope that is not
    // complete yet is noted there instead.
    QVariant contextValue(const Expr &node, const Row *row, int *pending) const;

    QVariant aggregateValue(int definition, int instance) const;

    void openAggregate(int definition);

    void openChart(int definition);

    void completeScopes(int section, int fromLevel);

    void openScopes(int section, int fromLevel);

    void accumulate(int section, const Row &row);

    void readRow(int section, Row &row);

    // Finds the first row of a lookup's connection that meets its conditions;
    // repeated keys are served from a bounded cache.
    void lookUp(int section, size_t l, Row &row);

    // ---- pages

    double bodyBottom() const;

    // The stamp's box on every page: at least kStampEdge from the paper's edges,
    // each line wrapped to the width, as tall as its wrapped text.
    void measureStamp();

    void drawStamp();

    void checkProgress();

    void startPage();

    void finishPage();

    void newPage();

    void placeRepeated(const Band &band, const Row *row);

    void place(const Band &band, const Row *row);

    // Starts a new page unless the bands given fit together below what is on this one.
    void keepTogether(double height);

    double measure(const Band &band, const Row *row, Grown &grown);

    // A chart of fixed bars is as tall as its bars, at least its box; one whose
    // rows are not all read yet keeps its box.
    double grownChartHeight(const Item &item) const;

    // Codes side by side across the box, in as many rows as they need.
    static double qrHeight(const Item &item, qsizetype codes);

    void qrCodes(Page &page, const Item &item, const QRectF &box, const QString &text);

    // The values a text needs from the run; true when some of them must wait for the final pass.
    bool capture(const TextTemplate &t, const Row *row, std::vector<QVariant> &values,
                 std::vector<int> &pending) const;

    // With `valueOnly`, a text of one expression gives that value without the words
    // and signs around it ("{x} %" gives x): a CSV cell is a figure a spreadsheet reads.
    QString expand(const TextTemplate &t, const std::vector<QVariant> &values, bool valueOnly = false) const;

    static int expressionCount(const TextTemplate &t);

    // A text now, or an empty one that the final pass fills.
    QString text(const TextTemplate &t, const Row *row, Deferred::Target target, int a, int b, int c);

    void emitBand(const Band &band, const Row *row, double height, const Grown &grown = {});

    void image(Page &page, const Item &item, const QRectF &box, const Row *row);

    void csvRow(const Band &, const Row *row);

    void summaryCsvRows(const Band &band);

    void drawChart(Page &page, const QRectF &box, const Item &item, const ChartState &chart);

    // ---- the report

    void layout();

    void runSection(int si);

    // A group footer's height as it would print with `rows` rows in its group (a
    // chart of fixed bars as tall as its bars); -1: the rows read so far.
    double footerHeight(const Group &g, qint64 rows = -1) const;

    // The body of an empty page: between the page header and the page footer.
    double bodyRoom() const;

    // Prints the footers of the groups from the innermost down to `level`, with
    // the last row of each group.
    void closeGroups(int si, size_t level, const Row &last);

    void finalPass();

    struct CachedLookup {
        bool found = false;
        std::vector<QVariant> values;
    };

    Report &m_report;
    const Project &m_project;
    const ConnectionRegistry &m_registry;
    const Parameters &m_parameters;
    const Progress &m_progress;
    const PageStamp &m_stamp;
    double m_stampTop = 0;
    std::vector<QRectF> m_stampBoxes;
    std::vector<int> m_stampStyles;
    QLocale m_locale;
    QDateTime m_started;
    QImage m_measure;

    std::unique_ptr<PreparedReport> m_out;
    std::vector<DataConnection *> m_begun;
    std::vector<SectionRun> m_sections;
    int m_summaryCsvTable = -1;
    QHash<const Expr *, QString> m_digests;
    QHash<const Item *, int> m_textStyles;
    QHash<QPair<const Item *, double>, int> m_chartStyles;
    QHash<QString, int> m_fileImages;
    QHash<QString, CachedLookup> m_lookupCache;
    qint64 m_lookupCacheBytes = 0;

    std::vector<AggregateState> m_aggregates;
    std::vector<int> m_currentAggregate;
    std::vector<ChartState> m_charts;
    std::vector<int> m_currentChart;
    std::vector<Deferred> m_deferred;
    std::vector<DeferredChart> m_deferredCharts;

    double m_y = 0;
    bool m_pageHasBody = false;
    int m_section = -1;
    bool m_headPrinted = false;
    const Row *m_currentRow = nullptr;
    std::vector<Row> m_openGroups; // the row each open group began with
};

} // namespace ReportEngine::internal
