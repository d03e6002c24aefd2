// SPDX-License-Identifier: MIT
#include "core/reports/fuzz_report.h"

#include "core/reports/check_report.h"

#include <binding/entry_points.h>
#include <text/numbers.h>
#include <text/utf8.h>

#include <cstdio>
#include <string_view>

namespace kavrelo::zavlek_call {
namespace {

std::size_t per_second(const FuzzSummary& summary) {
    return summary.seconds > 0
               ? static_cast<std::size_t>(static_cast<double>(summary.inputs) / summary.seconds)
               : 0;
}

// A word of a command line, quoted where a shell or the Windows console
// would split or read it.
std::string command_word(const std::string& word) {
    const bool plain = !word.empty() && word.find_first_not_of(
                                            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                            "0123456789/._-:\\") == std::string::npos;
    return plain ? word : "\"" + word + "\"";
}

std::string reproduction(const FuzzSettings& settings, const FuzzFinding& finding) {
    const std::string library =
        settings.library.empty() ? std::string() : "--library " + command_word(settings.library) + " ";
    return "zavlek-call " + library + std::string(binding::declaration_of(settings.entry_point).name) +
           " --file " + command_word(settings.out + "/" + finding.file);
}

std::string hexadecimal(std::string_view bytes) {
    std::string hex;
    for (const char byte : bytes) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02X", static_cast<unsigned char>(byte));
        hex += (hex.empty() ? "" : " ") + std::string(pair);
    }
    return hex;
}

}  // namespace

std::string fuzz_table(const FuzzSummary& summary, const FuzzSettings& settings) {
    std::string table =
        (settings.loaded_from.empty()
             ? std::string()
             : "Biblioteca  " + text::with_visible_controls(settings.loaded_from) + "\n") +
        "Entradas    " + text::grouped_digits(summary.inputs) + " (" +
        text::grouped_digits(per_second(summary)) + " por segundo, " + text::decimal(summary.seconds, 1) +
        " s)\n" + "Corpus      " + text::grouped_digits(summary.corpus) + "\n" + "Formas      " +
        text::grouped_digits(summary.shapes) + "\n" + "Semilla     " + std::to_string(settings.seed) + "\n" +
        "Hallazgos   " + text::grouped_digits(summary.findings.size()) + "\n";
    if (summary.stray_records > 0) {
        table += "Registros   " + text::grouped_digits(summary.stray_records) +
                 " de más o ilegibles en el canal de " +
                 "los procesos hijos, que no se atribuyen a ninguna entrada: la biblioteca escribió en él\n";
    }
    for (const FuzzFinding& finding : summary.findings) {
        const std::string reached = finding.inputs > 1 ? "    " + text::grouped_digits(finding.inputs) +
                                                             " entradas llegaron a este fallo\n"
                                                       : std::string();
        if (finding.file.empty()) {
            table += "  (" + text::with_visible_controls(finding.not_saved) + ")  " +
                     text::with_visible_controls(finding.what) +
                     "\n    la entrada, en hexadecimal: " + hexadecimal(finding.input) + "\n" + reached;
            continue;
        }
        table += "  " + text::with_visible_controls(settings.out + "/" + finding.file) + "  " +
                 text::with_visible_controls(finding.what) + "\n    " +
                 text::with_visible_controls(reproduction(settings, finding)) + "\n" + reached;
    }
    return table;
}

std::string fuzz_json(const FuzzSummary& summary, const FuzzSettings& settings) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", summary.seconds);
    std::string json = "{\n  \"biblioteca\": " + json_string(settings.loaded_from) +
                       ",\n  \"entradas\": " + std::to_string(summary.inputs) +
                       ",\n  \"por_segundo\": " + std::to_string(per_second(summary)) +
                       ",\n  \"segundos\": " + seconds +
                       ",\n  \"corpus\": " + std::to_string(summary.corpus) +
                       ",\n  \"formas\": " + std::to_string(summary.shapes) +
                       ",\n  \"registros_de_mas\": " + std::to_string(summary.stray_records) +
                       ",\n  \"semilla\": " + std::to_string(settings.seed) +
                       ",\n  \"carpeta\": " + json_string(settings.out) + ",\n  \"hallazgos\": [";
    for (std::size_t i = 0; i < summary.findings.size(); ++i) {
        const FuzzFinding& finding = summary.findings[i];
        const std::string where =
            finding.file.empty() ? "null, \"no_guardado\": " + json_string(finding.not_saved) +
                                       ", \"entrada_hex\": " + json_string(hexadecimal(finding.input))
                                 : json_string(finding.file) +
                                       ", \"reproducir\": " + json_string(reproduction(settings, finding));
        json += std::string(i == 0 ? "\n" : ",\n") + "    {\"archivo\": " + where +
                ", \"fallo\": " + json_string(finding.what) +
                ", \"entradas\": " + std::to_string(finding.inputs) + "}";
    }
    return json + (summary.findings.empty() ? "]\n}\n" : "\n  ]\n}\n");
}

}  // namespace kavrelo::zavlek_call
