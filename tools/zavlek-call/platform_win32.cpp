// SPDX-License-Identifier: MIT
#include "platform.h"

#include <binding/module_path.h>
#include <binding/unhandled_exception.h>
#include <binding/wording.h>
#include <text/utf8.h>

#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <memory>
#include <mutex>
#include <vector>
#include <stdexcept>
#include <thread>

namespace kavrelo::zavlek_call {
namespace {

struct HandleCloser {
    void operator()(HANDLE handle) const noexcept {
        if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
};
using Handle = std::unique_ptr<void, HandleCloser>;

struct Pipe {
    Handle read_end;
    Handle write_end;
};

// A pipe for a child. Neither end is inheritable: a child inherits its own ends only while it
// is created (started_suspended).
Pipe make_pipe() {
    HANDLE read_end = nullptr;
    HANDLE write_end = nullptr;
    if (!CreatePipe(&read_end, &write_end, nullptr, 0)) {
        throw std::runtime_error("no se pudo crear una tubería");
    }
    return {Handle(read_end), Handle(write_end)};
}

// One argument as the C runtime reads it back: quoted, with the backslashes
// before a quote doubled and one more before the quote itself (the n already
// written, n + 1 now).
std::wstring quoted(const std::wstring& argument) {
    std::wstring result = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t character : argument) {
        if (character == L'\\') {
            ++backslashes;
        } else if (character == L'"') {
            result.append(backslashes + 1, L'\\');
            backslashes = 0;
        } else {
            backslashes = 0;
        }
        result += character;
    }
    result.append(backslashes, L'\\');
    return result + L"\"";
}

std::string in_hex(DWORD code) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(code));
    return hex;
}

std::string exception_in_words(DWORD code) {
    std::string words = "la excepción " + in_hex(code);
    switch (code) {
        case EXCEPTION_ACCESS_VIOLATION:
            return words + " (violación de acceso)";
        case EXCEPTION_STACK_OVERFLOW:
            return words + " (desbordamiento de pila)";
        case EXCEPTION_INT_DIVIDE_BY_ZERO:
            return words + " (división entera por cero)";
        case EXCEPTION_ILLEGAL_INSTRUCTION:
            return words + " (instrucción ilegal)";
        case 0xC0000374:
            return words + " (montículo dañado)";
        case 0xC0000409:
            return words + " (comprobación de desbordamiento de búfer)";
        default:
            return words;
    }
}

// What a child's handler leaves of a crash for its parent, in memory the
// parent made for it (crash_record_name): written in the handler, where
// nothing may be allocated, read once the child has ended.
struct CrashRecord {
    volatile LONG written;
    DWORD code;
    binding::LibraryCrash::Cause cause;
    binding::LibraryCrash::Access access;
    std::uint64_t address;
    std::uint64_t offset;          // of the instruction, in its module
    wchar_t module[MAX_PATH + 1];  // the module's file; empty when the instruction is in none
};

// Named by the child's process, which each side knows: the parent makes
// it while the child is suspended, the child opens it when it starts.
std::wstring crash_record_name(DWORD process) {
    return L"Local\\zavlek-call-fallo-" + std::to_wstring(process);
}

// The crash in words: its cause, as the console says it, and where the
// instruction was, as a module's file name and offset.
std::string crash_in_words(const CrashRecord& record) {
    binding::LibraryCrash crash;
    crash.cause = record.cause;
    crash.access = record.access;
    crash.address = record.address;
    std::string words = binding::crash_words(crash) + " (excepción " + in_hex(record.code);
    const std::wstring_view module(record.module);
    if (!module.empty()) {
        char offset[24];
        std::snprintf(offset, sizeof offset, "+0x%llx", static_cast<unsigned long long>(record.offset));
        words += "; instrucción en " + text::utf8_from_wide(module.substr(module.find_last_of(L"\\/") + 1)) +
                 offset;
    }
    return words + ")";
}

// A job that kills every process in it once its last handle, ours, closes:
// the child and whatever it starts end with the call, or with us however we
// end.
Handle make_job() {
    Handle job(CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!job ||
        !SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        throw std::runtime_error("no se pudo crear un objeto de trabajo (error " +
                                 std::to_string(GetLastError()) + ")");
    }
    return job;
}

