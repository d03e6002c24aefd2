// SPDX-License-Identifier: MIT
#include "zavlek_library.h"

#include "library_string.h"
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
    reinterpret_cast<NoArgument>(bound_address(entry_point))();
}

std::u16string ZavlekLibrary::call(EntryPoint entry_point, std::u16string_view text) {
    const auto function = reinterpret_cast<TextToText>(bound_address(entry_point));
    LibraryString argument = make_library_string(text);
    const TextCall measured = call_text(function, argument.get());
    const BSTR returned = measured.returned;
    // A library that answers with the very string it was given hands back
    // what the program owns already: that string is released once.
    const bool echoed = returned == argument.get();
    const StringDefect defect = defect_of(returned, echoed ? nullptr : argument.get());
    // Freeing what no block of the allocator's starts at would end the
    // program: such an answer is left where it lies.
    const LibraryString result{echoed                                           ? argument.release()
                               : defect == StringDefect::not_from_the_allocator ? nullptr
                                                                                : returned};
    // The stack is whole again; what went wrong first is the convention.
    require_stdcall(measured, declaration_of(entry_point).name);
    if (defect != StringDefect::none) {
        throw BindingError(
            MalformedResult{std::string(kZavlekFile), std::string(declaration_of(entry_point).name), defect,
                            defect == StringDefect::count_beyond_block ? SysStringByteLen(returned) : 0});
    }
    return text_of(result);
}

}  // namespace kavrelo::binding
