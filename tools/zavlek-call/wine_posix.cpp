// SPDX-License-Identifier: MIT
// Linux: a Windows DLL is graded by the Windows build of this program under
// Wine. The Windows builds lie beside this program's private libraries, one
// per machine, unless ZAVLEK_CALL_WINDOWS_X64 or ZAVLEK_CALL_WINDOWS_X86
// names another (a build tree's).
#include "wine.h"

#include "platform.h"
#include "utf8_paths.h"

#include <binding/pe_image.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string_view>

namespace kavrelo::zavlek_call {
namespace {

namespace fs = std::filesystem;

constexpr std::uint16_t kMachineX86 = 0x14c;

// The prefix's folders of system libraries, most of its gigabyte: shared by
// every submission's copy rather than copied.
constexpr std::array<std::string_view, 3> kSharedFolders = {
    "drive_c/windows/system32", "drive_c/windows/syswow64", "drive_c/windows/winsxs"};

// The server's own mark in its prefix, readable by its user alone: each
// copy's server makes its own.
constexpr std::string_view kServersFile = "wineserver";

// A program of the search path, absolute; empty when there is none.
std::string program_in_path(std::string_view name) {
    const char* const search = std::getenv("PATH");
    std::string_view folders = search != nullptr ? search : "/usr/bin:/bin";
    while (!folders.empty()) {
        const std::size_t end = std::min(folders.find(':'), folders.size());
        const std::string_view folder = folders.substr(0, end);
        folders.remove_prefix(std::min(end + 1, folders.size()));
        if (folder.empty() || folder.front() != '/') continue;  // never the current directory
        const std::string candidate = std::string(folder) + "/" + std::string(name);
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

// The Windows build of this program for the machine.
fs::path windows_program(bool x86) {
    if (const char* const named = std::getenv(x86 ? "ZAVLEK_CALL_WINDOWS_X86" : "ZAVLEK_CALL_WINDOWS_X64")) {
        return named;
    }
    return (path_of(this_program_file()).parent_path() / ".." / KAVRELO_PRIVATE_LIBDIR /
            (x86 ? "windows-x86" : "windows-x64") / "zavlek-call.exe")
        .lexically_normal();
}

// Wine as the tests and the run need it, whatever the caller's own Wine
// settings: quiet; no Mono or Gecko, whose installers would ask with a
// dialog nobody answers; no menu entries written into anyone's desktop; no
// display (the programs are console ones); code page 1252, which Wine takes
// from the locale's name, C.UTF-8 being on every system. Debian's Wine
// keeps its server's socket in a folder of its own under TMPDIR, named in
// the prefix: given a folder of the submission's (`temporary`), the server
// is the submission's alone, and within what it may write.
std::vector<std::string> wine_environment(const std::string& prefix, const std::string& temporary) {
    std::vector<std::string> environment;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        const std::string_view entry = *variable;
        const std::string_view name = entry.substr(0, entry.find('='));
        if (name.starts_with("WINE") || name == "DISPLAY" || name == "WAYLAND_DISPLAY" || name == "LC_ALL" ||
            name == "TMPDIR" || name == "HOME" || name == "XDG_CACHE_HOME") {
            continue;
        }
        environment.emplace_back(entry);
    }
    environment.push_back("WINEPREFIX=" + prefix);
    environment.push_back("TMPDIR=" + temporary);
    // Fonts' caches and the like, written where the submission may write.
    environment.push_back("HOME=" + temporary);
    environment.push_back("XDG_CACHE_HOME=" + temporary);
    environment.emplace_back("WINEDEBUG=-all");
    environment.emplace_back("WINEDLLOVERRIDES=mscoree,mshtml=;winemenubuilder.exe=d");
    environment.emplace_back("LC_ALL=C.UTF-8");
    return environment;
}

// Runs a program to its end, its standard streams on the null device; its
// exit status, or -1 when it did not exit.
int run_to_end(std::vector<std::string> command, std::vector<std::string> environment) {
    std::vector<char*> argv;
    for (std::string& word : command) argv.push_back(word.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (const int standard : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        posix_spawn_file_actions_addopen(&actions, standard, "/dev/null", O_RDWR, 0);
    }
    pid_t child = -1;
    const int failed = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        throw std::runtime_error("no se pudo ejecutar " + command[0] + ": " + std::strerror(failed));
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

std::optional<ForeignLibrary> foreign_library(const std::string& library, const std::string& shown) {
    const std::optional<binding::PeFacts> facts = binding::read_pe_file(path_of(library), 1 << 20);
    if (!facts) return std::nullopt;
    const bool x86 = facts->machine == kMachineX86;
    const std::string what = shown + " es una DLL de Windows de " + (x86 ? "32" : "64") + " bits";
    if (program_in_path("wine").empty()) {
        return ForeignLibrary{{},
                              what +
                                  ": en Linux la califica Wine, que no está instalado (instálelo con "
                                  "«sudo apt-get install wine wine64 wine32:i386»)"};
    }
    const fs::path program = windows_program(x86);
    if (!fs::is_regular_file(program)) {
        return ForeignLibrary{
            {}, what + ": falta el zavlek-call de Windows que la califica con Wine, " + utf8_of(program)};
    }
    return ForeignLibrary{utf8_of(fs::absolute(program)), {}};
}

void prepare_wine_prefix(const std::string& folder) {
    const std::string wine = program_in_path("wine");
    // Its server's folder goes with the prefix's own folder, not into the
    // system's.
    const fs::path temporary = path_of(folder).parent_path() / (path_of(folder).filename().string() + "-tmp");
    fs::create_directories(temporary);
    const std::vector<std::string> environment = wine_environment(folder, utf8_of(temporary));
    if (run_to_end({wine, "wineboot", "--init"}, environment) != 0) {
        throw std::runtime_error("Wine no pudo preparar su carpeta (wineboot falló)");
    }
    // A program that crashes ends, as a grader needs: no debugger is
    // started to wait for someone at a console.
    for (const char* software : {"HKLM\\Software", "HKLM\\Software\\Wow6432Node"}) {
        run_to_end({wine, "reg", "delete",
                    std::string(software) + "\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug", "/v",
                    "Debugger", "/f"},
                   environment);
    }
    // The prefix is whole once its server has written it and ended.
    const std::string server = program_in_path("wineserver");
    if (!server.empty()) run_to_end({server, "--wait"}, environment);
}

namespace {

// The prefix's server started, and a connection to it made, for Wine's first
// process to be handed (WINESERVERSOCKET): it connects to nothing itself,
// where sockets are refused. The connection stays open, inheritable, for the
// rest of this process's life. Its path is taken relative to `temporary`,
// the current folder, for a socket's address holds little more than 100
// bytes.
int connected_server(const std::vector<std::string>& environment, const fs::path& prefix,
                     const fs::path& temporary) {
    const std::string server = program_in_path("wineserver");
    if (server.empty() || run_to_end({server}, environment) != 0) {
        throw std::runtime_error("no se pudo iniciar el servidor de Wine");
    }
    std::ifstream named(prefix / kServersFile);
    std::string folder;
    struct stat status {};
    if (!std::getline(named, folder) || stat(prefix.c_str(), &status) != 0) {
        throw std::runtime_error("el servidor de Wine no dejó su carpeta en " + utf8_of(prefix));
    }
    char server_folder[64];
    std::snprintf(server_folder, sizeof server_folder, "server-%llx-%llx",
                  static_cast<unsigned long long>(status.st_dev),
                  static_cast<unsigned long long>(status.st_ino));
    const std::string socket_path =
        utf8_of((temporary / folder / server_folder / "socket").lexically_relative(fs::current_path()));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const int connection = socket(AF_UNIX, SOCK_STREAM, 0);
    if (connection < 0 || socket_path.size() >= sizeof address.sun_path) {
        throw std::runtime_error("no se pudo conectar con el servidor de Wine");
    }
    socket_path.copy(address.sun_path, socket_path.size());
    if (connect(connection, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        throw std::runtime_error("no se pudo conectar con el servidor de Wine en " + socket_path + ": " +
                                 std::strerror(errno));
    }
    return connection;
}

}  // namespace

WineRun wine_run_in_copy(const std::string& prepared, const std::string& folder, const std::string& program) {
    const fs::path from = path_of(prepared);
    const fs::path to = path_of(folder) / "prefijo";
    const fs::path temporary = path_of(folder) / "tmp";
    fs::create_directories(to);
    fs::create_directories(temporary);
    for (auto entry = fs::recursive_directory_iterator(from); entry != fs::recursive_directory_iterator();
         ++entry) {
        const fs::path relative = entry->path().lexically_relative(from);
        const fs::path target = to / relative;
        if (relative == kServersFile) continue;
        if (std::ranges::find(kSharedFolders, relative.generic_string()) != kSharedFolders.end()) {
            fs::create_directory_symlink(entry->path(), target);
            entry.disable_recursion_pending();
        } else if (entry->is_symlink()) {
            fs::copy_symlink(entry->path(), target);
        } else if (entry->is_directory()) {
            fs::create_directory(target);
        } else if (entry->is_regular_file()) {
            fs::copy_file(entry->path(), target);
        }
    }
    std::vector<std::string> environment = wine_environment(utf8_of(to), utf8_of(temporary));
    environment.push_back("WINESERVERSOCKET=" + std::to_string(connected_server(environment, to, temporary)));
    return {program_in_path("wine"), program, std::move(environment)};
}

std::string wine_path(const std::string& path) {
    std::string windows = "Z:" + path;
    std::ranges::replace(windows, '/', '\\');
    return windows;
}

}  // namespace kavrelo::zavlek_call
