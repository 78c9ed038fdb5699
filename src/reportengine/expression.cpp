#include "reportengine/expression.h"

#include "reportengine/reporterror.h"

#include <QDate>
#include <QDateTime>
#include <cmath>

namespace ReportEngine
{

ExprPtr Expr::clone() const
{
    auto c = std::make_unique<Expr>();
    c->kind = kind;
    c->role = role;
    c->literal = literal;
    c->qualifier = qualifier;
    c->name = name;
    c->pos = pos;
    c->index = index;
    c->context = context;
    for (const auto &a : args)
        c->args.push_back(a->clone());
    return c;
}

namespace
{

constexpr int kMaxDepth = 64;

struct Token {
    enum Type { End, Number, String, Identifier, Symbol } type = End;
    QString text;
    QVariant value;
    qsizetype offset = 0;
};

class Parser
{
  public:
    Parser(const QString &text, SourcePos start) : m_text(text), m_start(start) { advance(); }

    ExprPtr parseAll()
    {
        ExprPtr e = parseOr();
        if (m_tok.type != Token::End) fail(QStringLiteral("\"%1\" inesperado").arg(m_tok.text));
        return e;
    }

  private:
    [[noreturn]] void fail(const QString &why) const
    {
        const SourcePos p = posAt(m_tok.offset);
        throw ReportError(QStringLiteral("linha %1, coluna %2: expressão \"%3\": %4")
                              .arg(p.line)
                              .arg(p.column)
                              .arg(m_text, why));
    }

    SourcePos posAt(qsizetype offset) const
    {
        SourcePos p = m_start;
        for (qsizetype i = 0; i < offset && i < m_text.size(); ++i) {
            if (m_text[i] == u'\n') {
                ++p.line;
                p.column = 1;
            } else {
                ++p.column;
            }
        }
        return p;
    }

