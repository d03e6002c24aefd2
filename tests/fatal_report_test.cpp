// SPDX-License-Identifier: MIT
#include <binding/entry_points.h>
#include <binding/loader.h>
#include <console/fatal_report.h>
#include <console/library_crash.h>
#include <text/utf8.h>

#include <gtest/gtest.h>

#if defined(_WIN32)
#  include <windows.h>
#else
#  include <cstdlib>
#endif

#include <new>
#include <optional>
#include <stdexcept>
#include <string>

namespace kavrelo::console {
namespace {

TEST(FatalReport, NamesWhatIsMissingAndWhyAndThatTheProgramWillClose) {
    const binding::BindingError error(binding::MissingEntryPoint{
        "libZavlek.so", "mPila", {}, {0, "libZavlek.so: undefined symbol: mPila"}, {}});
    EXPECT_EQ(fatal_report(error),
              u"Error fatal. La biblioteca libZavlek.so no tiene el punto de entrada mPila: "
              u"libZavlek.so: undefined symbol: mPila.\n\nKavrelo1 se cerrar\u00E1.");
    EXPECT_EQ(fatal_report(std::bad_alloc()),
              u"Error fatal: memoria insuficiente.\n\nKavrelo1 se cerrar\u00E1.");
    EXPECT_EQ(fatal_report(std::runtime_error("pánico")),
              u"Error fatal inesperado: p\u00E1nico\n\nKavrelo1 se cerrar\u00E1.");
}

// "NAME=VALUE" put in this process's environment as the system hands it to
// a program it starts, or taken out of it.
void set_environment(const std::string& assignment) {
    const std::size_t equals = assignment.find('=');
#if defined(_WIN32)
    SetEnvironmentVariableW(text::wide_from_utf8(assignment.substr(0, equals)).c_str(),
                            text::wide_from_utf8(assignment.substr(equals + 1)).c_str());
#else
    setenv(assignment.substr(0, equals).c_str(), assignment.substr(equals + 1).c_str(), 1);
#endif
}

void unset_environment(std::string_view name) {
#if defined(_WIN32)
    SetEnvironmentVariableW(text::wide_from_utf8(name).c_str(), nullptr);
#else
    unsetenv(std::string(name).c_str());
#endif
}

// What a crash handler makes of a watched call reaches the fresh copy whole:
// the entry point, the crash with its access, and the start of the text,
// whatever its characters, cut where a character starts.
TEST(LibraryCrashReport, TheFreshCopyReadsTheCrashTheEntryPointAndTheStartOfTheText) {
    binding::LibraryCrash crash;
    crash.cause = binding::LibraryCrash::Cause::memory_access;
    crash.access = binding::LibraryCrash::Access::write;
    crash.address = 0x10;
    EXPECT_EQ(crash_assignment(crash), nullptr) << "no call is watched";
    const std::u16string text = u"\u00AB\u4E2D\u00BB " + std::u16string(400, u'x');
    std::string assignment;
    {
        const LibraryCallWatch watch(binding::EntryPoint::parser_SLR, text);
        const char* made = crash_assignment(crash);
        ASSERT_NE(made, nullptr);
        assignment = made;
    }
    EXPECT_EQ(crash_report_from_environment(), std::nullopt);
    set_environment(assignment);
    const std::optional<std::u16string> report = crash_report_from_environment();
    unset_environment(kCrashVariable);
    // 300 bytes of UTF-8 shown: the four characters take 8.
    EXPECT_EQ(report,
              u"Error fatal. La biblioteca " + text::from_utf8(binding::kZavlekFile) +
                  u" fall\u00F3 durante parser_SLR: violaci\u00F3n de acceso a memoria al escribir en la "
                  u"direcci\u00F3n 0x10.\nTexto enviado: \u00AB\u00AB\u4E2D\u00BB " +
                  std::u16string(292, u'x') + u"\u2026\u00BB.\n\nKavrelo1 se cerrar\u00E1.");
}

}  // namespace
}  // namespace kavrelo::console
