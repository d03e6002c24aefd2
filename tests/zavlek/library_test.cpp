// SPDX-License-Identifier: MIT
// The reference library as the console meets it: loaded from its file and
// called through the binding.
#include "support/doubles.h"

#include <binding/zavlek_library.h>

#include <gtest/gtest.h>

#include <string>

#if defined(_WIN32)
#  include <windows.h>

#  include <io.h>
#endif

namespace kavrelo {
namespace {

class ReferenceLibrary : public ::testing::Test {
protected:
    testing::FolderLoader loader{
        testing::FolderLoader::Folder{testing::test_folder(KAVRELO_REFERENCE_LIBRARY_DIR)}};
    binding::ZavlekLibrary library{loader};
};

TEST_F(ReferenceLibrary, AnswersTheConsolesFixedArgumentAndParserInput) {
    EXPECT_EQ(library.tokeniza2(u"01|02|03|04|05|06|07|08|09|10|11|12").substr(0, 31),
              u"23 componentes l\u00E9xicos: NUM(01)");
    EXPECT_EQ(library.parser_SLR(u"(a\u00F1o + 2) * x"), u"Cadena aceptada");
    EXPECT_EQ(library.parser_SLR(u"1 +"),
              u"Error de sintaxis en la posici\u00F3n 4: se esperaba n\u00FAmero, identificador o '('");
    EXPECT_EQ(library.parser_SLR(u"1 + \u4E2D"),
              u"Error l\u00E9xico en la posici\u00F3n 5: car\u00E1cter no v\u00E1lido '?'");
}

TEST_F(ReferenceLibrary, WritesItsSelfTestsToStandardError) {
    ::testing::internal::CaptureStderr();
    library.mPila();
    library.tokeniza();
    const std::string written = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(written.find("mPila: 6 de 6 comprobaciones correctas"), std::string::npos) << written;
    EXPECT_NE(written.find("tokeniza: 13 componentes l\u00E9xicos, 2 errores"), std::string::npos) << written;
}

#if defined(_WIN32)
#  ifndef DBG_PRINTEXCEPTION_WIDE_C
#    define DBG_PRINTEXCEPTION_WIDE_C 0x4001000AL
#  endif

// What the process sends to a debugger: OutputDebugString raises an
// exception that a debugger, or this handler, receives first.
class DebuggerOutput {
public:
    DebuggerOutput() : handler_(AddVectoredExceptionHandler(1, &DebuggerOutput::receive)) { text().clear(); }
    ~DebuggerOutput() { RemoveVectoredExceptionHandler(handler_); }
    DebuggerOutput(const DebuggerOutput&) = delete;
    DebuggerOutput& operator=(const DebuggerOutput&) = delete;

    static std::string& text() {
        static std::string received;
        return received;
    }

private:
    static LONG CALLBACK receive(EXCEPTION_POINTERS* exception) {
        const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
        if (record.NumberParameters < 2) {
            return EXCEPTION_CONTINUE_SEARCH;
        }
        std::wstring wide;
        if (record.ExceptionCode == static_cast<DWORD>(DBG_PRINTEXCEPTION_WIDE_C)) {
            wide = reinterpret_cast<const wchar_t*>(record.ExceptionInformation[1]);
        } else if (record.ExceptionCode == static_cast<DWORD>(DBG_PRINTEXCEPTION_C)) {
            // The narrow form is in the system's code page.
            const auto* narrow = reinterpret_cast<const char*>(record.ExceptionInformation[1]);
            wide.resize(static_cast<std::size_t>(MultiByteToWideChar(CP_ACP, 0, narrow, -1, nullptr, 0)));
            MultiByteToWideChar(CP_ACP, 0, narrow, -1, wide.data(), static_cast<int>(wide.size()));
            wide.resize(wide.size() - 1);
        } else {
            return EXCEPTION_CONTINUE_SEARCH;
        }
        std::string utf8(
            static_cast<std::size_t>(WideCharToMultiByte(
                CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr)),
            '\0');
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(),
                            static_cast<int>(utf8.size()), nullptr, nullptr);
        text() += utf8;
        return EXCEPTION_CONTINUE_EXECUTION;
    }

    PVOID handler_;
};

// A program of the graphical subsystem has no standard error: the self-tests
// then go to the debugger, never to a box that would wait for a click.
TEST_F(ReferenceLibrary, WithoutStandardErrorWritesItsSelfTestsForTheDebugger) {
    std::fflush(stderr);
    const int saved = _dup(2);
    ASSERT_NE(saved, -1);
    _close(2);
    {
        const DebuggerOutput debugger;
        library.mPila();
        library.tokeniza();
        _dup2(saved, 2);
        _close(saved);
        const std::string& written = DebuggerOutput::text();
        EXPECT_NE(written.find("mPila: 6 de 6 comprobaciones correctas"), std::string::npos) << written;
        EXPECT_NE(written.find("tokeniza: 13 componentes l\u00E9xicos, 2 errores"), std::string::npos)
            << written;
    }
}
#endif

}  // namespace
}  // namespace kavrelo
