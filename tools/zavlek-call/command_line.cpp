// SPDX-License-Identifier: MIT
#include "command_line.h"

#include "core/fuzzing/fuzz_run.h"
#include "platform.h"
#include "utf8_paths.h"

#include <binding/fixed_texts.h>
#include <text/numbers.h>
#include <text/utf8.h>

#include <charconv>
#include <cmath>
#include <filesystem>
#include <utility>

namespace kavrelo::zavlek_call {
namespace {

std::chrono::milliseconds parse_seconds(std::string_view option, const std::string& value) {
    double seconds = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), seconds);
    if (error != std::errc() || end != value.data() + value.size() || !(seconds > 0) || seconds > 86400) {
        throw UsageError(std::string(option) + " espera un número de segundos mayor que cero: " + value);
    }
    return std::chrono::milliseconds(static_cast<long long>(std::ceil(seconds * 1000)));
}

std::uint64_t parse_whole_number(std::string_view option, const std::string& value) {
    std::uint64_t number = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (error != std::errc() || end != value.data() + value.size()) {
        throw UsageError(std::string(option) + " espera un número entero no negativo: " + value);
    }
    return number;
}

void read_entry(Options& options, std::string_view, const std::string& name) {
    const binding::Declaration* declaration = binding::declaration_named(name);
    if (declaration == nullptr || !declaration->takes_text) {
        throw UsageError("--entry espera parser_SLR o tokeniza2: " + name);
    }
    options.entry_point = declaration->entry_point;
}

std::size_t parse_count(std::string_view option, const std::string& value) {
    const std::uint64_t count = parse_whole_number(option, value);
    if (count == 0 || count > std::uint64_t{1} << 32) {
        throw UsageError(std::string(option) + " espera un número entero mayor que cero: " + value);
    }
    return static_cast<std::size_t>(count);
}

void read_inputs(Options& options, std::string_view option, const std::string& value) {
    options.fuzz_inputs = parse_count(option, value);
}

const OptionRow* option_named(std::string_view name) {
    for (const OptionRow& row : option_rows()) {
        if (row.name == name) return &row;
    }
    return nullptr;
}

}  // namespace

static_assert(kLargestText == std::size_t{256} << 20, "the help of --file says 256 MB");

