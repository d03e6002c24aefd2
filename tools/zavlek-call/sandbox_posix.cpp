// SPDX-License-Identifier: MIT
// Linux: Landlock for the files and for TCP, a network of its own, a filter
// of system calls that leaves no socket to be made, and resource limits; an
// unprivileged user for all of it when we run as root.
#include "sandbox.h"

#include "descriptor_posix.h"

#include <fcntl.h>
#include <grp.h>
#include <linux/audit.h>
#include <linux/capability.h>
#include <linux/filter.h>
#include <linux/landlock.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace kavrelo::zavlek_call {
namespace {

std::runtime_error failure(const std::string& what) {
    return std::runtime_error(what + ": " + std::strerror(errno));
}

// Landlock's rights past its first interfaces, which the system's header may
// not name yet; each is handled only where the kernel's interface has it.
constexpr std::uint64_t kFsRefer = std::uint64_t{1} << 13;           // interface 2
constexpr std::uint64_t kFsTruncate = std::uint64_t{1} << 14;        // interface 3
constexpr std::uint64_t kFsIoctlDev = std::uint64_t{1} << 15;        // interface 5
constexpr std::uint64_t kNetBindTcp = std::uint64_t{1} << 0;         // interface 4
constexpr std::uint64_t kNetConnectTcp = std::uint64_t{1} << 1;      // interface 4
constexpr std::uint64_t kScopeAbstractUnix = std::uint64_t{1} << 0;  // interface 6
constexpr std::uint64_t kScopeSignal = std::uint64_t{1} << 1;        // interface 6

// The ruleset's attributes as the newest interface we use has them; a kernel
// of an older one takes the same bytes while those it does not know are 0.
struct RulesetAttributes {
    std::uint64_t handled_access_fs = 0;
    std::uint64_t handled_access_net = 0;
    std::uint64_t scoped = 0;
};

constexpr std::uint64_t kRead = LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR;
constexpr std::uint64_t kReadAndRun = kRead | LANDLOCK_ACCESS_FS_EXECUTE;
// The rights that apply to a file; a rule for one may name no other.
constexpr std::uint64_t kFileRights = LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_WRITE_FILE |
                                      LANDLOCK_ACCESS_FS_READ_FILE | kFsTruncate | kFsIoctlDev;

// The highest interface the kernel has, 0 when it has none (too old, or
// Landlock is not among the security modules it started).
int landlock_interface() {
    const long version = syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    return version < 0 ? 0 : static_cast<int>(version);
}

std::uint64_t handled_file_rights(int interface) {
    std::uint64_t rights = (LANDLOCK_ACCESS_FS_MAKE_SYM << 1) - 1;
    if (interface >= 2) rights |= kFsRefer;
    if (interface >= 3) rights |= kFsTruncate;
    if (interface >= 5) rights |= kFsIoctlDev;
    return rights;
}

// What the system itself is made of, as a program needs it to start and run.
struct SystemPath {
    const char* path;
    std::uint64_t rights;
};
constexpr SystemPath kSystemPaths[] = {
    {"/usr", kReadAndRun},
    {"/bin", kReadAndRun},
    {"/sbin", kReadAndRun},
    {"/lib", kReadAndRun},
    {"/lib32", kReadAndRun},
    {"/lib64", kReadAndRun},
    {"/libx32", kReadAndRun},
    {"/etc", kRead},
    {"/proc", kRead},
    {"/sys", kRead},
    {"/dev", kRead},
    // Where a child's output is thrown away.
    {"/dev/null", LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_WRITE_FILE},
};

class Ruleset {
public:
    explicit Ruleset(int interface) : handled_(handled_file_rights(interface)) {
        RulesetAttributes attributes;
        attributes.handled_access_fs = handled_;
        // No rule for ports: no TCP port can be bound or reached.
        if (interface >= 4) attributes.handled_access_net = kNetBindTcp | kNetConnectTcp;
        // Nor a socket in the abstract namespace, nor a signal, outside.
        if (interface >= 6) attributes.scoped = kScopeAbstractUnix | kScopeSignal;
        descriptor_.reset(
            static_cast<int>(syscall(SYS_landlock_create_ruleset, &attributes, sizeof attributes, 0)));
        if (descriptor_.get() < 0) throw failure("no se pudo crear el conjunto de reglas de Landlock");
    }

    // What lies beneath the path, or the file it names, may be used so.
    // A path the system lacks (a folder of libraries of another layout) is
    // passed over when it need not be there.
    void allow(const std::string& path, std::uint64_t rights, bool must_exist) {
        const Descriptor beneath(open(path.c_str(), O_PATH | O_CLOEXEC));
        if (beneath.get() < 0) {
            if (!must_exist && errno == ENOENT) return;
            throw failure("no se pudo abrir «" + path + "» para permitir su uso");
        }
        struct stat status {};
        if (fstat(beneath.get(), &status) != 0) throw failure("no se pudo examinar «" + path + "»");
        if (!S_ISDIR(status.st_mode)) rights &= kFileRights;
        landlock_path_beneath_attr rule{};
        rule.allowed_access = rights & handled_;
        rule.parent_fd = beneath.get();
        if (syscall(SYS_landlock_add_rule, descriptor_.get(), LANDLOCK_RULE_PATH_BENEATH, &rule, 0) != 0) {
            throw failure("no se pudo permitir el uso de «" + path + "»");
        }
    }

