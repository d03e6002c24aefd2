// SPDX-License-Identifier: MIT
// The late binding that calls the Zavlek library's entry points.
#pragma once

#include "entry_points.h"
#include "library_string.h"

#include <array>
#include <memory>
#include <string>
#include <string_view>

namespace kavrelo::binding {

class Loader;
class LoadedLibrary;

// The four entry points. Each binds at its own first call and stays bound;
// a failed binding throws BindingError and leaves the row unbound, so the
// next call tries again. The library is loaded at the first binding and
// never unloaded.
class ZavlekLibrary {
public:
    explicit ZavlekLibrary(Loader& loader);
    ~ZavlekLibrary();
    ZavlekLibrary(const ZavlekLibrary&) = delete;
    ZavlekLibrary& operator=(const ZavlekLibrary&) = delete;

    void mPila() { call(EntryPoint::mPila); }
    void tokeniza() { call(EntryPoint::tokeniza); }
    std::u16string tokeniza2(std::u16string_view text) { return call(EntryPoint::tokeniza2, text); }
    std::u16string parser_SLR(std::u16string_view text) { return call(EntryPoint::parser_SLR, text); }

    // Any row of the table: one that takes no text, and one that does.
    void call(EntryPoint entry_point);
    std::u16string call(EntryPoint entry_point, std::u16string_view text);
    // The same call for a caller that holds the library's 8-bit text and
    // shows the answer later: its bytes, converted by nobody here.
    std::string call_with_bytes(EntryPoint entry_point, std::string_view bytes);

    // The row's address, bound as a call binds it, for a caller that looks at
    // the call more closely than call does (zavlek-call's inspections). Bound
    // once; every later call only reads the slot.
    void* bound_address(EntryPoint entry_point) {
        void* const slot = slots_[static_cast<std::size_t>(entry_point)];
        return slot != nullptr ? slot : bind(entry_point);
    }

private:
    void* bind(EntryPoint entry_point);
    // The library's answer to the argument, owned, once it is found sound;
    // BindingError otherwise.
    LibraryString answer_to(EntryPoint entry_point, const LibraryString& argument);

    Loader& loader_;
    std::unique_ptr<LoadedLibrary> library_;
    std::array<void*, kDeclarations.size()> slots_{};
};

}  // namespace kavrelo::binding
