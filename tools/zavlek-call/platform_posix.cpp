// SPDX-License-Identifier: MIT
#include "platform.h"

#include "core/children/ending.h"
#include "descriptor_posix.h"
#include "wine.h"

#include <binding/fatal_signals_posix.h>
#include <binding/signal_safe_text.h>

#include <dlfcn.h>
#include <execinfo.h>
#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <new>
#include <stdexcept>
#include <utility>

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer's allocator statistics (GCC ships no header for them).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace kavrelo::zavlek_call {
namespace {

using Clock = std::chrono::steady_clock;

struct Pipe {
    Descriptor read_end;
    Descriptor write_end;
};

Pipe make_pipe() {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        throw std::runtime_error(std::string("no se pudo crear una tubería: ") + std::strerror(errno));
    }
    return {Descriptor(ends[0]), Descriptor(ends[1])};
}

std::string signal_in_words(int signal_number) {
    const char* abbreviation = sigabbrev_np(signal_number);
    std::string words = "la señal " + std::to_string(signal_number);
    if (abbreviation != nullptr) {
        words += " (SIG" + std::string(abbreviation) + ")";
    }
    return words;
}

ChildOutcome outcome_of(int status) {
    ChildOutcome outcome;
    if (WIFSIGNALED(status)) {
        outcome.ending = ChildOutcome::Ending::crashed;
        outcome.cause = signal_in_words(WTERMSIG(status));
    } else {
        outcome.exit_status = WEXITSTATUS(status);
    }
    return outcome;
}

// The signals that end us, as a terminal, a session's end or a service
// manager sends them: each ends the running child's group first.
constexpr int kEndingSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The process groups of the children running now, one slot each (0 when
// free): threads may each run one. The signal handler reads them.
std::array<std::atomic<pid_t>, 256> running_groups{};
static_assert(std::atomic<pid_t>::is_always_lock_free, "read in a signal handler");
// Held from a child's fork until its group is in a slot, and while what
// children left behind is ended: a child just started by another thread is
// never taken for something left behind.
std::mutex children_changing;

// Whether an interrupt stops the work rather than ending us, and whether
// one came.
std::atomic<bool> interrupt_stops{false};
std::atomic<bool> interrupt_seen{false};

extern "C" void end_with_the_running_group(int signal_number) {
    for (const std::atomic<pid_t>& slot : running_groups) {
        const pid_t group = slot.load();
        if (group > 0) kill(-group, SIGKILL);
    }
    if (signal_number == SIGINT && interrupt_stops.load()) {
        interrupt_seen.store(true);
        return;
    }
    // Then ends as the signal would have ended us.
    signal(signal_number, SIG_DFL);
    raise(signal_number);
}

// Once, before the first child starts. A signal ignored by whoever started us
// (nohup, a shell's background job) stays ignored, children and all.
void end_children_with_us() {
    static const bool installed = [] {
        for (const int signal_number : kEndingSignals) {
            struct sigaction current {};
            sigaction(signal_number, nullptr, &current);
            if (current.sa_handler == SIG_IGN) continue;
            struct sigaction ending {};
            ending.sa_handler = end_with_the_running_group;
            sigemptyset(&ending.sa_mask);
            sigaction(signal_number, &ending, nullptr);
        }
        return true;
    }();
    static_cast<void>(installed);
}

// The ending signals held back while a child starts, so that none arrives
// between its start and a slot naming its group.
class EndingSignalsHeld {
public:
    EndingSignalsHeld() {
        sigset_t ending;
        sigemptyset(&ending);
        for (const int signal_number : kEndingSignals) sigaddset(&ending, signal_number);
        pthread_sigmask(SIG_BLOCK, &ending, &before_);
    }
    ~EndingSignalsHeld() { pthread_sigmask(SIG_SETMASK, &before_, nullptr); }
    EndingSignalsHeld(const EndingSignalsHeld&) = delete;
    EndingSignalsHeld& operator=(const EndingSignalsHeld&) = delete;

    const sigset_t& before() const { return before_; }

private:
    sigset_t before_;
};

// Whether this process adopts what its children leave behind
// (end_what_children_leave), and the children it had before that, which it
// did not start and leaves alone: a program may have left them to whatever
// it replaced itself with.
struct Adoption {
    bool on = false;
    std::vector<pid_t> kept;
};
Adoption adoption;

std::vector<pid_t> our_children() {
    std::vector<pid_t> children;
    // Without exceptions: a child is ended in a destructor too.
    std::error_code unreadable;
    for (auto thread = std::filesystem::directory_iterator("/proc/self/task", unreadable);
         !unreadable && thread != std::filesystem::directory_iterator(); thread.increment(unreadable)) {
        std::ifstream list(thread->path() / "children");
        for (pid_t child = 0; list >> child;) children.push_back(child);
    }
    return children;
}

// Every process a child left behind, adopted when its parent ended: each is
// ours, unreaped, so its id names it until it is waited for; as each ends,
// its own children become ours, for the next round.
void end_the_adopted() {
    if (!adoption.on) return;
    const std::lock_guard changing(children_changing);
    for (;;) {
        std::vector<pid_t> adopted = our_children();
        std::erase_if(adopted, [](pid_t child) {
            return std::ranges::find(adoption.kept, child) != adoption.kept.end() ||
                   std::ranges::any_of(running_groups, [child](const std::atomic<pid_t>& slot) {
                       return slot.load() == child;
                   });
        });
        if (adopted.empty()) return;
        for (const pid_t child : adopted) kill(child, SIGKILL);
        for (const pid_t child : adopted) {
            while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
            }
        }
    }
}

