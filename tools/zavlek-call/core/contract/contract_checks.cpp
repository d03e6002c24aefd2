// SPDX-License-Identifier: MIT
#include "core/contract/contract_checks.h"

#include "core/fuzzing/fuzz_inputs.h"
#include "core/fuzzing/fuzz_run.h"

#include <binding/codepage.h>
#include <binding/fixed_texts.h>
#include <binding/library_string.h>
#include <binding/text_call.h>
#include <binding/wording.h>
#include <binding/zavlek_library.h>
#include <text/numbers.h>
#include <text/utf8.h>

#include <zavlek.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <new>
#include <set>
#include <stdexcept>

namespace kavrelo::zavlek_call {
namespace {

using binding::BindingError;
using binding::EntryPoint;
using binding::LibraryString;
using binding::NoArgument;
using binding::TextToText;

std::string_view name_of(EntryPoint entry_point) { return binding::declaration_of(entry_point).name; }

// A check found the library wanting; the message is the detail.
struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// An entry point that takes a text, with what its answers are looked at by.
struct TextEntry {
    TextToText function;
    EntryPoint entry_point;
    const ProcessProbe& probe;
};

// The library, loaded in this child for one check.
class Library {
public:
    Library(binding::Loader& loader, const ProcessProbe& probe, const InputAnnounced& announce)
        : loaded_(loader.load(std::string(binding::kZavlekFile))), probe_(probe), announce_(announce) {}

    void* entry(EntryPoint entry_point) {
        const std::string name(name_of(entry_point));
        const binding::LoadedLibrary::Lookup lookup = loaded_->find(name);
        if (lookup.address == nullptr) {
            throw Failure("no exporta " + name + ": " + binding::reason_of(lookup.missing));
        }
        return lookup.address;
    }
    TextEntry text_entry(EntryPoint entry_point) {
        return {reinterpret_cast<TextToText>(entry(entry_point)), entry_point, probe_};
    }
    const ProcessProbe& probe() const { return probe_; }
    void announce(std::string_view input_in_words) const { announce_(input_in_words); }

