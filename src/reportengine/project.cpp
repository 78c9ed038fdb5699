#include "reportengine/project.h"

#include <QRegularExpression>

#include "reportengine/reporterror.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QPageSize>
#include <QSet>
#include <QXmlStreamReader>
#include <cmath>

namespace ReportEngine
{

Report *Project::find(const QString &name) const
{
    for (const auto &r : reports)
        if (r->name.compare(name, Qt::CaseInsensitive) == 0) return r.get();
    return nullptr;
}

namespace
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

    std::unique_ptr<Project> read()
    {
        auto project = std::make_unique<Project>();
        project->folder = QFileInfo(m_path).absolutePath();
        bool seenRoot = false;
        while (!m_xml.atEnd()) {
            const auto token = m_xml.readNext();
            switch (token) {
            case QXmlStreamReader::StartElement:
                if (seenRoot) fail(QStringLiteral("há mais de um elemento raiz"));
                seenRoot = true;
                readProjectElement(*project);
                break;
            case QXmlStreamReader::Characters:
                if (!m_xml.isWhitespace()) fail(QStringLiteral("texto fora do elemento <project>"));
                break;
            case QXmlStreamReader::DTD:
                fail(QStringLiteral("declarações de tipo de documento não são aceitas"));
            case QXmlStreamReader::EntityReference:
                fail(QStringLiteral("entidade desconhecida"));
            default:
                break;
            }
        }
        checkXmlError();
        if (!seenRoot) fail(QStringLiteral("falta o elemento <project>"));
        return project;
    }

  private:
    // ---- errors and positions

    SourcePos here() const { return {m_xml.lineNumber(), m_xml.columnNumber()}; }

    [[noreturn]] void failAt(SourcePos p, const QString &why) const
    {
        throw ReportError(QStringLiteral("Erro no projeto de relatórios \"%1\", linha %2, coluna %3: %4")
                              .arg(QDir::toNativeSeparators(m_path))
                              .arg(p.line)
                              .arg(p.column)
                              .arg(why));
    }
    [[noreturn]] void fail(const QString &why) const
    {
        checkXmlError();
        failAt(here(), why);
    }

    void checkXmlError() const
    {
        if (!m_xml.hasError()) return;
        QString why;
        switch (m_xml.error()) {
        case QXmlStreamReader::PrematureEndOfDocumentError:
            why = QStringLiteral("o arquivo termina antes do fim do projeto (arquivo incompleto)");
            break;
        case QXmlStreamReader::NotWellFormedError:
            why = QStringLiteral("o arquivo não é um XML bem formado");
            break;
        case QXmlStreamReader::UnexpectedElementError:
            why = QStringLiteral("<text> só aceita texto, não elementos");
            break;
        default:
            why = QStringLiteral("o arquivo não é um projeto de relatórios legível");
            break;
        }
        failAt(here(), why);
    }

    [[noreturn]] void failExpression(const ReportError &e) const
    {
        throw ReportError(QStringLiteral("Erro no projeto de relatórios \"%1\", %2")
                              .arg(QDir::toNativeSeparators(m_path), e.message()));
    }

    // ---- attributes

    void allow(std::initializer_list<const char *> names)
    {
        for (const QXmlStreamAttribute &a : m_xml.attributes()) {
            bool known = a.namespaceUri().isEmpty();
            if (known) {
                known = false;
                for (const char *n : names)
                    if (a.name() == QLatin1String(n)) known = true;
            }
            if (!known)
                fail(QStringLiteral("atributo desconhecido \"%1\" em <%2>")
                         .arg(a.qualifiedName().toString(), m_xml.name().toString()));
        }
    }

    bool has(const char *name) const { return m_xml.attributes().hasAttribute(QLatin1String(name)); }
    QString text(const char *name) const { return m_xml.attributes().value(QLatin1String(name)).toString(); }

    QString required(const char *name)
    {
        if (!has(name))
            fail(QStringLiteral("falta o atributo \"%1\" em <%2>").arg(QLatin1String(name), m_xml.name()));
        const QString v = text(name).trimmed();
        if (v.isEmpty()) fail(QStringLiteral("o atributo \"%1\" está vazio").arg(QLatin1String(name)));
        return v;
    }

    double number(const char *name, double min, double max, std::optional<double> fallback = {})
    {
        if (!has(name)) {
            if (fallback) return *fallback;
            required(name);
        }
        bool ok = false;
        const double v = QLocale::c().toDouble(text(name).trimmed(), &ok);
        if (!ok || !std::isfinite(v) || v < min || v > max)
            fail(QStringLiteral("o atributo \"%1\" deve ser um número de %2 a %3")
                     .arg(QLatin1String(name))
                     .arg(min)
                     .arg(max));
        return v;
    }

