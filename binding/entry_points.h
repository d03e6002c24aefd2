// SPDX-License-Identifier: MIT
// The Zavlek library's entry points, once: their names, whether they take a
// text, and the function type each is called through. The binding, the
// window's commands and zavlek-call all read this table.
#pragma once

#include <zavlek.h>

#include <array>
#include <cstddef>
#include <string_view>

namespace kavrelo::binding {

// The platform's file name for the library Zavlek.dll.
#if defined(_WIN32)
inline constexpr std::string_view kZavlekFile = "Zavlek.dll";
#else
inline constexpr std::string_view kZavlekFile = "libZavlek.so";
#endif

enum class EntryPoint : std::size_t { mPila, tokeniza, tokeniza2, parser_SLR };

// The two shapes an entry point has: no argument and no answer, or a text in
// and a text out.
using NoArgument = void(ZAVLEK_CALL*)();
using TextToText = BSTR(ZAVLEK_CALL*)(BSTR);

struct Declaration {
    EntryPoint entry_point;
    std::string_view name;  // matched exactly
    bool takes_text;        // TextToText when it does, NoArgument otherwise
};

inline constexpr std::array<Declaration, 4> kDeclarations = {{
    {EntryPoint::mPila, "mPila", false},
    {EntryPoint::tokeniza, "tokeniza", false},
    {EntryPoint::tokeniza2, "tokeniza2", true},
    {EntryPoint::parser_SLR, "parser_SLR", true},
}};

constexpr const Declaration& declaration_of(EntryPoint entry_point) noexcept {
    return kDeclarations[static_cast<std::size_t>(entry_point)];
}

// The row of that exact name; nullptr when the library has no such entry point.
constexpr const Declaration* declaration_named(std::string_view name) noexcept {
    for (const Declaration& declaration : kDeclarations) {
        if (declaration.name == name) {
            return &declaration;
        }
    }
    return nullptr;
}

}  // namespace kavrelo::binding