    // Every right a private folder needs, but device control.
    void allow_all(const std::string& path) { allow(path, handled_ & ~kFsIoctlDev, true); }

    void restrict_this_process() {
        if (syscall(SYS_landlock_restrict_self, descriptor_.get(), 0) != 0) {
            throw failure("no se pudieron aplicar las reglas de Landlock");
        }
    }

private:
    std::uint64_t handled_;
    Descriptor descriptor_;
};

void apply_landlock(int interface, const Confinement& confinement) {
    Ruleset ruleset(interface);
    for (const auto& [path, rights] : kSystemPaths) ruleset.allow(path, rights, false);
    for (const std::string& path : confinement.readable) ruleset.allow(path, kReadAndRun, true);
    if (!confinement.writable.empty()) ruleset.allow_all(confinement.writable);
    ruleset.restrict_this_process();
}

#if defined(__x86_64__) && !defined(__ILP32__)
constexpr std::uint32_t kThisArchitecture = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr std::uint32_t kThisArchitecture = AUDIT_ARCH_AARCH64;
#else
#  error "the filter of system calls knows the numbers of x86-64 and AArch64 alone"
#endif
// The x32 system calls, which share x86-64's architecture.
constexpr std::uint32_t kX32Calls = 0x40000000;

#if defined(__x86_64__)
// A 32-bit x86 program (Wine's loader of 32-bit Windows programs is one)
// calls the system by numbers of its own, and reaches sockets through
// socketcall too.
constexpr std::uint32_t kOtherArchitecture = AUDIT_ARCH_I386;
constexpr std::uint32_t kOtherSocketCall = 102;
constexpr std::uint32_t kOtherSocket = 359;
constexpr std::uint32_t kOtherIoUringSetup = 425;
// socketcall's call that makes a socket.
constexpr std::uint32_t kSocketCallSocket = 1;
#endif

// No socket is made: Landlock's rules cover TCP alone, a network of our own
// is not always to be had, and neither keeps a socket from reaching a
// server listening on a path (a bus, a display, a database). Pairs of
// connected sockets, which reach no one, stay. io_uring would make sockets
// past the filter. A system call of an architecture whose numbers the filter
// does not know is refused.
void refuse_sockets() {
    constexpr std::uint32_t kRefused = SECCOMP_RET_ERRNO | EACCES;
    constexpr std::uint32_t kUnknown = SECCOMP_RET_ERRNO | ENOSYS;
    constexpr std::uint32_t kAllowed = SECCOMP_RET_ALLOW;
    sock_filter program[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
#if defined(__x86_64__)
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kOtherArchitecture, 0, 8),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kOtherSocket, 5, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kOtherIoUringSetup, 4, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kOtherSocketCall, 0, 2),
        // socketcall's first argument names the call: 1 makes a socket.
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[0])),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kSocketCallSocket, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, kAllowed),
        BPF_STMT(BPF_RET | BPF_K, kRefused),
#endif
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kThisArchitecture, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, kUnknown),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JGE | BPF_K, kX32Calls, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, kUnknown),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_socket, 2, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_io_uring_setup, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, kAllowed),
        BPF_STMT(BPF_RET | BPF_K, kRefused),
    };
    const sock_fprog filter{static_cast<unsigned short>(std::size(program)), program};
    if (prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) != 0) {
        throw failure("no se pudo filtrar las llamadas al sistema");
    }
}

// The user a process that runs as root becomes: the one a system keeps for
// what should own nothing. Root is bound by no limit on its processes, and
// DAC would stop nothing.
constexpr uid_t kNobody = 65534;

void become_nobody(const std::string& writable) {
    if (!writable.empty() && chown(writable.c_str(), kNobody, kNobody) != 0) {
        throw failure("no se pudo ceder la carpeta «" + writable + "» al usuario sin privilegios");
    }
    if (setgroups(0, nullptr) != 0 || setresgid(kNobody, kNobody, kNobody) != 0 ||
        setresuid(kNobody, kNobody, kNobody) != 0) {
        throw failure("no se pudo pasar al usuario sin privilegios");
    }
    // A process that changed its user is no longer dumpable: its /proc files
    // would be root's, and the sanitizers could not read its memory map.
    prctl(PR_SET_DUMPABLE, 1);
}

struct Namespaces {
    bool own_users = false;
    bool own_network = false;
};