    bool flag(const char *name, bool fallback)
    {
        if (!has(name)) return fallback;
        const QString v = text(name).trimmed();
        if (v == u"1" || v == u"true") return true;
        if (v == u"0" || v == u"false") return false;
        fail(QStringLiteral("o atributo \"%1\" deve ser 1 ou 0").arg(QLatin1String(name)));
    }

    QColor color(const char *name, QColor fallback)
    {
        if (!has(name)) return fallback;
        const QString v = text(name).trimmed();
        if (v == u"none") return QColor();
        if (!QColor::isValidColorName(v)) fail(QStringLiteral("cor inválida \"%1\"").arg(v));
        return QColor::fromString(v);
    }

    QString name(const char *attribute)
    {
        const QString v = required(attribute);
        for (const QChar c : v)
            if (!(c.isLetterOrNumber() || c == u'_'))
                fail(QStringLiteral("o nome \"%1\" deve ter só letras, algarismos e \"_\"").arg(v));
        if (v[0].isDigit()) fail(QStringLiteral("o nome \"%1\" não pode começar por algarismo").arg(v));
        return v;
    }

    FontSpec font(const FontSpec &inherited)
    {
        FontSpec f = inherited;
        if (has("font")) f.family = required("font");
        f.size = number("size", 1, 200, inherited.size);
        f.bold = flag("bold", inherited.bold);
        f.italic = flag("italic", inherited.italic);
        return f;
    }

    // ---- children

    // Moves to the next child element of the current one; false at its end.
    bool nextChild()
    {
        for (;;) {
            const auto token = m_xml.readNext();
            switch (token) {
            case QXmlStreamReader::StartElement:
                return true;
            case QXmlStreamReader::EndElement:
                return false;
            case QXmlStreamReader::Characters:
                if (!m_xml.isWhitespace()) fail(QStringLiteral("texto fora de um elemento <text>"));
                break;
            case QXmlStreamReader::EntityReference:
                fail(QStringLiteral("entidade desconhecida"));
            case QXmlStreamReader::Invalid:
            case QXmlStreamReader::EndDocument:
                checkXmlError();
                fail(QStringLiteral("o arquivo termina antes do fim do projeto (arquivo incompleto)"));
            default:
                break;
            }
        }
    }

    [[noreturn]] void unknownElement(const QString &parent)
    {
        fail(QStringLiteral("elemento desconhecido <%1> em <%2>").arg(m_xml.name().toString(), parent));
    }
    [[noreturn]] void unknownElement(const char *parent) { unknownElement(QString::fromLatin1(parent)); }

    bool is(const char *n) const { return m_xml.name() == QLatin1String(n); }

    void readProjectElement(Project &project)
    {
        if (!is("project"))
            fail(QStringLiteral("o elemento raiz deve ser <project>, não <%1>").arg(m_xml.name()));
        allow({"version", "locale", "font", "size"});
        const double version = number("version", 0, 1000);
        if (version != 1)
            fail(QStringLiteral("versão %1 do formato não suportada (esta versão lê a 1)").arg(version));
        project.version = 1;
        project.locale = has("locale") ? QLocale(required("locale")) : QLocale::system();
        FontSpec base{QStringLiteral("DejaVu Sans"), 9, false, false};
        base = font(base);
        while (nextChild()) {
            if (!is("report")) unknownElement("project");
            auto report = std::make_unique<Report>();
            readReport(*report, base);
            if (project.find(report->name))
                failAt(report->pos, QStringLiteral("há dois relatórios com o nome \"%1\"").arg(report->name));
            compile(*report, project.locale);
            project.reports.push_back(std::move(report));
        }
    }

