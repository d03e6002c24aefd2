// The declaration table of the Zavlek library's entry points, and the late
// binding that calls them.
#pragma once

#include <array>
#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace kavrelo::binding {

class Loader;
class LoadedLibrary;

// The platform's file name for the library Zavlek.dll.
#if defined(_WIN32)
inline constexpr std::string_view kZavlekFile = "Zavlek.dll";
#else
inline constexpr std::string_view kZavlekFile = "libZavlek.so";
#endif

enum class EntryPoint : std::size_t { mPila, tokeniza, tokeniza2, parser_SLR };

struct Declaration {
    EntryPoint entry_point;
    std::string_view file;  // bare, found by the platform's ordinary search
    std::string_view name;  // matched exactly
};

inline constexpr std::array<Declaration, 4> kDeclarations = {{
    {EntryPoint::mPila, kZavlekFile, "mPila"},
    {EntryPoint::tokeniza, kZavlekFile, "tokeniza"},
    {EntryPoint::tokeniza2, kZavlekFile, "tokeniza2"},
    {EntryPoint::parser_SLR, kZavlekFile, "parser_SLR"},
}};

// The four entry points. Each binds at its own first call and stays bound;
// a failed binding throws BindingError and leaves the row unbound, so the
// next call tries again. The library is never unloaded.
class ZavlekLibrary {
public:
    explicit ZavlekLibrary(Loader& loader);
    ~ZavlekLibrary();
    ZavlekLibrary(const ZavlekLibrary&) = delete;
    ZavlekLibrary& operator=(const ZavlekLibrary&) = delete;

    void mPila();
    void tokeniza();
    std::u16string tokeniza2(std::u16string_view text);
    std::u16string parser_SLR(std::u16string_view text);

private:
    void* bound_address(EntryPoint entry_point);
    LoadedLibrary& library(const std::string& file);
    void call_without_argument(EntryPoint entry_point);
    std::u16string call_with_text(EntryPoint entry_point, std::u16string_view text);

    Loader& loader_;
    std::array<void*, kDeclarations.size()> slots_{};
    std::map<std::string, std::unique_ptr<LoadedLibrary>, std::less<>> loaded_;
};

}  // namespace kavrelo::binding