// A started child, the leader of a process group of its own: the group and
// the child are killed and the child reaped when it is ended, at the latest
// when it goes out of scope, whatever ends the call.
class ChildGroup {
public:
    // Called with children_changing held.
    explicit ChildGroup(pid_t leader) : leader_(leader) {
        for (std::atomic<pid_t>& slot : running_groups) {
            pid_t free = 0;
            if (slot.compare_exchange_strong(free, leader)) {
                slot_ = &slot;
                return;
            }
        }
    }
    ChildGroup(ChildGroup&& other) noexcept
        : leader_(std::exchange(other.leader_, -1)), slot_(std::exchange(other.slot_, nullptr)) {}
    ChildGroup& operator=(ChildGroup&&) = delete;
    ~ChildGroup() {
        if (leader_ > 0) end();
    }

    pid_t leader() const { return leader_; }

    // Kills whatever of the group still runs, before the child is reaped,
    // while its group's number cannot be reused; and the child itself, which
    // may have left the group (for ours, say), by its id, which stays its
    // own until it is reaped. Then what it left behind; the child's wait
    // status.
    int end() {
        kill(-leader_, SIGKILL);
        kill(leader_, SIGKILL);
        int status = 0;
        while (waitpid(leader_, &status, 0) < 0 && errno == EINTR) {
        }
        if (slot_ != nullptr) slot_->store(0);
        leader_ = -1;
        end_the_adopted();
        return status;
    }

private:
    pid_t leader_;
    std::atomic<pid_t>* slot_ = nullptr;  // none when every slot was taken
};

// The descriptor becomes a standard one, left open in the program the child
// runs. dup2 onto itself would do nothing, and leave close-on-exec set.
void place_as(int descriptor, int standard) {
    if (descriptor == standard) {
        fcntl(descriptor, F_SETFD, 0);
    } else {
        dup2(descriptor, standard);
    }
}

// Freed blocks that the C allocator keeps in its per-thread cache count as
// handed out (mallinfo2), where they would pass for memory the library
// keeps: our children run without that cache, whatever else the tunables
// say.
void turn_off_the_allocators_cache() {
    static const bool turned_off = [] {
        constexpr std::string_view kNoCache = "glibc.malloc.tcache_count=0";
        const char* const tunables = std::getenv("GLIBC_TUNABLES");
        const std::string all = tunables != nullptr && *tunables != '\0'
                                    ? std::string(tunables) + ":" + std::string(kNoCache)
                                    : std::string(kNoCache);
        return setenv("GLIBC_TUNABLES", all.c_str(), 1) == 0;
    }();
    static_cast<void>(turned_off);
}

// This program started again as a child, its input on a pipe and its report
// on another.
struct StartedChild {
    ChildGroup group;
    Descriptor ended;   // readable once the child has ended
    Descriptor input;   // ours to write, the child's standard input
    Descriptor report;  // ours to read, the child's channel to us
    Descriptor output;  // ours to read, its standard output and error, where they are read
};