    void readReport(Report &r, const FontSpec &base)
    {
        allow({"name", "title", "page", "orient", "margins", "font", "size", "bold", "italic"});
        r.pos = here();
        r.name = name("name");
        r.title = has("title") ? text("title") : r.name;
        r.font = font(base);
        QSizeF mm(210, 297);
        if (has("page")) {
            const QString p = required("page");
            static const QHash<QString, QPageSize::PageSizeId> known = {
                {QStringLiteral("A3"), QPageSize::A3},       {QStringLiteral("A4"), QPageSize::A4},
                {QStringLiteral("A5"), QPageSize::A5},       {QStringLiteral("Letter"), QPageSize::Letter},
                {QStringLiteral("Legal"), QPageSize::Legal},
            };
            if (known.contains(p)) {
                mm = QPageSize(known[p]).size(QPageSize::Millimeter);
            } else {
                const QStringList wh = p.split(u'x');
                bool okW = false, okH = false;
                if (wh.size() == 2)
                    mm = QSizeF(QLocale::c().toDouble(wh[0], &okW), QLocale::c().toDouble(wh[1], &okH));
                if (!okW || !okH || !(mm.width() >= 50 && mm.width() <= 2000) ||
                    !(mm.height() >= 50 && mm.height() <= 2000))
                    fail(QStringLiteral(
                             "página \"%1\" inválida: use A3, A4, A5, Letter, Legal ou LARGURAxALTURA em mm, "
                             "de 50 a 2000")
                             .arg(p));
            }
        }
        if (has("orient")) {
            const QString o = required("orient");
            if (o == u"landscape")
                r.landscape = true;
            else if (o != u"portrait")
                fail(QStringLiteral("orientação \"%1\" inválida: use portrait ou landscape").arg(o));
        }
        if (r.landscape) mm.transpose();
        r.pageSize = mm * kPointsPerMm;
        QList<double> m{15, 15, 15, 15};
        if (has("margins")) {
            const QStringList parts = required("margins").split(u' ', Qt::SkipEmptyParts);
            bool ok = parts.size() == 1 || parts.size() == 4;
            QList<double> values;
            for (const QString &s : parts) {
                bool one = false;
                const double v = QLocale::c().toDouble(s, &one);
                ok = ok && one && std::isfinite(v) && v >= 0 && v <= 500;
                values << v;
            }
            if (!ok)
                fail(QStringLiteral(
                    "margens inválidas: um número ou quatro (cima direita baixo esquerda), em mm"));
            m = values.size() == 1 ? QList<double>{values[0], values[0], values[0], values[0]} : values;
        }
        r.margins = QMarginsF(m[3], m[0], m[1], m[2]) * kPointsPerMm;
        if (r.margins.left() + r.margins.right() >= r.pageSize.width() - 10 * kPointsPerMm ||
            r.margins.top() + r.margins.bottom() >= r.pageSize.height() - 10 * kPointsPerMm)
            failAt(r.pos, QStringLiteral("as margens não deixam espaço na página"));
        m_contentWidth = r.pageSize.width() - r.margins.left() - r.margins.right();

        QSet<QString> sectionNames;
        while (nextChild()) {
            if (is("pghead")) {
                single(r.pageHeader, Band::Kind::PageHeader, r.font);
            } else if (is("pgfoot")) {
                single(r.pageFooter, Band::Kind::PageFooter, r.font);
            } else if (is("title")) {
                single(r.titleBand, Band::Kind::Title, r.font);
            } else if (is("summary")) {
                single(r.summary, Band::Kind::Summary, r.font);
            } else if (is("section")) {
                Section s;
                readSection(s, r.font);
                if (sectionNames.contains(s.name.toLower()))
                    failAt(s.pos, QStringLiteral("há duas seções com o nome \"%1\"").arg(s.name));
                sectionNames.insert(s.name.toLower());
                r.sections.push_back(std::move(s));
            } else {
                unknownElement("report");
            }
        }
    }

    void single(std::optional<Band> &band, Band::Kind kind, const FontSpec &font)
    {
        if (band) fail(QStringLiteral("<%1> aparece mais de uma vez").arg(m_xml.name()));
        band.emplace();
        readBand(*band, kind, font);
    }

    void readSection(Section &s, const FontSpec &font)
    {
        allow({"name", "data", "newpage"});
        s.pos = here();
        s.data = name("data");
        s.name = has("name") ? name("name") : s.data;
        s.newPage = flag("newpage", false);
        QSet<QString> names{s.name.toLower()};
        while (nextChild()) {
            if (is("lookup")) {
                Lookup l;
                readLookup(l);
                if (names.contains(l.name.toLower()))
                    failAt(l.pos, QStringLiteral("o nome \"%1\" já foi usado").arg(l.name));
                names.insert(l.name.toLower());
                s.lookups.push_back(std::move(l));
            } else if (is("group")) {
                if (s.detail) fail(QStringLiteral("os grupos vêm antes de <detail>"));
                Group g;
                readGroup(g, font);
                if (names.contains(g.name.toLower()))
                    failAt(g.pos, QStringLiteral("o nome \"%1\" já foi usado").arg(g.name));
                names.insert(g.name.toLower());
                s.groups.push_back(std::move(g));
            } else if (is("head")) {
                single(s.head, Band::Kind::Head, font);
            } else if (is("detail")) {
                single(s.detail, Band::Kind::Detail, font);
            } else if (is("foot")) {
                single(s.foot, Band::Kind::Foot, font);
            } else if (is("empty")) {
                single(s.empty, Band::Kind::Empty, font);
            } else {
                unknownElement("section");
            }
        }
        for (const QString &reserved : {QStringLiteral("group"), QStringLiteral("report")})
            if (names.contains(reserved))
                failAt(s.pos, QStringLiteral("\"%1\" é um nome reservado").arg(reserved));
    }

