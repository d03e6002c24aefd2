// SPDX-License-Identifier: MIT
// What a submission's processes may touch, set by the process that grades it
// on itself before it starts any other: whatever it starts inherits it, and
// none can undo it. Two files behind this header (sandbox_posix.cpp,
// sandbox_win32.cpp).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kavrelo::zavlek_call {

struct Confinement {
    // Absolute: the tool's files and folders, the submission's folder. Each
    // must exist.
    std::vector<std::string> readable;
    // Absolute: a private temporary folder, made by the caller, empty; or
    // none, when empty.
    std::string writable;
    // Each process's address space.
    std::uint64_t most_memory_bytes = std::uint64_t{1024} << 20;
    // The submission's processes (threads included) at once, the one confined
    // among them.
    std::uint64_t most_processes = 256;
    // Any one file written.
    std::uint64_t most_file_bytes = std::uint64_t{64} << 20;
    // Run once the rest is in place, before sockets are refused (where they
    // are): what must make one, and is trusted to, starts here (Wine's server,
    // and the connection to it that Wine's first process is handed).
    std::function<void()> before_sockets_refused;
};

// How this machine confines a submission, in words for the report's header
// (e.g. "Landlock (interfaz 7), una red propia y vacía, y ningún socket");
// nullopt when it cannot.
std::optional<std::string> confinement_offered();

// Confines this process and whatever it starts from now on. Throws
// std::runtime_error with a Spanish message when it cannot.
void confine_this_process(const Confinement& confinement);

// Only the limits (memory, processes, file size), for a run without
// isolation. Throws std::runtime_error with a Spanish message when it cannot.
void limit_this_process(const Confinement& confinement);

}  // namespace kavrelo::zavlek_call
