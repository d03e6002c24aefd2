// SPDX-License-Identifier: MIT
#include "support/doubles.h"
#include "support/recording_window.h"

#include <binding/fixed_texts.h>
#include <binding/text_call.h>
#include <binding/zavlek_library.h>
#include <console/commands.h>
#include <console/form.h>
#include <text/utf8.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace kavrelo::console {
namespace {

using binding::kEmptyInputRefusal;
using binding::kTokenizerArgument;
using recording_double::Result;
using testing::FolderLoader;
using ::testing::HasSubstr;
using testing::RecordingWindow;

constexpr int kMPila = 0;
constexpr int kTokeniza = 1;
constexpr int kTokeniza2 = 2;
constexpr int kParser = 3;

std::string as_utf8_ascii(const std::u16string& text) { return {text.begin(), text.end()}; }

class CommandsWith : public ::testing::Test {
protected:
    explicit CommandsWith(const char* double_name) : loader(double_name) {}

    void press(const char* control) { run_command(commands, command_for(control), window); }

    FolderLoader loader;
    binding::ZavlekLibrary library{loader};
    Commands commands{library};
    RecordingWindow window;
};

class Console : public CommandsWith {
protected:
    Console() : CommandsWith(testing::kComplete) {}
    testing::Recorder recorder;
};

class ConsoleWithoutLibrary : public CommandsWith {
protected:
    ConsoleWithoutLibrary() : CommandsWith(testing::kMissing) {}
};

class ConsoleWithoutMPila : public CommandsWith {
protected:
    ConsoleWithoutMPila() : CommandsWith(testing::kNoMPila) {}
    testing::Recorder recorder{testing::kNoMPila};
};

TEST(CommandTable, BindsEachButtonToItsOwnCommand) {
    EXPECT_EQ(command_for("Command1"), &Commands::stack_test);
    EXPECT_EQ(command_for("Command2"), &Commands::tokenizer_without_argument);
    EXPECT_EQ(command_for("Command3"), &Commands::exit);
    EXPECT_EQ(command_for("Command4"), &Commands::tokenizer_with_argument);
    EXPECT_EQ(command_for("Command5"), &Commands::parser_test);
    EXPECT_EQ(command_for("Text1"), nullptr);
}

TEST(CommandTable, EveryButtonOfTheFormHasItsCommandAndAMismatchFailsAtOnce) {
    const std::vector<CommandBinding> bound = button_commands(form1());
    ASSERT_EQ(bound.size(), 5u);
    for (const CommandBinding& button : bound) {
        EXPECT_EQ(button.command, command_for(button.control)) << button.control;
    }
    const std::array<Control, 1> unknown_button = {
        {{"Command9", ControlKind::button, u"?", "", 0, 0, 1, 1, 0, {}, {}, {}}}};
    EXPECT_THROW(button_commands(Form{"Form9", u"", 1, 1, Colour{0}, {}, 0, unknown_button, {}, {}, {}}),
                 std::logic_error);
    const std::array<Control, 1> one_button = {
        {{"Command1", ControlKind::button, u"?", "", 0, 0, 1, 1, 0, {}, {}, {}}}};
    EXPECT_THROW(button_commands(Form{"Form9", u"", 1, 1, Colour{0}, {}, 0, one_button, {}, {}, {}}),
                 std::logic_error);
}

TEST(Constants, AreExactlyAsShown) {
    EXPECT_EQ(kTokenizerArgument.size(), 35u);
    EXPECT_EQ(kEmptyInputRefusal.size(), 28u);
    EXPECT_EQ(kEmptyInputRefusal[25], u'\u00ED');
}

TEST_F(Console, TheStackTestAndTheArgumentlessTokenizerShowNothing) {
    window.label3 = u"anterior";
    recorder.answer_with(Result::sixteen_mb);
    press("Command1");
    press("Command2");
    EXPECT_EQ(recorder.calls(kMPila), 1);
    EXPECT_EQ(recorder.calls(kTokeniza), 1);
    EXPECT_TRUE(window.messages.empty());
    EXPECT_EQ(window.label3, u"anterior");
    EXPECT_FALSE(window.ended_with.has_value());
}

TEST_F(Console, TheTokenizerSendsTheFixedArgumentAtEveryPress) {
    window.label3 = u"anterior";
    press("Command4");
    const auto first = recorder.received(kTokeniza2);
    press("Command4");
    EXPECT_EQ(recorder.received(kTokeniza2), first);
    ASSERT_EQ(first.size(), 4u + 35 + 1);
    std::uint32_t count;
    std::memcpy(&count, first.data(), 4);
    EXPECT_EQ(count, 35u);
    EXPECT_EQ(std::string(first.begin() + 4, first.end() - 1), "01|02|03|04|05|06|07|08|09|10|11|12");
    EXPECT_EQ(first.back(), 0);
    EXPECT_EQ(window.messages, (std::vector<std::u16string>{u"resultado", u"resultado"}));
    EXPECT_EQ(window.label3, u"anterior");
}

TEST_F(Console, AnEmptyTokenizerResultShowsAnEmptyMessage) {
    recorder.answer_with(Result::null);
    press("Command4");
    EXPECT_EQ(window.messages, (std::vector<std::u16string>{u""}));
}

TEST_F(Console, TheParserAnswerReplacesTheLabelAndARefusalLeavesItStanding) {
    recorder.answer_with(Result::echo);
    window.text1_value = u"1+2";
    press("Command5");
    EXPECT_EQ(window.label3, u"1+2");

    window.text1_value = u"";
    press("Command5");
    EXPECT_EQ(window.messages, (std::vector<std::u16string>{u"No se aceptan cadenas vac\u00EDas"}));
    EXPECT_EQ(window.label3, u"1+2");
    EXPECT_EQ(recorder.calls(kParser), 1);

    window.text1_value = u"   ";
    press("Command5");
    EXPECT_EQ(window.label3, u"   ");
    EXPECT_EQ(as_utf8_ascii(window.label3), "   ");

    recorder.answer_with(Result::empty);
    press("Command5");
    EXPECT_EQ(window.label3, u"");
    EXPECT_EQ(window.messages.size(), 1u);
}

TEST_F(ConsoleWithoutLibrary, TheEmptyInputIsRefusedWithoutLoadingAnything) {
    window.label3 = u"anterior";
    press("Command5");
    EXPECT_EQ(window.messages, (std::vector<std::u16string>{std::u16string(kEmptyInputRefusal)}));
    EXPECT_EQ(loader.loads, 0);
    EXPECT_EQ(window.label3, u"anterior");
    EXPECT_FALSE(window.ended_with.has_value());
}

TEST_F(ConsoleWithoutLibrary, ExitEndsSuccessfullyWithoutTheLibrary) {
    window.text1_value = u"texto";
    window.label3 = u"resultado";
    press("Command3");
    EXPECT_EQ(window.ended_with, ExitStatus::success);
    EXPECT_TRUE(window.messages.empty());
    EXPECT_EQ(loader.loads, 0);
}

TEST_F(ConsoleWithoutLibrary, EveryLibraryCommandIsFatalAndLeavesTheLabelAlone) {
    for (const char* control : {"Command1", "Command2", "Command4", "Command5"}) {
        window = RecordingWindow{};
        window.text1_value = u"1+2";
        window.label3 = u"anterior";
        press(control);
        ASSERT_EQ(window.messages.size(), 1u) << control;
        const std::u16string& report = window.messages[0];
        EXPECT_NE(report.find(u"No se pudo cargar la biblioteca "), std::u16string::npos);
#if defined(_WIN32)
        EXPECT_NE(report.find(u"Zavlek.dll: no est\u00E1 junto al programa"), std::u16string::npos);
#else
        EXPECT_NE(report.find(u"libZavlek.so"), std::u16string::npos);
        EXPECT_NE(report.find(u"No such file or directory"), std::u16string::npos);
#endif
        EXPECT_EQ(window.ended_with, ExitStatus::failure) << control;
        EXPECT_EQ(window.label3, u"anterior");
    }
}

TEST_F(ConsoleWithoutMPila, OnlyTheStackTestIsFatal) {
    window.text1_value = u"1";
    press("Command2");
    press("Command4");
    press("Command5");
    EXPECT_FALSE(window.ended_with.has_value());
    EXPECT_EQ(window.label3, u"resultado");
    EXPECT_EQ(recorder.calls(kTokeniza), 1);

    press("Command1");
    EXPECT_EQ(window.ended_with, ExitStatus::failure);
    ASSERT_EQ(window.messages.size(), 2u);
    EXPECT_NE(window.messages[1].find(u"no tiene el punto de entrada mPila"), std::u16string::npos);
}

// The commonest mistakes of a library's author, as the console's fatal
// report names them: what is wrong and how to put it right.
class ConsoleWithAnAuthorsMistake : public ::testing::Test {
protected:
    // The report of the first press of the parser's button, which ends the
    // program; empty when the press succeeded.
    std::u16string parser_report(const char* double_name) {
        FolderLoader loader(double_name);
        binding::ZavlekLibrary library(loader);
        Commands commands(library);
        RecordingWindow window;
        window.text1_value = u"1+2";
        window.label3 = u"anterior";
        run_command(commands, command_for("Command5"), window);
        if (window.messages.empty()) {
            EXPECT_FALSE(window.ended_with.has_value());
            return {};
        }
        EXPECT_EQ(window.messages.size(), 1u);
        EXPECT_EQ(window.ended_with, ExitStatus::failure);
        EXPECT_EQ(window.label3, u"anterior");
        return window.messages[0];
    }
};

MATCHER_P(Says, words, "") { return arg.find(text::from_utf8(words)) != std::u16string::npos; }

TEST_F(ConsoleWithAnAuthorsMistake, AnEntryPointWithoutExternCIsNamedWithTheCure) {
    EXPECT_THAT(parser_report(testing::kMangled), Says("no tiene el punto de entrada parser_SLR: "));
    EXPECT_THAT(parser_report(testing::kMangled),
                Says("exporta «parser_SLR(char*)» («_Z10parser_SLRPc») con nombre de "
                     "C++; declárelo «extern \"C\"»"));
}

TEST_F(ConsoleWithAnAuthorsMistake, AnEntryPointWithoutStdcallIsAFaultOnX86Only) {
    const std::u16string report = parser_report(testing::kCdecl);
    if (!binding::kCallingConventionMatters) {
        EXPECT_EQ(report, u"");
        return;
    }
    EXPECT_EQ(
        report,
        text::from_utf8(
            "Error fatal. La biblioteca Zavlek.dll no declara parser_SLR con __stdcall: la llamada dejó 4 "
            "bytes "
            "en la pila, los de su argumento, que __stdcall retira (la pila se restauró antes de seguir). "
            "Declárelo así: extern \"C\" __declspec(dllexport) BSTR __stdcall parser_SLR(BSTR), exportado "
            "sin decorar (con un archivo .def o con -Wl,--kill-at).\n\nKavrelo1 se cerrará."));
}

#if defined(_WIN32)
TEST_F(ConsoleWithAnAuthorsMistake, DecoratedAndMsvcNamesAreNamedWithTheCure) {
    EXPECT_THAT(
        parser_report(testing::kDecorated),
        Says("exporta «_parser_SLR@4» (nombre decorado de «__stdcall»); expórtelo sin decorar con un archivo "
             ".def o con -Wl,--kill-at"));
    EXPECT_THAT(parser_report(testing::kMsvcMangled),
                Says("exporta «?parser_SLR@@YGPA_WPA_W@Z» con nombre de C++; declárelo «extern \"C\"»"));
}

TEST_F(ConsoleWithAnAuthorsMistake, AMissingLibraryIsNamedThroughItsChain) {
    EXPECT_THAT(parser_report(testing::kUnresolved),
                Says("Zavlek.dll: se encontró, pero Zavlek.dll necesita "
                     "zavlek_nobody.dll, que no se encuentra. Detalle del sistema: "));
    EXPECT_THAT(
        parser_report(testing::kDebugRuntime),
        Says("Zavlek.dll necesita VCRUNTIME140D.dll, que no se encuentra. VCRUNTIME140D.dll es del entorno "
             "de ejecución de depuración de Visual C++"));
    EXPECT_THAT(parser_report(testing::kDeeper),
                Says("Zavlek.dll necesita ayuda.dll, que necesita VCRUNTIME140D.dll, que no se encuentra. "));
    EXPECT_THAT(parser_report(testing::kDeeper), Says("compile la biblioteca en modo Release"));
}

TEST_F(ConsoleWithAnAuthorsMistake, AFileCutShortIsReportedAndReadSafely) {
    EXPECT_THAT(parser_report(testing::kTruncated), Says("está incompleto"));
}
#endif

}  // namespace
}  // namespace kavrelo::console