    void readLookup(Lookup &l)
    {
        allow({"name", "data"});
        l.pos = here();
        l.name = name("name");
        l.data = name("data");
        while (nextChild()) {
            if (!is("on")) unknownElement("lookup");
            allow({"field", "op", "value"});
            Lookup::On on;
            on.pos = here();
            on.field = name("field");
            on.op = has("op") ? required("op") : QStringLiteral("=");
            if (on.op != u"=" && on.op != u"<>")
                fail(QStringLiteral("operador \"%1\" inválido: use = ou <>").arg(on.op));
            on.value = expression(required("value"), on.pos);
            l.conditions.push_back(std::move(on));
            if (nextChild()) unknownElement("on");
        }
        if (l.conditions.empty())
            failAt(l.pos, QStringLiteral("a busca \"%1\" não tem condições <on>").arg(l.name));
    }

    void readGroup(Group &g, const FontSpec &font)
    {
        allow({"name", "by", "newpage"});
        g.pos = here();
        g.name = name("name");
        g.key = expression(required("by"), g.pos);
        g.newPage = flag("newpage", false);
        while (nextChild()) {
            if (is("ghead"))
                single(g.header, Band::Kind::GroupHeader, font);
            else if (is("gfoot"))
                single(g.footer, Band::Kind::GroupFooter, font);
            else
                unknownElement("group");
        }
    }

    void readBand(Band &band, Band::Kind kind, const FontSpec &font)
    {
        if (kind == Band::Kind::GroupHeader)
            allow({"h", "repeat"});
        else
            allow({"h"});
        band.kind = kind;
        band.pos = here();
        band.height = number("h", 0, 2000) * kPointsPerMm;
        band.repeat = flag("repeat", false);
        const QString parent = m_xml.name().toString();
        while (nextChild()) {
            Item item;
            item.pos = here();
            if (is("text"))
                readText(item, font);
            else if (is("line"))
                readLine(item);
            else if (is("rect"))
                readRect(item);
            else if (is("image"))
                readImage(item);
            else if (is("chart"))
                readChart(item, font);
            else if (is("qrcode"))
                readQrCode(item);
            else
                unknownElement(parent);
            const QRectF box = item.box.normalized();
            if (box.bottom() > band.height + kEpsilon * kPointsPerMm)
                failAt(item.pos, QStringLiteral("o item passa do fim da faixa (altura %1 mm)")
                                     .arg(band.height / kPointsPerMm, 0, 'f', 1));
            if (box.right() > m_contentWidth + kEpsilon * kPointsPerMm)
                failAt(item.pos, QStringLiteral("o item passa da margem direita (largura útil %1 mm)")
                                     .arg(m_contentWidth / kPointsPerMm, 0, 'f', 1));
            band.items.push_back(std::move(item));
        }
    }

    QRectF box()
    {
        const double x = number("x", 0, 2000), y = number("y", 0, 2000);
        const double w = number("w", 0.1, 2000), h = number("h", 0.1, 2000);
        return QRectF(x, y, w, h);
    }
    static QRectF toPoints(const QRectF &mm)
    {
        return QRectF(mm.x() * kPointsPerMm, mm.y() * kPointsPerMm, mm.width() * kPointsPerMm,
                      mm.height() * kPointsPerMm);
    }

    void readText(Item &item, const FontSpec &font)
    {
        allow({"x", "y", "w", "h", "align", "valign", "font", "size", "bold", "italic", "color", "wrap",
               "grow", "show", "col"});
        item.kind = Item::Kind::Text;
        item.box = toPoints(box());
        item.font = this->font(font);
        item.color = color("color", Qt::black);
        item.wrap = flag("wrap", false);
        item.grow = flag("grow", false);
        if (item.grow) item.wrap = true;
        item.show = flag("show", true);
        item.column = text("col");
        Qt::Alignment h = Qt::AlignLeft, v = Qt::AlignVCenter;
        if (has("align")) {
            const QString a = required("align");
            if (a == u"left")
                h = Qt::AlignLeft;
            else if (a == u"center")
                h = Qt::AlignHCenter;
            else if (a == u"right")
                h = Qt::AlignRight;
            else
                fail(QStringLiteral("alinhamento \"%1\" inválido: use left, center ou right").arg(a));
        }
        if (has("valign")) {
            const QString a = required("valign");
            if (a == u"top")
                v = Qt::AlignTop;
            else if (a == u"middle")
                v = Qt::AlignVCenter;
            else if (a == u"bottom")
                v = Qt::AlignBottom;
            else
                fail(
                    QStringLiteral("alinhamento vertical \"%1\" inválido: use top, middle ou bottom").arg(a));
        }
        item.align = h | v;
        const SourcePos start = here();
        const QString content = m_xml.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
        checkXmlError();
        item.text = textTemplate(content, start);
    }