const std::vector<OptionRow>& option_rows() {
    using Value = const std::string&;
    static const std::vector<OptionRow> rows = {
        {"--library", "ARCHIVO", "usa ese archivo; sin ella, la biblioteca se busca como la busca Kavrelo1.",
         [](Options& o, std::string_view, Value value) { o.library = value; }},
        {"--file", "RUTA",
         "lee el texto de un archivo UTF-8 (- para la entrada estándar), de 256 MB\n"
         "como mucho; se quitan la marca de orden de bytes y el último salto de\n"
         "línea.",
         [](Options& o, std::string_view, Value value) { o.file = value; }},
        {"--raw", "", "escribe los bytes de la respuesta tal como llegan, sin convertirlos.",
         [](Options& o, std::string_view, Value) { o.raw = true; }},
        {"--json", "", "con check o fuzz, escribe el resultado en JSON.",
         [](Options& o, std::string_view, Value) { o.json = true; }},
        {"--junit", "ARCHIVO", "con run, escribe además el resultado en JUnit XML en ARCHIVO.",
         [](Options& o, std::string_view, Value value) { o.junit = value; }},
        {"--from", "ENTRADAS",
         "con cases, las entradas: una llamada por línea, escrita como la primera\n"
         "línea de un caso (- para la entrada estándar).",
         [](Options& o, std::string_view, Value value) { o.from = value; }},
        {"--seconds", "N",
         "con fuzz, cuánto dura como mucho (60 si no se indica, y sin límite\n"
         "si solo se indica --inputs).",
         [](Options& o, std::string_view name, Value value) { o.fuzz_time = parse_seconds(name, value); }},
        {"--inputs", "N",
         "con fuzz, cuántas entradas envía como mucho (con --seed, la misma\n"
         "ejecución en cualquier máquina).",
         read_inputs},
        {"--seed", "N", "con fuzz, la semilla de las entradas: la misma da las mismas.",
         [](Options& o, std::string_view name, Value value) { o.seed = parse_whole_number(name, value); }},
        {"--corpus", "RUTA",
         "con fuzz, un archivo de casos, cuyos textos pasan al corpus, o un\n"
         "archivo UTF-8 cuyo texto es una entrada más del corpus.",
         [](Options& o, std::string_view, Value value) { o.corpus.push_back(value); }},
        {"--out", "CARPETA",
         "con fuzz, dónde se guardan los hallazgos; con grade, dónde se escriben las notas.",
         [](Options& o, std::string_view, Value value) { o.out = value; }},
        {"--rubric", "ARCHIVO", "con grade, la rúbrica: un archivo de casos con líneas de grupo.",
         [](Options& o, std::string_view, Value value) { o.rubric = value; }},
        {"--jobs", "N",
         "con grade, cuántas entregas se califican a la vez (tantas como procesadores\nsi no se indica).",
         [](Options& o, std::string_view name, Value value) { o.jobs = parse_count(name, value); }},
        {"--memory", "MB",
         "con grade, la memoria de cada proceso de una entrega, en MB (1.024 si no\nse indica).",
         [](Options& o, std::string_view name, Value value) {
             o.memory_megabytes = parse_count(name, value);
         }},
        {"--fuzz-inputs", "N",
         "con grade, las entradas que envía el grupo fuzz (2.000 si no se indica),\nsiempre las de la misma semilla.",
         [](Options& o, std::string_view name, Value value) {
             o.grade_fuzz_inputs = parse_count(name, value);
         }},
        {"--sin-aislamiento", "",
         "con grade, califica aunque la máquina no pueda aislar las entregas: su\ncódigo correrá con los permisos de quien califica.",
         [](Options& o, std::string_view, Value) { o.without_isolation = true; }},
        {kCopyPerInput, "",
         "con fuzz, cada entrada en una copia nueva del proceso hijo, en vez de\n"
         "muchas en cada copia: más lento; para comparar.",
         [](Options& o, std::string_view, Value) { o.copy_per_input = true; }},
        {"--entry", "NOMBRE", "con fuzz, el punto de entrada: parser_SLR (si no se indica) o tokeniza2.",
         read_entry},
        {"--timeout", "SEGUNDOS", "tiempo máximo de cada llamada, comprobación o caso (10 si no se indica).",
         [](Options& o, std::string_view name, Value value) { o.timeout = parse_seconds(name, value); }},
    };
    return rows;
}

ParsedOptions parse_options(const std::vector<std::string>& arguments) {
    ParsedOptions parsed;
    bool options_ended = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (options_ended || !argument.starts_with("--")) {
            parsed.words.push_back(argument);
            continue;
        }
        if (argument == "--") {
            options_ended = true;
            continue;
        }
        if (argument == "--help") {
            parsed.help = true;
            return parsed;
        }
        const OptionRow* row = option_named(argument);
        if (row == nullptr) throw UsageError("opción desconocida: " + argument);
        if (!row->value.empty() && i + 1 >= arguments.size())
            throw UsageError(argument + " necesita un valor");
        row->read(parsed.options, row->name, row->value.empty() ? std::string() : arguments[++i]);
        parsed.given.push_back(row->name);
    }
    return parsed;
}

std::string read_text(const std::string& path) {
    const bool standard_input = path == "-";
    const std::string source = standard_input ? "la entrada estándar" : "el archivo " + path;
    std::error_code error;
    if (!standard_input && std::filesystem::is_directory(path_of(path), error)) {
        throw UsageError(path + " es una carpeta, no un archivo");
    }
    const File file = standard_input ? nullptr : open_to_read(path);
    std::FILE* const stream = standard_input ? stdin : file.get();
    std::optional<ReadBytes> text = stream != nullptr ? read_at_most(stream, kLargestText) : std::nullopt;
    if (!text) {
        throw UsageError("no se pudo leer " + source);
    }
    if (text->more) {
        throw UsageError(source + " pasa de " + text::grouped_digits(kLargestText >> 20) +
                         " MB, lo más que lee zavlek-call");
    }
    return std::move(text->bytes);
}

std::string text_to_send(const Options& options) {
    std::string text = options.text ? *options.text : read_text(*options.file);
    if (options.file) {
        text.erase(0, text.size() - text::without_byte_order_mark(text).size());
        if (text.ends_with('\n')) text.pop_back();
        if (text.ends_with('\r')) text.pop_back();
    }
    if (text.empty()) {
        // As the window does: the library never sees an empty text.
        throw UsageError(text::to_utf8(binding::kEmptyInputRefusal));
    }
    return text;
}

}  // namespace kavrelo::zavlek_call
