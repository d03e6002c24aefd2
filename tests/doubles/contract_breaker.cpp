// SPDX-License-Identifier: MIT
// A Zavlek library that breaks the contract in one way, chosen when it is
// built, and keeps it otherwise; the contract check must name the one fault.
//   BREAK_CRASH     parser_SLR writes through a null pointer
//   BREAK_HANG      parser_SLR never returns for a text of spaces only
//   BREAK_ARGUMENT  parser_SLR returns the string it was given
//   BREAK_LITERAL   parser_SLR returns a string constant of the library
//   BREAK_LEAK      parser_SLR leaves a kilobyte behind at every call
//   BREAK_KEEP      parser_SLR returns one string it keeps, every time
//   BREAK_PRINT     every entry point prints a line of its own on standard output
//   BREAK_FORGE     parser_SLR prints what a passed check reports, then exits with status 0
//   BREAK_EXIT3     parser_SLR exits with status 3, the one that says the library was not bound
//   BREAK_ABORT     parser_SLR aborts (on Windows an exit with status 3 too)
//   BREAK_RECURSION parser_SLR descends into a "(" without moving past it, for ever
//   BREAK_GRANDCHILD  parser_SLR starts a process of its own that inherits the pipes and never
//                   ends, then answers; for a text of spaces only it hangs as BREAK_HANG does
//   BREAK_JOIN_GROUP  parser_SLR moves its process into its parent's process group, out of
//                   the one it was started in, and never returns (POSIX)
//   BREAK_SESSION   parser_SLR starts a process in a session of its own that holds standard
//                   output and error and never ends, says its id on standard output, then
//                   answers (POSIX)
// Built with none of them, it keeps the whole contract and answers at once,
// which is what the call benchmark measures against.
#include <zavlek.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#if defined(BREAK_GRANDCHILD)
#  if defined(_WIN32)
#    include <string>
#  else
#    include <unistd.h>
#  endif
#endif
#if defined(BREAK_JOIN_GROUP) || defined(BREAK_SESSION)
#  include <unistd.h>
#endif

namespace {

BSTR accepted() { return SysAllocStringByteLen("Cadena aceptada", 15); }

// A library's debugging output, left in: it goes wherever standard output goes.
void note_call([[maybe_unused]] const char* entry_point) {
#if defined(BREAK_PRINT)
    std::printf("zavlek de prueba: %s\n", entry_point);
#endif
}

#if defined(BREAK_GRANDCHILD)
#  if defined(_WIN32)
// rundll32 running hold_pipes (below) from this very file, with every
// inheritable handle of the child: its pipes among them.
void start_grandchild() {
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&start_grandchild), &self);
    wchar_t library[MAX_PATH];
    GetModuleFileNameW(self, library, MAX_PATH);
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring program = std::wstring(system) + L"\\rundll32.exe";
    std::wstring command = L"rundll32.exe \"" + std::wstring(library) + L"\",hold_pipes";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                       &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}
#  else
// A fork keeps every descriptor of the child: its pipes among them.
void start_grandchild() {
    if (fork() == 0) {
        for (;;) pause();
    }
}
#  endif
#endif

#if defined(BREAK_SESSION)
// As a daemon starts: out of the caller's session, so that no group kill of
// the caller's reaches it.
void start_session_of_its_own() {
    std::fflush(stdout);
    const pid_t started = fork();
    if (started == 0) {
        setsid();
        for (;;) pause();
    }
    std::printf("zavlek de prueba: proceso %d en una sesión propia\n", static_cast<int>(started));
    std::fflush(stdout);
}
#endif

#if defined(BREAK_HANG) || defined(BREAK_GRANDCHILD)
bool only_spaces(BSTR text) {
    const char* bytes = reinterpret_cast<const char*>(text);
    const unsigned int count = SysStringByteLen(text);
    for (unsigned int i = 0; i < count; ++i) {
        if (bytes[i] != ' ') return false;
    }
    return true;
}
#endif

#if defined(BREAK_RECURSION)
// A recursive descent that forgot to move past the parenthesis it opens. The
// frame is still used after the call, so no compiler makes a loop of it.
int nesting(const char* text) {
    volatile char frame[64];
    frame[0] = *text;
    if (frame[0] != '(') {
        return 0;
    }
    const int inner = nesting(text);
    return inner + frame[0];
}
#endif

}  // namespace

extern "C" {

#if defined(BREAK_GRANDCHILD) && defined(_WIN32)
// The grandchild's whole work.
ZAVLEK_API void CALLBACK hold_pipes(HWND, HINSTANCE, LPSTR, int) { Sleep(INFINITE); }
#endif

ZAVLEK_API void ZAVLEK_CALL mPila(void) { note_call("mPila"); }

ZAVLEK_API void ZAVLEK_CALL tokeniza(void) { note_call("tokeniza"); }

ZAVLEK_API BSTR ZAVLEK_CALL tokeniza2(BSTR) {
    note_call("tokeniza2");
    return accepted();
}

ZAVLEK_API BSTR ZAVLEK_CALL parser_SLR(BSTR text) {
    note_call("parser_SLR");
#if defined(BREAK_CRASH)
    static_cast<void>(text);
    *static_cast<volatile int*>(nullptr) = 1;
    return accepted();
#elif defined(BREAK_HANG) || defined(BREAK_GRANDCHILD)
#  if defined(BREAK_GRANDCHILD)
    start_grandchild();
#  endif
    if (only_spaces(text)) {
        for (volatile bool forever = true; forever;) {
        }
    }
    return accepted();
#elif defined(BREAK_JOIN_GROUP)
    static_cast<void>(text);
    setpgid(0, getpgid(getppid()));
    for (;;) pause();
#elif defined(BREAK_SESSION)
    static_cast<void>(text);
    start_session_of_its_own();
    return accepted();
#elif defined(BREAK_ARGUMENT)
    return text;
#elif defined(BREAK_LITERAL)
    static_cast<void>(text);
    static const char constant[] = "\x0F\0\0\0Cadena aceptada";
    return reinterpret_cast<BSTR>(const_cast<char*>(constant + 4));
#elif defined(BREAK_LEAK)
    static_cast<void>(text);
    // Stored where the compiler must leave it, then forgotten at the next call.
    static void* volatile lost;
    lost = std::malloc(1024);
    std::memset(lost, 0x5A, 1024);
    return accepted();
#elif defined(BREAK_KEEP)
    static_cast<void>(text);
    static BSTR kept = accepted();
    return kept;
#elif defined(BREAK_FORGE)
    static_cast<void>(text);
    std::printf("correcto\nla biblioteca cumple el contrato");
    std::fflush(stdout);
    std::exit(0);
#elif defined(BREAK_EXIT3)
    static_cast<void>(text);
    std::exit(3);
#elif defined(BREAK_ABORT)
    static_cast<void>(text);
    std::abort();
#elif defined(BREAK_RECURSION)
    return nesting(reinterpret_cast<const char*>(text)) >= 0 ? accepted() : nullptr;
#else
    static_cast<void>(text);
    return accepted();
#endif
}
}
