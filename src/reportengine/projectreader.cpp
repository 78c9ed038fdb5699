// The elements of a report project file and their attributes, read into a Project.

#include "reportengine/project_p.h"

namespace ReportEngine::internal
{

void ProjectReader::allow(std::initializer_list<const char *> names)
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

QString ProjectReader::required(const char *name)
{
    if (!has(name))
        fail(QStringLiteral("falta o atributo \"%1\" em <%2>").arg(QLatin1String(name), m_xml.name()));
    const QString v = text(name).trimmed();
    if (v.isEmpty()) fail(QStringLiteral("o atributo \"%1\" está vazio").arg(QLatin1String(name)));
    return v;
}

double ProjectReader::number(const char *name, double min, double max, std::optional<double> fallback)
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

bool ProjectReader::flag(const char *name, bool fallback)
{
    if (!has(name)) return fallback;
    const QString v = text(name).trimmed();
    if (v == u"1" || v == u"true") return true;
    if (v == u"0" || v == u"false") return false;
    fail(QStringLiteral("o atributo \"%1\" deve ser 1 ou 0").arg(QLatin1String(name)));
}

QColor ProjectReader::color(const char *name, QColor fallback)
{
    if (!has(name)) return fallback;
    const QString v = text(name).trimmed();
    if (v == u"none") return QColor();
    if (!QColor::isValidColorName(v)) fail(QStringLiteral("cor inválida \"%1\"").arg(v));
    return QColor::fromString(v);
}

QString ProjectReader::name(const char *attribute)
{
    const QString v = required(attribute);
    for (const QChar c : v)
        if (!(c.isLetterOrNumber() || c == u'_'))
            fail(QStringLiteral("o nome \"%1\" deve ter só letras, algarismos e \"_\"").arg(v));
    if (v[0].isDigit()) fail(QStringLiteral("o nome \"%1\" não pode começar por algarismo").arg(v));
    return v;
}

FontSpec ProjectReader::font(const FontSpec &inherited)
{
    FontSpec f = inherited;
    if (has("font")) f.family = required("font");
    f.size = number("size", 1, 200, inherited.size);
    f.bold = flag("bold", inherited.bold);
    f.italic = flag("italic", inherited.italic);
    return f;
}

bool ProjectReader::nextChild()
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

[[noreturn]] void ProjectReader::unknownElement(const QString &parent)
{
    fail(QStringLiteral("elemento desconhecido <%1> em <%2>").arg(m_xml.name().toString(), parent));
}

void ProjectReader::readProjectElement(Project &project)
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

void ProjectReader::readReport(Report &r, const FontSpec &base)
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

void ProjectReader::single(std::optional<Band> &band, Band::Kind kind, const FontSpec &font)
{
    if (band) fail(QStringLiteral("<%1> aparece mais de uma vez").arg(m_xml.name()));
    band.emplace();
    readBand(*band, kind, font);
}

void ProjectReader::readSection(Section &s, const FontSpec &font)
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

void ProjectReader::readLookup(Lookup &l)
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

void ProjectReader::readGroup(Group &g, const FontSpec &font)
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

void ProjectReader::readBand(Band &band, Band::Kind kind, const FontSpec &font)
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

QRectF ProjectReader::box()
{
    const double x = number("x", 0, 2000), y = number("y", 0, 2000);
    const double w = number("w", 0.1, 2000), h = number("h", 0.1, 2000);
    return QRectF(x, y, w, h);
}

QRectF ProjectReader::toPoints(const QRectF &mm)
{
    return QRectF(mm.x() * kPointsPerMm, mm.y() * kPointsPerMm, mm.width() * kPointsPerMm,
                  mm.height() * kPointsPerMm);
}

void ProjectReader::readText(Item &item, const FontSpec &font)
{
    allow({"x", "y", "w", "h", "align", "valign", "font", "size", "bold", "italic", "color", "wrap", "grow",
           "show", "col"});
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
            fail(QStringLiteral("alinhamento vertical \"%1\" inválido: use top, middle ou bottom").arg(a));
    }
    item.align = h | v;
    const SourcePos start = here();
    const QString content = m_xml.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
    checkXmlError();
    item.text = textTemplate(content, start);
}

void ProjectReader::readLine(Item &item)
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

void ProjectReader::readRect(Item &item)
{
    allow({"x", "y", "w", "h", "width", "color", "fill"});
    item.kind = Item::Kind::Rect;
    item.box = toPoints(box());
    item.penWidth = number("width", 0, 20, 0.2) * kPointsPerMm;
    item.color = color("color", Qt::black);
    item.fill = color("fill", QColor());
    if (nextChild()) unknownElement("rect");
}

void ProjectReader::readImage(Item &item)
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

void ProjectReader::readChart(Item &item, const FontSpec &font)
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

void ProjectReader::readQrCode(Item &item)
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

ExprPtr ProjectReader::expression(const QString &text, SourcePos pos)
{
    try {
        return parseExpression(text, pos);
    } catch (const ReportError &e) {
        failExpression(e);
    }
}

TextTemplate ProjectReader::textTemplate(const QString &content, SourcePos pos)
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
            if (close >= n) failAt(pos, QStringLiteral("\"{\" sem \"}\" no texto (escreva {{ para a chave)"));
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

} // namespace ReportEngine::internal
