// SPDX-License-Identifier: MIT
// A submission's process, confined as the grading confines it, tries what a
// hostile library would: each attempt runs in a child process of its own,
// confined (or only limited) first, and says over a pipe how it went.
#include <sandbox.h>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

namespace kavrelo::zavlek_call {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kMostProcesses = 64;
constexpr std::uint64_t kMostMemory = std::uint64_t{256} << 20;
// Far beyond the limit: a fork without end that reached it was not bounded.
constexpr int kForksTried = 1000;

// "ok", or the name of the error that stopped the attempt.
std::string outcome(bool done) { return done ? "ok" : strerrorname_np(errno); }

// What the attempt said, in a child that was first restricted; what ended
// the child when it said nothing.
std::string in_child(const std::function<void()>& restrict, const std::function<std::string()>& attempt) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return "no pipe";
    const pid_t child = fork();
    if (child == 0) {
        close(ends[0]);
        std::string said;
        try {
            restrict();
            said = attempt();
        } catch (const std::exception& error) {
            said = std::string("threw: ") + error.what();
        }
        for (std::size_t written = 0; written < said.size();) {
            const ssize_t step = write(ends[1], said.data() + written, said.size() - written);
            if (step <= 0) break;
            written += static_cast<std::size_t>(step);
        }
        _exit(0);
    }
    close(ends[1]);
    std::string said;
    char buffer[256];
    for (ssize_t got; (got = read(ends[0], buffer, sizeof buffer)) != 0;) {
        if (got > 0) said.append(buffer, static_cast<std::size_t>(got));
        if (got < 0 && errno != EINTR) break;
    }
    close(ends[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (said.empty()) return "ended with status " + std::to_string(status);
    return said;
}

std::string read_file(const fs::path& path) {
    std::ifstream file(path);
    std::string content;
    if (!std::getline(file, content)) return outcome(false);
    return content;
}

std::string write_file(const fs::path& path) {
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (file < 0) return outcome(false);
    const bool written = write(file, "x", 1) == 1;
    close(file);
    return outcome(written);
}

// Runs the program, its output thrown away, as a worker's children are.
std::string run(const std::string& program, const char* argument) {
    const pid_t child = fork();
    if (child < 0) return outcome(false);
    if (child == 0) {
        const int nowhere = open("/dev/null", O_WRONLY);
        dup2(nowhere, STDOUT_FILENO);
        execl(program.c_str(), program.c_str(), argument, nullptr);
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? "ok" : "status " + std::to_string(status);
}

template <typename Address>
std::string connect_to(int family, int type, const Address& address) {
    const int socket_made = socket(family, type | SOCK_CLOEXEC, 0);
    if (socket_made < 0) return outcome(false);
    const bool connected =
        connect(socket_made, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    const std::string said = outcome(connected && (type != SOCK_DGRAM || send(socket_made, "x", 1, 0) == 1));
    close(socket_made);
    return said;
}

// Forks until it cannot, each child waiting for its parent's end: how many,
// and the error that stopped it.
std::string fork_without_end() {
    const pid_t parent = getpid();
    int forked = 0;
    while (forked < kForksTried) {
        const pid_t child = fork();
        if (child < 0) break;
        if (child == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent) _exit(0);
            // Holding the pipe the test reads would keep it waiting.
            closefrom(STDERR_FILENO + 1);
            pause();
            _exit(0);
        }
        ++forked;
    }
    return std::to_string(forked) + " " + outcome(forked == kForksTried);
}

std::string map_memory(std::uint64_t bytes) {
    void* mapped = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) return outcome(false);
    munmap(mapped, bytes);
    return "ok";
}

// A submission's folder, a sibling's beside it, and the private folder,
// each reachable by DAC for whoever the confined process runs as: what
// fails, fails by the confinement.
class ConfinedProcess : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kavrelo-sandbox-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        base_ = pattern;
        fs::permissions(base_, fs::perms::all);
        for (const fs::path& folder : {own(), sibling(), writable()}) {
            fs::create_directory(folder);
            fs::permissions(folder, fs::perms::all);
        }
        std::ofstream(own() / "libZavlek.so") << "own\n";
        std::ofstream(sibling() / "libZavlek.so") << "sibling's\n";
        confinement_.readable = {own().string()};
        confinement_.writable = writable().string();
        confinement_.most_memory_bytes = kMostMemory;
        confinement_.most_processes = kMostProcesses;
    }
    void TearDown() override { fs::remove_all(base_); }

    fs::path own() const { return base_ / "own"; }
    fs::path sibling() const { return base_ / "sibling"; }
    fs::path writable() const { return base_ / "private"; }

    std::string confined(const std::function<std::string()>& attempt) const {
        return in_child([this] { confine_this_process(confinement_); }, attempt);
    }
    std::string limited(const std::function<std::string()>& attempt) const {
        return in_child([this] { limit_this_process(confinement_); }, attempt);
    }

    fs::path base_;
    Confinement confinement_;
};