// What a child runs: this program, or its Windows build under Wine, which
// reaches no descriptor of ours but its standard streams, and so reports on
// its standard output, in an environment made for Wine.
struct ChildCommand {
    std::vector<std::string> program;      // the words before the child flag
    std::vector<std::string> environment;  // ours when empty
    bool reports_on_standard_output = false;
};

std::vector<char*> pointers_to(std::vector<std::string>& words) {
    std::vector<char*> pointers;
    for (std::string& word : words) pointers.push_back(word.data());
    pointers.push_back(nullptr);
    return pointers;
}

StartedChild start_child(ChildCommand command, const std::vector<std::string>& arguments,
                         ErrorOutput error_output) {
    Pipe to_child = make_pipe();
    Pipe report = make_pipe();
    std::vector<std::string> command_line = std::move(command.program);
    command_line.emplace_back(kChildFlag);
    command_line.push_back(command.reports_on_standard_output ? std::string(kStandardOutputChannel)
                                                              : std::to_string(report.write_end.get()));
    command_line.insert(command_line.end(), arguments.begin(), arguments.end());
    const std::vector<char*> argv = pointers_to(command_line);
    const std::vector<char*> envp = pointers_to(command.environment);
    const Descriptor nowhere(error_output == ErrorOutput::discarded ? open("/dev/null", O_WRONLY | O_CLOEXEC)
                                                                    : -1);
    Pipe output = error_output == ErrorOutput::read ? make_pipe() : Pipe{Descriptor(), Descriptor()};
    const pid_t parent = getpid();
    turn_off_the_allocators_cache();

    end_children_with_us();
    const EndingSignalsHeld held;
    std::unique_lock changing(children_changing);
    const pid_t child = fork();
    if (child < 0) {
        throw std::runtime_error(std::string("no se pudo crear un proceso: ") + std::strerror(errno));
    }
    if (child == 0) {
        pthread_sigmask(SIG_SETMASK, &held.before(), nullptr);
        setpgid(0, 0);
        // Killed when we end, by any means; unless we ended already.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);
        place_as(to_child.read_end.get(), STDIN_FILENO);
        // What the library prints goes where people read it, never into the report.
        const int people = output.write_end.get() >= 0 ? output.write_end.get()
                           : nowhere.get() >= 0        ? nowhere.get()
                                                       : STDERR_FILENO;
        if (command.reports_on_standard_output) {
            place_as(report.write_end.get(), STDOUT_FILENO);
        } else {
            place_as(people, STDOUT_FILENO);
            fcntl(report.write_end.get(), F_SETFD, 0);
        }
        place_as(people, STDERR_FILENO);
        execve(argv[0], argv.data(), command.environment.empty() ? environ : envp.data());
        _exit(127);
    }
    // Either side may make the group first; a signal finds it made.
    setpgid(child, child);
    ChildGroup group(child);
    changing.unlock();
    // Through the system call: C libraries declare it late, or for C alone.
    Descriptor ended(static_cast<int>(syscall(SYS_pidfd_open, child, 0)));
    if (ended.get() < 0) {
        throw std::runtime_error(std::string("no se pudo vigilar un proceso: ") + std::strerror(errno));
    }
    fcntl(to_child.write_end.get(), F_SETFL, O_NONBLOCK);
    fcntl(report.read_end.get(), F_SETFL, O_NONBLOCK);
    if (output.read_end.get() >= 0) fcntl(output.read_end.get(), F_SETFL, O_NONBLOCK);
    return {std::move(group), std::move(ended), std::move(to_child.write_end), std::move(report.read_end),
            std::move(output.read_end)};
}

// Reads what the pipe holds now into `into`; false once it holds nothing
// more for now, or for good (then the pipe is closed).
bool collect(Descriptor& pipe, std::string& into) {
    if (pipe.get() < 0) return false;
    char buffer[65536];
    const ssize_t got = read(pipe.get(), buffer, sizeof buffer);
    if (got > 0) {
        into.append(buffer, static_cast<std::size_t>(got));
        return true;
    }
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
        return errno == EINTR;
    }
    pipe.reset();
    return false;
}

// What the pipe holds now, for the reader.
void read_output(Descriptor& pipe, const OutputReader& reader) {
    std::string got;
    collect(pipe, got);
    if (!got.empty()) reader(got);
}