// The job of the child running now, for an interrupt to end; null when none
// runs.
std::atomic<HANDLE> running_job{nullptr};
std::atomic<bool> interrupt_seen{false};

// On a thread of the system's own while the work goes on.
BOOL WINAPI stop_at_interrupt(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    interrupt_seen.store(true);
    if (const HANDLE job = running_job.load()) TerminateJobObject(job, 1);
    return TRUE;
}

// This program started again as a child in a job of its own, its input on
// a pipe and its report on another.
struct StartedChild {
    Handle job;
    Handle process;
    Handle input;   // ours to write, the child's standard input
    Handle report;  // ours to read, the child's channel to us
    Handle output;  // ours to read, its standard output and error, where they are read; null otherwise
    Handle crash;   // the memory of its CrashRecord; null when it could not be made
};

// Children are created one at a time, each with the handles it inherits
// made inheritable for its creation alone: a child that another thread
// starts meanwhile inherits none of them, and never holds a pipe of
// another child open past that child's end.
std::mutex creating_a_child;

class InheritedWhileCreated {
public:
    explicit InheritedWhileCreated(std::vector<HANDLE> handles) : handles_(std::move(handles)) {
        for (const HANDLE handle : handles_)
            SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    }
    ~InheritedWhileCreated() {
        for (const HANDLE handle : handles_) SetHandleInformation(handle, HANDLE_FLAG_INHERIT, 0);
    }
    InheritedWhileCreated(const InheritedWhileCreated&) = delete;
    InheritedWhileCreated& operator=(const InheritedWhileCreated&) = delete;

private:
    std::vector<HANDLE> handles_;
};

// Suspended until it is in the job, so that nothing it starts is left out.
// A busy system (Wine, under load) now and then refuses a start with an
// internal error that the next attempt does not meet: three attempts.
PROCESS_INFORMATION started_suspended(const std::wstring& program, std::wstring& command_line,
                                      STARTUPINFOW& startup, std::vector<HANDLE> inherited) {
    const std::lock_guard one_at_a_time(creating_a_child);
    const InheritedWhileCreated inheritable(std::move(inherited));
    PROCESS_INFORMATION started{};
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED,
                           nullptr, nullptr, &startup, &started) != 0) {
            return started;
        }
        if (GetLastError() != ERROR_INTERNAL_ERROR) break;
    }
    throw std::runtime_error("no se pudo crear un proceso (error " + std::to_string(GetLastError()) + ")");
}

StartedChild start_child(const std::vector<std::string>& arguments, ErrorOutput error_output) {
    Pipe to_child = make_pipe();
    Pipe report = make_pipe();
    const std::wstring program = binding::module_path(nullptr);
    std::wstring command_line = quoted(program) + L" " + quoted(text::wide_from_utf8(kChildFlag)) + L" " +
                                std::to_wstring(reinterpret_cast<std::uintptr_t>(report.write_end.get()));
    for (const std::string& argument : arguments) {
        command_line += L" " + quoted(text::wide_from_utf8(argument));
    }
    const Handle nowhere(
        error_output == ErrorOutput::discarded
            ? CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr)
            : nullptr);
    Pipe output = error_output == ErrorOutput::read ? make_pipe() : Pipe{};
    // What the library prints goes where people read it, never into the report.
    const HANDLE people = output.write_end                                   ? output.write_end.get()
                          : nowhere && nowhere.get() != INVALID_HANDLE_VALUE ? nowhere.get()
                                                                             : GetStdHandle(STD_ERROR_HANDLE);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = to_child.read_end.get();
    startup.hStdOutput = people;
    startup.hStdError = people;
    Handle job = make_job();
    // oleaut32 keeps freed strings in a cache of its own, where they would
    // pass for memory the library keeps; a child's is turned off.
    SetEnvironmentVariableW(L"OANOCACHE", L"1");
    // Our own standard error, which a child shares, is inheritable as it is.
    std::vector<HANDLE> inherited{to_child.read_end.get(), report.write_end.get()};
    if (people != GetStdHandle(STD_ERROR_HANDLE)) inherited.push_back(people);
    const PROCESS_INFORMATION started =
        started_suspended(program, command_line, startup, std::move(inherited));
    Handle process(started.hProcess);
    const Handle thread(started.hThread);
    if (!AssignProcessToJobObject(job.get(), process.get())) {
        const DWORD error = GetLastError();
        TerminateProcess(process.get(), 1);
        throw std::runtime_error("no se pudo poner un proceso en un objeto de trabajo (error " +
                                 std::to_string(error) + ")");
    }
    Handle crash(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(CrashRecord),
                                    crash_record_name(started.dwProcessId).c_str()));
    ResumeThread(thread.get());
    return {std::move(job),
            std::move(process),
            std::move(to_child.write_end),
            std::move(report.read_end),
            std::move(output.read_end),
            std::move(crash)};
}

