#include "zavlek_library.h"

#include "library_string.h"
#include "loader.h"

#include <zavlek.h>

namespace kavrelo::binding {
namespace {

using NoArgument = void(ZAVLEK_CALL*)();
using TextToText = BSTR(ZAVLEK_CALL*)(BSTR);

std::string describe(BindingError::Kind kind, const std::string& file, const std::string& entry_point,
                     const std::string& reason) {
    if (kind == BindingError::Kind::library_not_loaded) {
        return "No se pudo cargar la biblioteca " + file + ": " + reason;
    }
    if (kind == BindingError::Kind::malformed_result) {
        return "La biblioteca " + file + " devolvi\xC3\xB3 desde " + entry_point + " una cadena mal formada: " + reason;
    }
    return "La biblioteca " + file + " no tiene el punto de entrada " + entry_point + ": " + reason;
}

}  // namespace

BindingError::BindingError(Kind kind, std::string file, std::string entry_point, std::string reason)
    : std::runtime_error(describe(kind, file, entry_point, reason)),
      kind_(kind),
      file_(std::move(file)),
      entry_point_(std::move(entry_point)),
      reason_(std::move(reason)) {}

ZavlekLibrary::ZavlekLibrary(Loader& loader) : loader_(loader) {}

ZavlekLibrary::~ZavlekLibrary() = default;

LoadedLibrary& ZavlekLibrary::library(const std::string& file) {
    auto found = loaded_.find(file);
    if (found == loaded_.end()) {
        found = loaded_.emplace(file, loader_.load(file)).first;
    }
    return *found->second;
}

void* ZavlekLibrary::bound_address(EntryPoint entry_point) {
    const auto row = static_cast<std::size_t>(entry_point);
    void*& slot = slots_[row];
    if (slot == nullptr) {
        const Declaration& declaration = kDeclarations[row];
        const std::string file(declaration.file);
        const std::string name(declaration.name);
        LoadedLibrary::Lookup lookup = library(file).find(name);
        if (lookup.address == nullptr) {
            throw BindingError(BindingError::Kind::entry_point_missing, file, name, lookup.reason);
        }
        slot = lookup.address;
    }
    return slot;
}

void ZavlekLibrary::call_without_argument(EntryPoint entry_point) {
    reinterpret_cast<NoArgument>(bound_address(entry_point))();
}

std::u16string ZavlekLibrary::call_with_text(EntryPoint entry_point, std::u16string_view text) {
    const auto function = reinterpret_cast<TextToText>(bound_address(entry_point));
    LibraryString argument = make_library_string(text);
    const BSTR returned = function(argument.get());
    // A library that answers with the very string it was given hands back
    // what the program owns already: that string is released once.
    const LibraryString result{returned == argument.get() ? argument.release() : returned};
    if (!stored_count_fits(result)) {
        const Declaration& declaration = kDeclarations[static_cast<std::size_t>(entry_point)];
        throw BindingError(BindingError::Kind::malformed_result, std::string(declaration.file),
                           std::string(declaration.name),
                           "la longitud que declara (" + std::to_string(SysStringByteLen(result.get())) +
                               " bytes) no cabe en el bloque que la contiene");
    }
    return text_of(result);
}

void ZavlekLibrary::mPila() { call_without_argument(EntryPoint::mPila); }

void ZavlekLibrary::tokeniza() { call_without_argument(EntryPoint::tokeniza); }

std::u16string ZavlekLibrary::tokeniza2(std::u16string_view text) {
    return call_with_text(EntryPoint::tokeniza2, text);
}

std::u16string ZavlekLibrary::parser_SLR(std::u16string_view text) {
    return call_with_text(EntryPoint::parser_SLR, text);
}

}  // namespace kavrelo::binding
