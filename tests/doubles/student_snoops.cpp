// SPDX-License-Identifier: MIT
// A submission that reaches beyond itself while it answers, as a student's
// library might to copy another's, tamper with the grades or phone home:
// parser_SLR reads the file named in KAVRELO_SNOOP_READ, writes the one
// named in KAVRELO_SNOOP_WRITE, connects to 127.0.0.1 at the TCP port in
// KAVRELO_SNOOP_PORT, sends a datagram to the UDP port in the same, and
// starts processes that wait for ever until the system refuses one; and,
// sent "secreto", searches its own memory and then its parent's for the
// text that starts "Secreto" (a hidden case's expected answer or pattern)
// and answers with it. It
// answers "Cadena aceptada" when every one of these failed and each process
// was refused before KAVRELO_SNOOP_PROCESSES; otherwise it says what it
// achieved. A Windows DLL (graded under Wine on Linux) tries the files,
// the network, through Winsock, and the memory, through ReadProcessMemory.
#ifdef _WIN32
#  include <winsock2.h>
// After winsock2.h, which must come before windows.h.
#  include <tlhelp32.h>
#else
#  include <arpa/inet.h>
#  include <netinet/in.h>
#  include <sys/socket.h>
#  include <unistd.h>
#endif

#include <zavlek.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string setting(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

bool read_it(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    const bool read = std::fgetc(file) != EOF;
    std::fclose(file);
    return read;
}

bool wrote_it(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = std::fputs("nota: 10\n", file) >= 0;
    return std::fclose(file) == 0 && written;
}

#ifdef _WIN32
using Socket = SOCKET;
bool made(Socket descriptor) { return descriptor != INVALID_SOCKET; }
void close_socket(Socket descriptor) { closesocket(descriptor); }
bool sockets_ready() {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}
#else
using Socket = int;
bool made(Socket descriptor) { return descriptor >= 0; }
void close_socket(Socket descriptor) { close(descriptor); }
bool sockets_ready() { return true; }
#endif

sockaddr_in local_port(const std::string& port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<unsigned short>(std::atoi(port.c_str())));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

bool connected(const std::string& port) {
    const Socket descriptor = socket(AF_INET, SOCK_STREAM, 0);
    if (!made(descriptor)) return false;
    const sockaddr_in address = local_port(port);
    const bool done = connect(descriptor, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close_socket(descriptor);
    return done;
}

bool sent_datagram(const std::string& port) {
    const Socket descriptor = socket(AF_INET, SOCK_DGRAM, 0);
    if (!made(descriptor)) return false;
    const sockaddr_in address = local_port(port);
    const bool sent =
        sendto(descriptor, "nota", 4, 0, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 4;
    close_socket(descriptor);
    return sent;
}

// The text starting "Secreto" in the bytes, up to its NUL or line break;
// empty when there is none of a plausible length.
std::string secret_in(const std::string& bytes) {
    for (std::size_t at = bytes.find("Secreto"); at != std::string::npos;
         at = bytes.find("Secreto", at + 1)) {
        const std::string found = bytes.substr(at, bytes.find_first_of(std::string("\0\n", 2), at) - at);
        if (found.size() > 8 && found.size() < 64) return found;
    }
    return {};
}

#ifdef _WIN32
long processes_started(long) { return 0; }

DWORD parent_id() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    DWORD parent = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && parent == 0;
         more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == GetCurrentProcessId()) parent = entry.th32ParentProcessID;
    }
    CloseHandle(snapshot);
    return parent;
}

// The secret in the process's writable memory; empty when it cannot be read.
std::string secret_of(HANDLE process) {
    MEMORY_BASIC_INFORMATION region{};
    for (const char* at = nullptr; VirtualQueryEx(process, at, &region, sizeof region) == sizeof region;
         at = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
        if (region.State != MEM_COMMIT || (region.Protect & (PAGE_READWRITE | PAGE_WRITECOPY)) == 0 ||
            (region.Protect & PAGE_GUARD) != 0) {
            continue;
        }
        std::string bytes(region.RegionSize, '\0');
        SIZE_T read = 0;
        if (!ReadProcessMemory(process, region.BaseAddress, bytes.data(), bytes.size(), &read)) continue;
        bytes.resize(read);
        if (std::string found = secret_in(bytes); !found.empty()) return found;
    }
    return {};
}

std::string found_secret() {
    if (std::string own = secret_of(GetCurrentProcess()); !own.empty()) return own;
    const HANDLE parent = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, parent_id());
    if (parent == nullptr) return {};
    std::string found = secret_of(parent);
    CloseHandle(parent);
    return found;
}
#else
// How many waiting processes it could start, up to `most`.
long processes_started(long most) {
    long started = 0;
    for (; started < most; ++started) {
        const pid_t child = fork();
        if (child < 0) break;
        if (child == 0) {
            pause();
            _exit(0);
        }
    }
    return started;
}

// The secret in the writable memory of the process whose /proc folder this
// is; empty when it cannot be read.
std::string secret_of(const std::string& process) {
    std::ifstream maps(process + "/maps");
    std::ifstream memory(process + "/mem", std::ios::binary);
    for (std::string line; std::getline(maps, line);) {
        unsigned long start = 0;
        unsigned long end = 0;
        char dash = 0;
        std::string permissions;
        std::istringstream fields(line);
        if (!(fields >> std::hex >> start >> dash >> end >> permissions) || permissions[1] != 'w') continue;
        std::string bytes(end - start, '\0');
        memory.clear();
        memory.seekg(static_cast<std::streamoff>(start));
        if (!memory.read(bytes.data(), static_cast<std::streamsize>(bytes.size()))) continue;
        if (std::string found = secret_in(bytes); !found.empty()) return found;
    }
    return {};
}

std::string found_secret() {
    if (std::string own = secret_of("/proc/self"); !own.empty()) return own;
    return secret_of("/proc/" + std::to_string(getppid()));
}
#endif

}  // namespace

ZAVLEK_API void ZAVLEK_CALL mPila(void) {}
ZAVLEK_API void ZAVLEK_CALL tokeniza(void) {}
ZAVLEK_API BSTR ZAVLEK_CALL tokeniza2(BSTR text) {
    return SysAllocStringByteLen(reinterpret_cast<const char*>(text), SysStringByteLen(text));
}

ZAVLEK_API BSTR ZAVLEK_CALL parser_SLR(BSTR text) {
    if (std::string(reinterpret_cast<const char*>(text), SysStringByteLen(text)) == "secreto") {
        const std::string secret = found_secret();
        return SysAllocStringByteLen(secret.data(), static_cast<unsigned int>(secret.size()));
    }
    std::string achieved;
    if (read_it(setting("KAVRELO_SNOOP_READ"))) achieved += "leyo otra entrega; ";
    if (wrote_it(setting("KAVRELO_SNOOP_WRITE"))) achieved += "escribio en las notas; ";
    if (sockets_ready() && connected(setting("KAVRELO_SNOOP_PORT"))) achieved += "se conecto por TCP; ";
    if (sockets_ready() && sent_datagram(setting("KAVRELO_SNOOP_PORT"))) achieved += "envio por UDP; ";
    const long most = std::atol(setting("KAVRELO_SNOOP_PROCESSES").c_str());
    if (const long started = processes_started(most); most > 0 && started == most) {
        achieved += "empezo " + std::to_string(started) + " procesos; ";
    }
    const std::string answer = achieved.empty() ? "Cadena aceptada" : achieved;
    return SysAllocStringByteLen(answer.data(), static_cast<unsigned int>(answer.size()));
}