    void readLine(Item &item)
    {
        allow({"x1", "y1", "x2", "y2", "width", "color"});
        item.kind = Item::Kind::Line;
        const QPointF a(number("x1", 0, 2000), number("y1", 0, 2000));
        const QPointF b(number("x2", 0, 2000), number("y2", 0, 2000));
        item.box = QRectF(a * kPointsPerMm, b * kPointsPerMm);
        item.penWidth = number("width", 0, 20, 0.2) * kPointsPerMm;
        item.color = color("color", Qt::black);
        if (nextChild()) unknownElement("line");
    }

    void readRect(Item &item)
    {
        allow({"x", "y", "w", "h", "width", "color", "fill"});
        item.kind = Item::Kind::Rect;
        item.box = toPoints(box());
        item.penWidth = number("width", 0, 20, 0.2) * kPointsPerMm;
        item.color = color("color", Qt::black);
        item.fill = color("fill", QColor());
        if (nextChild()) unknownElement("rect");
    }

    void readImage(Item &item)
    {
        allow({"x", "y", "w", "h", "field", "file", "fit"});
        item.kind = Item::Kind::Image;
        item.box = toPoints(box());
        if (has("field") == has("file"))
            fail(QStringLiteral("<image> precisa de \"field\" ou de \"file\", só um deles"));
        if (has("field")) item.imageField = expression(required("field"), here());
        if (has("file")) {
            item.imageFile = required("file");
            if (QFileInfo(item.imageFile).isAbsolute() || item.imageFile.contains(QStringLiteral("..")))
                fail(QStringLiteral("o arquivo de imagem deve estar na pasta do projeto"));
        }
        if (has("fit")) {
            const QString f = required("fit");
            if (f == u"stretch")
                item.keepAspect = false;
            else if (f != u"keep")
                fail(QStringLiteral("ajuste \"%1\" inválido: use keep ou stretch").arg(f));
        }
        if (nextChild()) unknownElement("image");
    }

    void readChart(Item &item, const FontSpec &font)
    {
        allow({"x", "y", "w", "h", "label", "value", "scope", "limit", "bar", "color", "fill", "font", "size",
               "bold", "italic"});
        item.kind = Item::Kind::Chart;
        item.box = toPoints(box());
        item.label = expression(required("label"), here());
        item.value = expression(required("value"), here());
        item.scope = has("scope") ? required("scope") : QStringLiteral("group");
        item.limit = int(number("limit", 0, 100000, 0));
        item.bar = number("bar", 0, 100, 0) * kPointsPerMm;
        item.color = color("color", Qt::black);
        item.fill = color("fill", QColor(0x4f, 0x7d, 0xb8));
        item.font = this->font(font);
        if (nextChild()) unknownElement("chart");
    }

    void readQrCode(Item &item)
    {
        allow({"x", "y", "w", "h", "text", "prefix", "bytes", "size"});
        item.kind = Item::Kind::QrCode;
        item.box = toPoints(box());
        item.value = expression(required("text"), here());
        item.prefix = required("prefix");
        static const QRegularExpression formaDoPrefixo(QStringLiteral("^[A-Za-z0-9_-]{1,20}$"));
        if (!formaDoPrefixo.match(item.prefix).hasMatch())
            fail(QStringLiteral("prefixo \"%1\" inválido: de 1 a 20 letras, dígitos, _ ou -").arg(item.prefix));
        item.sliceBytes = int(number("bytes", 16, 2000, 800));
        item.codeSize = number("size", 10, 2000, item.box.height() / kPointsPerMm) * kPointsPerMm;
        if (item.codeSize > item.box.width() + kEpsilon * kPointsPerMm ||
            item.codeSize > item.box.height() + kEpsilon * kPointsPerMm)
            fail(QStringLiteral("o código QR (size) não cabe na caixa do item"));
        if (nextChild()) unknownElement("qrcode");
    }

    ExprPtr expression(const QString &text, SourcePos pos)
    {
        try {
            return parseExpression(text, pos);
        } catch (const ReportError &e) {
            failExpression(e);
        }
    }

    TextTemplate textTemplate(const QString &content, SourcePos pos)
    {
        TextTemplate t;
        QString literal;
        qsizetype i = 0;
        const qsizetype n = content.size();
        while (i < n) {
            const QChar c = content[i];
            if (c == u'{' && i + 1 < n && content[i + 1] == u'{') {
                literal += u'{';
                i += 2;
            } else if (c == u'}' && i + 1 < n && content[i + 1] == u'}') {
                literal += u'}';
                i += 2;
            } else if (c == u'}') {
                failAt(pos, QStringLiteral("\"}\" sem \"{\" no texto (escreva }} para a chave)"));
            } else if (c == u'{') {
                // The expression ends at the first "}" outside its quoted texts.
                qsizetype close = i + 1;
                QChar quote;
                for (; close < n; ++close) {
                    const QChar d = content[close];
                    if (!quote.isNull()) {
                        if (d == quote) quote = QChar();
                    } else if (d == u'"' || d == u'\'') {
                        quote = d;
                    } else if (d == u'}') {
                        break;
                    }
                }
                if (close >= n)
                    failAt(pos, QStringLiteral("\"{\" sem \"}\" no texto (escreva {{ para a chave)"));
                if (!literal.isEmpty()) t.parts.push_back({literal, nullptr});
                literal.clear();
                t.parts.push_back({QString(), expression(content.mid(i + 1, close - i - 1), pos)});
                i = close + 1;
            } else {
                literal += c;
                ++i;
            }
        }
        if (!literal.isEmpty()) t.parts.push_back({literal, nullptr});
        return t;
    }

