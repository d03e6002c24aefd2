// SPDX-License-Identifier: MIT
#include "core/reports/fuzz_report.h"

#include "core/reports/check_report.h"

#include <text/numbers.h>
#include <text/utf8.h>

#include <cstdio>

namespace kavrelo::zavlek_call {
namespace {

std::size_t per_second(const FuzzSummary& summary) {
    return summary.seconds > 0
               ? static_cast<std::size_t>(static_cast<double>(summary.inputs) / summary.seconds)
               : 0;
}

}  // namespace

std::string fuzz_table(const FuzzSummary& summary, std::uint64_t seed, const std::string& out) {
    std::string table = "Entradas    " + text::grouped_digits(summary.inputs) + " (" +
                        text::grouped_digits(per_second(summary)) + " por segundo, " +
                        text::decimal(summary.seconds, 1) + " s)\n" + "Corpus      " +
                        text::grouped_digits(summary.corpus) + "\n" + "Formas      " +
                        text::grouped_digits(summary.shapes) + "\n" + "Semilla     " + std::to_string(seed) +
                        "\n" + "Hallazgos   " + text::grouped_digits(summary.findings.size()) + "\n";
    if (summary.stray_records > 0) {
        table += "Registros   " + text::grouped_digits(summary.stray_records) +
                 " de más o ilegibles en el canal de " +
                 "los procesos hijos, que no se atribuyen a ninguna entrada: la biblioteca escribió en él\n";
    }
    for (const FuzzFinding& finding : summary.findings) {
        table += "  " + text::with_visible_controls(out + "/" + finding.file) + "  " +
                 text::with_visible_controls(finding.what) + "\n";
    }
    return table;
}

std::string fuzz_json(const FuzzSummary& summary, std::uint64_t seed, const std::string& out) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", summary.seconds);
    std::string json = "{\n  \"entradas\": " + std::to_string(summary.inputs) +
                       ",\n  \"por_segundo\": " + std::to_string(per_second(summary)) +
                       ",\n  \"segundos\": " + seconds +
                       ",\n  \"corpus\": " + std::to_string(summary.corpus) +
                       ",\n  \"formas\": " + std::to_string(summary.shapes) +
                       ",\n  \"registros_de_mas\": " + std::to_string(summary.stray_records) +
                       ",\n  \"semilla\": " + std::to_string(seed) + ",\n  \"carpeta\": " + json_string(out) +
                       ",\n  \"hallazgos\": [";
    for (std::size_t i = 0; i < summary.findings.size(); ++i) {
        json += std::string(i == 0 ? "\n" : ",\n") +
                "    {\"archivo\": " + json_string(summary.findings[i].file) +
                ", \"fallo\": " + json_string(summary.findings[i].what) + "}";
    }
    return json + (summary.findings.empty() ? "]\n}\n" : "\n  ]\n}\n");
}

}  // namespace kavrelo::zavlek_call
