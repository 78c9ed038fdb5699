#pragma once

// The reader of a report project file and its checker, one class shared by the files
// that read (project.cpp, projectreader.cpp) and check (projectcheck.cpp) a project.

#include "reportengine/project.h"
#include "reportengine/reporterror.h"
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QPageSize>
#include <QRegularExpression>
#include <QSet>
#include <QXmlStreamReader>
#include <cmath>

namespace ReportEngine::internal
{

constexpr double kEpsilon = 0.01; // mm of slack when items are held against their band

// Where an expression is evaluated, so that its fields and scopes can be checked.
struct Context {
    int section = -1; // -1: outside any section (page header and footer, title, summary)
    int level = -1;   // innermost group around the band, -1 for none
    bool row = false; // a row is current: fields may be read
    bool aggregates = true;
    int lookupsBefore = -1; // in a lookup's condition: the lookups it may read (-1: all)
};

class ProjectReader
{
  public:
    ProjectReader(const QByteArray &bytes, const QString &path) : m_xml(bytes), m_path(path) {}

    std::unique_ptr<Project> read();

  private:
    // ---- errors and positions

    SourcePos here() const { return {m_xml.lineNumber(), m_xml.columnNumber()}; }

    [[noreturn]] void failAt(SourcePos p, const QString &why) const;
    [[noreturn]] void fail(const QString &why) const;

    void checkXmlError() const;

    [[noreturn]] void failExpression(const ReportError &e) const;

    // ---- attributes

    void allow(std::initializer_list<const char *> names);

    bool has(const char *name) const { return m_xml.attributes().hasAttribute(QLatin1String(name)); }
    QString text(const char *name) const { return m_xml.attributes().value(QLatin1String(name)).toString(); }

    QString required(const char *name);

    double number(const char *name, double min, double max, std::optional<double> fallback = {});

    bool flag(const char *name, bool fallback);

    QColor color(const char *name, QColor fallback);

    QString name(const char *attribute);

    FontSpec font(const FontSpec &inherited);

    // ---- children

    // Moves to the next child element of the current one; false at its end.
    bool nextChild();

    [[noreturn]] void unknownElement(const QString &parent);
    [[noreturn]] void unknownElement(const char *parent) { unknownElement(QString::fromLatin1(parent)); }

    bool is(const char *n) const { return m_xml.name() == QLatin1String(n); }

    void readProjectElement(Project &project);

    void readReport(Report &r, const FontSpec &base);

    void single(std::optional<Band> &band, Band::Kind kind, const FontSpec &font);

    void readSection(Section &s, const FontSpec &font);

    void readLookup(Lookup &l);

    void readGroup(Group &g, const FontSpec &font);

    void readBand(Band &band, Band::Kind kind, const FontSpec &font);

    QRectF box();
    static QRectF toPoints(const QRectF &mm);

    void readText(Item &item, const FontSpec &font);

    void readLine(Item &item);

    void readRect(Item &item);

    void readImage(Item &item);

    void readChart(Item &item, const FontSpec &font);

    void readQrCode(Item &item);

    ExprPtr expression(const QString &text, SourcePos pos);

    TextTemplate textTemplate(const QString &content, SourcePos pos);

    // ---- checking names and scopes, once per report

    struct Scope {
        int section;
        int level;
    };

    Scope scope(Report &r, const Expr &e, const Context &ctx);

    void arity(const Expr &e, int min, int max);

    int aggregate(Report &r, AggregateDef::Kind kind, Scope sc, const Expr *argument);

    void check(Report &r, Expr &e, const Context &ctx);

    void checkTemplate(Report &r, TextTemplate &t, const Context &ctx);

    void checkPlain(Report &r, Expr &e, Context ctx);

    void checkBand(Report &r, Band &band, Context ctx, double body);

    void compile(Report &r, const QLocale &);

    QXmlStreamReader m_xml;
    QString m_path;
    double m_contentWidth = 0;
    std::vector<std::pair<int, Expr *>> m_rowExpressions;
};

} // namespace ReportEngine::internal