// Writing and reading on threads of their own, so that no side waits on a
// full pipe; each ends once every process holding the child's ends has.
class Pump {
public:
    Pump(StartedChild& child, std::string_view input, const OutputReader& reader)
        : arrived_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
          feeder_([input, pipe = child.input.release()] {
              const Handle end(pipe);
              std::size_t fed = 0;
              while (fed < input.size()) {
                  DWORD written = 0;
                  const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(input.size() - fed, 1 << 20));
                  if (!WriteFile(end.get(), input.data() + fed, chunk, &written, nullptr)) break;
                  fed += written;
              }
          }),
          collector_([this, pipe = child.report.get()] {
              char buffer[65536];
              DWORD got = 0;
              while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) {
                  {
                      const std::lock_guard<std::mutex> lock(mutex_);
                      reported_.append(buffer, got);
                  }
                  SetEvent(arrived_.get());
              }
          }),
          // The reader is called on this thread alone, and done with once
          // finish has joined it.
          output_reader_([&reader, pipe = child.output.get()] {
              char buffer[65536];
              DWORD got = 0;
              while (pipe != nullptr && ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) {
                  reader(std::string_view(buffer, got));
              }
          }) {}

    // Signalled when more of the report has arrived.
    HANDLE arrived() const { return arrived_.get(); }

    bool progressed(const Progress& progress) {
        const std::lock_guard<std::mutex> lock(mutex_);
        return progress(reported_);
    }

    // Everything the child reported, once the job's processes have ended.
    std::string finish() {
        feeder_.join();
        collector_.join();
        output_reader_.join();
        return std::move(reported_);
    }

private:
    Handle arrived_;
    std::mutex mutex_;
    std::string reported_;
    std::thread feeder_;
    std::thread collector_;
    std::thread output_reader_;
};

// Until the child ends (true) or the limit passes with no step of progress
// (false).
bool ended_in_time(HANDLE process, Pump& pump, std::chrono::milliseconds limit, const Progress& progress) {
    using Clock = std::chrono::steady_clock;
    Clock::time_point deadline = Clock::now() + limit;
    const HANDLE awaited[] = {process, pump.arrived()};
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        const DWORD woken =
            WaitForMultipleObjects(progress ? 2 : 1, awaited, FALSE, static_cast<DWORD>(left.count()));
        if (woken == WAIT_OBJECT_0) return true;
        if (woken != WAIT_OBJECT_0 + 1) return false;
        if (pump.progressed(progress)) deadline = Clock::now() + limit;
    }
}

// The record the child's handler left; nothing when it left none.
std::optional<CrashRecord> crash_record(HANDLE mapping) {
    if (mapping == nullptr) return std::nullopt;
    const auto* view = static_cast<const CrashRecord*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
    if (view == nullptr) return std::nullopt;
    std::optional<CrashRecord> record;
    if (view->written != 0) {
        record.emplace(*view);
        record->module[MAX_PATH] = L'\0';
    }
    UnmapViewOfFile(view);
    return record;
}

ChildOutcome outcome_of(const StartedChild& child) {
    ChildOutcome outcome;
    DWORD status = 0;
    GetExitCodeProcess(child.process.get(), &status);
    if (status >= 0xC0000000u) {
        outcome.ending = ChildOutcome::Ending::crashed;
        const std::optional<CrashRecord> record = crash_record(child.crash.get());
        outcome.cause =
            record && record->code == status ? crash_in_words(*record) : exception_in_words(status);
    } else {
        outcome.exit_status = static_cast<int>(status);
    }
    return outcome;
}

}  // namespace

