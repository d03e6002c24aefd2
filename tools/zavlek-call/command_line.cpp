// SPDX-License-Identifier: MIT
#include "command_line.h"

#include "platform.h"

#include <binding/fixed_texts.h>
#include <binding/wording.h>
#include <text/numbers.h>
#include <text/utf8.h>

#include <charconv>
#include <cmath>
#include <filesystem>
#include <utility>

namespace kavrelo::zavlek_call {

const std::string_view kShortUsage =
    "Uso: zavlek-call [--library ARCHIVO] [--timeout SEGUNDOS] mPila | tokeniza\n"
    "     zavlek-call [--library ARCHIVO] [--timeout SEGUNDOS] [--raw] tokeniza2 | parser_SLR "
    "(TEXTO | --file RUTA)\n"
    "     zavlek-call [--library ARCHIVO] check [--json] [--timeout SEGUNDOS]\n"
    "     zavlek-call [--library ARCHIVO] [--timeout SEGUNDOS] run [--junit ARCHIVO] CASOS...\n"
    "     zavlek-call [--library ARCHIVO] [--timeout SEGUNDOS] fuzz [--json] [--seconds N] [--inputs N]\n"
    "                 [--seed N] [--corpus RUTA]... [--out CARPETA] [--entry parser_SLR | tokeniza2]\n"
    "     zavlek-call --help\n";

const std::string_view kHelp =
    "zavlek-call: llama a una biblioteca Zavlek desde la línea de órdenes y comprueba que cumple el "
    "contrato.\n"
    "\n"
    "Uso: zavlek-call [--library ARCHIVO] [--timeout SEGUNDOS] mPila | tokeniza\n"
    "     zavlek-call [--library ARCHIVO] [--timeout SEGUNDOS] [--raw] tokeniza2 | parser_SLR "
    "(TEXTO | --file RUTA)\n"
    "     zavlek-call [--library ARCHIVO] check [--json] [--timeout SEGUNDOS]\n"
    "     zavlek-call [--library ARCHIVO] [--timeout SEGUNDOS] run [--junit ARCHIVO] CASOS...\n"
    "     zavlek-call [--library ARCHIVO] [--timeout SEGUNDOS] fuzz [--json] [--seconds N] [--inputs N]\n"
    "                 [--seed N] [--corpus RUTA]... [--out CARPETA] [--entry parser_SLR | tokeniza2]\n"
    "\n"
    "mPila, tokeniza          llaman al punto de entrada, que no recibe ni devuelve texto.\n"
    "tokeniza2, parser_SLR    envían TEXTO como Kavrelo1 envía lo escrito en su ventana y "
    "escriben\n"
    "                         la respuesta en UTF-8, con un salto de línea al final. Lo envían dos\n"
    "                         veces, con la primera respuesta aún en uso, y comprueban las dos como\n"
    "                         check: una cadena mal formada, conservada o liberada por la\n"
    "                         biblioteca, o memoria que la segunda llamada no liberó, es un fallo.\n"
    "check                    comprueba el contrato: cada comprobación en un proceso propio, con\n"
    "                         límite de tiempo; escribe una tabla (comprobación, resultado, detalle,\n"
    "                         tiempo).\n"
    "run                      pasa los casos de los archivos CASOS, en orden y en un mismo proceso\n"
    "                         (la biblioteca conserva su estado de un caso al siguiente); si el\n"
    "                         proceso termina o un caso supera el tiempo límite, ese caso falla y\n"
    "                         un proceso nuevo sigue con los demás. Escribe el resultado en TAP\n"
    "                         (versión 13) en la salida estándar.\n"
    "fuzz                     envía entradas generadas de la gramática de las expresiones y\n"
    "                         variaciones de ellas, durante --seconds (60 si no se indica), en\n"
    "                         tandas, cada una a un proceso que carga la biblioteca una vez; una\n"
    "                         entrada cuya respuesta tiene una forma nueva (cifras y caracteres\n"
    "                         entre comillas igualados) pasa al corpus. Cada entrada tras la que\n"
    "                         el proceso terminó (crash), que superó el tiempo límite (hang), que\n"
    "                         rompió el contrato de las cadenas (contract) o que dejó memoria sin\n"
    "                         liberar (leak), y que hace lo mismo en un proceso nuevo, se reduce y\n"
    "                         se guarda en --out (fuzz-zavlek si no se indica) como crash-N.txt,\n"
    "                         hang-N.txt, contract-N.txt o leak-N.txt, que reproduce\n"
    "                         zavlek-call ENTRADA --file ARCHIVO. Ctrl+C la detiene y escribe el\n"
    "                         resumen y lo encontrado hasta entonces.\n"
    "\n"
    "Archivos de casos (UTF-8; se pasan por alto las líneas vacías y las que empiezan por #):\n"
    "  parser_SLR (1+2)*x     un caso: el punto de entrada, un espacio y el texto que se envía,\n"
    "  = Cadena aceptada      y en la línea siguiente la respuesta exacta (= RESPUESTA)\n"
    "  parser_SLR 2*(\n"
    "  ~ ^Error de sintaxis   o un patrón ECMAScript que debe aparecer en ella (~ PATRÓN).\n"
    "  mPila                  mPila y tokeniza van solos: basta con que vuelvan.\n"
    "  En el texto y en la respuesta, \\n es un salto de línea, \\t un tabulador, \\\\ una barra\n"
    "  invertida y \\xHH un byte de la página de códigos de la biblioteca; cualquier otra barra\n"
    "  invertida, y cualquier otra línea, es un error de formato (estado 2, con ARCHIVO:LÍNEA:),\n"
    "  señalado antes de pasar ningún caso. En un patrón, las barras son las de ECMAScript.\n"
    "\n"
    "Opciones:\n"
    "  --library ARCHIVO      usa ese archivo; sin ella, la biblioteca se busca como la busca Kavrelo1.\n"
    "  --file RUTA            lee el texto de un archivo UTF-8 (- para la entrada estándar), de 256 MB\n"
    "                         como mucho; se quitan la marca de orden de bytes y el último salto de\n"
    "                         línea.\n"
    "  --raw                  escribe los bytes de la respuesta tal como llegan, sin convertirlos.\n"
    "  --json                 con check o fuzz, escribe el resultado en JSON.\n"
    "  --junit ARCHIVO        con run, escribe además el resultado en JUnit XML en ARCHIVO.\n"
    "  --seconds N            con fuzz, cuánto dura.\n"
    "  --inputs N             con fuzz, cuántas entradas envía como mucho (con --seed, la misma\n"
    "                         ejecución en cualquier máquina).\n"
    "  --seed N               con fuzz, la semilla de las entradas: la misma da las mismas.\n"
    "  --corpus RUTA          con fuzz, un archivo de casos, cuyos textos pasan al corpus, o un\n"
    "                         archivo UTF-8 cuyo texto es una entrada más del corpus.\n"
    "  --out CARPETA          con fuzz, dónde se guardan los hallazgos.\n"
    "  --entry NOMBRE         con fuzz, el punto de entrada: parser_SLR (si no se indica) o tokeniza2.\n"
    "  --timeout SEGUNDOS     tiempo máximo de cada llamada, comprobación o caso (10 si no se indica).\n"
    "  --help                 muestra esta ayuda.\n"
    "\n"
    "Estado de salida:\n"
    "  0  hecho (con run, todos los casos pasaron)\n"
    "  1  la comprobación encontró fallos, la llamada rompió el contrato, algún caso falló o fuzz\n"
    "     encontró algo\n"
    "  2  uso incorrecto\n"
    "  3  no se pudo enlazar la biblioteca o el punto de entrada\n"
    "  4  la biblioteca terminó el proceso o superó el tiempo límite\n"
    "  5  error interno de zavlek-call\n"
    "  6  no se pudo escribir la salida\n";
static_assert(kLargestText == std::size_t{256} << 20, "the help says 256 MB");

std::string unknown_entry_point(std::string_view name) {
    return "punto de entrada desconocido: " + std::string(name) + " (son " + binding::entry_point_list() +
           "; o check, run o fuzz)";
}

namespace {

std::chrono::milliseconds parse_seconds(const std::string& option, const std::string& value) {
    double seconds = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), seconds);
    if (error != std::errc() || end != value.data() + value.size() || !(seconds > 0) || seconds > 86400) {
        throw UsageError(option + " espera un número de segundos mayor que cero: " + value);
    }
    return std::chrono::milliseconds(static_cast<long long>(std::ceil(seconds * 1000)));
}