// What a child wrote before it ended, or was ended at the limit, is in the
// pipe, a pipe-full at most; nothing is waited for from any process that
// escaped its group.
void drain(Descriptor& pipe, std::string& into) {
    const int capacity = fcntl(pipe.get(), F_GETPIPE_SZ);
    std::size_t drained = 0;
    while (drained < static_cast<std::size_t>(std::max(capacity, 0))) {
        const std::size_t before = into.size();
        if (!collect(pipe, into)) break;
        drained += into.size() - before;
    }
}

// Feeds the input and collects the report and the output together, so that
// no side waits on a full pipe, until the child ends or time is up. Returns
// false when time ran out.
bool pump(StartedChild& child, std::string_view input, std::chrono::milliseconds limit,
          const Progress& progress, std::string& reported, const OutputReader& reader) {
    Clock::time_point deadline = Clock::now() + limit;
    std::size_t fed = 0;
    if (input.empty()) child.input.reset();
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            return false;
        }
        // A closed descriptor, negative, is passed over.
        pollfd fds[4] = {{child.ended.get(), POLLIN, 0},
                         {child.report.get(), POLLIN, 0},
                         {child.input.get(), POLLOUT, 0},
                         {child.output.get(), POLLIN, 0}};
        if (poll(fds, 4, static_cast<int>(left.count())) < 0) {
            if (errno == EINTR) continue;
            throw std::runtime_error(std::string("no se pudo esperar al proceso hijo: ") +
                                     std::strerror(errno));
        }
        if ((fds[2].revents & (POLLOUT | POLLERR | POLLHUP)) != 0) {
            const ssize_t written = write(child.input.get(), input.data() + fed, input.size() - fed);
            if (written > 0) fed += static_cast<std::size_t>(written);
            if (written < 0 && errno != EAGAIN && errno != EINTR) child.input.reset();
            if (fed == input.size()) child.input.reset();
        }
        if ((fds[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0 && collect(child.report, reported) &&
            progress && progress(reported)) {
            deadline = Clock::now() + limit;
        }
        if ((fds[3].revents & (POLLIN | POLLHUP | POLLERR)) != 0) read_output(child.output, reader);
        if ((fds[0].revents & POLLIN) != 0) {
            return true;
        }
    }
}

// What the library may have changed in this process that making a copy
// and waiting for it rely on, put back before each copy: a SIGCHLD ignored
// would reap the copy unseen, and its wait status would be lost; SIGPIPE is
// ignored, as prepare_standard_streams left it, for a write to a parent gone
// to fail rather than end the copy unsaid.
void as_this_program_left_them() {
    signal(SIGCHLD, SIG_DFL);
    signal(SIGPIPE, SIG_IGN);
}

// Where a crash is said: the channel to the parent, or to the process a
// copy was made by; and the library whose frames it names.
std::atomic<int> crash_channel{-1};
std::atomic<std::uintptr_t> library_image{0};
static_assert(std::atomic<std::uintptr_t>::is_always_lock_free, "read in a signal handler");
char library_name[256];

// Frames looked at, for the library's among them: the handler's own and the
// system's (abort, raise) come first.
constexpr int kFramesLookedAt = 64;
constexpr int kFramesNamed = 8;

// The frames come from backtrace, which follows the unwind tables every
// image carries, as a frame-pointer walk could not: a library built with
// optimisation keeps no frame pointers, and the walk would stop at its first
// frame, or stray. backtrace is not promised async-signal-safe: its first
// call loads the unwinder, which prepare_child_process does before any
// library call; after that it reads the tables and the stack, which a crash
// in the library leaves as they were. dladdr names each frame from the
// library's exported symbols; a frame none holds (a static function, or a
// stripped library) is named by its offset in the file.
void append_library_frames(binding::SignalSafeText& facts) noexcept {
    void* addresses[kFramesLookedAt];
    const int count = backtrace(addresses, kFramesLookedAt);
    int named = 0;
    for (int i = 0; i < count && named < kFramesNamed; ++i) {
        const auto address = reinterpret_cast<std::uintptr_t>(addresses[i]);
        Dl_info found{};
        // A return address may be the first byte after its function, when
        // what it called never returns: the call is the byte before.
        if (dladdr(reinterpret_cast<void*>(address - 1), &found) == 0 ||
            reinterpret_cast<std::uintptr_t>(found.dli_fbase) != library_image.load()) {
            continue;
        }
        facts.text("\n").number(address - reinterpret_cast<std::uintptr_t>(found.dli_fbase), 16).text(" ");
        if (found.dli_sname != nullptr && found.dli_saddr != nullptr) {
            facts.number(address - reinterpret_cast<std::uintptr_t>(found.dli_saddr), 16)
                .text(" ")
                .text(found.dli_sname);
        } else {
            facts.text("0");
        }
        ++named;
    }
}

