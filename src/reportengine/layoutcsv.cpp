// The CSV tables of a run: column titles, the detail rows and the summary's rows.

#include "reportengine/layout_p.h"

namespace ReportEngine::internal
{

QString Generator::csvTitle(const Section &s, const Item &item, int column) const
{
    if (!item.column.isEmpty()) return item.column;
    // The column titles may stand in the section's head or in a group's header.
    std::vector<const Band *> heads;
    if (s.head) heads.push_back(&*s.head);
    for (const Group &g : s.groups)
        if (g.header) heads.push_back(&*g.header);
    for (const Band *head : heads) {
        for (const Item &title : head->items) {
            if (title.kind != Item::Kind::Text || std::abs(title.box.x() - item.box.x()) > 0.5 * kPointsPerMm)
                continue;
            QString literal;
            for (const auto &part : title.text.parts)
                if (!part.expr) literal += part.literal;
            if (title.text.contextNodes.empty() && !literal.trimmed().isEmpty()) return literal.trimmed();
        }
    }
    for (const Expr *node : item.text.contextNodes)
        if (node->role == Expr::Role::Field) return node->name;
    return QStringLiteral("Coluna %1").arg(column + 1);
}

void Generator::csvRow(const Band &, const Row *row)
{
    SectionRun &run = m_sections[size_t(m_section)];
    if (run.csvTable < 0) return;
    CsvTable &table = m_out->csv[size_t(run.csvTable)];
    const int rowIndex = int(table.rows.size());
    table.rows.emplace_back();
    QStringList cells;
    for (size_t c = 0; c < run.csvItems.size(); ++c)
        cells << text(run.csvItems[c]->text, row, Deferred::Target::CsvCell, run.csvTable, rowIndex, int(c));
    table.rows.back() = std::move(cells);
}

void Generator::summaryCsvRows(const Band &band)
{
    CsvTable &table = m_out->csv[size_t(m_summaryCsvTable)];
    for (const Item &item : band.items) {
        if (item.kind != Item::Kind::Text || item.column.isEmpty()) continue;
        const int rowIndex = int(table.rows.size());
        table.rows.push_back({item.column, QString()});
        table.rows.back()[1] =
            text(item.text, nullptr, Deferred::Target::CsvCell, m_summaryCsvTable, rowIndex, 1);
    }
}

} // namespace ReportEngine::internal
