// SPDX-License-Identifier: MIT
// Loading the test doubles through the real system loader.
#pragma once

#include "doubles/recording_double.h"

#include <binding/loader.h>

#include <cstddef>
#include <string>
#include <vector>

namespace kavrelo::testing {

// Folders of the test doubles, each holding a library file (or none).
inline constexpr const char* kComplete = "complete";
inline constexpr const char* kNoMPila = "no_mpila";
inline constexpr const char* kUnresolved = "unresolved";
inline constexpr const char* kNotALibrary = "not_a_library";
inline constexpr const char* kMissing = "missing";
// Windows only: built for the other architecture; exporting _parser_SLR@4.
inline constexpr const char* kOtherArchitecture = "other_architecture";
inline constexpr const char* kDecorated = "decorated";
// The commonest mistakes of a library's author: entry points without
// __stdcall (wrong on 32-bit Windows only) and without extern "C".
inline constexpr const char* kCdecl = "cdecl";
inline constexpr const char* kMangled = "mangled";
// Windows only: MSVC's C++ names; a library needing the debug runtime of
// Visual C++ directly, and one needing it through ayuda.dll; a file cut short.
inline constexpr const char* kMsvcMangled = "msvc_mangled";
inline constexpr const char* kDebugRuntime = "debug_runtime";
inline constexpr const char* kDeeper = "deeper";
inline constexpr const char* kTruncated = "truncated";
// Linux only, made by craft_library: the C++-named library without its
// section headers; one of about 1 MB whose symbols all share one name of
// half a megabyte but _Z10parser_SLRPc.
inline constexpr const char* kWithoutSectionHeaders = "without_section_headers";
inline constexpr const char* kSharedLongName = "shared_long_name";

// A folder given relative to the test program's own.
std::string test_folder(const std::string& relative);

std::string double_folder(const std::string& name);

// The system loader, pointed at one folder instead of the ordinary search,
// counting what it is asked to do.
class FolderLoader final : public binding::Loader {
public:
    explicit FolderLoader(const std::string& double_name);
    struct Folder {
        std::string path;
    };
    explicit FolderLoader(Folder folder);

    std::unique_ptr<binding::LoadedLibrary> load(const std::string& file) override;

    int loads = 0;
    int lookups = 0;
    std::vector<std::string> looked_up;

private:
    std::string folder_;
    std::unique_ptr<binding::Loader> system_;
};

// The recording double's control surface, from the copy the binding loaded.
class Recorder {
public:
    explicit Recorder(const std::string& double_name = kComplete);
    ~Recorder();

    void answer_with(recording_double::Result result) const;
    int calls(int entry_point) const;
    // The count in front, the counted bytes and the byte after them.
    std::vector<unsigned char> received(int entry_point) const;

private:
    void* handle_;
};

}  // namespace kavrelo::testing
