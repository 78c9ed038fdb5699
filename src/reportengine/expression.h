#pragma once

// The expressions a report may hold: in the braces of a text, a group's key, a
// lookup's values, an image's field, a chart's label and value. Deliberately
// small: literals, fields, parameters, arithmetic, comparison, "and"/"or"/"not",
// "&" to join texts and a fixed list of functions (listed in docs/report-format.md).

#include <QLocale>
#include <QString>
#include <QVariant>
#include <memory>
#include <vector>

namespace ReportEngine
{

struct SourcePos {
    qint64 line = 0;
    qint64 column = 0;
};

struct Expr {
    enum class Kind { Literal, Name, Call, Unary, Binary };
    // What a node needs from the run. Pure nodes are computed from their arguments;
    // every other role is a context value, read from the row, the page or the run.
    enum class Role {
        Pure,
        Field,
        Found,
        Parameter,
        Page,
        Pages,
        RowNumber,
        Aggregate,
        Digest,
        Today,
        Now,
        Scope
    };

    Kind kind = Kind::Literal;
    Role role = Role::Pure;
    QVariant literal;
    QString qualifier; // "p" in p.partido
    QString name;      // field, function or operator
    std::vector<std::unique_ptr<Expr>> args;
    SourcePos pos;

    int index = -1;   // aggregate, lookup or slot, by role; the slot is set at each run
    int context = -1; // position among the context values of the text that holds it

    std::unique_ptr<Expr> clone() const;
};
using ExprPtr = std::unique_ptr<Expr>;

// Parses one expression; throws ReportError naming the position.
ExprPtr parseExpression(const QString &text, SourcePos start);

// Context values come from here while a node is evaluated.
class Resolver
{
  public:
    virtual ~Resolver() = default;
    virtual QVariant resolve(const Expr &node) const = 0;
};

QVariant evaluate(const Expr &e, const Resolver &resolver, const QLocale &locale);

// How a value is shown: whole numbers plainly, fractions with two decimals in the
// report's locale, dates in its short format, nothing for null and for bytes.
QString toText(const QVariant &v, const QLocale &locale);

// Calls every node of the tree, not descending into an aggregate's arguments
// (they are evaluated for the rows of their own scope).
template <class F> void forEachNode(Expr &e, F &&f)
{
    f(e);
    if (e.role == Expr::Role::Aggregate) return;
    for (auto &a : e.args)
        forEachNode(*a, f);
}

} // namespace ReportEngine