    void advance()
    {
        const qsizetype n = m_text.size();
        while (m_pos < n && m_text[m_pos].isSpace())
            ++m_pos;
        m_tok = Token{};
        m_tok.offset = m_pos;
        if (m_pos >= n) return;
        const QChar c = m_text[m_pos];
        if (c.isDigit()) {
            qsizetype e = m_pos;
            while (e < n && m_text[e].isDigit())
                ++e;
            bool fraction = false;
            if (e + 1 < n && m_text[e] == u'.' && m_text[e + 1].isDigit()) {
                fraction = true;
                ++e;
                while (e < n && m_text[e].isDigit())
                    ++e;
            }
            m_tok.type = Token::Number;
            m_tok.text = m_text.mid(m_pos, e - m_pos);
            bool ok = false;
            if (!fraction) {
                const qlonglong v = m_tok.text.toLongLong(&ok);
                if (ok) m_tok.value = v;
            }
            if (!ok) {
                const double d = m_tok.text.toDouble(&ok);
                if (!ok || !std::isfinite(d)) fail(QStringLiteral("número inválido"));
                m_tok.value = d;
            }
            m_pos = e;
            return;
        }
        if (c == u'"' || c == u'\'') {
            QString s;
            qsizetype i = m_pos + 1;
            for (;;) {
                if (i >= n) fail(QStringLiteral("texto sem aspas de fechamento"));
                if (m_text[i] == c) {
                    if (i + 1 < n && m_text[i + 1] == c) {
                        s += c;
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                s += m_text[i++];
            }
            m_tok.type = Token::String;
            m_tok.text = m_text.mid(m_pos, i - m_pos);
            m_tok.value = s;
            m_pos = i;
            return;
        }
        if (c.isLetter() || c == u'_') {
            qsizetype e = m_pos;
            while (e < n && (m_text[e].isLetterOrNumber() || m_text[e] == u'_'))
                ++e;
            m_tok.type = Token::Identifier;
            m_tok.text = m_text.mid(m_pos, e - m_pos);
            m_pos = e;
            return;
        }
        static const QStringList twoChar = {QStringLiteral("<>"), QStringLiteral("<="), QStringLiteral(">=")};
        const QString two = m_text.mid(m_pos, 2);
        if (twoChar.contains(two)) {
            m_tok.type = Token::Symbol;
            m_tok.text = two;
            m_pos += 2;
            return;
        }
        if (QStringLiteral("+-*/&=<>(),.").contains(c)) {
            m_tok.type = Token::Symbol;
            m_tok.text = c;
            ++m_pos;
            return;
        }
        fail(QStringLiteral("caractere \"%1\" inesperado").arg(c));
    }

    bool isSymbol(const char *s) const
    {
        return m_tok.type == Token::Symbol && m_tok.text == QLatin1String(s);
    }
    bool isKeyword(const char *k) const
    {
        return m_tok.type == Token::Identifier &&
               m_tok.text.compare(QLatin1String(k), Qt::CaseInsensitive) == 0;
    }

    void expect(const char *s)
    {
        if (!isSymbol(s)) fail(QStringLiteral("esperava \"%1\"").arg(QLatin1String(s)));
        advance();
    }

    ExprPtr node(Expr::Kind kind, const QString &name, qsizetype offset) const
    {
        auto e = std::make_unique<Expr>();
        e->kind = kind;
        e->name = name;
        e->pos = posAt(offset);
        return e;
    }

    ExprPtr binary(const QString &op, qsizetype offset, ExprPtr a, ExprPtr b) const
    {
        ExprPtr e = node(Expr::Kind::Binary, op, offset);
        e->args.push_back(std::move(a));
        e->args.push_back(std::move(b));
        return e;
    }

    struct DepthGuard {
        Parser &p;
        explicit DepthGuard(Parser &parser) : p(parser)
        {
            if (++p.m_depth > kMaxDepth) p.fail(QStringLiteral("expressão aninhada demais"));
        }
        ~DepthGuard() { --p.m_depth; }
    };

    ExprPtr parseOr()
    {
        DepthGuard guard(*this);
        ExprPtr e = parseAnd();
        while (isKeyword("or")) {
            const qsizetype at = m_tok.offset;
            advance();
            e = binary(QStringLiteral("or"), at, std::move(e), parseAnd());
        }
        return e;
    }

    ExprPtr parseAnd()
    {
        ExprPtr e = parseComparison();
        while (isKeyword("and")) {
            const qsizetype at = m_tok.offset;
            advance();
            e = binary(QStringLiteral("and"), at, std::move(e), parseComparison());
        }
        return e;
    }

    ExprPtr parseComparison()
    {
        ExprPtr e = parseConcat();
        for (const char *op : {"=", "<>", "<", ">", "<=", ">="}) {
            if (isSymbol(op)) {
                const qsizetype at = m_tok.offset;
                advance();
                return binary(QLatin1String(op), at, std::move(e), parseConcat());
            }
        }
        return e;
    }

    ExprPtr parseConcat()
    {
        ExprPtr e = parseAdditive();
        while (isSymbol("&")) {
            const qsizetype at = m_tok.offset;
            advance();
            e = binary(QStringLiteral("&"), at, std::move(e), parseAdditive());
        }
        return e;
    }

    ExprPtr parseAdditive()
    {
        ExprPtr e = parseMultiplicative();
        while (isSymbol("+") || isSymbol("-")) {
            const QString op = m_tok.text;
            const qsizetype at = m_tok.offset;
            advance();
            e = binary(op, at, std::move(e), parseMultiplicative());
        }
        return e;
    }

    ExprPtr parseMultiplicative()
    {
        ExprPtr e = parseUnary();
        while (isSymbol("*") || isSymbol("/")) {
            const QString op = m_tok.text;
            const qsizetype at = m_tok.offset;
            advance();
            e = binary(op, at, std::move(e), parseUnary());
        }
        return e;
    }

    ExprPtr parseUnary()
    {
        if (isSymbol("-") || isKeyword("not")) {
            DepthGuard guard(*this);
            const QString op = isSymbol("-") ? QStringLiteral("-") : QStringLiteral("not");
            ExprPtr e = node(Expr::Kind::Unary, op, m_tok.offset);
            advance();
            e->args.push_back(parseUnary());
            return e;
        }
        return parsePrimary();
    }

    ExprPtr parsePrimary()
    {
        const qsizetype at = m_tok.offset;
        if (m_tok.type == Token::Number || m_tok.type == Token::String) {
            ExprPtr e = node(Expr::Kind::Literal, QString(), at);
            e->literal = m_tok.value;
            advance();
            return e;
        }
        if (isSymbol("(")) {
            advance();
            ExprPtr e = parseOr();
            expect(")");
            return e;
        }
        if (m_tok.type != Token::Identifier) {
            fail(m_tok.type == Token::End ? QStringLiteral("a expressão termina antes do fim")
                                          : QStringLiteral("\"%1\" inesperado").arg(m_tok.text));
        }
        for (const char *k : {"true", "false", "null"}) {
            if (isKeyword(k)) {
                ExprPtr e = node(Expr::Kind::Literal, QString(), at);
                if (QLatin1String(k) != QLatin1String("null"))
                    e->literal = QLatin1String(k) == QLatin1String("true");
                advance();
                return e;
            }
        }
        const QString first = m_tok.text;
        advance();
        if (isSymbol(".")) {
            advance();
            if (m_tok.type != Token::Identifier) fail(QStringLiteral("esperava o nome de um campo"));
            ExprPtr e = node(Expr::Kind::Name, m_tok.text, at);
            e->qualifier = first;
            advance();
            return e;
        }
        if (isSymbol("(")) {
            DepthGuard guard(*this);
            ExprPtr e = node(Expr::Kind::Call, first.toLower(), at);
            advance();
            if (!isSymbol(")")) {
                e->args.push_back(parseOr());
                while (isSymbol(",")) {
                    advance();
                    e->args.push_back(parseOr());
                }
            }
            expect(")");
            return e;
        }
        return node(Expr::Kind::Name, first, at);
    }

    const QString &m_text;
    SourcePos m_start;
    qsizetype m_pos = 0;
    Token m_tok;
    int m_depth = 0;
};

bool isNumber(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Bool:
        return true;
    default:
        return false;
    }
}

bool isWhole(const QVariant &v)
{
    return isNumber(v) && v.typeId() != QMetaType::Double && v.typeId() != QMetaType::Float;
}

// Text that reads as a number takes part in arithmetic as that number.
QVariant asNumber(const QVariant &v)
{
    if (v.isNull()) return {};
    if (isNumber(v)) return isWhole(v) ? QVariant(v.toLongLong()) : QVariant(v.toDouble());
    if (v.typeId() == QMetaType::QString) {
        const QString s = v.toString().trimmed();
        bool ok = false;
        const qlonglong i = s.toLongLong(&ok);
        if (ok) return i;
        const double d = s.toDouble(&ok);
        if (ok && std::isfinite(d)) return d;
    }
    return {};
}

bool truth(const QVariant &v)
{
    if (v.isNull()) return false;
    if (v.typeId() == QMetaType::Bool) return v.toBool();
    if (isNumber(v)) return v.toDouble() != 0.0;
    if (v.typeId() == QMetaType::QString) return !v.toString().isEmpty();
    return true;
}

QVariant arithmetic(const QString &op, const QVariant &a, const QVariant &b)
{
    const QVariant x = asNumber(a);
    const QVariant y = asNumber(b);
    if (x.isNull() || y.isNull()) return {};
    if (op == u'/') {
        const double d = y.toDouble();
        if (d == 0.0) return {};
        return x.toDouble() / d;
    }
    if (x.typeId() == QMetaType::LongLong && y.typeId() == QMetaType::LongLong) {
        const qint64 i = x.toLongLong(), j = y.toLongLong();
        qint64 r = 0;
        bool overflow = op == u'+'   ? __builtin_add_overflow(i, j, &r)
                        : op == u'-' ? __builtin_sub_overflow(i, j, &r)
                                     : __builtin_mul_overflow(i, j, &r);
        if (!overflow) return r;
    }
    const double i = x.toDouble(), j = y.toDouble();
    const double r = op == u'+' ? i + j : op == u'-' ? i - j : i * j;
    return std::isfinite(r) ? QVariant(r) : QVariant();
}

// Numbers compare as numbers, also with a text that reads as one; two texts
// compare as texts, letter case significant.
int compare(const QVariant &a, const QVariant &b, const QLocale &locale)
{
    const bool numeric = isNumber(a) || isNumber(b);
    const QVariant x = numeric ? asNumber(a) : QVariant();
    const QVariant y = numeric ? asNumber(b) : QVariant();
    if (!x.isNull() && !y.isNull()) {
        const double i = x.toDouble(), j = y.toDouble();
        return i < j ? -1 : i > j ? 1 : 0;
    }
    return toText(a, locale).compare(toText(b, locale), Qt::CaseSensitive);
}

QVariant callPure(const Expr &e, const Resolver &r, const QLocale &locale)
{
    const auto arg = [&](size_t i) { return evaluate(*e.args[i], r, locale); };
    const QString &f = e.name;
    if (f == u"if") return truth(arg(0)) ? arg(1) : arg(2);
    if (f == u"isnull") {
        const QVariant v = arg(0);
        return v.isNull() || (v.typeId() == QMetaType::QString && v.toString().isEmpty());
    }
    if (f == u"fmt") {
        const QVariant v = asNumber(arg(0));
        const QVariant places = asNumber(arg(1));
        if (v.isNull()) return QString();
        const int decimals = places.isNull() ? 0 : int(std::clamp<qlonglong>(places.toLongLong(), 0, 10));
        return locale.toString(v.toDouble(), 'f', decimals);
    }
    if (f == u"upper") return locale.toUpper(toText(arg(0), locale));
    if (f == u"lower") return locale.toLower(toText(arg(0), locale));
    if (f == u"trim") return toText(arg(0), locale).trimmed();
    if (f == u"str") return toText(arg(0), locale);
    if (f == u"len") return qlonglong(toText(arg(0), locale).size());
    if (f == u"pctof") {
        const QVariant part = asNumber(arg(0));
        const QVariant whole = asNumber(arg(1));
        if (part.isNull() || whole.isNull() || whole.toDouble() == 0.0) return 0.0;
        return part.toDouble() * 100.0 / whole.toDouble();
    }
    return {};
}

} // namespace

ExprPtr parseExpression(const QString &text, SourcePos start)
{
    return Parser(text, start).parseAll();
}

QVariant evaluate(const Expr &e, const Resolver &resolver, const QLocale &locale)
{
    if (e.role != Expr::Role::Pure) return resolver.resolve(e);
    switch (e.kind) {
    case Expr::Kind::Literal:
        return e.literal;
    case Expr::Kind::Name:
        return {};
    case Expr::Kind::Call:
        return callPure(e, resolver, locale);
    case Expr::Kind::Unary: {
        const QVariant v = evaluate(*e.args[0], resolver, locale);
        if (e.name == u"not") return !truth(v);
        return arithmetic(QStringLiteral("-"), qlonglong(0), v);
    }
    case Expr::Kind::Binary:
        break;
    }
    const QString &op = e.name;
    if (op == u"and")
        return truth(evaluate(*e.args[0], resolver, locale)) && truth(evaluate(*e.args[1], resolver, locale));
    if (op == u"or")
        return truth(evaluate(*e.args[0], resolver, locale)) || truth(evaluate(*e.args[1], resolver, locale));
    const QVariant a = evaluate(*e.args[0], resolver, locale);
    const QVariant b = evaluate(*e.args[1], resolver, locale);
    if (op == u"&") return toText(a, locale) + toText(b, locale);
    if (op == u"+" || op == u"-" || op == u"*" || op == u"/") return arithmetic(op, a, b);
    const int c = compare(a, b, locale);
    if (op == u"=") return c == 0;
    if (op == u"<>") return c != 0;
    if (op == u"<") return c < 0;
    if (op == u">") return c > 0;
    if (op == u"<=") return c <= 0;
    return c >= 0;
}

QString toText(const QVariant &v, const QLocale &locale)
{
    if (v.isNull()) return {};
    switch (v.typeId()) {
    case QMetaType::QString:
        return v.toString();
    case QMetaType::Bool:
        return v.toBool() ? QStringLiteral("Sim") : QStringLiteral("Não");
    case QMetaType::Double:
    case QMetaType::Float:
        return locale.toString(v.toDouble(), 'f', 2);
    case QMetaType::QDate:
        return locale.toString(v.toDate(), QLocale::ShortFormat);
    case QMetaType::QDateTime:
        return locale.toString(v.toDateTime(), QLocale::ShortFormat);
    case QMetaType::QByteArray:
        return {};
    default:
        break;
    }
    if (isNumber(v)) return v.toString();
    return v.toString();
}

} // namespace ReportEngine