// Async-signal-safe but for backtrace (above): the record made in buffers
// of its own, one write, then the signal's own end.
extern "C" void say_crash(int signal, siginfo_t* info, void* context) {
    static char facts[6144];
    static char record[sizeof facts + 32];
    binding::SignalSafeText said(facts, sizeof facts);
    said.number(static_cast<unsigned>(binding::crash_cause(signal, *info, context)), 16)
        .text(" ")
        .number(reinterpret_cast<std::uintptr_t>(info->si_addr), 16)
        .text(" ")
        .text(library_name);
    if (library_image.load() != 0) append_library_frames(said);
    binding::SignalSafeText framed(record, sizeof record);
    framed.text(kCrashWord.data()).text(" ").number(said.size(), 10).text("\n").text(facts);
    const int channel = crash_channel.load();
    for (std::size_t written = 0; channel >= 0 && written < framed.size();) {
        const ssize_t step = write(channel, record + written, framed.size() - written);
        if (step < 0 && errno != EINTR) break;
        if (step > 0) written += static_cast<std::size_t>(step);
    }
    raise(signal);
}

// The crash record a copy sent before it ended, from the pipe it had for it.
std::string crash_record_from(Descriptor& pipe) {
    fcntl(pipe.get(), F_SETFL, O_NONBLOCK);
    std::string record;
    while (collect(pipe, record)) {
    }
    return record;
}

}  // namespace

namespace {

ChildOutcome run_child(ChildCommand command, const std::vector<std::string>& arguments,
                       std::string_view input, std::chrono::milliseconds limit, ErrorOutput error_output,
                       const Progress& progress, const OutputReader& reader) {
    StartedChild child = start_child(std::move(command), arguments, error_output);
    std::string reported;
    const bool ended = pump(child, input, limit, progress, reported, reader);
    const int status = child.group.end();
    drain(child.report, reported);
    if (child.output.get() >= 0) {
        std::string output;
        drain(child.output, output);
        if (!output.empty()) reader(output);
    }
    ChildOutcome outcome;
    if (ended) {
        outcome = outcome_of(status);
    } else {
        outcome.ending = ChildOutcome::Ending::timed_out;
    }
    outcome.reported = std::move(reported);
    return outcome;
}

}  // namespace

ChildOutcome run_this_program(const std::vector<std::string>& arguments, std::string_view input,
                              std::chrono::milliseconds limit, ErrorOutput error_output,
                              const Progress& progress, const OutputReader& reader) {
    return run_child({{this_program_file()}, {}, false}, arguments, input, limit, error_output, progress,
                     reader);
}

ChildOutcome run_under_wine(const WineRun& wine, const std::vector<std::string>& arguments,
                            std::string_view input, std::chrono::milliseconds limit) {
    return run_child({{wine.wine, wine.program}, wine.environment, true}, arguments, input, limit,
                     ErrorOutput::discarded, {}, {});
}

CopyEnding work_in_a_copy(const std::function<void(const StepDone& step_done)>& work) {
    // A page shared with each copy, where the copy counts the steps it got
    // through and says it got through the work; whatever ends it before, its
    // wait status tells.
    struct Shared {
        std::atomic<std::size_t> steps;
        std::atomic<bool> done;
    };
    static Shared* const shared = [] {
        void* page = mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        if (page == MAP_FAILED) {
            throw std::runtime_error(std::string("no se pudo compartir memoria: ") + std::strerror(errno));
        }
        return new (page) Shared{};
    }();
    shared->steps.store(0);
    shared->done.store(false);
    as_this_program_left_them();
    // The copy says its crash on a pipe of its own, read once it has ended:
    // what the copy sends on the channel is the records of its inputs.
    Pipe crash_said = make_pipe();
    const pid_t server = getpid();
    const pid_t copy = fork();
    if (copy < 0) {
        throw std::runtime_error(std::string("no se pudo crear un proceso: ") + std::strerror(errno));
    }
    if (copy == 0) {
        // Killed when the process that made it ends, by any means; unless
        // that process ended already.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != server) _exit(127);
        crash_channel.store(crash_said.write_end.get());
        work([] { shared->steps.fetch_add(1); });
        shared->done.store(true);
        _exit(0);
    }
    crash_said.write_end.reset();
    int status = 0;
    while (waitpid(copy, &status, 0) < 0 && errno == EINTR) {
    }
    CopyEnding ending{shared->steps.load(), std::nullopt};
    if (!shared->done.load()) {
        ending.ended = outcome_of(status);
        ending.ended->reported = crash_record_from(crash_said.read_end);
    }
    return ending;
}

