// SPDX-License-Identifier: MIT
// Why binding the library failed, as facts: what failed, the file, and the
// system's own code and text. wording.cpp turns them into the sentences the
// user reads; the loaders only find the facts.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace kavrelo::binding {

// The system's own account of a failure: its error code, where it gives one
// (0 where it gives only a text, as dlerror does), and its text untouched.
struct SystemError {
    std::uint32_t code = 0;
    std::string text;
};

// What a library file or a program was built for, as far as the system says.
enum class Architecture { unknown, bits32, bits64, x86, x64, arm64 };

struct LoadFailure {
    enum class Cause {
        named_file_missing,  // a file named by its path is not there
        not_found,           // no file of that name where the search looks
        needs_library,       // found, but a library it needs is missing
        wrong_architecture,  // found, built for another architecture
        not_a_library,       // found, but no library at all
        truncated,           // found, but cut short: its headers promise more than it holds
        needs_symbol,        // found, but it needs a symbol nothing loaded offers
        initialisation_failed,
        unexplained,  // only the system's own words are known
    };
    Cause cause = Cause::unexplained;
    std::string file;    // as asked for: a bare name
    std::string found;   // the file the system tried, where it says which
    std::string needed;  // the missing library or symbol, where it says which
    // For a library that needs another (Windows): the chain of libraries from
    // the one asked for down to the first that cannot be found, the last;
    // empty when reading the import tables did not find it.
    std::vector<std::string> chain;
    Architecture library_architecture = Architecture::unknown;
    Architecture program_architecture = Architecture::unknown;
    // Where the search looked, for a file that was not found: the folders of
    // the library path variable as it was set (empty when unset) and the
    // program's own folder.
    std::string library_path;
    std::string program_folder;
    SystemError system;
};

// An export whose name is the entry point's, decorated or mangled: what the
// author meant to export, under a name the binding never looks for; or the
// entry point itself, defined and never exported.
struct NearMiss {
    enum class Kind {
        stdcall_decorated,   // _name@N or name@N
        fastcall_decorated,  // @name@N
        cpp_mangled,         // a C++ name: _Z..., ?name@@...
        not_exported,        // the very name, hidden by visibility or local
    };
    Kind kind = Kind::stdcall_decorated;
    std::string exported;  // as the export table has it
    std::string readable;  // a mangled name demangled, where it could be; else empty
};

struct MissingEntryPoint {
    std::string file;
    std::string entry_point;
    std::string found;  // the loaded file's full path; empty when unknown
    SystemError system;
    std::optional<NearMiss> near_miss;
};

// What can be wrong with a string a library returns.
enum class StringDefect {
    none,
    // The very string the library was given, which the program owns already.
    the_argument,
    // No block of the allocator's starts where the pointer says: a constant,
    // a pointer into another block or into the argument, memory nobody may
    // read.
    not_from_the_allocator,
    // The count stored in front, with the NUL after the bytes, runs past the
    // block.
    count_beyond_block,
};

// Where an answer that no block of the allocator's starts at points, as far
// as the system tells: what its author most likely did.
enum class AnswerPlace {
    elsewhere,     // the inside of another block, or memory of another allocator's
    loaded_image,  // a constant or static data of a loaded image
    stack,         // the stack of the calling thread: a local variable
    unreadable,    // memory that cannot be read
};

// An answer that is no sound library string.
struct MalformedResult {
    std::string file;
    std::string entry_point;
    StringDefect defect = StringDefect::count_beyond_block;
    std::uint32_t declared_bytes = 0;            // for a count beyond its block
    AnswerPlace place = AnswerPlace::elsewhere;  // for an answer not from the allocator
};

// A call that did not leave the stack as __stdcall does (32-bit Windows): the
// entry point took its argument but left it on the stack (a cdecl function),
// or removed more than it. The stack is restored before this is raised.
struct CallingConventionFault {
    std::string file;
    std::string entry_point;
    std::int32_t bytes_left = 0;  // left on the stack; negative when it removed too much
};

// A C++ exception that left an entry point: the library's own fault, which
// the program catches where the call returns.
struct EscapedException {
    std::string file;
    std::string entry_point;
    std::string type;     // demangled where it could be; empty when unknown
    std::string message;  // what() of a std::exception; empty otherwise
};

// A call into the library that ended the process, as the system told it.
struct LibraryCrash {
    enum class Cause {
        memory_access,        // a read or write where nothing may be read or written
        stack_overflow,       // the same, at the end of the stack: recursion without limit
        illegal_instruction,  // code that is no instruction, or not this processor's
        division_by_zero,     // an integer divided by zero
        arithmetic,           // another arithmetic fault
        abort,                // the library or its runtime called abort
        msvc_exception,       // a C++ exception of Visual C++'s runtime that nothing caught
        other,
    };
    // What a memory fault's instruction did at the address, where the system
    // says.
    enum class Access { unknown, read, write, execute };
    Cause cause = Cause::other;
    std::uint64_t address = 0;  // where the memory fault or the instruction was; 0 when none
    std::string entry_point;
    // Where in the library it happened, where the system could say: the
    // library's own frames, the innermost first, and its file's name.
    struct Frame {
        std::uint64_t file_offset = 0;  // from the start of the library's image
        std::string symbol;             // the function the library names there; empty when none
        std::uint64_t symbol_offset = 0;
    };
    std::vector<Frame> frames;
    std::string library;
    Access access = Access::unknown;
};

// In the order of BindingError::Kind.
using BindingFailure =
    std::variant<LoadFailure, MissingEntryPoint, MalformedResult, CallingConventionFault, EscapedException>;

// Raised when the library file cannot be loaded, lacks an entry point,
// answers with something that is not a library string, or is called with
// another calling convention than it was built with. what() is the
// sentence the user is told, ending with the reason.
class BindingError : public std::runtime_error {
public:
    enum class Kind {
        library_not_loaded,
        entry_point_missing,
        malformed_result,
        calling_convention,
        escaped_exception
    };

    explicit BindingError(BindingFailure failure);

    Kind kind() const noexcept { return static_cast<Kind>(failure_.index()); }
    const BindingFailure& failure() const noexcept { return failure_; }
    const std::string& file() const noexcept;
    // Empty when the library itself could not be loaded; the entry point that
    // answered, for a malformed result or a calling-convention fault.
    const std::string& entry_point() const noexcept;
    // The sentence's reason: what went wrong, in plain words, and the
    // system's own detail.
    const std::string& reason() const noexcept { return reason_; }

private:
    // The reason is worded once, for the sentence and for reason(). The
    // failure is taken by reference, so that nothing is moved from it before
    // its reason is worded.
    BindingError(BindingFailure&& failure, std::string reason);

    BindingFailure failure_;
    std::string reason_;
};

}  // namespace kavrelo::binding