// Leaves root, if we are root, and takes a user namespace of our own, and a
// network namespace too when asked. In a user namespace of its own, the
// limit on processes counts the submission's alone, whatever else runs as
// the same user (another submission graded beside it, or the teacher's own
// programs): it is exact, and no submission can use up another's. Root takes
// the network while it still may, in case the system refuses namespaces to
// others. Must be called before a second thread starts.
Namespaces leave_root(const std::string& writable, bool take_network) {
    Namespaces taken;
    if (geteuid() == 0) {
        taken.own_network = take_network && unshare(CLONE_NEWNET) == 0;
        become_nobody(writable);
    }
    const int network = take_network && !taken.own_network ? CLONE_NEWNET : 0;
    if (unshare(CLONE_NEWUSER | network) == 0) {
        taken.own_users = true;
        taken.own_network = taken.own_network || network != 0;
    } else if (network != 0) {
        // A system may give new user namespaces no capabilities (and so no
        // network of their own), while they still count processes apart.
        taken.own_users = unshare(CLONE_NEWUSER) == 0;
    }
    // Whatever the new namespace gave: nothing runs here that needs it.
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct none[_LINUX_CAPABILITY_U32S_3]{};
    if (syscall(SYS_capset, &header, none) != 0) throw failure("no se pudo renunciar a los privilegios");
    return taken;
}

// The processes and threads this user runs now, as far as /proc shows them.
std::uint64_t processes_of_this_user() {
    std::uint64_t count = 0;
    const uid_t user = getuid();
    std::error_code unreadable;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", unreadable)) {
        const std::string name = entry.path().filename().string();
        pid_t process = 0;
        if (std::from_chars(name.data(), name.data() + name.size(), process).ec != std::errc()) continue;
        struct stat status {};
        if (stat(entry.path().c_str(), &status) != 0 || status.st_uid != user) continue;
        std::error_code gone;
        for (auto thread = std::filesystem::directory_iterator(entry.path() / "task", gone);
             !gone && thread != std::filesystem::directory_iterator(); thread.increment(gone)) {
            ++count;
        }
    }
    return count;
}

// Soft and hard, so that no process can raise it again; never above what
// the hard limit was.
void set_limit(int resource, std::uint64_t most, const std::string& what) {
    rlimit limit{};
    if (getrlimit(resource, &limit) != 0) throw failure("no se pudo leer el límite de " + what);
    limit.rlim_cur = limit.rlim_max = std::min<rlim_t>(limit.rlim_max, most);
    if (setrlimit(resource, &limit) != 0) throw failure("no se pudo limitar " + what);
}

void set_limits(const Confinement& confinement, const Namespaces& taken) {
    // Outside a user namespace of our own the limit counts every process of
    // the user: it is set above what the user runs now.
    set_limit(
        RLIMIT_NPROC,
        taken.own_users ? confinement.most_processes : processes_of_this_user() + confinement.most_processes,
        "el número de procesos");
    set_limit(RLIMIT_FSIZE, confinement.most_file_bytes, "el tamaño de los archivos");
#if !defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer reserves terabytes of address space for its shadow
    // memory, which a limit on the address space would refuse: a build with
    // it has no memory limit.
    set_limit(RLIMIT_AS, confinement.most_memory_bytes, "la memoria de cada proceso");
#endif
}

// Everything confine_this_process does, once Landlock is known to be there.
Namespaces confine(const Confinement& confinement, int interface) {
    const Namespaces taken = leave_root(confinement.writable, true);
    set_limits(confinement, taken);
    // Required of an unprivileged process by Landlock and by the filter;
    // and a program that would give more (set-user-ID) gives nothing more.
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
        throw failure("no se pudo impedir que un programa dé privilegios");
    }
    apply_landlock(interface, confinement);
    if (confinement.before_sockets_refused) confinement.before_sockets_refused();
    refuse_sockets();
    return taken;
}

}  // namespace

std::optional<std::string> confinement_offered() {
    const int interface = landlock_interface();
    if (interface < 1) return std::nullopt;
    // Tried in a process of its own, as the worker will do it: namespaces
    // may be refused in ways nothing tells but trying.
    const pid_t trial = fork();
    if (trial < 0) return std::nullopt;
    if (trial == 0) {
        int status = 1;
        try {
            status = confine(Confinement{}, interface).own_network ? 3 : 2;
        } catch (const std::exception&) {
        }
        _exit(status);
    }
    int status = 0;
    while (waitpid(trial, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) < 2) return std::nullopt;
    const std::string landlock = "Landlock (interfaz " + std::to_string(interface) + ")";
    return WEXITSTATUS(status) == 3 ? landlock + ", una red propia y vacía, y ningún socket"
                                    : landlock + " y ningún socket";
}

void confine_this_process(const Confinement& confinement) {
    const int interface = landlock_interface();
    if (interface < 1) {
        throw std::runtime_error("este núcleo no ofrece Landlock, y sin él no se puede aislar la entrega");
    }
    confine(confinement, interface);
#if !defined(__SANITIZE_ADDRESS__)
    // What this process holds (a rubric's hidden answers) is not for what it
    // starts to read: a child in the same domain, of the same user, could
    // otherwise read it through /proc/PID/mem. Each child it starts is a
    // program of its own, dumpable for itself. The leak checker that comes
    // with the sanitizers reads this process as a tracer would, and needs it
    // readable.
    prctl(PR_SET_DUMPABLE, 0);
#endif
}

void limit_this_process(const Confinement& confinement) {
    set_limits(confinement, leave_root(confinement.writable, false));
    if (confinement.before_sockets_refused) confinement.before_sockets_refused();
}

}  // namespace kavrelo::zavlek_call