    // ---- checking names and scopes, once per report

    struct Scope {
        int section;
        int level;
    };

    Scope scope(Report &r, const Expr &e, const Context &ctx)
    {
        if (e.kind != Expr::Kind::Name || !e.qualifier.isEmpty())
            failAt(e.pos,
                   QStringLiteral("o escopo deve ser group, report, o nome de um grupo ou de uma seção"));
        const QString n = e.name.toLower();
        if (n == u"group") {
            if (ctx.section < 0 || ctx.level < 0)
                failAt(e.pos, QStringLiteral("não há grupo em volta desta faixa"));
            return {ctx.section, ctx.level};
        }
        if (n == u"report") {
            if (ctx.section >= 0) return {ctx.section, -1};
            if (r.sections.size() != 1)
                failAt(e.pos, QStringLiteral("fora de uma seção, o escopo deve ser o nome de uma seção"));
            return {0, -1};
        }
        if (ctx.section >= 0) {
            const Section &s = r.sections[size_t(ctx.section)];
            for (int g = 0; g < int(s.groups.size()); ++g) {
                if (s.groups[size_t(g)].name.compare(e.name, Qt::CaseInsensitive) != 0) continue;
                if (g > ctx.level)
                    failAt(e.pos, QStringLiteral("o grupo \"%1\" não está em volta desta faixa").arg(e.name));
                return {ctx.section, g};
            }
        }
        for (int s = 0; s < int(r.sections.size()); ++s)
            if (r.sections[size_t(s)].name.compare(e.name, Qt::CaseInsensitive) == 0) return {s, -1};
        failAt(e.pos, QStringLiteral("escopo \"%1\" desconhecido").arg(e.name));
    }

    void arity(const Expr &e, int min, int max)
    {
        const int n = int(e.args.size());
        if (n < min || n > max)
            failAt(e.pos,
                   min == max
                       ? QStringLiteral("%1() pede %2 argumento(s)").arg(e.name).arg(min)
                       : QStringLiteral("%1() pede de %2 a %3 argumentos").arg(e.name).arg(min).arg(max));
    }

    int aggregate(Report &r, AggregateDef::Kind kind, Scope sc, const Expr *argument)
    {
        r.aggregates.push_back(AggregateDef{kind, sc.section, sc.level, argument});
        return int(r.aggregates.size() - 1);
    }