std::uint64_t parse_whole_number(const std::string& option, const std::string& value) {
    std::uint64_t number = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (error != std::errc() || end != value.data() + value.size()) {
        throw UsageError(option + " espera un número entero no negativo: " + value);
    }
    return number;
}

}  // namespace

ParsedOptions parse_options(const std::vector<std::string>& arguments) {
    ParsedOptions parsed;
    Options& options = parsed.options;
    bool options_ended = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= arguments.size()) {
                throw UsageError(argument + " necesita un valor");
            }
            return arguments[++i];
        };
        if (options_ended || !argument.starts_with("--")) {
            parsed.words.push_back(argument);
        } else if (argument == "--") {
            options_ended = true;
        } else if (argument == "--help") {
            parsed.help = true;
            return parsed;
        } else if (argument == "--library") {
            options.library = value();
        } else if (argument == "--file") {
            options.file = value();
        } else if (argument == "--timeout") {
            options.timeout = parse_seconds(argument, value());
        } else if (argument == "--raw") {
            options.raw = true;
        } else if (argument == "--json") {
            options.json = true;
        } else if (argument == "--junit") {
            options.junit = value();
        } else if (argument == "--seconds") {
            options.fuzz_time = parse_seconds(argument, value());
            options.fuzz_options = true;
        } else if (argument == "--seed") {
            options.seed = parse_whole_number(argument, value());
            options.fuzz_options = true;
        } else if (argument == "--inputs") {
            options.fuzz_inputs = static_cast<std::size_t>(parse_whole_number(argument, value()));
            if (*options.fuzz_inputs == 0) throw UsageError("--inputs espera al menos una entrada");
            options.fuzz_options = true;
        } else if (argument == "--corpus") {
            options.corpus.push_back(value());
            options.fuzz_options = true;
        } else if (argument == "--out") {
            options.out = value();
            options.fuzz_options = true;
        } else if (argument == "--entry") {
            const std::string& name = value();
            const binding::Declaration* declaration = binding::declaration_named(name);
            if (declaration == nullptr || !declaration->takes_text) {
                throw UsageError("--entry espera parser_SLR o tokeniza2: " + name);
            }
            options.entry_point = declaration->entry_point;
            options.fuzz_options = true;
        } else {
            throw UsageError("opción desconocida: " + argument);
        }
    }
    return parsed;
}

