// SPDX-License-Identifier: MIT
// Windows has no execve. The crash is met where nothing handled it: in the
// filter of unhandled exceptions, so that an exception the library raises
// and handles itself (a C++ throw caught inside it, its own __try) is never
// taken for a crash, as a vectored handler, which sees every exception
// first, would; and in the runtime's SIGABRT handler, for abort, which
// raises no exception at all. There the handler starts a fresh copy of the
// program with the facts in its environment, waits for it and ends this
// process with the copy's status. Waiting, rather than ending at once,
// keeps the end of the program where whoever started it sees it (a shell, a
// test, a development environment): it ends when the report is closed, with
// status 1, as on Linux. Meanwhile nothing of the broken process runs: the
// handler reads the facts kept before the call, and the copy's command
// line and environment were made when the guard was set. Only starting the
// copy is the system's work, which a heap the library broke may make fail:
// the crash then ends the program as it would have.
#include "crash_guard.h"

#include "library_crash.h"

#include <binding/module_path.h>
#include <binding/unhandled_exception.h>
#include <text/utf8.h>

#include <windows.h>

#include <csignal>
#include <cstring>
#include <cwchar>
#include <vector>

namespace kavrelo::console {
namespace {

// Room in front of the environment for the facts' assignment, in UTF-16
// code units: more than crash_assignment ever makes.
constexpr std::size_t kRoom = 1024;

// The stack kept for the handler once the thread's has run out.
constexpr ULONG kHandlerStack = 64 * 1024;

std::wstring program_file;
std::wstring command_line;
// kRoom units of room, then this process's environment block.
std::vector<wchar_t> environment;
wchar_t assignment_buffer[kRoom];
LPTOP_LEVEL_EXCEPTION_FILTER previous_filter = nullptr;

// Returns only when no call is watched or the copy could not start.
void report_in_a_fresh_copy(const binding::LibraryCrash& crash) noexcept {
    const char* assignment = crash_assignment(crash);
    if (assignment == nullptr) return;
    const int length = MultiByteToWideChar(CP_UTF8, 0, assignment, -1, assignment_buffer, kRoom);
    if (length <= 0) return;
    // The assignment ends where this environment starts: one block.
    wchar_t* const block = environment.data() + (kRoom - static_cast<std::size_t>(length));
    std::memcpy(block, assignment_buffer, static_cast<std::size_t>(length) * sizeof(wchar_t));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(program_file.c_str(), command_line.data(), nullptr, nullptr, FALSE,
                        CREATE_UNICODE_ENVIRONMENT, block, nullptr, &startup, &started)) {
        return;
    }
    // Its report may take the foreground that this process had.
    AllowSetForegroundWindow(started.dwProcessId);
    CloseHandle(started.hThread);
    WaitForSingleObject(started.hProcess, INFINITE);
    DWORD status = 1;
    GetExitCodeProcess(started.hProcess, &status);
    // Not ExitProcess: nothing of this process (its libraries' detaching,
    // its runtime's atexit) is to run again.
    TerminateProcess(GetCurrentProcess(), status);
}

LONG WINAPI on_unhandled_exception(EXCEPTION_POINTERS* exception) {
    report_in_a_fresh_copy(binding::crash_of(*exception));
    return previous_filter != nullptr ? previous_filter(exception) : EXCEPTION_CONTINUE_SEARCH;
}

// The runtime puts the default back before calling this, and ends the
// process as abort does when this returns.
extern "C" void on_abort(int) {
    binding::LibraryCrash crash;
    crash.cause = binding::LibraryCrash::Cause::abort;
    report_in_a_fresh_copy(crash);
}

std::vector<wchar_t> this_environment_after_room() {
    std::vector<wchar_t> block(kRoom);
    wchar_t* const strings = GetEnvironmentStringsW();
    if (strings == nullptr) {
        block.push_back(L'\0');
    } else {
        const wchar_t* const start = strings;
        const wchar_t* end = start;
        while (*end != L'\0') end += std::wcslen(end) + 1;
        block.insert(block.end(), start, end + 1);
        FreeEnvironmentStringsW(strings);
    }
    return block;
}

}  // namespace

void guard_library_calls() {
    program_file = binding::module_path(nullptr);
    command_line = L"\"" + program_file + L"\"";
    environment = this_environment_after_room();
    binding::keep_stack_for_handler(kHandlerStack);
    previous_filter = SetUnhandledExceptionFilter(on_unhandled_exception);
    std::signal(SIGABRT, on_abort);
}

std::optional<std::string> crash_facts_passed() {
    const std::wstring name = text::wide_from_utf8(kCrashVariable);
    const DWORD size = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
    if (size == 0) return std::nullopt;
    std::wstring value(size, L'\0');
    value.resize(GetEnvironmentVariableW(name.c_str(), value.data(), size));
    return text::utf8_from_wide(value);
}

}  // namespace kavrelo::console
