// SPDX-License-Identifier: MIT
// The folder a fuzz run's findings are written to. A finding always goes to
// a file that did not exist before, so that an earlier run's findings stay
// and a file or link planted under a finding's name is never written
// through; a finding that cannot be written at all is still said in full.
#pragma once

#include <string>
#include <string_view>
#include <system_error>

namespace kavrelo::zavlek_call {

class FindingFolder {
public:
    virtual ~FindingFolder() = default;

    enum class Creation { written, name_taken, failed };
    struct Created {
        Creation creation = Creation::written;
        std::error_code error;  // failed: what the system said
    };
    // The bytes in a new file of that name, created only if no file (nor
    // link) of that name is there; nothing is left of a file whose bytes
    // could not all be written.
    virtual Created create_new(const std::string& name, std::string_view bytes) = 0;
};

// What the system said of a file or folder, in Spanish: "el disco está
// lleno", "no hay permiso"...
std::string file_error_words(std::error_code error);

}  // namespace kavrelo::zavlek_call
