// libFuzzer target: bytes of every kind handed to the report project reader.
// The reader must answer with a project or a ReportError, never crash, hang or
// read out of bounds. How to build and run it: docs/report-format.md, "Fuzzing".

#include "reportengine/project.h"
#include "reportengine/reporterror.h"

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    try {
        auto project = ReportEngine::readProject(bytes, QStringLiteral("/fuzz/relatorio.rav"));
        // A project that was accepted must hold what its reports claim.
        for (const auto &report : project->reports) {
            if (!project->find(report->name)) __builtin_trap();
            for (const auto &section : report->sections)
                for (const auto *e : section.rowExpressions)
                    if (!e) __builtin_trap();
        }
    } catch (const ReportEngine::ReportError &) {
    }
    return 0;
}