TEST_F(ConfinedProcess, ThisMachineOffersIt) {
    const std::optional<std::string> offered = confinement_offered();
    ASSERT_TRUE(offered.has_value());
    EXPECT_TRUE(offered->starts_with("Landlock (interfaz ")) << *offered;
}

TEST_F(ConfinedProcess, ReadsItsOwnFolderAndNotASiblings) {
    EXPECT_EQ(confined([&] { return read_file(own() / "libZavlek.so"); }), "own");
    EXPECT_EQ(confined([&] { return read_file(sibling() / "libZavlek.so"); }), "EACCES");
    EXPECT_EQ(confined([&] { return read_file(base_ / "sibling/../sibling/libZavlek.so"); }), "EACCES");
}

TEST_F(ConfinedProcess, WritesInItsPrivateFolderAlone) {
    EXPECT_EQ(confined([&] { return write_file(writable() / "scratch"); }), "ok");
    EXPECT_TRUE(fs::exists(writable() / "scratch"));
    EXPECT_EQ(confined([&] { return write_file(sibling() / "report.tap"); }), "EACCES");
    EXPECT_EQ(confined([&] { return write_file(own() / "planted"); }), "EACCES");
    EXPECT_FALSE(fs::exists(sibling() / "report.tap"));
    EXPECT_FALSE(fs::exists(own() / "planted"));
}

TEST_F(ConfinedProcess, RunsTheSystemsPrograms) {
    EXPECT_EQ(confined([] { return run("/bin/true", nullptr); }), "ok");
}

// As a worker starts its children: this program again, from its own folder.
TEST_F(ConfinedProcess, RunsItselfAgainWhenItsFolderIsReadable) {
    const std::string itself = fs::read_symlink("/proc/self/exe").string();
    const auto run_itself = [&] { return run(itself, "--gtest_list_tests"); };
    EXPECT_NE(confined(run_itself), "ok");
    confinement_.readable.push_back(fs::path(itself).parent_path().string());
    EXPECT_EQ(confined(run_itself), "ok");
}

// A listener of each kind waits here, outside: the confined process reaches
// none; the only limited one, which shows the listener answers, reaches it.
TEST_F(ConfinedProcess, ReachesNoTcpPort) {
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 4), 0);
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    EXPECT_NE(confined([&] { return connect_to(AF_INET, SOCK_STREAM, address); }), "ok");
    EXPECT_EQ(limited([&] { return connect_to(AF_INET, SOCK_STREAM, address); }), "ok");
    close(listener);
}

TEST_F(ConfinedProcess, SendsNoUdpDatagram) {
    const int receiver = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(receiver, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(getsockname(receiver, reinterpret_cast<sockaddr*>(&address), &length), 0);
    char datagram = 0;
    EXPECT_NE(confined([&] { return connect_to(AF_INET, SOCK_DGRAM, address); }), "ok");
    EXPECT_EQ(recv(receiver, &datagram, 1, MSG_DONTWAIT), -1);
    EXPECT_EQ(limited([&] { return connect_to(AF_INET, SOCK_DGRAM, address); }), "ok");
    EXPECT_EQ(recv(receiver, &datagram, 1, 0), 1);
    close(receiver);
}

TEST_F(ConfinedProcess, ReachesNoUnixSocket) {
    const int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = (base_ / "socket").string();
    ASSERT_LT(path.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    fs::permissions(path, fs::perms::all);
    ASSERT_EQ(listen(listener, 4), 0);
    EXPECT_NE(confined([&] { return connect_to(AF_UNIX, SOCK_STREAM, address); }), "ok");
    EXPECT_EQ(limited([&] { return connect_to(AF_UNIX, SOCK_STREAM, address); }), "ok");
    close(listener);
}

// Confined or only limited, a fork without end stops at the limit.
TEST_F(ConfinedProcess, ForksBoundedly) {
    for (const std::string& said : {confined(fork_without_end), limited(fork_without_end)}) {
        int forked = kForksTried;
        char error[32] = {};
        ASSERT_EQ(std::sscanf(said.c_str(), "%d %31s", &forked, error), 2) << said;
        EXPECT_LT(forked, static_cast<int>(kMostProcesses));
        EXPECT_STREQ(error, "EAGAIN");
    }
}

TEST_F(ConfinedProcess, MapsNoMemoryBeyondItsLimit) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "without a memory limit under AddressSanitizer";
#endif
    EXPECT_EQ(confined([] { return map_memory(kMostMemory / 4); }), "ok");
    EXPECT_EQ(confined([] { return map_memory(kMostMemory); }), "ENOMEM");
    EXPECT_EQ(limited([] { return map_memory(kMostMemory); }), "ENOMEM");
}

// Without isolation, the limits alone: it reads and writes as DAC lets it.
TEST_F(ConfinedProcess, OnlyLimitedItReadsAndWritesAsItsUserMay) {
    EXPECT_EQ(limited([&] { return read_file(sibling() / "libZavlek.so"); }), "sibling's");
    EXPECT_EQ(limited([&] { return write_file(sibling() / "report.tap"); }), "ok");
}

}  // namespace
}  // namespace kavrelo::zavlek_call