    binding::LoadedLibrary& loaded() { return *loaded_; }

private:
    std::unique_ptr<binding::LoadedLibrary> loaded_;
    const ProcessProbe& probe_;
    const InputAnnounced& announce_;
};

std::string hex(const void* address) {
    char text[32];
    std::snprintf(text, sizeof text, "%p", address);
    return text;
}

// The bytes of an answer or an input a detail shows.
constexpr std::size_t kShown = 60;

// The beginning of an answer, for a detail: UTF-8, on one line.
std::string excerpt(std::string_view bytes) {
    std::u16string text = binding::from_eight_bit(bytes.substr(0, kShown));
    for (char16_t& character : text) {
        if (character < 0x20) character = u'\u00B7';
    }
    return "\"" + text::to_utf8(text) + (bytes.size() > kShown ? "…" : "") + "\"";
}

// What one call answered, looked at before anything trusts it: the pointer,
// then the block, then the count and the NUL. A string found unsound is
// never freed here, for it may be no block of the allocator's at all; a
// sound one is owned.
struct Answer {
    LibraryString string;  // null for the library's null answer
    std::string bytes;
};

// One call through the binding's own measured call: a call that does not
// keep __stdcall (32-bit Windows) is a binding fault here as in the console.
BSTR measured_call(TextToText function, BSTR argument, std::string_view name) {
    const binding::TextCall call = guarded(name, [&] { return binding::call_text(function, argument); });
    binding::require_stdcall(call, name);
    return call.returned;
}

Answer sound_answer(const TextEntry& entry, BSTR argument) {
    const std::string_view name = name_of(entry.entry_point);
    const BSTR returned = measured_call(entry.function, argument, name);
    if (returned == nullptr) {
        return {};  // read as the empty text
    }
    if (returned == argument) {
        throw Failure(std::string(name) + " devolvió el mismo puntero que recibió como argumento (" +
                      hex(returned) + ")" + std::string(binding::fresh_string_cure()));
    }
    if (const std::optional<std::string> image = entry.probe.image_holding(returned)) {
        throw Failure(std::string(name) + " devolvió una cadena que no viene de SysAllocStringByteLen: " +
                      hex(returned) + " está en la imagen de " + *image + " (una constante o dato estático)" +
                      std::string(binding::fresh_string_cure()));
    }
    const binding::StringDefect defect = binding::defect_of(returned, argument);
    if (defect == binding::StringDefect::not_from_the_allocator) {
        throw Failure(std::string(name) + " devolvió un puntero (" + hex(returned) +
                      ") que no es el de una cadena de SysAllocStringByteLen: " +
                      binding::misplaced_answer_words(binding::place_of(returned)));
    }
    if (defect == binding::StringDefect::count_beyond_block) {
        throw Failure(std::string(name) + " devolvió una cadena cuya longitud (" +
                      text::grouped_digits(SysStringByteLen(returned)) +
                      " bytes) no cabe en el bloque que la contiene");
    }
    Answer answer{LibraryString{returned}, {}};
    answer.bytes = binding::bytes_of(answer.string);
    if (reinterpret_cast<const char*>(returned)[answer.bytes.size()] != '\0') {
        answer.string.release();
        throw Failure(std::string(name) + " devolvió una cadena sin el NUL que sigue a sus " +
                      text::grouped_digits(answer.bytes.size()) + " bytes");
    }
    return answer;
}

Answer call(const TextEntry& entry, std::u16string_view text) {
    const LibraryString argument = binding::make_library_string(text);
    return sound_answer(entry, argument.get());
}

// Bytes left in the allocator's hands at every call, call after call, that
// make a leak: the counts are exact (the allocator's caches are off in the
// children), so alignment is all there is to allow for.
constexpr std::size_t kLostPerCall = 8;

// The same text sent three times, the first answer held during the others.
// Strings kept or freed by the library show in the allocator's hands: a
// block still held here that comes back from the library again is one it
// keeps, and a fresh block of the same size placed where a string held here
// lies means the library freed that string. The later calls meet the
// library set up by the first, so what both leave in the allocator's hands
// is lost at every call.
struct SameTextCalls {
    Answer first;
    std::size_t left_behind = 0;  // bytes, by the second call and by the third alike
};

SameTextCalls calls_owning_nothing(const TextEntry& entry, std::string_view text) {
    const std::string_view name = name_of(entry.entry_point);
    LibraryString first_argument = binding::make_library_string(text);
    SameTextCalls calls{sound_answer(entry, first_argument.get())};
    const BSTR first = calls.first.string.get();
    const std::size_t argument_size = SysStringByteLen(first_argument.get());
    LibraryString probe{SysAllocStringByteLen(nullptr, static_cast<unsigned int>(argument_size))};
    if (probe.get() == first_argument.get()) {
        const BSTR reused = probe.release();
        first_argument.release();
        throw Failure(std::string(name) + " liberó el argumento que recibió (" + hex(reused) +
                      "): el argumento pertenece a quien llama");
    }
    if (first != nullptr) {
        LibraryString answer_probe{SysAllocStringByteLen(nullptr, SysStringByteLen(first))};
        if (answer_probe.get() == first) {
            answer_probe.release();
            calls.first.string.release();
            throw Failure(std::string(name) + " liberó la cadena que devolvió (" + hex(first) +
                          "): el resultado pertenece a quien llama");
        }
    }
    const auto left_behind_by = [&](BSTR argument) {
        const std::size_t before = entry.probe.allocated_bytes();
        {
            Answer again = sound_answer(entry, argument);
            if (again.string != nullptr && again.string.get() == first) {
                calls.first.string.release();
                throw Failure(
                    std::string(name) + " devolvió dos veces el mismo bloque (" + hex(first) +
                    ") mientras la primera respuesta seguía en uso: conserva la cadena que devuelve");
            }
        }
        const std::size_t after = entry.probe.allocated_bytes();
        return after > before ? after - before : 0;
    };
    const LibraryString second_argument = binding::make_library_string(text);
    const LibraryString third_argument = binding::make_library_string(text);
    const std::size_t by_second = left_behind_by(second_argument.get());
    calls.left_behind = std::min(by_second, left_behind_by(third_argument.get()));
    return calls;
}

Finding well_formed(const Answer& answer) {
    if (answer.string == nullptr) {
        return {Verdict::passed, "NULL (se lee como texto vacío)"};
    }
    return {Verdict::passed, text::grouped_digits(answer.bytes.size()) + " bytes: " + excerpt(answer.bytes)};
}

Finding loads(Library& library) {
    std::string missing;
    std::string near_misses;
    // Said once for all: the cure is one.
    std::vector<std::string> hidden;
    for (const binding::Declaration& declaration : binding::kDeclarations) {
        const binding::LoadedLibrary::Lookup lookup = library.loaded().find(std::string(declaration.name));
        if (lookup.address == nullptr) {
            missing += (missing.empty() ? "" : ", ") + std::string(declaration.name);
            const std::optional<binding::NearMiss>& near_miss = lookup.missing.near_miss;
            if (near_miss && near_miss->kind == binding::NearMiss::Kind::not_exported) {
                hidden.push_back(near_miss->exported);
            } else if (near_miss) {
                near_misses += "; en lugar de " + std::string(declaration.name) + ", " +
                               binding::near_miss_words(*near_miss);
            }
        }
    }
    if (!hidden.empty()) near_misses += "; " + binding::hidden_entry_points_words(hidden);
    const std::string where = library.loaded().location();
    if (!missing.empty()) {
        return {Verdict::failed, where + " no exporta con su nombre exacto: " + missing + near_misses};
    }
    return {Verdict::passed, where + " exporta " + binding::entry_point_list()};
}

// 32-bit Windows only: the two entry points that take an argument remove it
// from the stack, as __stdcall does.
Finding calling_convention(Library& library) {
    for (const EntryPoint entry_point : {EntryPoint::tokeniza2, EntryPoint::parser_SLR}) {
        call(library.text_entry(entry_point), kShortExpression);
    }
    return {Verdict::passed,
            "tokeniza2 y parser_SLR retiran su argumento de la pila, como __stdcall (mPila y tokeniza no "
            "reciben argumento: con ellas las dos convenciones no se distinguen)"};
}

Finding returns(Library& library, EntryPoint entry_point) {
    const auto function = reinterpret_cast<NoArgument>(library.entry(entry_point));
    guarded(name_of(entry_point), [function] { function(); });
    return {Verdict::passed, "volvió"};
}

Finding answers(Library& library, EntryPoint entry_point, std::u16string_view text) {
    return well_formed(call(library.text_entry(entry_point), text));
}

std::u16string every_byte() {
    std::string bytes;
    for (int byte = 0x01; byte <= 0xFF; ++byte) {
        bytes += static_cast<char>(byte);
    }
    return binding::from_eight_bit(bytes);
}

std::u16string long_expression(std::size_t size) {
    std::u16string text = u"1";
    while (text.size() + 6 <= size) {
        text += u" + x*2";
    }
    text.append(size - text.size(), u' ');
    return text;
}

// An input of a check that sends many, as its finding names it: a byte that
// shows as nothing, or as some other, by its number; a long one by its
// beginning and its length, before where it came from, if that is said.
std::string input_in_words(std::string_view bytes, const std::string& whence = {}) {
    const unsigned char first = bytes.empty() ? 0 : static_cast<unsigned char>(bytes[0]);
    if (bytes.size() == 1 && (first <= 0x20 || first >= 0x7F)) {
        char number[8];
        std::snprintf(number, sizeof number, "0x%02X", first);
        return std::string(number) + " (un byte solo)";
    }
    std::string notes = bytes.size() > kShown ? text::grouped_digits(bytes.size()) + " bytes" : std::string();
    if (!whence.empty()) notes += (notes.empty() ? "" : ", ") + whence;
    return excerpt(bytes) + (notes.empty() ? "" : " (" + notes + ")");
}

// One input of a check that sends many: announced before it is sent, and
// named with whatever fault the library shows on it.
Answer answer_to(Library& library, const TextEntry& parser, std::string_view input,
                 const std::string& named) {
    library.announce(named);
    try {
        const LibraryString argument = binding::make_library_string(input);
        return sound_answer(parser, argument.get());
    } catch (const Failure& failure) {
        throw Failure(on_input(named, failure.what()));
    } catch (const LibraryThrew& threw) {
        throw Failure(on_input(named, in_words(threw.ending, threw.entry_point)));
    }
}

// What trips a parser written by hand: a parenthesis alone or unmatched, a
// number cut short or beyond 64 bits, an operator alone, a name of 10.000
// letters, and every byte alone.
Finding classic_inputs(Library& library) {
    std::vector<std::string> inputs = {")",
                                       "(",
                                       "()",
                                       ")(",
                                       "1.",
                                       "1+",
                                       "+",
                                       "-",
                                       "*",
                                       "/",
                                       "99999999999999999999",
                                       std::string(10000, 'x')};
    for (int byte = 0x01; byte <= 0xFF; ++byte) inputs.emplace_back(1, static_cast<char>(byte));
    const TextEntry parser = library.text_entry(EntryPoint::parser_SLR);
    for (const std::string& input : inputs) answer_to(library, parser, input, input_in_words(input));
    return {Verdict::passed,
            text::grouped_digits(inputs.size()) +
                " entradas respondidas: ), (, (), )(, 1., 1+, cada operador solo, "
                "99999999999999999999, un nombre de 10.000 letras y cada byte de 0x01 a 0xFF "
                "solo"};
}

// A parser that descends by calling itself uses up its stack somewhere
// between these depths, unless it limits them.
Finding deep_nesting(Library& library) {
    const TextEntry parser = library.text_entry(EntryPoint::parser_SLR);
    for (const std::size_t depth : {std::size_t{10000}, std::size_t{1000000}}) {
        const std::string input = std::string(depth, '(') + "1" + std::string(depth, ')');
        answer_to(library, parser, input,
                  "\"(((…1…)))\" (" + text::grouped_digits(depth) + " paréntesis anidados, " +
                      text::grouped_digits(input.size()) + " bytes)");
    }
    return {Verdict::passed, "respondió con 10.000 y con 1.000.000 de paréntesis anidados"};
}

// The inputs of a fuzz run, from a seed of its own and as many every time:
// the check finds the same on any machine, however loaded, in a few seconds.
constexpr std::uint64_t kFuzzSeed = 1;
constexpr std::size_t kFuzzInputs = 10000;

Finding short_fuzz(Library& library) {
    const TextEntry parser = library.text_entry(EntryPoint::parser_SLR);
    FuzzInputs inputs(kFuzzSeed);
    std::set<std::string> shapes;
    for (std::size_t sent = 1; sent <= kFuzzInputs; ++sent) {
        std::string input = inputs.next();
        const std::string whence =
            "la " + text::grouped_digits(sent) + ".ª de la semilla " + std::to_string(kFuzzSeed);
        const Answer answer = answer_to(library, parser, input, input_in_words(input, whence));
        if (shapes.insert(answer_shape(input, answer.bytes)).second) inputs.add_to_corpus(std::move(input));
    }
    return {Verdict::passed, text::grouped_digits(kFuzzInputs) + " entradas de la semilla " +
                                 std::to_string(kFuzzSeed) + " respondidas, con " +
                                 (shapes.size() == 1 ? std::string("una forma")
                                                     : text::grouped_digits(shapes.size()) + " formas") +
                                 " de respuesta"};
}

Finding ownership(Library& library) {
    calls_owning_nothing(library.text_entry(EntryPoint::parser_SLR), binding::to_eight_bit(kShortExpression));
    return {Verdict::passed, "cada respuesta es una cadena nueva que la biblioteca no conserva ni libera"};
}

// Memory lost at every call grows the bytes the allocator has handed out (a
// count exact to the byte, its caches off) as much in one batch of calls as
// in the next; growth in one batch alone is a table or a buffer set up once.
Finding memory(Library& library) {
    constexpr std::size_t kBatch = 5000;
    const TextEntry parser = library.text_entry(EntryPoint::parser_SLR);
    const auto growth_per_call = [&] {
        const std::size_t before = library.probe().allocated_bytes();
        for (std::size_t i = 0; i < kBatch; ++i) call(parser, kShortExpression);
        const std::size_t after = library.probe().allocated_bytes();
        return after > before ? (after - before) / kBatch : 0;
    };
    for (int warm_up = 0; warm_up < 100; ++warm_up) call(parser, kShortExpression);
    const std::size_t first = growth_per_call();
    const std::size_t second = growth_per_call();
    const std::string batches = text::grouped_digits(first) + " y " + text::grouped_digits(second) +
                                " bytes por llamada en dos tandas de " + text::grouped_digits(kBatch) +
                                " llamadas con la misma entrada";
    const std::size_t steady = std::min(first, second);
    if (steady >= kLostPerCall) {
        return {Verdict::failed, "parser_SLR pierde " + text::grouped_digits(steady) +
                                     " bytes por llamada: la memoria asignada creció " + batches +
                                     ". Libere en cada llamada lo que reserve en ella"};
    }
    return {Verdict::passed, "la memoria asignada creció " + batches};
}

Finding repeatable(Library& library) {
    const TextEntry parser = library.text_entry(EntryPoint::parser_SLR);
    const Answer first = call(parser, kShortExpression);
    const Answer second = call(parser, kShortExpression);
    if (first.bytes != second.bytes || (first.string == nullptr) != (second.string == nullptr)) {
        return {Verdict::warning,
                "la misma entrada dio " + excerpt(first.bytes) + " y luego " + excerpt(second.bytes)};
    }
    return {Verdict::passed, "la misma entrada dio la misma respuesta"};
}

struct Definition {
    Check check;
    std::function<Finding(Library&)> perform;
};

// The checks that mean the same on every platform, in their order.
std::vector<Definition> every_platform();

const std::vector<Definition>& definitions() {
    static const std::vector<Definition> all = [] {
        std::vector<Definition> rows = every_platform();
        if (binding::kCallingConventionMatters) {
            rows.insert(rows.begin() + 1, {{"convention", "convención de llamada"}, calling_convention});
        }
        return rows;
    }();
    return all;
}

std::vector<Definition> every_platform() {
    return {
        {{"load", "carga y nombres"}, loads},
        {{"mPila", "mPila vuelve"}, [](Library& l) { return returns(l, EntryPoint::mPila); }},
        {{"tokeniza", "tokeniza vuelve"}, [](Library& l) { return returns(l, EntryPoint::tokeniza); }},
        {{"tokeniza2", "tokeniza2 con el argumento fijo"},
         [](Library& l) { return answers(l, EntryPoint::tokeniza2, binding::kTokenizerArgument); }},
        {{"parser.short", "parser_SLR: expresión corta"},
         [](Library& l) { return answers(l, EntryPoint::parser_SLR, kShortExpression); }},
        {{"parser.spaces", "parser_SLR: solo espacios"},
         [](Library& l) { return answers(l, EntryPoint::parser_SLR, u"     "); }},
        {{"parser.accents", "parser_SLR: acentos y caracteres fuera de la página de códigos"},
         [](Library& l) {
             return answers(l, EntryPoint::parser_SLR, u"\u00E1\u20AC\u00F1 \u4E2D\U0001F600");
         }},
        {{"parser.nul", "parser_SLR: un NUL en medio"},
         [](Library& l) { return answers(l, EntryPoint::parser_SLR, std::u16string(u"1 +\0 2", 6)); }},
        {{"parser.bytes", "parser_SLR: cada byte de 0x01 a 0xFF"},
         [](Library& l) { return answers(l, EntryPoint::parser_SLR, every_byte()); }},
        {{"parser.classic", "parser_SLR: entradas clásicas"}, classic_inputs},
        {{"parser.1mb", "parser_SLR: 1 MB"},
         [](Library& l) {
             return answers(l, EntryPoint::parser_SLR, long_expression(std::size_t{1} << 20));
         }},
        {{"parser.16mb", "parser_SLR: 16 MB"},
         [](Library& l) {
             return answers(l, EntryPoint::parser_SLR, long_expression(std::size_t{16} << 20));
         }},
        {{"parser.nesting", "parser_SLR: anidamiento profundo"}, deep_nesting},
        {{"parser.fuzz", "parser_SLR: fuzz breve"}, short_fuzz},
        {{"ownership", "propiedad de las cadenas"}, ownership},
        {{"memory", "memoria en 10.000 llamadas"}, memory},
        {{"repeatable", "misma entrada, misma respuesta"}, repeatable},
    };
}

}  // namespace

std::string_view verdict_word(Verdict verdict) {
    switch (verdict) {
        case Verdict::passed:
            return "correcto";
        case Verdict::failed:
            return "falla";
        case Verdict::warning:
            return "aviso";
    }
    return "falla";
}

const std::vector<Check>& contract_checks() {
    static const std::vector<Check> checks = [] {
        std::vector<Check> all;
        for (const Definition& definition : definitions()) {
            all.push_back(definition.check);
        }
        return all;
    }();
    return checks;
}

std::string on_input(std::string_view input_in_words, std::string_view fault) {
    return "con la entrada " + std::string(input_in_words) + ", " + std::string(fault);
}

Finding perform_check(std::string_view id, binding::Loader& loader, const ProcessProbe& probe,
                      const InputAnnounced& announce) {
    for (const Definition& definition : definitions()) {
        if (definition.check.id != id) continue;
        try {
            Library library(loader, probe, announce);
            return definition.perform(library);
        } catch (const Failure& failure) {
            return {Verdict::failed, failure.what()};
        } catch (const LibraryThrew& threw) {
            return {Verdict::failed, in_words(threw.ending, threw.entry_point)};
        } catch (const BindingError& error) {
            return {Verdict::failed, error.what(), error.kind() == BindingError::Kind::library_not_loaded};
        } catch (const std::exception& error) {
            return {Verdict::failed, std::string("error: ") + error.what()};
        }
    }
    return {Verdict::failed, "comprobación desconocida: " + std::string(id)};
}

InspectedCall inspected_call(TextToText function, EntryPoint entry_point, std::string_view text,
                             const ProcessProbe& probe) {
    // Memory held back from the library and given back when the process
    // runs out, for the ending to be worded and sent: a library that took
    // every block it could get leaves none for that. Held from call to call,
    // as it is needed but once.
    constexpr std::size_t kReserve = std::size_t{4} << 20;
    static std::unique_ptr<char[]> reserve;
    InspectedCall inspected;
    try {
        if (!reserve) reserve.reset(new char[kReserve]);
        SameTextCalls calls = calls_owning_nothing({function, entry_point, probe}, text);
        inspected.answer = std::move(calls.first.bytes);
        if (calls.left_behind >= kLostPerCall) {
            inspected.ending = {ChildEnding::Kind::leaked,
                                std::string(name_of(entry_point)) + " dejó " +
                                    text::grouped_digits(calls.left_behind) +
                                    " bytes sin liberar en cada llamada con el mismo texto (la segunda y la "
                                    "tercera)"};
        }
    } catch (const Failure& failure) {
        inspected.ending = {ChildEnding::Kind::broke_contract, failure.what()};
    } catch (const LibraryThrew& threw) {
        inspected.ending = threw.ending;
    } catch (const std::bad_alloc&) {
        reserve.reset();
        inspected.ending = {ChildEnding::Kind::out_of_memory, {}};
    }
    return inspected;
}

std::string report_finding(const Finding& finding) {
    return std::string(verdict_word(finding.verdict)) + "\n" + finding.detail;
}

bool read_finding(std::string_view output, Finding& finding) {
    const std::size_t line_end = output.find('\n');
    if (line_end == std::string_view::npos) return false;
    const std::string_view word = output.substr(0, line_end);
    for (Verdict verdict : {Verdict::passed, Verdict::failed, Verdict::warning}) {
        if (word == verdict_word(verdict)) {
            finding = {verdict, std::string(output.substr(line_end + 1))};
            return true;
        }
    }
    return false;
}

}  // namespace kavrelo::zavlek_call
