// Checking a report once it is read: the names, fields and scopes of its expressions,
// and the items that must fit their bands.

#include "reportengine/project_p.h"

namespace ReportEngine::internal
{

ProjectReader::Scope ProjectReader::scope(Report &r, const Expr &e, const Context &ctx)
{
    if (e.kind != Expr::Kind::Name || !e.qualifier.isEmpty())
        failAt(e.pos, QStringLiteral("o escopo deve ser group, report, o nome de um grupo ou de uma seção"));
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

void ProjectReader::arity(const Expr &e, int min, int max)
{
    const int n = int(e.args.size());
    if (n < min || n > max)
        failAt(e.pos, min == max
                          ? QStringLiteral("%1() pede %2 argumento(s)").arg(e.name).arg(min)
                          : QStringLiteral("%1() pede de %2 a %3 argumentos").arg(e.name).arg(min).arg(max));
}

int ProjectReader::aggregate(Report &r, AggregateDef::Kind kind, Scope sc, const Expr *argument)
{
    r.aggregates.push_back(AggregateDef{kind, sc.section, sc.level, argument});
    return int(r.aggregates.size() - 1);
}

void ProjectReader::check(Report &r, Expr &e, const Context &ctx)
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
                    failAt(e.pos,
                           QStringLiteral("a busca \"%1\" só pode ler buscas anteriores").arg(e.qualifier));
                return;
            }
            failAt(e.pos, QStringLiteral("\"%1\" não é esta seção nem uma de suas buscas").arg(e.qualifier));
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

void ProjectReader::checkTemplate(Report &r, TextTemplate &t, const Context &ctx)
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

void ProjectReader::checkPlain(Report &r, Expr &e, Context ctx)
{
    ctx.aggregates = false;
    check(r, e, ctx);
    if (ctx.section >= 0) m_rowExpressions.push_back({ctx.section, &e});
}

void ProjectReader::checkBand(Report &r, Band &band, Context ctx, double body)
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

void ProjectReader::compile(Report &r, const QLocale &)
{
    m_rowExpressions.clear();
    const double body = r.pageSize.height() - r.margins.top() - r.margins.bottom() -
                        (r.pageHeader ? r.pageHeader->height : 0) - (r.pageFooter ? r.pageFooter->height : 0);
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

} // namespace ReportEngine::internal
