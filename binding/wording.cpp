// SPDX-License-Identifier: MIT
#include "wording.h"

#include "entry_points.h"
#include "near_miss.h"

#include <algorithm>
#include <cctype>

namespace kavrelo::binding {
namespace {

// The system's detail: its sentence without the closing period and line
// break, since the report goes on after it, with the file named where the
// sentence has a place for it, and its code.
std::string detail_of(const SystemError& system, const std::string& file) {
    if (system.code == 0) {
        return system.text;
    }
    std::string text = system.text;
    while (!text.empty() &&
           (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.')) {
        text.pop_back();
    }
    if (const auto insert = text.find("%1"); insert != std::string::npos) {
        text.replace(insert, 2, file);
    }
    const std::string number = "error " + std::to_string(system.code);
    return text.empty() ? number : text + " (" + number + ")";
}

std::string architecture_name(Architecture architecture) {
    switch (architecture) {
        case Architecture::bits32:
            return "32 bits";
        case Architecture::bits64:
            return "64 bits";
        case Architecture::x86:
            return "32 bits (x86)";
        case Architecture::x64:
            return "64 bits (x64)";
        case Architecture::arm64:
            return "ARM64";
        case Architecture::unknown:
            break;
    }
    return "otra arquitectura";
}

#if defined(_WIN32)

constexpr std::string_view kBeforeDetail = ". Detalle del sistema: ";

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The runtimes of Visual C++: the libraries a program built with it needs
// beside the system's, by the start of their names.
bool visual_cpp_runtime(const std::string& name) {
    for (const std::string_view start :
         {"vcruntime", "msvcp", "msvcr", "ucrtbase", "concrt", "vcomp", "vccorlib"}) {
        if (name.starts_with(start) && name.size() > start.size() &&
            (std::isdigit(static_cast<unsigned char>(name[start.size()])) != 0 || start == "ucrtbase")) {
            return true;
        }
    }
    return false;
}

// The debug build of a Visual C++ runtime: its name ends in d before .dll
// (VCRUNTIME140D.dll, MSVCP140_1D.dll, ucrtbased.dll).
bool visual_cpp_debug_runtime(const std::string& name) {
    return visual_cpp_runtime(name) && name.ends_with("d.dll");
}

// "Zavlek.dll necesita ayuda.dll, que necesita VCRUNTIME140D.dll, que no se
// encuentra", and the cure where the missing one is a runtime of Visual C++.
std::string chain_words(const std::vector<std::string>& chain) {
    std::string words = chain.front();
    for (std::size_t link = 1; link < chain.size(); ++link) {
        words += (link == 1 ? " necesita " : ", que necesita ") + chain[link];
    }
    words += ", que no se encuentra";
    const std::string& missing = chain.back();
    const std::string name = lower(missing);
    if (visual_cpp_debug_runtime(name)) {
        words += ". " + missing +
                 " es del entorno de ejecución de depuración de Visual C++, que solo existe donde está "
                 "instalado Visual Studio: compile la biblioteca en modo Release, o enlace el entorno de "
                 "ejecución estáticamente (/MT)";
    } else if (visual_cpp_runtime(name)) {
        words += ". " + missing +
                 " es del entorno de ejecución de Visual C++: falta instalar el Redistribuible de Visual C++ "
                 "(Microsoft Visual C++ Redistributable) de la arquitectura del programa, o enlazar la "
                 "biblioteca con el entorno de ejecución estáticamente (/MT)";
    }
    return words;
}

std::string platform_words(const LoadFailure& failure) {
    using Cause = LoadFailure::Cause;
    switch (failure.cause) {
        case Cause::not_found:
            return "no está junto al programa ni en las carpetas de bibliotecas del sistema";
        case Cause::needs_library:
            return failure.chain.size() < 2 ? "se encontró, pero necesita otra biblioteca que no está"
                                            : "se encontró, pero " + chain_words(failure.chain);
        case Cause::wrong_architecture: {
            const std::string program = architecture_name(failure.program_architecture);
            return "es una biblioteca de " + architecture_name(failure.library_architecture) +
                   " y este programa es de " + program + "; hace falta una biblioteca de " + program;
        }
        case Cause::not_a_library:
            return "el archivo que se encontró no es una biblioteca de Windows";
        case Cause::needs_symbol:
            return "necesita una función que ninguna biblioteca del sistema ofrece";
        default:
            break;
    }
    return {};
}

#else

constexpr std::string_view kBeforeDetail = ".\nDetalle del sistema: ";

// Where the ordinary search looked for a bare name, in its order.
std::string search_places(const LoadFailure& failure) {
    std::string places;
    if (!failure.library_path.empty()) {
        places += "las carpetas de LD_LIBRARY_PATH (" + failure.library_path + "), ";
    }
    return places + "la carpeta del programa (" + failure.program_folder +
           ") y las carpetas de bibliotecas del sistema";
}

std::string platform_words(const LoadFailure& failure) {
    using Cause = LoadFailure::Cause;
    switch (failure.cause) {
        case Cause::not_found:
            return "no se encontró. Se buscó en " + search_places(failure) +
                   ". Para ofrecer una, póngala junto al programa o en una carpeta de LD_LIBRARY_PATH";
        case Cause::needs_library:
            return "necesita la biblioteca " + failure.needed + ", que no se encontró";
        case Cause::wrong_architecture:
            return "el archivo " + failure.found + " es una biblioteca de " +
                   architecture_name(failure.library_architecture) + " y este programa es de " +
                   architecture_name(failure.program_architecture);
        case Cause::not_a_library:
            return "el archivo " + failure.found + " no es una biblioteca compartida";
        case Cause::needs_symbol:
            return "el archivo " + failure.found + " necesita el símbolo " + failure.needed +
                   ", que ninguna biblioteca cargada ofrece";
        default:
            break;
    }
    return {};
}

#endif

std::string plain_words(const LoadFailure& failure) {
    switch (failure.cause) {
        case LoadFailure::Cause::named_file_missing:
            return "el archivo no existe";
        case LoadFailure::Cause::initialisation_failed:
            return "su inicialización falló";
        case LoadFailure::Cause::truncated:
            return "el archivo que se encontró está incompleto: sus cabeceras anuncian más datos de los que "
                   "contiene (una copia o descarga cortada); vuelva a compilarla o a copiarla";
        default:
            return platform_words(failure);
    }
}

std::string explained(const std::string& plain, const SystemError& system, const std::string& file) {
    const std::string detail = detail_of(system, file);
    if (plain.empty() || detail.empty()) {
        return plain.empty() ? detail : plain;
    }
    return plain + std::string(kBeforeDetail) + detail;
}

std::string_view place_words(AnswerPlace place) {
    switch (place) {
        case AnswerPlace::loaded_image:
            return "apunta a una constante o a datos estáticos de una biblioteca cargada";
        case AnswerPlace::stack:
            return "apunta a la pila, a una variable local (o al c_str() de un std::string local) que deja de "
                   "existir al volver la función";
        case AnswerPlace::unreadable:
            return "apunta a memoria que no se puede leer";
        case AnswerPlace::elsewhere:
            break;
    }
    return "apunta al interior de otro bloque o a memoria de otro asignador (como el c_str() de un std::string)";
}

}  // namespace

std::string escaped_exception_words(const EscapedException& escaped) {
    std::string what = escaped.type.empty() ? "una excepción de tipo desconocido" : escaped.type;
    if (!escaped.message.empty()) {
        what += " («" + escaped.message + "»)";
    }
    const std::string where = escaped.entry_point.empty() ? "la función" : escaped.entry_point;
    return what +
           ". Una excepción no puede cruzar un punto de entrada, pues quien llama no es C++: atrápela dentro de " +
           where +
           " (try { … } catch (const std::exception& e) { … }) y devuelva una cadena que explique el error";
}

namespace {

struct Reason {
    std::string operator()(const EscapedException& escaped) const { return escaped_exception_words(escaped); }
    std::string operator()(const LoadFailure& failure) const {
        return explained(plain_words(failure), failure.system, failure.file);
    }
    std::string operator()(const MissingEntryPoint& missing) const {
        std::string plain =
            missing.found.empty() ? std::string() : "el archivo " + missing.found + " no lo exporta";
        if (missing.near_miss) {
            const bool hidden = missing.near_miss->kind == NearMiss::Kind::not_exported;
            plain += (plain.empty() ? ""
                      : hidden      ? ": "
                                    : " con ese nombre: ") +
                     near_miss_words(*missing.near_miss);
        }
        return explained(plain, missing.system, missing.file);
    }
    std::string operator()(const CallingConventionFault& fault) const {
        return calling_convention_words(fault);
    }
    std::string operator()(const MalformedResult& malformed) const {
        switch (malformed.defect) {
            case StringDefect::the_argument:
                return "es la misma cadena que recibió como argumento, que pertenece al programa y se libera con la llamada" +
                       std::string(fresh_string_cure());
            case StringDefect::not_from_the_allocator:
                return "el puntero que devolvió no es el de una cadena de SysAllocStringByteLen: " +
                       misplaced_answer_words(malformed.place);
            case StringDefect::count_beyond_block:
            case StringDefect::none:
                break;
        }
        return "la longitud que declara (" + std::to_string(malformed.declared_bytes) +
               " bytes) no cabe en el bloque que la contiene";
    }
};

struct Sentence {
    std::string operator()(const EscapedException& escaped) const {
        return "La biblioteca " + escaped.file + " dejó escapar una excepción de C++ desde " +
               escaped.entry_point + ": " + reason;
    }
    std::string reason;
    std::string operator()(const LoadFailure& failure) const {
        return "No se pudo cargar la biblioteca " + failure.file + ": " + reason;
    }
    std::string operator()(const MissingEntryPoint& missing) const {
        return "La biblioteca " + missing.file + " no tiene el punto de entrada " + missing.entry_point +
               ": " + reason;
    }
    std::string operator()(const MalformedResult& malformed) const {
        return "La biblioteca " + malformed.file + " devolvió desde " + malformed.entry_point +
               " una cadena mal formada: " + reason;
    }
    std::string operator()(const CallingConventionFault& fault) const {
        return "La biblioteca " + fault.file + " no declara " + fault.entry_point +
               " con __stdcall: " + reason;
    }
};

}  // namespace

std::string entry_point_list() {
    std::string list;
    for (std::size_t row = 0; row < kDeclarations.size(); ++row) {
        list += row == 0 ? "" : row + 1 == kDeclarations.size() ? " y " : ", ";
        list += kDeclarations[row].name;
    }
    return list;
}

std::string hidden_entry_points_words(const std::vector<std::string>& names) {
    std::string listed;
    for (std::size_t i = 0; i < names.size(); ++i) {
        listed += (i == 0 ? "" : i + 1 == names.size() ? " y " : ", ") + names[i];
    }
    return "define " + listed + (names.size() == 1 ? ", pero oculto" : ", pero ocultos") +
           " (visibilidad «hidden»): defina ZAVLEK_BUILDING_LIBRARY antes de incluir zavlek.h, que marca los "
           "puntos de entrada con ZAVLEK_API para exportarlos, o compile sin -fvisibility=hidden";
}

std::string near_miss_words(const NearMiss& near_miss) {
    switch (near_miss.kind) {
        case NearMiss::Kind::stdcall_decorated:
            return "exporta «" + near_miss.exported +
                   "» (nombre decorado de «__stdcall»); expórtelo sin decorar con un archivo .def o con "
                   "-Wl,--kill-at";
        case NearMiss::Kind::fastcall_decorated:
            return "exporta «" + near_miss.exported +
                   "» (nombre decorado de «__fastcall»); declárelo «__stdcall» y expórtelo sin decorar "
                   "con un archivo .def o con -Wl,--kill-at";
        case NearMiss::Kind::not_exported:
            return hidden_entry_points_words({near_miss.exported});
        case NearMiss::Kind::cpp_mangled:
            break;
    }
    const std::string shown = near_miss.readable.empty()
                                  ? "«" + near_miss.exported + "»"
                                  : "«" + near_miss.readable + "» («" + near_miss.exported + "»)";
    return "exporta " + shown + " con nombre de C++; declárelo «extern \"C\"»";
}

std::string calling_convention_words(const CallingConventionFault& fault) {
    const std::int32_t left = fault.bytes_left;
    const std::string what =
        left == 4  ? "la llamada dejó 4 bytes en la pila, los de su argumento, que __stdcall retira"
        : left > 0 ? "la llamada dejó " + std::to_string(left) + " bytes de más en la pila"
                   : "la llamada retiró de la pila " + std::to_string(-left) +
                         " bytes más que los 4 de su argumento";
    return what +
           " (la pila se restauró antes de seguir). Declárelo así: extern \"C\" __declspec(dllexport) "
           "BSTR __stdcall " +
           fault.entry_point + "(BSTR), exportado sin decorar (con un archivo .def o con -Wl,--kill-at)";
}

std::string reason_of(const BindingFailure& failure) { return std::visit(Reason{}, failure); }

std::string sentence_of(const BindingFailure& failure, const std::string& reason) {
    return std::visit(Sentence{reason}, failure);
}

namespace {

std::string hexadecimal(std::uint64_t value) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string digits;
    do {
        digits.insert(digits.begin(), kDigits[value % 16]);
        value /= 16;
    } while (value != 0);
    return "0x" + digits;
}

// "en tokens_of+0x1c, llamada desde parser_SLR+0x80 (libZavlek.so)"; a frame
// no exported function holds, by its offset in the file.
// A call repeated, as a recursion repeats it, is said once, with how many
// times it comes.
std::string frames_words(const LibraryCrash& crash) {
    std::string words;
    const auto& frames = crash.frames;
    for (std::size_t i = 0; i < frames.size();) {
        const LibraryCrash::Frame& frame = frames[i];
        std::size_t times = 1;
        while (i + times < frames.size() && frames[i + times].file_offset == frame.file_offset) ++times;
        i += times;
        words += words.empty() ? "en " : ", llamada desde ";
        const std::string readable = frame.symbol.empty() ? std::string() : demangled(frame.symbol);
        words += frame.symbol.empty()
                     ? "el desplazamiento " + hexadecimal(frame.file_offset)
                     : (readable.empty() ? frame.symbol : readable) + "+" + hexadecimal(frame.symbol_offset);
        if (times > 1) words += " (" + std::to_string(times) + " veces)";
    }
    return words + " (" + crash.library + ")";
}

// Said before " en la dirección": the address is where the instruction
// read, wrote or jumped.
std::string access_words(LibraryCrash::Access access) {
    switch (access) {
        case LibraryCrash::Access::read:
            return " al leer";
        case LibraryCrash::Access::write:
            return " al escribir";
        case LibraryCrash::Access::execute:
            return " al ejecutar código";
        case LibraryCrash::Access::unknown:
            break;
    }
    return {};
}

std::string cause_words(const LibraryCrash& crash) {
    const std::string at = " en la dirección " + hexadecimal(crash.address);
    switch (crash.cause) {
        case LibraryCrash::Cause::memory_access:
            return "violación de acceso a memoria" + access_words(crash.access) + at;
        case LibraryCrash::Cause::stack_overflow:
            return "desbordamiento de pila (" + hexadecimal(crash.address) + " está al final de la pila)";
        case LibraryCrash::Cause::illegal_instruction:
            return "instrucción no válida" + at;
        case LibraryCrash::Cause::division_by_zero:
            return "división entera por cero" + at;
        case LibraryCrash::Cause::arithmetic:
            return "error aritmético" + at;
        case LibraryCrash::Cause::abort:
            return "la biblioteca o su entorno de ejecución abortó el proceso (abort)";
        case LibraryCrash::Cause::msvc_exception:
            return "una excepción de C++ de Visual C++ salió de la biblioteca y nada la atrapó. Atrape las "
                   "excepciones dentro de cada función exportada";
        case LibraryCrash::Cause::other:
            break;
    }
    return "el sistema terminó el proceso";
}

}  // namespace

std::string crash_words(const LibraryCrash& crash) {
    std::string words = cause_words(crash);
    if (!crash.frames.empty()) words += " — " + frames_words(crash);
    if (crash.cause == LibraryCrash::Cause::stack_overflow) {
        words += ": una recursión sin límite. Limite la profundidad de la recursión o use una pila propia";
    }
    return words;
}

std::string library_crash_sentence(const LibraryCrash& crash) {
    return "La biblioteca " + std::string(kZavlekFile) + " falló durante " + crash.entry_point + ": " +
           crash_words(crash);
}

std::string loaded_library_words(const std::string& location) {
    return "la biblioteca que responde es " + location;
}

std::string passed_over_words(const std::string& element) {
    const std::string which =
        element.empty() ? "un elemento vacío" : "el elemento relativo «" + element + "»";
    return "se pasó por alto " + which + " de LD_LIBRARY_PATH: la búsqueda solo usa carpetas absolutas";
}

std::string_view fresh_string_cure() {
    return ". Cada respuesta debe ser una cadena nueva: return SysAllocStringByteLen(texto, longitud); el programa la "
           "libera con SysFreeString";
}

std::string misplaced_answer_words(AnswerPlace place) {
    return std::string(place_words(place)) + std::string(fresh_string_cure());
}

}  // namespace kavrelo::binding
