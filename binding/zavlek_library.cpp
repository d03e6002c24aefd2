// SPDX-License-Identifier: MIT
#include "zavlek_library.h"

#include "escaped_exception.h"
#include "loader.h"
#include "text_call.h"

namespace kavrelo::binding {

ZavlekLibrary::ZavlekLibrary(Loader& loader) : loader_(loader) {}

ZavlekLibrary::~ZavlekLibrary() = default;

void* ZavlekLibrary::bind(EntryPoint entry_point) {
    if (library_ == nullptr) {
        library_ = loader_.load(std::string(kZavlekFile));
    }
    LoadedLibrary::Lookup lookup = library_->find(std::string(declaration_of(entry_point).name));
    if (lookup.address == nullptr) {
        throw BindingError(std::move(lookup.missing));
    }
    slots_[static_cast<std::size_t>(entry_point)] = lookup.address;
    return lookup.address;
}

void ZavlekLibrary::call(EntryPoint entry_point) {
    const auto function = reinterpret_cast<NoArgument>(bound_address(entry_point));
    try {
        function();
    } catch (...) {
        throw BindingError(escaped_exception(declaration_of(entry_point).name));
    }
}

std::u16string ZavlekLibrary::call(EntryPoint entry_point, std::u16string_view text) {
    return text_of(answer_to(entry_point, make_library_string(text)));
}

std::string ZavlekLibrary::call_with_bytes(EntryPoint entry_point, std::string_view bytes) {
    return std::string(bytes_of(answer_to(entry_point, make_library_string(bytes))));
}

LibraryString ZavlekLibrary::answer_to(EntryPoint entry_point, const LibraryString& argument) {
    const auto function = reinterpret_cast<TextToText>(bound_address(entry_point));
    TextCall measured;
    try {
        measured = call_text(function, argument.get());
    } catch (...) {
        throw BindingError(escaped_exception(declaration_of(entry_point).name));
    }
    const BSTR returned = measured.returned;
    // The very string it was given is the program's own, released once with
    // the argument; any other string that no block of the allocator's starts
    // at is left where it lies, since freeing it would end the program.
    const StringDefect defect =
        returned == argument.get() ? StringDefect::the_argument : defect_of(returned, argument.get());
    LibraryString result{
        defect == StringDefect::none || defect == StringDefect::count_beyond_block ? returned : nullptr};
    // The stack is whole again; what went wrong first is the convention.
    require_stdcall(measured, declaration_of(entry_point).name);
    if (defect != StringDefect::none) {
        throw BindingError(MalformedResult{
            std::string(kZavlekFile), std::string(declaration_of(entry_point).name), defect,
            defect == StringDefect::count_beyond_block ? SysStringByteLen(returned) : 0,
            defect == StringDefect::not_from_the_allocator ? place_of(returned) : AnswerPlace::elsewhere});
    }
    return result;
}

}  // namespace kavrelo::binding
