// SPDX-License-Identifier: MIT
#include "modes.h"

#include "core/fuzzing/fuzz_run.h"
#include "core/nearest_name.h"
#include "handlers.h"

#include <binding/wording.h>

#include <algorithm>

namespace kavrelo::zavlek_call {
namespace {

using Words = const std::vector<std::string>&;

// Where the help's descriptions start, after the names they describe.
constexpr std::size_t kHelpColumn = 25;
// The options every mode takes, written before the mode in its usage line.
constexpr std::string_view kEveryModesOptions = "[--library ARCHIVO] [--timeout SEGUNDOS] ";

void take_no_text(Options& options, Words words) {
    options.entry_point = binding::declaration_named(words[0])->entry_point;
    if (words.size() > 1) throw UsageError(words[0] + " no recibe texto");
}

void take_one_text(Options& options, Words words) {
    options.entry_point = binding::declaration_named(words[0])->entry_point;
    if (words.size() > 2 || (words.size() == 2 && options.file)) {
        throw UsageError(words[0] + " recibe un solo texto: TEXTO o --file RUTA");
    }
    if (words.size() == 2) {
        options.text = words[1];
    } else if (!options.file) {
        throw UsageError(words[0] + " necesita un texto: TEXTO o --file RUTA");
    }
}

void take_check_words(Options&, Words words) {
    if (words.size() > 1) throw UsageError("check no recibe texto");
}

void take_case_files(Options& options, Words words) {
    if (words.size() < 2) throw UsageError("run necesita al menos un archivo de casos");
    options.case_files.assign(words.begin() + 1, words.end());
}

void take_inputs(Options& options, Words words) {
    if (!options.from) throw UsageError("cases necesita --from ENTRADAS");
    if (words.size() > 1) throw UsageError("cases no recibe texto: sus entradas están en ENTRADAS");
}

void take_fuzz_words(Options&, Words words) {
    if (words.size() > 1) throw UsageError("fuzz no recibe texto: sus entradas las genera él");
}

void take_submissions(Options& options, Words words) {
    if (!options.library.empty()) throw UsageError("grade no usa --library: cada entrega trae su biblioteca");
    if (!options.rubric) throw UsageError("grade necesita --rubric RÚBRICA");
    if (!options.out) throw UsageError("grade necesita --out CARPETA, donde escribe las notas");
    if (words.size() < 2) throw UsageError("grade necesita al menos una entrega");
    options.case_files.assign(words.begin() + 1, words.end());
}

const std::vector<Mode> kModes = {
    {{"mPila", "tokeniza"},
     "mPila | tokeniza",
     "llaman al punto de entrada, que no recibe ni devuelve texto.",
     {},
     take_no_text,
     call,
     "call",
     child_call},
    {{"tokeniza2", "parser_SLR"},
     "[--raw] tokeniza2 | parser_SLR (TEXTO | --file RUTA)",
     "envían TEXTO como Kavrelo1 envía lo escrito en su ventana y escriben\n"
     "la respuesta en UTF-8, con un salto de línea al final. Lo envían tres\n"
     "veces, con la primera respuesta aún en uso, y comprueban las respuestas\n"
     "como check: una cadena mal formada, conservada o liberada por la\n"
     "biblioteca, o memoria que la segunda y la tercera llamada no liberaron,\n"
     "es un fallo.",
     {"--raw", "--file"},
     take_one_text,
     call,
     "call",
     child_call},
    {{"check"},
     "check [--json]",
     "comprueba el contrato: cada comprobación en un proceso propio, con\n"
     "límite de tiempo (el de cada entrada, donde envía varias); escribe una\n"
     "tabla (comprobación, resultado, detalle, tiempo). Comprueba: carga y\n"
     "nombres; mPila, tokeniza y tokeniza2 vuelven; parser_SLR devuelve una\n"
     "cadena bien formada con una expresión corta, solo espacios, acentos,\n"
     "un NUL, cada byte de 0x01 a 0xFF en un texto, 1 MB y 16 MB;\n"
     "entradas clásicas: ), (, (), )(, 1., 1+, cada operador solo, un número\n"
     "de más de 64 bits, un nombre de 10.000 letras y cada byte solo;\n"
     "anidamiento profundo: 10.000 y 1.000.000 de paréntesis;\n"
     "fuzz breve: 10.000 entradas de fuzz, siempre las de la semilla 1;\n"
     "propiedad de las cadenas;\n"
     "memoria en 10.000 llamadas: la memoria asignada, contada al byte, que\n"
     "crece 8 bytes o más por llamada en dos tandas seguidas es una fuga;\n"
     "misma entrada, misma respuesta. Terminar el proceso, no volver a\n"
     "tiempo o dejar salir una excepción con una entrada hace fallar la\n"
     "comprobación, que nombra esa entrada.",
     {"--json"},
     take_check_words,
     check,
     "check",
     child_check},
    {{"run"},
     "run [--junit ARCHIVO] CASOS...",
     "pasa los casos de los archivos CASOS, en orden y en un mismo proceso\n"
     "(la biblioteca conserva su estado de un caso al siguiente); si el\n"
     "proceso termina, un caso supera el tiempo límite, responde con una\n"
     "cadena mal formada o deja salir una excepción, ese caso falla y un\n"
     "proceso nuevo sigue con los demás. Escribe el resultado en TAP\n"
     "(versión 13) en la salida estándar, tras un comentario que nombra el\n"
     "archivo que respondió. Lo que la biblioteca escribe en la salida\n"
     "estándar o de error durante un caso acompaña a ese caso (salida en\n"
     "TAP, system-out en JUnit), hasta 4 KB; también lo escrito justo antes\n"
     "de que el proceso termine.",
     {"--junit"},
     take_case_files,
     run_case_files,
     "run",
     child_run},
    // Its calls are made as run makes them, by run's children.
    {{"cases"},
     "cases --from ENTRADAS",
     "escribe en la salida estándar un archivo de casos con las respuestas\n"
     "de la biblioteca (la solución del profesor, por ejemplo) a las\n"
     "llamadas de ENTRADAS: tras cada llamada que envía texto, = RESPUESTA,\n"
     "con los escapes de los archivos de casos. Copia tal cual las líneas\n"
     "vacías, los comentarios (#) y las líneas de grupo (@): de una rúbrica\n"
     "sin respuestas hace una rúbrica. Llama como run; si la biblioteca\n"
     "termina el proceso, supera el tiempo límite, rompe el contrato o deja\n"
     "salir una excepción con una llamada, lo dice con ENTRADAS:LÍNEA y no\n"
     "escribe nada.",
     {"--from"},
     take_inputs,
     answer_inputs,
     "run",
     child_run},
    {{"fuzz"},
     "fuzz [--json] [--seconds N] [--inputs N]\n"
     "[--seed N] [--corpus RUTA]... [--out CARPETA] [--entry parser_SLR | tokeniza2]\n"
     "[--sin-persistencia]",
     "envía entradas generadas de la gramática de las expresiones y\n"
     "variaciones de ellas, durante --seconds (60 si no se indica; sin\n"
     "límite de tiempo si solo se indica --inputs) o hasta --inputs, en\n"
     "tandas, cada una a un proceso que carga la biblioteca una vez y\n"
     "envía muchas entradas a cada copia de sí mismo; una\n"
     "entrada cuya respuesta tiene una forma nueva (cifras, caracteres\n"
     "entre comillas y nombres de la entrada igualados) pasa al corpus\n"
     "(hasta 65.536 formas; hasta 16.384 entradas y 64 MiB, y lleno salen\n"
     "primero las más largas). Cada entrada tras la que\n"
     "el proceso terminó (crash), que superó el tiempo límite (hang), que\n"
     "rompió el contrato de las cadenas (contract), que dejó memoria sin\n"
     "liberar (leak), que dejó salir una excepción de C++ (exception) o\n"
     "que dejó el proceso sin memoria (memory), y\n"
     "que hace lo mismo en un proceso nuevo, se reduce y se guarda en --out\n"
     "(fuzz-zavlek si no se indica) como crash-N.txt, hang-N.txt,\n"
     "contract-N.txt, leak-N.txt, exception-N.txt o memory-N.txt, que reproduce\n"
     "zavlek-call ENTRADA --file ARCHIVO. Una entrada que una copia nueva\n"
     "responde de otro modo que una ya usada se guarda una vez como\n"
     "stateful-1.txt: la respuesta depende de llamadas anteriores.\n"
     "Ctrl+C la detiene y escribe el\n"
     "resumen y lo encontrado hasta entonces.",
     {"--json", "--seconds", "--inputs", "--seed", "--corpus", "--out", "--entry", kCopyPerInput},
     take_fuzz_words,
     fuzz_library,
     "fuzz",
     child_fuzz},
    {{"grade"},
     "grade --rubric RÚBRICA --out CARPETA [--jobs N] [--memory MB]\n"
     "[--fuzz-inputs N] [--sin-aislamiento] ENTREGA...",
     "califica las entregas de una clase con una rúbrica: un archivo de\n"
     "casos cuyas líneas @ NOMBRE PUNTOS [visible|oculta|tras-entrega]\n"
     "abren grupos (los puntos se reparten por igual entre sus casos; el\n"
     "grupo contrato los reparte entre las comprobaciones de check, y el\n"
     "grupo fuzz los da si fuzz no encuentra nada). Una ENTREGA es una\n"
     "carpeta, un .zip o una biblioteca; la biblioteca de una carpeta o un\n"
     "zip es libZavlek.so o Zavlek.dll, o el único .so o .dll que tenga.\n"
     "Cada entrega se califica aislada (solo lee lo suyo y el sistema, solo\n"
     "escribe en una carpeta temporal propia, sin red) y como run, check y\n"
     "fuzz califican una biblioteca. Escribe en CARPETA notas.csv,\n"
     "resumen.json y, por entrega, results.json (Gradescope),\n"
     "prairielearn.json y junit.xml; marca las bibliotecas idénticas.",
     {"--rubric", "--out", "--jobs", "--memory", "--fuzz-inputs", "--sin-aislamiento"},
     take_submissions,
     grade_class,
     "grade",
     child_grade},
};

// "a", "a o b", "a, b o c".
std::string either(const std::vector<std::string_view>& names) {
    std::string joined;
    for (std::size_t i = 0; i < names.size(); ++i) {
        joined += (i == 0 ? "" : i + 1 == names.size() ? " o " : ", ") + std::string(names[i]);
    }
    return joined;
}

const Mode* mode_named(std::string_view name) {
    for (const Mode& mode : modes()) {
        if (std::find(mode.names.begin(), mode.names.end(), name) != mode.names.end()) return &mode;
    }
    return nullptr;
}

// An option the mode does not take, refused with the modes that take it.
void refuse_options_not_taken(const Mode& mode, const std::vector<std::string_view>& given) {
    for (const std::string_view option : given) {
        if (option == "--library" || option == "--timeout") continue;
        if (std::find(mode.options.begin(), mode.options.end(), option) != mode.options.end()) continue;
        std::vector<std::string_view> taking;
        for (const Mode& other : modes()) {
            if (std::find(other.options.begin(), other.options.end(), option) != other.options.end()) {
                taking.insert(taking.end(), other.names.begin(), other.names.end());
            }
        }
        throw UsageError(std::string(option) + " solo se usa con " + either(taking));
    }
}

// Lines after the first start at the column.
std::string indented(std::string_view lines, std::size_t column) {
    std::string text;
    for (const char character : lines) {
        text += character;
        if (character == '\n') text.append(column, ' ');
    }
    return text;
}

std::string usage_lines() {
    std::string lines;
    for (const Mode& mode : modes()) {
        lines += std::string(lines.empty() ? "Uso: " : "     ") + "zavlek-call " +
                 std::string(kEveryModesOptions) + indented(mode.usage, 17) + "\n";
    }
    return lines;
}

// A name and its description, the description's lines in their column.
std::string described(std::string_view name, std::string_view description) {
    std::string line(name);
    line.append(kHelpColumn - std::min(kHelpColumn - 1, line.size()), ' ');
    return line + indented(description, kHelpColumn) + "\n";
}

}  // namespace

const std::vector<Mode>& modes() { return kModes; }

Request parse_command_line(const std::vector<std::string>& arguments) {
    ParsedOptions parsed = parse_options(arguments);
    if (parsed.help) return {};
    if (parsed.words.empty()) throw UsageError("falta lo que hay que hacer");
    const Mode* mode = mode_named(parsed.words[0]);
    if (mode == nullptr) throw UsageError(unknown_entry_point(parsed.words[0]));
    refuse_options_not_taken(*mode, parsed.given);
    mode->take_words(parsed.options, parsed.words);
    return {mode, std::move(parsed.options)};
}

const Mode* mode_of_child(std::string_view role) {
    for (const Mode& mode : modes()) {
        if (mode.child_role == role) return &mode;
    }
    return nullptr;
}

std::string unknown_entry_point(std::string_view name) {
    std::vector<std::string_view> names;
    std::vector<std::string_view> others;
    for (const Mode& mode : modes()) {
        names.insert(names.end(), mode.names.begin(), mode.names.end());
        if (binding::declaration_named(mode.names[0]) == nullptr) others.push_back(mode.names[0]);
    }
    std::string refusal = "punto de entrada desconocido: " + std::string(name) + " (son " +
                          binding::entry_point_list() + "; o " + either(others) + ")";
    if (const std::optional<std::string_view> meant = nearest_name(name, names)) {
        refusal += "; ¿quiso decir " + std::string(*meant) + "?";
    }
    return refusal;
}

std::string short_usage() { return usage_lines() + "     zavlek-call --help\n"; }

std::string help() {
    std::string text =
        "zavlek-call: llama a una biblioteca Zavlek desde la línea de órdenes y comprueba que cumple el "
        "contrato.\n\n" +
        usage_lines() + "\n";
    for (const Mode& mode : modes()) {
        std::string names;
        for (const std::string_view name : mode.names)
            names += (names.empty() ? "" : ", ") + std::string(name);
        text += described(names, mode.help);
    }
    text +=
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
        "Opciones:\n";
    for (const OptionRow& option : option_rows()) {
        const std::string name =
            "  " + std::string(option.name) + (option.value.empty() ? "" : " ") + std::string(option.value);
        text += described(name, option.help);
    }
    return text + described("  --help", "muestra esta ayuda.") +
           "\n"
           "Estado de salida:\n"
           "  0  hecho (con run, todos los casos pasaron)\n"
           "  1  la comprobación encontró fallos, la llamada rompió el contrato, dejó salir una\n"
           "     excepción o agotó la memoria, algún caso falló o fuzz encontró algo\n"
           "  2  uso incorrecto\n"
           "  3  no se pudo enlazar la biblioteca o el punto de entrada\n"
           "  4  la biblioteca terminó el proceso o superó el tiempo límite\n"
           "  5  error interno de zavlek-call\n"
           "  6  no se pudo escribir la salida\n";
}

}  // namespace kavrelo::zavlek_call