bool copies_are_processes() { return true; }

void end_what_children_leave() {
    adoption.kept = our_children();
    adoption.on = prctl(PR_SET_CHILD_SUBREAPER, 1) == 0;
}

void interrupt_stops_work() {
    interrupt_stops.store(true);
    end_children_with_us();
}

bool interrupted() { return interrupt_seen.load(); }

bool send_to_parent(std::string_view channel, std::string_view bytes) {
    int descriptor = STDOUT_FILENO;
    const auto [end, error] = std::from_chars(channel.data(), channel.data() + channel.size(), descriptor);
    if (channel != kStandardOutputChannel &&
        (error != std::errc() || end != channel.data() + channel.size() || descriptor < 0)) {
        return false;
    }
    while (!bytes.empty()) {
        const ssize_t written = write(descriptor, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

void prepare_child_process(std::string_view channel) {
    const rlimit no_core{0, 0};
    setrlimit(RLIMIT_CORE, &no_core);
    int descriptor = -1;
    const auto [end, error] = std::from_chars(channel.data(), channel.data() + channel.size(), descriptor);
    if (error == std::errc() && end == channel.data() + channel.size()) crash_channel.store(descriptor);
    // backtrace's first call loads the unwinder, which the handler cannot.
    void* warm_up[1];
    static_cast<void>(backtrace(warm_up, 1));
    binding::on_fatal_signals(say_crash);
}

void crashes_placed_in_image_of(const void* address) {
    Dl_info found{};
    if (dladdr(address, &found) == 0 || found.dli_fname == nullptr) return;
    const std::string_view path(found.dli_fname);
    const std::string_view name = path.substr(path.find_last_of('/') + 1);
    const std::size_t length = std::min(name.size(), sizeof library_name - 1);
    std::memcpy(library_name, name.data(), length);
    library_name[length] = '\0';
    library_image.store(reinterpret_cast<std::uintptr_t>(found.dli_fbase));
}

std::string this_program_file() { return std::filesystem::read_symlink("/proc/self/exe").string(); }

std::vector<std::string> utf8_arguments(int argc, char* argv[]) { return {argv + 1, argv + argc}; }

void prepare_standard_streams() {
    for (const int standard : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (fcntl(standard, F_GETFD) < 0 && errno == EBADF) {
            // The lowest free descriptor: this one.
            static_cast<void>(open("/dev/null", standard == STDIN_FILENO ? O_RDONLY : O_WRONLY));
        }
    }
    signal(SIGPIPE, SIG_IGN);
}

File open_to_read(const std::string& path) { return File(std::fopen(path.c_str(), "rb")); }

void write_standard_error(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

bool standard_error_is_terminal() { return isatty(STDERR_FILENO) == 1; }

FindingFolder::Created create_new_file(const std::string& path, std::string_view bytes) {
    using Creation = FindingFolder::Creation;
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (file < 0) {
        return {errno == EEXIST ? Creation::name_taken : Creation::failed, {errno, std::generic_category()}};
    }
    int error = 0;
    for (std::size_t written = 0; written < bytes.size() && error == 0;) {
        const ssize_t step = write(file, bytes.data() + written, bytes.size() - written);
        if (step > 0) written += static_cast<std::size_t>(step);
        if (step < 0 && errno != EINTR) error = errno;
    }
    if (close(file) != 0 && error == 0) error = errno;
    if (error == 0) return {Creation::written, {}};
    unlink(path.c_str());
    return {Creation::failed, {error, std::generic_category()}};
}

std::size_t allocated_bytes() {
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 held = mallinfo2();
    return held.uordblks + held.hblkhd;
#endif
}

std::optional<std::string> image_holding(const void* address) {
    Dl_info info{};
    if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) {
        return std::nullopt;
    }
    return std::string(info.dli_fname);
}

}  // namespace kavrelo::zavlek_call
