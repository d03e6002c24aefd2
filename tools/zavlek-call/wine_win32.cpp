// SPDX-License-Identifier: MIT
// Windows: a Linux library cannot be graded here; Wine, which runs Windows
// programs on Linux, has no part to play.
#include "wine.h"

#include "utf8_paths.h"

#include <binding/elf_image.h>

#include <filesystem>
#include <stdexcept>

namespace kavrelo::zavlek_call {
namespace {

std::runtime_error no_wine_here() { return std::runtime_error("en Windows, las DLLs se califican sin Wine"); }

}  // namespace

std::optional<ForeignLibrary> foreign_library(const std::string& library, const std::string& shown) {
    if (!binding::read_elf_file(path_of(library), 1 << 20)) {
        return std::nullopt;
    }
    return ForeignLibrary{{},
                          shown +
                              " es una biblioteca de Linux: en Windows se califican DLLs; califíquela en "
                              "Linux, donde zavlek-call la carga"};
}

void prepare_wine_prefix(const std::string&) { throw no_wine_here(); }

WineRun wine_run_in_copy(const std::string&, const std::string&, const std::string&) { throw no_wine_here(); }

ChildOutcome run_under_wine(const WineRun&, const std::vector<std::string>&, std::string_view,
                            std::chrono::milliseconds) {
    throw no_wine_here();
}

std::string wine_path(const std::string& path) { return path; }

}  // namespace kavrelo::zavlek_call