ChildOutcome run_this_program(const std::vector<std::string>& arguments, std::string_view input,
                              std::chrono::milliseconds limit, ErrorOutput error_output,
                              const Progress& progress, const OutputReader& reader) {
    StartedChild child = start_child(arguments, error_output);
    running_job.store(child.job.get());
    Pump pump(child, input, reader);
    const bool ended = ended_in_time(child.process.get(), pump, limit, progress);
    // The child at the limit, and whatever it started in any case, end now,
    // and with them every holder of the pipes' other ends.
    running_job.store(nullptr);
    TerminateJobObject(child.job.get(), 1);
    WaitForSingleObject(child.process.get(), INFINITE);
    ChildOutcome outcome;
    if (ended) {
        outcome = outcome_of(child);
    } else {
        outcome.ending = ChildOutcome::Ending::timed_out;
    }
    outcome.reported = pump.finish();
    return outcome;
}

CopyEnding work_in_a_copy(const std::function<void(const StepDone& step_done)>& work) {
    CopyEnding copy;
    work([&copy] { ++copy.steps; });
    return copy;
}

bool copies_are_processes() { return false; }

// Each child runs in a job that holds whatever it starts and is ended with it.
void end_what_children_leave() {}

void interrupt_stops_work() { SetConsoleCtrlHandler(stop_at_interrupt, TRUE); }

bool interrupted() { return interrupt_seen.load(); }

bool send_to_parent(std::string_view channel, std::string_view bytes) {
    std::uintptr_t number = 0;
    const auto [end, error] = std::from_chars(channel.data(), channel.data() + channel.size(), number);
    if (channel != kStandardOutputChannel &&
        (error != std::errc() || end != channel.data() + channel.size())) {
        return false;
    }
    const HANDLE pipe = channel == kStandardOutputChannel ? GetStdHandle(STD_OUTPUT_HANDLE)
                                                          : reinterpret_cast<HANDLE>(number);
    while (!bytes.empty()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1 << 20));
        if (!WriteFile(pipe, bytes.data(), chunk, &written, nullptr)) return false;
        bytes.remove_prefix(written);
    }
    return true;
}