    void check(Report &r, Expr &e, const Context &ctx)
    {
        switch (e.kind) {
        case Expr::Kind::Literal:
            return;
        case Expr::Kind::Name:
            if (!ctx.row)
                failAt(e.pos, QStringLiteral("o campo \"%1\" está fora de uma linha de dados").arg(e.name));
            e.role = Expr::Role::Field;
            if (!e.qualifier.isEmpty()) {
                const Section &s = r.sections[size_t(ctx.section)];
                if (s.name.compare(e.qualifier, Qt::CaseInsensitive) == 0 ||
                    s.data.compare(e.qualifier, Qt::CaseInsensitive) == 0)
                    return;
                for (int l = 0; l < int(s.lookups.size()); ++l) {
                    if (s.lookups[size_t(l)].name.compare(e.qualifier, Qt::CaseInsensitive) != 0) continue;
                    if (ctx.lookupsBefore >= 0 && l >= ctx.lookupsBefore)
                        failAt(
                            e.pos,
                            QStringLiteral("a busca \"%1\" só pode ler buscas anteriores").arg(e.qualifier));
                    return;
                }
                failAt(e.pos,
                       QStringLiteral("\"%1\" não é esta seção nem uma de suas buscas").arg(e.qualifier));
            }
            return;
        case Expr::Kind::Unary:
        case Expr::Kind::Binary:
            for (auto &a : e.args)
                check(r, *a, ctx);
            return;
        case Expr::Kind::Call:
            break;
        }
        const QString &f = e.name;
        static const QHash<QString, int> pure = {{QStringLiteral("if"), 3},    {QStringLiteral("isnull"), 1},
                                                 {QStringLiteral("fmt"), 2},   {QStringLiteral("upper"), 1},
                                                 {QStringLiteral("lower"), 1}, {QStringLiteral("trim"), 1},
                                                 {QStringLiteral("str"), 1},   {QStringLiteral("len"), 1}};
        if (pure.contains(f)) {
            arity(e, pure[f], pure[f]);
            for (auto &a : e.args)
                check(r, *a, ctx);
            return;
        }
        if (f == u"param") {
            arity(e, 1, 1);
            if (e.args[0]->kind != Expr::Kind::Literal || e.args[0]->literal.typeId() != QMetaType::QString)
                failAt(e.pos, QStringLiteral("param() pede o nome do parâmetro entre aspas"));
            e.role = Expr::Role::Parameter;
            return;
        }
        if (f == u"page" || f == u"pages" || f == u"date" || f == u"time") {
            arity(e, 0, 0);
            e.role = f == u"page"    ? Expr::Role::Page
                     : f == u"pages" ? Expr::Role::Pages
                     : f == u"date"  ? Expr::Role::Today
                                     : Expr::Role::Now;
            return;
        }
        if (f == u"found") {
            arity(e, 1, 1);
            const Expr &a = *e.args[0];
            if (ctx.section >= 0 && ctx.row && a.kind == Expr::Kind::Name && a.qualifier.isEmpty()) {
                const Section &s = r.sections[size_t(ctx.section)];
                for (int l = 0; l < int(s.lookups.size()); ++l) {
                    if (s.lookups[size_t(l)].name.compare(a.name, Qt::CaseInsensitive) != 0) continue;
                    if (ctx.lookupsBefore >= 0 && l >= ctx.lookupsBefore) break;
                    e.role = Expr::Role::Found;
                    e.index = l;
                    return;
                }
            }
            failAt(e.pos, QStringLiteral("found() pede o nome de uma busca desta seção"));
        }
        if (f == u"sha256") {
            if (e.args.empty()) arity(e, 1, 1000);
            for (const auto &a : e.args)
                if (a->kind != Expr::Kind::Name || !a->qualifier.isEmpty())
                    failAt(a->pos, QStringLiteral("sha256() pede nomes de conexões de dados"));
            e.role = Expr::Role::Digest;
            r.digests.push_back(&e);
            return;
        }
        const bool isAggregate =
            f == u"count" || f == u"sum" || f == u"min" || f == u"max" || f == u"pct" || f == u"row";
        if (!isAggregate) failAt(e.pos, QStringLiteral("função \"%1\" desconhecida").arg(f));
        if (!ctx.aggregates) failAt(e.pos, QStringLiteral("%1() não pode ser usada aqui").arg(f));
        if (f == u"count" || f == u"row") {
            arity(e, 1, 1);
            const Scope sc = scope(r, *e.args[0], ctx);
            e.args[0]->role = Expr::Role::Scope;
            e.role = f == u"row" ? Expr::Role::RowNumber : Expr::Role::Aggregate;
            if (f == u"row" && (sc.section != ctx.section || !ctx.row))
                failAt(e.pos, QStringLiteral("row() só conta as linhas da própria seção"));
            e.index = aggregate(r, AggregateDef::Kind::Count, sc, nullptr);
            return;
        }
        arity(e, 2, 2);
        const Scope sc = scope(r, *e.args[1], ctx);
        e.args[1]->role = Expr::Role::Scope;
        Context inner{sc.section, sc.level, true, false, -1};
        if (f == u"pct") {
            // pct(x, s) is x as a percentage of sum(x, s): the row's x and the scope's total.
            if (!ctx.row) failAt(e.pos, QStringLiteral("pct() precisa de uma linha de dados"));
            auto total = std::make_unique<Expr>();
            total->kind = Expr::Kind::Call;
            total->name = QStringLiteral("sum");
            total->pos = e.pos;
            total->args.push_back(e.args[0]->clone());
            total->args.push_back(e.args[1]->clone());
            check(r, *e.args[0], ctx);
            check(r, *total->args[0], inner);
            m_rowExpressions.push_back({sc.section, total->args[0].get()});
            total->role = Expr::Role::Aggregate;
            total->index = aggregate(r, AggregateDef::Kind::Sum, sc, total->args[0].get());
            e.name = QStringLiteral("pctof");
            e.args[1] = std::move(total);
            return;
        }
        check(r, *e.args[0], inner);
        m_rowExpressions.push_back({sc.section, e.args[0].get()});
        e.role = Expr::Role::Aggregate;
        const auto kind = f == u"sum"   ? AggregateDef::Kind::Sum
                          : f == u"min" ? AggregateDef::Kind::Min
                                        : AggregateDef::Kind::Max;
        e.index = aggregate(r, kind, sc, e.args[0].get());
    }

