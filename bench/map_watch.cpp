// SPDX-License-Identifier: MIT
// Times a program from its start to the moment the X server maps its first
// top-level window, and reads its peak resident memory at that moment. It
// watches the root window's SubstructureNotify events, so it sees the map
// as it happens instead of polling for it.
//
// Usage: map_watch PROGRAM [ARGUMENT...]
// Prints "map_ms=<milliseconds> peak_kb=<kilobytes>" and ends the program;
// exits 1 with one sentence on standard error when it cannot.
#include <xcb/xcb.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kGiveUpAfter = std::chrono::seconds(60);

struct Free {
    void operator()(void* pointer) const noexcept { std::free(pointer); }
};
template <typename T>
using Reply = std::unique_ptr<T, Free>;

class Connection {
public:
    Connection() : connection_(xcb_connect(nullptr, nullptr)) {
        if (xcb_connection_has_error(connection_) != 0) {
            xcb_disconnect(connection_);
            throw std::runtime_error("no X server answers at DISPLAY");
        }
    }
    ~Connection() { xcb_disconnect(connection_); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    xcb_connection_t* get() const noexcept { return connection_; }

    xcb_window_t root() const { return xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root; }

    // Asks for the root window's substructure events, and waits for the
    // server to have taken the request before anything is started.
    void watch_maps() {
        const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(connection_, root(), XCB_CW_EVENT_MASK, &mask);
        Reply<xcb_get_input_focus_reply_t> sync(
            xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    }

    xcb_atom_t atom(const char* name) {
        Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
            connection_, xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
            nullptr));
        return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    }

    // The process that says it owns the window (_NET_WM_PID), or 0.
    pid_t owner(xcb_window_t window, xcb_atom_t pid_atom) {
        Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
            connection_, xcb_get_property(connection_, 0, window, pid_atom, XCB_ATOM_CARDINAL, 0, 1),
            nullptr));
        if (!reply || xcb_get_property_value_length(reply.get()) != 4) return 0;
        return static_cast<pid_t>(*static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get())));
    }

private:
    xcb_connection_t* connection_;
};

pid_t start(char** command) {
    const pid_t child = fork();
    if (child == 0) {
        execv(command[0], command);
        std::fprintf(stderr, "map_watch: cannot start %s: %s\n", command[0], std::strerror(errno));
        _exit(127);
    }
    if (child < 0) throw std::runtime_error("cannot start a process");
    return child;
}

long peak_kb(pid_t process) {
    std::ifstream status("/proc/" + std::to_string(process) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    throw std::runtime_error("the program's peak memory cannot be read");
}

// Waits for a top-level window of the process to be mapped.
void await_map(Connection& x, pid_t process) {
    const xcb_atom_t pid_atom = x.atom("_NET_WM_PID");
    pollfd connection{xcb_get_file_descriptor(x.get()), POLLIN, 0};
    const auto deadline = Clock::now() + kGiveUpAfter;
    for (;;) {
        while (Reply<xcb_generic_event_t> event{xcb_poll_for_event(x.get())}) {
            if ((event->response_type & 0x7F) != XCB_MAP_NOTIFY) continue;
            const auto* map = reinterpret_cast<const xcb_map_notify_event_t*>(event.get());
            if (map->override_redirect == 0 && x.owner(map->window, pid_atom) == process) return;
        }
        if (xcb_connection_has_error(x.get()) != 0) throw std::runtime_error("the X server went away");
        int status = 0;
        if (waitpid(process, &status, WNOHANG) == process) {
            throw std::runtime_error("the program ended before it mapped a window");
        }
        if (Clock::now() > deadline) throw std::runtime_error("the program mapped no window within a minute");
        poll(&connection, 1, 100);  // wakes for the event; the limit only rechecks the process
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: map_watch PROGRAM [ARGUMENT...]\n");
        return 2;
    }
    pid_t process = 0;
    try {
        Connection x;
        x.watch_maps();
        const auto started = Clock::now();
        process = start(argv + 1);
        await_map(x, process);
        const auto mapped = Clock::now();
        const long peak = peak_kb(process);
        kill(process, SIGTERM);
        waitpid(process, nullptr, 0);
        std::printf("map_ms=%.3f peak_kb=%ld\n",
                    std::chrono::duration<double, std::milli>(mapped - started).count(), peak);
        return 0;
    } catch (const std::exception& error) {
        if (process > 0) {
            kill(process, SIGKILL);
            waitpid(process, nullptr, 0);
        }
        std::fprintf(stderr, "map_watch: %s\n", error.what());
        return 1;
    }
}
