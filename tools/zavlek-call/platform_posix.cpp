#include "platform.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>
#include <utility>

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer's allocator statistics (GCC ships no header for them).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace kavrelo::zavlek_call {
namespace {

using Clock = std::chrono::steady_clock;

// A descriptor closed when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    Descriptor(Descriptor&& other) noexcept : fd_(other.release()) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        reset(other.release());
        return *this;
    }
    ~Descriptor() { reset(); }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    void reset(int fd = -1) {
        if (fd_ >= 0) close(fd_);
        fd_ = fd;
    }

private:
    int fd_;
};

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

ChildOutcome stopped(pid_t child) {
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ChildOutcome outcome;
    outcome.ending = ChildOutcome::Ending::timed_out;
    return outcome;
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

// The descriptor becomes a standard one, left open in the program the child
// runs. dup2 onto itself would do nothing, and leave close-on-exec set.
void place_as(int descriptor, int standard) {
    if (descriptor == standard) {
        fcntl(descriptor, F_SETFD, 0);
    } else {
        dup2(descriptor, standard);
    }
}

// This program started again as a child, its input on a pipe and its report
// on another.
struct StartedChild {
    pid_t pid;
    Descriptor input;   // ours to write, the child's standard input
    Descriptor report;  // ours to read, the child's channel to us
};

StartedChild start_child(const std::vector<std::string>& arguments, ErrorOutput error_output) {
    // A child that ends before reading all its input must not end us.
    signal(SIGPIPE, SIG_IGN);
    Pipe to_child = make_pipe();
    Pipe report = make_pipe();
    std::vector<std::string> command_line{std::filesystem::read_symlink("/proc/self/exe").string(),
                                          std::string(kChildFlag), std::to_string(report.write_end.get())};
    command_line.insert(command_line.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : command_line) argv.push_back(word.data());
    argv.push_back(nullptr);
    const Descriptor nowhere(error_output == ErrorOutput::discarded ? open("/dev/null", O_WRONLY | O_CLOEXEC)
                                                                    : -1);

    const pid_t child = fork();
    if (child < 0) {
        throw std::runtime_error(std::string("no se pudo crear un proceso: ") + std::strerror(errno));
    }
    if (child == 0) {
        place_as(to_child.read_end.get(), STDIN_FILENO);
        // What the library prints goes where people read it, never into the report.
        const int people = nowhere.get() >= 0 ? nowhere.get() : STDERR_FILENO;
        place_as(people, STDOUT_FILENO);
        place_as(people, STDERR_FILENO);
        fcntl(report.write_end.get(), F_SETFD, 0);
        execv(argv[0], argv.data());
        _exit(127);
    }
    fcntl(to_child.write_end.get(), F_SETFL, O_NONBLOCK);
    return {child, std::move(to_child.write_end), std::move(report.read_end)};
}

// Feeds the input and collects the report together, so that neither side
// waits on a full pipe, until the child closes its channel or time is up.
// Returns false when time ran out.
bool pump(StartedChild& child, std::string_view input, Clock::time_point deadline, std::string& reported) {
    std::size_t fed = 0;
    if (input.empty()) child.input.reset();
    while (child.report.get() >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd fds[2] = {{child.report.get(), POLLIN, 0}, {child.input.get(), POLLOUT, 0}};
        const nfds_t count = child.input.get() >= 0 ? 2 : 1;
        if (poll(fds, count, static_cast<int>(left.count())) < 0 && errno != EINTR) {
            break;
        }
        if (count == 2 && (fds[1].revents & (POLLOUT | POLLERR | POLLHUP)) != 0) {
            const ssize_t written = write(child.input.get(), input.data() + fed, input.size() - fed);
            if (written > 0) fed += static_cast<std::size_t>(written);
            if (written < 0 && errno != EAGAIN && errno != EINTR) child.input.reset();
            if (fed == input.size()) child.input.reset();
        }
        if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            char buffer[65536];
            const ssize_t got = read(child.report.get(), buffer, sizeof buffer);
            if (got > 0) {
                reported.append(buffer, static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                child.report.reset();
            }
        }
    }
    return true;
}

// The child's end, once its channel has closed: it may still run on until the
// deadline, after which it is stopped.
ChildOutcome wait_with_deadline(pid_t child, Clock::time_point deadline) {
    int status = 0;
    while (waitpid(child, &status, WNOHANG) != child) {
        if (Clock::now() >= deadline) {
            return stopped(child);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return outcome_of(status);
}

}  // namespace

ChildOutcome run_this_program(const std::vector<std::string>& arguments, std::string_view input,
                              std::chrono::milliseconds limit, ErrorOutput error_output) {
    const Clock::time_point deadline = Clock::now() + limit;
    StartedChild child = start_child(arguments, error_output);
    std::string reported;
    ChildOutcome outcome =
        pump(child, input, deadline, reported) ? wait_with_deadline(child.pid, deadline) : stopped(child.pid);
    outcome.reported = std::move(reported);
    return outcome;
}

bool send_to_parent(std::string_view channel, std::string_view bytes) {
    int descriptor = -1;
    const auto [end, error] = std::from_chars(channel.data(), channel.data() + channel.size(), descriptor);
    if (error != std::errc() || end != channel.data() + channel.size() || descriptor < 0) {
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

void prepare_child_process() {
    const rlimit no_core{0, 0};
    setrlimit(RLIMIT_CORE, &no_core);
}

std::vector<std::string> utf8_arguments(int argc, char* argv[]) { return {argv + 1, argv + argc}; }

void prepare_standard_streams() {
    for (const int standard : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (fcntl(standard, F_GETFD) < 0 && errno == EBADF) {
            // The lowest free descriptor: this one.
            static_cast<void>(open("/dev/null", standard == STDIN_FILENO ? O_RDONLY : O_WRONLY));
        }
    }
}

void write_standard_error(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

std::size_t memory_in_use() {
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    std::ifstream statm("/proc/self/statm");
    std::size_t pages_in_all = 0;
    std::size_t resident_pages = 0;
    statm >> pages_in_all >> resident_pages;
    return resident_pages * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
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