    void checkTemplate(Report &r, TextTemplate &t, const Context &ctx)
    {
        for (auto &part : t.parts) {
            if (!part.expr) continue;
            check(r, *part.expr, ctx);
            if (ctx.section >= 0) m_rowExpressions.push_back({ctx.section, part.expr.get()});
            forEachNode(*part.expr, [&t](Expr &node) {
                if (node.role == Expr::Role::Pure || node.role == Expr::Role::Scope) return;
                node.context = int(t.contextNodes.size());
                t.contextNodes.push_back(&node);
            });
        }
    }

    void checkPlain(Report &r, Expr &e, Context ctx)
    {
        ctx.aggregates = false;
        check(r, e, ctx);
        if (ctx.section >= 0) m_rowExpressions.push_back({ctx.section, &e});
    }

    void checkBand(Report &r, Band &band, Context ctx, double body)
    {
        const bool inBody = band.kind != Band::Kind::PageHeader && band.kind != Band::Kind::PageFooter;
        if (inBody && band.height > body + 1e-6)
            failAt(band.pos,
                   QStringLiteral(
                       "a faixa (%1 mm) é mais alta que o espaço da página entre cabeçalho e rodapé (%2 mm)")
                       .arg(band.height / kPointsPerMm, 0, 'f', 1)
                       .arg(body / kPointsPerMm, 0, 'f', 1));
        for (Item &item : band.items) {
            switch (item.kind) {
            case Item::Kind::Text:
                checkTemplate(r, item.text, ctx);
                break;
            case Item::Kind::Image:
                if (item.imageField) {
                    if (!ctx.row)
                        failAt(item.pos, QStringLiteral("uma imagem de campo precisa de uma linha de dados"));
                    checkPlain(r, *item.imageField, ctx);
                }
                break;
            case Item::Kind::Chart: {
                Expr scopeName;
                scopeName.kind = Expr::Kind::Name;
                scopeName.name = item.scope;
                scopeName.pos = item.pos;
                const Scope sc = scope(r, scopeName, ctx);
                Context inner{sc.section, sc.level, true, false, -1};
                checkPlain(r, *item.label, inner);
                checkPlain(r, *item.value, inner);
                r.charts.push_back(ChartDef{sc.section, sc.level, &item});
                item.chart = int(r.charts.size() - 1);
                break;
            }
            case Item::Kind::QrCode:
                checkPlain(r, *item.value, ctx);
                break;
            case Item::Kind::Line:
            case Item::Kind::Rect:
                break;
            }
        }
    }

    void compile(Report &r, const QLocale &)
    {
        m_rowExpressions.clear();
        const double body = r.pageSize.height() - r.margins.top() - r.margins.bottom() -
                            (r.pageHeader ? r.pageHeader->height : 0) -
                            (r.pageFooter ? r.pageFooter->height : 0);
        if (body < 5 * kPointsPerMm)
            failAt(r.pos, QStringLiteral("o cabeçalho e o rodapé da página não deixam espaço para o corpo"));
        const Context outside{};
        for (auto *band : {&r.pageHeader, &r.pageFooter, &r.titleBand, &r.summary})
            if (*band) checkBand(r, **band, outside, body);
        for (int si = 0; si < int(r.sections.size()); ++si) {
            Section &s = r.sections[size_t(si)];
            const int innermost = int(s.groups.size()) - 1;
            for (int l = 0; l < int(s.lookups.size()); ++l)
                for (auto &on : s.lookups[size_t(l)].conditions)
                    checkPlain(r, *on.value, Context{si, -1, true, false, l});
            for (int g = 0; g <= innermost; ++g) {
                Group &group = s.groups[size_t(g)];
                checkPlain(r, *group.key, Context{si, g, true, false, -1});
                if (group.header) checkBand(r, *group.header, Context{si, g, true, true, -1}, body);
                if (group.footer) checkBand(r, *group.footer, Context{si, g, true, true, -1}, body);
            }
            if (s.head) checkBand(r, *s.head, Context{si, -1, true, true, -1}, body);
            if (s.detail) checkBand(r, *s.detail, Context{si, innermost, true, true, -1}, body);
            if (s.foot) checkBand(r, *s.foot, Context{si, -1, true, true, -1}, body);
            if (s.empty) checkBand(r, *s.empty, Context{si, -1, false, true, -1}, body);
        }
        for (const auto &[section, expr] : m_rowExpressions)
            r.sections[size_t(section)].rowExpressions.push_back(expr);
    }

    QXmlStreamReader m_xml;
    QString m_path;
    double m_contentWidth = 0;
    std::vector<std::pair<int, Expr *>> m_rowExpressions;
};

} // namespace

std::unique_ptr<Project> readProject(const QByteArray &bytes, const QString &path)
{
    if (bytes.isEmpty()) {
        auto empty = std::make_unique<Project>();
        empty->version = 1;
        empty->locale = QLocale::system();
        empty->folder = QFileInfo(path).absolutePath();
        return empty;
    }
    return ProjectReader(bytes, path).read();
}

} // namespace ReportEngine