namespace {

// The parent's record of this child's crash, mapped before any call; null
// when run by hand, with no parent to read it.
CrashRecord* crash_record_for_parent = nullptr;

// Leaves the crash, and where its instruction was, for the parent, then
// ends the process with the exception's code as its exit status, before
// the system can offer a dialog or start a debugger (Wine starts one
// otherwise).
LONG WINAPI end_with_exception_code(EXCEPTION_POINTERS* exception) {
    const EXCEPTION_RECORD& raised = *exception->ExceptionRecord;
    if (CrashRecord* const record = crash_record_for_parent) {
        const binding::LibraryCrash crash = binding::crash_of(*exception);
        record->code = raised.ExceptionCode;
        record->cause = crash.cause;
        record->access = crash.access;
        record->address = crash.address;
        HMODULE module = nullptr;
        if (GetModuleHandleExW(
                GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                static_cast<LPCWSTR>(raised.ExceptionAddress), &module) &&
            GetModuleFileNameW(module, record->module, MAX_PATH) != 0) {
            record->offset = reinterpret_cast<std::uintptr_t>(raised.ExceptionAddress) -
                             reinterpret_cast<std::uintptr_t>(module);
        }
        InterlockedExchange(&record->written, 1);
    }
    TerminateProcess(GetCurrentProcess(), raised.ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

void prepare_child_process(std::string_view) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    // Mapped for the process's life (the view outlives the handle): the
    // handler only writes.
    const Handle mapping(
        OpenFileMappingW(FILE_MAP_WRITE, FALSE, crash_record_name(GetCurrentProcessId()).c_str()));
    if (mapping) {
        crash_record_for_parent =
            static_cast<CrashRecord*>(MapViewOfFile(mapping.get(), FILE_MAP_WRITE, 0, 0, 0));
    }
    // The handler runs on the thread's stack, which a recursion may have
    // used up: some is kept for it.
    binding::keep_stack_for_handler(64 * 1024);
    SetUnhandledExceptionFilter(end_with_exception_code);
}

// The exception code alone names a crash here.
void crashes_placed_in_image_of(const void*) {}

std::string this_program_file() { return text::utf8_from_wide(binding::module_path(nullptr)); }

std::vector<std::string> utf8_arguments(int, char*[]) {
    int count = 0;
    const std::unique_ptr<LPWSTR, decltype(&LocalFree)> wide(CommandLineToArgvW(GetCommandLineW(), &count),
                                                             &LocalFree);
    std::vector<std::string> arguments;
    for (int i = 1; i < count; ++i) {
        arguments.push_back(text::utf8_from_wide(wide.get()[i]));
    }
    return arguments;
}

void prepare_standard_streams() {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
}

namespace {

// The system's error as the portable condition it stands for, where there
// is one, for the words of file_error_words.
std::error_code file_error(DWORD error) {
    switch (error) {
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return std::make_error_code(std::errc::no_space_on_device);
        case ERROR_ACCESS_DENIED:
            return std::make_error_code(std::errc::permission_denied);
        case ERROR_WRITE_PROTECT:
            return std::make_error_code(std::errc::read_only_file_system);
        case ERROR_PATH_NOT_FOUND:
            return std::make_error_code(std::errc::no_such_file_or_directory);
        case ERROR_DIRECTORY:
            return std::make_error_code(std::errc::not_a_directory);
        case ERROR_FILENAME_EXCED_RANGE:
            return std::make_error_code(std::errc::filename_too_long);
        default:
            return {static_cast<int>(error), std::system_category()};
    }
}

}  // namespace

FindingFolder::Created create_new_file(const std::string& path, std::string_view bytes) {
    using Creation = FindingFolder::Creation;
    const std::wstring wide = text::wide_from_utf8(path);
    const HANDLE file =
        CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        const bool taken = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
        return {taken ? Creation::name_taken : Creation::failed, file_error(error)};
    }
    DWORD error = ERROR_SUCCESS;
    for (std::size_t written = 0; written < bytes.size() && error == ERROR_SUCCESS;) {
        const DWORD step = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - written, 1u << 30));
        DWORD done = 0;
        if (!WriteFile(file, bytes.data() + written, step, &done, nullptr)) error = GetLastError();
        written += done;
    }
    if (!CloseHandle(file) && error == ERROR_SUCCESS) error = GetLastError();
    if (error == ERROR_SUCCESS) return {Creation::written, {}};
    DeleteFileW(wide.c_str());
    return {Creation::failed, file_error(error)};
}

File open_to_read(const std::string& path) {
    return File(_wfopen(text::wide_from_utf8(path).c_str(), L"rb"));
}

void write_standard_error(std::string_view text) {
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(error, &mode)) {
        const std::wstring wide = text::wide_from_utf8(text);
        DWORD written = 0;
        WriteConsoleW(error, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    _setmode(_fileno(stderr), _O_BINARY);
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

bool standard_error_is_terminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

// Every heap of the process, not the process heap alone: a library's C
// runtime (msvcrt) takes what malloc and new hand out from a heap of its own.
std::size_t allocated_bytes() {
    HANDLE heaps[256];
    const DWORD count = std::min<DWORD>(GetProcessHeaps(std::size(heaps), heaps), std::size(heaps));
    std::size_t busy = 0;
    for (DWORD i = 0; i < count; ++i) {
        HeapLock(heaps[i]);
        PROCESS_HEAP_ENTRY entry{};
        while (HeapWalk(heaps[i], &entry)) {
            if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0) busy += entry.cbData;
        }
        HeapUnlock(heaps[i]);
    }
    return busy;
}

std::optional<std::string> image_holding(const void* address) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            static_cast<LPCWSTR>(address), &module)) {
        return std::nullopt;
    }
    return text::utf8_from_wide(binding::module_path(module));
}

}  // namespace kavrelo::zavlek_call