namespace {

void refuse_fuzz_options(const Options& options) {
    if (options.fuzz_options)
        throw UsageError("--seconds, --inputs, --seed, --corpus, --out y --entry solo se usan con fuzz");
}

Options checking(Options options, const std::vector<std::string>& words) {
    options.mode = Options::Mode::check;
    refuse_fuzz_options(options);
    if (words.size() > 1) throw UsageError("check no recibe texto");
    if (options.raw || options.file) throw UsageError("--raw y --file no se usan con check");
    if (options.junit) throw UsageError("--junit solo se usa con run");
    return options;
}

Options running(Options options, const std::vector<std::string>& words) {
    options.mode = Options::Mode::run;
    refuse_fuzz_options(options);
    if (words.size() < 2) throw UsageError("run necesita al menos un archivo de casos");
    if (options.raw || options.file || options.json)
        throw UsageError("--raw, --file y --json no se usan con run");
    options.case_files.assign(words.begin() + 1, words.end());
    return options;
}

Options fuzzing(Options options, const std::vector<std::string>& words) {
    options.mode = Options::Mode::fuzz;
    if (words.size() > 1) throw UsageError("fuzz no recibe texto: sus entradas las genera él");
    if (options.raw || options.file || options.junit)
        throw UsageError("--raw, --file y --junit no se usan con fuzz");
    if (!binding::declaration_of(options.entry_point).takes_text) {
        options.entry_point = binding::EntryPoint::parser_SLR;
    }
    return options;
}

Options calling(Options options, const std::vector<std::string>& words) {
    const std::string& action = words[0];
    const binding::Declaration* declaration = binding::declaration_named(action);
    if (declaration == nullptr) {
        throw UsageError(unknown_entry_point(action));
    }
    refuse_fuzz_options(options);
    if (options.json) throw UsageError("--json solo se usa con check o fuzz");
    if (options.junit) throw UsageError("--junit solo se usa con run");
    options.mode = Options::Mode::call;
    options.entry_point = declaration->entry_point;
    if (!declaration->takes_text) {
        if (words.size() > 1 || options.file) throw UsageError(action + " no recibe texto");
        if (options.raw) throw UsageError(action + " no devuelve texto: --raw no se usa con él");
        return options;
    }
    if (words.size() > 2 || (words.size() == 2 && options.file)) {
        throw UsageError(action + " recibe un solo texto: TEXTO o --file RUTA");
    }
    if (words.size() == 2) {
        options.text = words[1];
    } else if (!options.file) {
        throw UsageError(action + " necesita un texto: TEXTO o --file RUTA");
    }
    return options;
}

}  // namespace

Options parse_command_line(const std::vector<std::string>& arguments) {
    ParsedOptions parsed = parse_options(arguments);
    if (parsed.help) {
        return Options{};
    }
    if (parsed.words.empty()) {
        throw UsageError("falta lo que hay que hacer");
    }
    if (parsed.words[0] == "check") {
        return checking(std::move(parsed.options), parsed.words);
    }
    if (parsed.words[0] == "run") {
        return running(std::move(parsed.options), parsed.words);
    }
    if (parsed.words[0] == "fuzz") {
        return fuzzing(std::move(parsed.options), parsed.words);
    }
    return calling(std::move(parsed.options), parsed.words);
}

std::string read_text(const std::string& path) {
    const bool standard_input = path == "-";
    const std::string source = standard_input ? "la entrada estándar" : "el archivo " + path;
    std::error_code error;
    if (!standard_input && std::filesystem::is_directory(
                               std::filesystem::path(std::u8string(path.begin(), path.end())), error)) {
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
        if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);  // the byte order mark
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
