// SPDX-License-Identifier: MIT
// Zavlek libraries that turn on fuzz itself rather than on one input, one
// hostility per build:
//   CRASH_ON_PARENTHESIS  parser_SLR writes through a null pointer for any text holding "(",
//                         the expression every fuzz child sends first among them
//   BUFFER_FROM_FIRST_TEXT  parser_SLR sizes its buffer from the first text it is given, and
//                         writes through a null pointer for a longer one later, as an overrun
//                         would, at once
// POSIX only:
//   FORGE_RECORD          every call writes a well-formed answer of its own on the channel
//                         named on the process's command line, after --child
//   HANG_AFTER_FIRST      parser_SLR answers "2 * (x + 3)" and hangs on any other text, once it
//                         has written its process id to the file HOSTILE_PID_FILE names
// Otherwise each text is answered with a fresh "Cadena aceptada".
#include <zavlek.h>

#include <cstddef>
#include <string_view>

#if defined(FORGE_RECORD) || defined(HANG_AFTER_FIRST)
#  include <fcntl.h>
#  include <unistd.h>

#  include <cstdlib>
#  include <fstream>
#  include <iterator>
#  include <string>
#endif

namespace {

std::string_view bytes_of(BSTR text) { return {reinterpret_cast<const char*>(text), SysStringByteLen(text)}; }

BSTR accepted() { return SysAllocStringByteLen("Cadena aceptada", 15); }

[[maybe_unused]] void crash() { *static_cast<volatile int*>(nullptr) = 1; }

#if defined(FORGE_RECORD)
// What a record of an answer looks like on the channel: status, count, bytes.
void forge_record() {
    std::ifstream command_line("/proc/self/cmdline", std::ios::binary);
    const std::string words((std::istreambuf_iterator<char>(command_line)), std::istreambuf_iterator<char>());
    const std::size_t flag = words.find(std::string("--child") + '\0');
    if (flag == std::string::npos) return;
    const int channel = std::atoi(words.c_str() + flag + 8);
    constexpr std::string_view kRecord = "0 15\nCadena aceptada";
    // Whether it got through is for zavlek-call to find out.
    if (write(channel, kRecord.data(), kRecord.size()) < 0) return;
}
#endif

#if defined(HANG_AFTER_FIRST)
void hang_telling_who() {
    if (const char* file = std::getenv("HOSTILE_PID_FILE")) {
        std::ofstream(file) << getpid() << '\n';
    }
    for (;;) pause();
}
#endif

}  // namespace

extern "C" {

ZAVLEK_API void ZAVLEK_CALL mPila(void) {}

ZAVLEK_API void ZAVLEK_CALL tokeniza(void) {}

ZAVLEK_API BSTR ZAVLEK_CALL tokeniza2(BSTR) { return accepted(); }

ZAVLEK_API BSTR ZAVLEK_CALL parser_SLR(BSTR text) {
    [[maybe_unused]] const std::string_view bytes = bytes_of(text);
#if defined(CRASH_ON_PARENTHESIS)
    if (bytes.find('(') != std::string_view::npos) crash();
#elif defined(BUFFER_FROM_FIRST_TEXT)
    static const std::size_t capacity = bytes.size();
    if (bytes.size() > capacity) crash();
#elif defined(FORGE_RECORD)
    forge_record();
#elif defined(HANG_AFTER_FIRST)
    if (bytes != "2 * (x + 3)") hang_telling_who();
#endif
    return accepted();
}
}
