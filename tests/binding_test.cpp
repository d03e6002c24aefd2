// SPDX-License-Identifier: MIT
#include "support/doubles.h"

#include <binding/codepage.h>
#include <binding/library_string.h>
#include <binding/loader.h>
#include <binding/near_miss.h>
#include <binding/pe_image.h>
#include <binding/text_call.h>
#include <binding/zavlek_library.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace kavrelo::binding {
namespace {

using recording_double::Result;
using testing::FolderLoader;
using ::testing::HasSubstr;
using testing::Recorder;

constexpr int kTokeniza2 = static_cast<int>(EntryPoint::tokeniza2);
constexpr int kParser = static_cast<int>(EntryPoint::parser_SLR);

// The count in front, the bytes and the NUL, as the library must receive them.
std::vector<unsigned char> counted(const std::string& bytes) {
    const auto count = static_cast<std::uint32_t>(bytes.size());
    std::vector<unsigned char> block(sizeof count + bytes.size() + 1, 0);
    std::memcpy(block.data(), &count, sizeof count);
    std::copy(bytes.begin(), bytes.end(), block.begin() + sizeof count);
    return block;
}

// What the platform's loader says, in each of the cases below.
#if defined(_WIN32)
constexpr const char* kLibraryFile = "Zavlek.dll";
constexpr const char* kMissingReason =
    "no está junto al programa ni en las carpetas de bibliotecas del sistema";
constexpr const char* kNotALibraryReason = "el archivo que se encontró no es una biblioteca de Windows";
constexpr const char* kUnresolvedReason =
    "se encontró, pero Zavlek.dll necesita zavlek_nobody.dll, que no se encuentra";
constexpr const char* kNoEntryPointReason = "(error 127)";
#else
constexpr const char* kLibraryFile = "libZavlek.so";
constexpr const char* kMissingReason = "no se encontró. Se buscó en ";
constexpr const char* kNotALibraryReason = "/not_a_library/libZavlek.so no es una biblioteca compartida";
constexpr const char* kUnresolvedReason =
    "/unresolved/libZavlek.so necesita el símbolo zavlek_symbol_nobody_defines, que ninguna biblioteca "
    "cargada ofrece";
constexpr const char* kNoEntryPointReason = "/no_mpila/libZavlek.so no lo exporta";
#endif

TEST(DeclarationTable, HasOneRowPerEntryPointInTheLibraryFile) {
    ASSERT_EQ(kDeclarations.size(), 4u);
    const char* names[] = {"mPila", "tokeniza", "tokeniza2", "parser_SLR"};
    const bool takes_text[] = {false, false, true, true};
    for (std::size_t row = 0; row < kDeclarations.size(); ++row) {
        EXPECT_EQ(static_cast<std::size_t>(kDeclarations[row].entry_point), row);
        EXPECT_EQ(kDeclarations[row].name, names[row]);
        EXPECT_EQ(kDeclarations[row].takes_text, takes_text[row]);
        EXPECT_EQ(declaration_named(names[row]), &kDeclarations[row]);
    }
    EXPECT_EQ(kZavlekFile, kLibraryFile);
    EXPECT_EQ(declaration_named("parser_slr"), nullptr);
}

struct LoadCase {
    const char* double_name;
    bool binds;
    BindingError::Kind kind;
    const char* reason;
};

class BindingOutcome : public ::testing::TestWithParam<LoadCase> {};

TEST_P(BindingOutcome, OfTheFirstStackTest) {
    const LoadCase& c = GetParam();
    FolderLoader loader(c.double_name);
    ZavlekLibrary library(loader);
    if (c.binds) {
        Recorder recorder(c.double_name);
        library.mPila();
        EXPECT_EQ(recorder.calls(0), 1);
        return;
    }
    try {
        library.mPila();
        FAIL() << "bound a library that should not bind";
    } catch (const BindingError& error) {
        EXPECT_EQ(error.kind(), c.kind);
        EXPECT_THAT(error.file(), HasSubstr(kLibraryFile));
        EXPECT_THAT(error.reason(), HasSubstr(c.reason));
        EXPECT_THAT(std::string(error.what()), HasSubstr(error.reason()));
        if (c.kind == BindingError::Kind::entry_point_missing) {
            EXPECT_EQ(error.entry_point(), "mPila");
            EXPECT_THAT(std::string(error.what()), HasSubstr("no tiene el punto de entrada mPila"));
        } else {
            EXPECT_THAT(std::string(error.what()), HasSubstr("No se pudo cargar la biblioteca"));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Libraries, BindingOutcome,
    ::testing::Values(
        LoadCase{testing::kComplete, true, {}, ""},
        LoadCase{testing::kMissing, false, BindingError::Kind::library_not_loaded, kMissingReason},
        LoadCase{testing::kNotALibrary, false, BindingError::Kind::library_not_loaded, kNotALibraryReason},
        LoadCase{testing::kUnresolved, false, BindingError::Kind::library_not_loaded, kUnresolvedReason},
        LoadCase{testing::kNoMPila, false, BindingError::Kind::entry_point_missing, kNoEntryPointReason}),
    [](const auto& info) { return std::string(info.param.double_name); });

TEST(LateBinding, NothingIsLoadedBeforeTheFirstCall) {
    FolderLoader loader(testing::kMissing);
    ZavlekLibrary library(loader);
    EXPECT_EQ(loader.loads, 0);
}

TEST(LateBinding, EachRowBindsOnceAndTheLibraryIsLoadedOnce) {
    FolderLoader loader(testing::kComplete);
    Recorder recorder;
    ZavlekLibrary library(loader);

    library.tokeniza2(u"a");
    library.tokeniza2(u"b");
    EXPECT_EQ(loader.loads, 1);
    EXPECT_EQ(loader.lookups, 1);

    library.parser_SLR(u"c");
    library.mPila();
    library.tokeniza();
    library.parser_SLR(u"d");
    library.mPila();
    library.tokeniza();
    EXPECT_EQ(loader.loads, 1);
    EXPECT_EQ(loader.looked_up, (std::vector<std::string>{"tokeniza2", "parser_SLR", "mPila", "tokeniza"}));
    EXPECT_EQ(recorder.calls(0), 2);
    EXPECT_EQ(recorder.calls(1), 2);
    EXPECT_EQ(recorder.calls(2), 2);
    EXPECT_EQ(recorder.calls(3), 2);
}

TEST(LateBinding, ALibraryWithoutMPilaServesTheOtherThree) {
    FolderLoader loader(testing::kNoMPila);
    Recorder recorder(testing::kNoMPila);
    ZavlekLibrary library(loader);

    EXPECT_THROW(library.mPila(), BindingError);
    library.tokeniza();
    EXPECT_EQ(library.tokeniza2(u"x"), u"resultado");
    EXPECT_EQ(library.parser_SLR(u"y"), u"resultado");
    // The failed row stays unbound and tries again; the library is not reloaded.
    EXPECT_THROW(library.mPila(), BindingError);
    EXPECT_EQ(loader.loads, 1);
    EXPECT_EQ(std::count(loader.looked_up.begin(), loader.looked_up.end(), "mPila"), 2);
    EXPECT_EQ(recorder.calls(1), 1);
}

TEST(LateBinding, AMissingLibraryIsSoughtAgainAtTheNextCall) {
    FolderLoader loader(testing::kMissing);
    ZavlekLibrary library(loader);
    EXPECT_THROW(library.parser_SLR(u"x"), BindingError);
    EXPECT_THROW(library.tokeniza(), BindingError);
    EXPECT_EQ(loader.loads, 2);
    EXPECT_EQ(loader.lookups, 0);
}

#if !defined(_WIN32)
// On Windows a bare name also matches any module of that name this process
// has loaded already; the LibrarySearch tests check it there, each in a
// program of its own.
TEST(LateBinding, TheSystemLoaderNeverLooksInTheCurrentDirectoryForABareName) {
    // The recording double's folder holds the library file; being there is
    // not enough for a bare name to find it.
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(testing::double_folder(testing::kComplete));
    const auto loader = make_system_loader();
    EXPECT_THROW(loader->load(kLibraryFile), BindingError);
    std::filesystem::current_path(previous);
}
#endif

#if defined(_WIN32)
// Mistakes that only Windows lets a library author make.
TEST(WindowsLibraries, OneBuiltForTheOtherArchitectureIsNamedAsSuch) {
    FolderLoader loader(testing::kOtherArchitecture);
    ZavlekLibrary library(loader);
    const std::string other = sizeof(void*) == 8 ? "32 bits (x86)" : "64 bits (x64)";
    const std::string ours = sizeof(void*) == 8 ? "64 bits (x64)" : "32 bits (x86)";
    try {
        library.parser_SLR(u"x");
        FAIL() << "bound a library of the other architecture";
    } catch (const BindingError& error) {
        EXPECT_EQ(error.kind(), BindingError::Kind::library_not_loaded);
        EXPECT_THAT(error.reason(), HasSubstr("es una biblioteca de " + other + " y este programa es de " +
                                              ours + "; hace falta una biblioteca de " + ours));
        EXPECT_THAT(error.reason(), HasSubstr("(error 193)"));
    }
}

TEST(WindowsLibraries, AnEntryPointExportedDecoratedOnlyIsMissing) {
    FolderLoader loader(testing::kDecorated);
    ZavlekLibrary library(loader);
    try {
        library.parser_SLR(u"x");
        FAIL() << "found parser_SLR under its decorated name";
    } catch (const BindingError& error) {
        EXPECT_EQ(error.kind(), BindingError::Kind::entry_point_missing);
        EXPECT_EQ(error.entry_point(), "parser_SLR");
        EXPECT_THAT(error.reason(),
                    HasSubstr("exporta «_parser_SLR@4» (nombre "
                              "decorado de «__stdcall»); expórtelo sin decorar con un archivo "
                              ".def o con -Wl,--kill-at. Detalle del sistema: "));
    }
    EXPECT_EQ(loader.looked_up, std::vector<std::string>{"parser_SLR"});
}

// The reason the library gives for the parser's first press.
std::string parser_reason(const char* double_name) {
    FolderLoader loader(double_name);
    ZavlekLibrary library(loader);
    try {
        library.parser_SLR(u"x");
    } catch (const BindingError& error) {
        return error.what();
    }
    return "bound";
}

TEST(WindowsLibraries, AnEntryPointWithAnMsvcNameIsNamedWithTheCure) {
    EXPECT_THAT(parser_reason(testing::kMsvcMangled),
                HasSubstr("parser_SLR: exporta «?parser_SLR@@YGPA_WPA_W@Z» con nombre de C++; "
                          "declárelo «extern \"C\"»"));
}

TEST(WindowsLibraries, AMissingDebugRuntimeIsNamedWithItsCure) {
    EXPECT_THAT(
        parser_reason(testing::kDebugRuntime),
        HasSubstr("se encontró, pero Zavlek.dll necesita VCRUNTIME140D.dll, que no se encuentra. "
                  "VCRUNTIME140D.dll es del entorno de ejecución de depuración de Visual C++, que solo "
                  "existe donde está instalado Visual Studio: compile la biblioteca en modo Release, o "
                  "enlace el entorno de ejecución estáticamente (/MT). Detalle del sistema: "));
    EXPECT_THAT(parser_reason(testing::kDebugRuntime), HasSubstr("(error 126)"));
}

TEST(WindowsLibraries, AMissingLibraryOneLevelDownIsNamedThroughItsChain) {
    EXPECT_THAT(
        parser_reason(testing::kDeeper),
        HasSubstr("Zavlek.dll necesita ayuda.dll, que necesita VCRUNTIME140D.dll, que no se encuentra"));
}

TEST(WindowsLibraries, AFileCutShortIsSaidToBe) {
    EXPECT_THAT(
        parser_reason(testing::kTruncated),
        HasSubstr("el archivo que se encontró está incompleto: sus cabeceras anuncian más datos de los que "
                  "contiene"));
}

TEST(WindowsLibraries, AMissingRedistributableIsNamedAsSuchAndApiSetsNever) {
    LoadFailure failure;
    failure.cause = LoadFailure::Cause::needs_library;
    failure.file = "Zavlek.dll";
    failure.chain = {"Zavlek.dll", "MSVCP140.dll"};
    EXPECT_THAT(
        BindingError(failure).reason(),
        HasSubstr("Zavlek.dll necesita MSVCP140.dll, que no se encuentra. MSVCP140.dll es del entorno de "
                  "ejecución de Visual C++: falta instalar el Redistribuible de Visual C++"));
    failure.chain = {"Zavlek.dll", "ucrtbased.dll"};
    EXPECT_THAT(BindingError(failure).reason(), HasSubstr("modo Release"));
    // Every library these doubles import but the missing one is found, API
    // sets included (the system's own libraries import them).
    EXPECT_THAT(parser_reason(testing::kDeeper), ::testing::Not(HasSubstr("api-ms-")));
}

TEST(WindowsLibraries, ThePeReaderReadsTheDoublesAsTheLinkerWroteThem) {
    const auto decorated = read_pe_file(testing::double_folder(testing::kDecorated) + "\\Zavlek.dll");
    ASSERT_TRUE(decorated.has_value());
    EXPECT_EQ(decorated->exports, std::vector<std::string>{"_parser_SLR@4"});
    EXPECT_FALSE(decorated->truncated);
    EXPECT_EQ(decorated->machine, sizeof(void*) == 8 ? 0x8664 : 0x14C);
    const auto deeper = read_pe_file(testing::double_folder(testing::kDeeper) + "\\Zavlek.dll");
    ASSERT_TRUE(deeper.has_value());
    EXPECT_THAT(deeper->imports, ::testing::Contains("ayuda.dll"));
    const auto truncated = read_pe_file(testing::double_folder(testing::kTruncated) + "\\Zavlek.dll");
    ASSERT_TRUE(truncated.has_value());
    EXPECT_TRUE(truncated->truncated);
}
#endif

// Entry points without extern "C" are exported under C++ names: the report
// names the one that was meant, demangled, and the cure.
TEST(LibraryAuthorsMistakes, AMangledEntryPointIsNamedWithTheCure) {
    FolderLoader loader(testing::kMangled);
    ZavlekLibrary library(loader);
    try {
        library.parser_SLR(u"x");
        FAIL() << "found parser_SLR under a C++ name";
    } catch (const BindingError& error) {
        EXPECT_EQ(error.kind(), BindingError::Kind::entry_point_missing);
        EXPECT_THAT(error.reason(),
                    HasSubstr("exporta «parser_SLR(char*)» "
                              "(«_Z10parser_SLRPc») con nombre de C++; declárelo «extern \"C\"»"));
    }
}

// A library built with cdecl entry points: on 32-bit Windows the call is a
// binding fault, with the stack restored; elsewhere it is the one convention.
TEST(LibraryAuthorsMistakes, ACdeclEntryPointIsACallingConventionFaultOnX86Only) {
    FolderLoader loader(testing::kCdecl);
    ZavlekLibrary library(loader);
    library.mPila();  // no argument: the conventions cannot be told apart
    if (!kCallingConventionMatters) {
        EXPECT_EQ(library.parser_SLR(u"x"), u"Cadena aceptada");
        EXPECT_EQ(library.tokeniza2(u"01|02"), u"01|02");
        return;
    }
    for (int round = 0; round < 3; ++round) {  // the stack stays whole call after call
        try {
            library.parser_SLR(u"x");
            FAIL() << "a cdecl parser_SLR passed for __stdcall";
        } catch (const BindingError& error) {
            EXPECT_EQ(error.kind(), BindingError::Kind::calling_convention);
            EXPECT_EQ(error.entry_point(), "parser_SLR");
            EXPECT_EQ(
                std::string(error.what()),
                "La biblioteca Zavlek.dll no declara parser_SLR con __stdcall: la llamada dejó 4 bytes en "
                "la pila, los de su argumento, que __stdcall retira (la pila se restauró antes de seguir). "
                "Declárelo así: extern \"C\" __declspec(dllexport) BSTR __stdcall parser_SLR(BSTR), "
                "exportado sin decorar (con un archivo .def o con -Wl,--kill-at)");
        }
    }
    EXPECT_THROW(library.tokeniza2(u"x"), BindingError);
}

TEST(LibraryAuthorsMistakes, TheReferenceConventionPassesTheMeasuredCall) {
    FolderLoader loader(testing::kComplete);
    Recorder recorder;
    ZavlekLibrary library(loader);
    EXPECT_EQ(library.parser_SLR(u"x"), u"resultado");
}

class TextPassing : public ::testing::Test {
protected:
    FolderLoader loader{testing::kComplete};
    Recorder recorder;
    ZavlekLibrary library{loader};
};

TEST_F(TextPassing, TheArgumentArrivesCountedAndTerminated) {
    struct Case {
        std::u16string text;
        std::string bytes;
    };
    const Case cases[] = {
        {u"01|02|03|04|05|06|07|08|09|10|11|12", "01|02|03|04|05|06|07|08|09|10|11|12"},
        {u"\u00E1\u20AC\u00F1 \u4E2D\U0001F600", "\xE1\x80\xF1\x20\x3F\x3F"},
        {u"   ", "   "},
        {u"", ""},
        {std::u16string(u"a\0b", 3), std::string("a\0b", 3)},
    };
    for (const Case& c : cases) {
        library.parser_SLR(c.text);
        EXPECT_EQ(recorder.received(kParser), counted(c.bytes));
        library.tokeniza2(c.text);
        EXPECT_EQ(recorder.received(kTokeniza2), counted(c.bytes));
    }
}

TEST_F(TextPassing, ResultsComeBackWhole) {
    std::u16string high;
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
        high += from_eight_bit(std::string(1, static_cast<char>(byte)));
    }
    struct Case {
        Result result;
        std::u16string text;
    };
    const Case cases[] = {
        {Result::normal, u"resultado"},
        {Result::empty, u""},
        {Result::null, u""},
        {Result::embedded_nul, std::u16string(u"a\0b", 3)},
        {Result::high_bytes, high},
    };
    for (const Case& c : cases) {
        recorder.answer_with(c.result);
        EXPECT_EQ(library.parser_SLR(u"x"), c.text);
        EXPECT_EQ(library.tokeniza2(u"x"), c.text);
    }
    EXPECT_EQ(high.front(), u'\u20AC');
    EXPECT_EQ(high[1], u'\u0081');
    EXPECT_EQ(high.back(), u'\u00FF');
}

TEST_F(TextPassing, ASixteenMegabyteResultIsConvertedEntirely) {
    recorder.answer_with(Result::sixteen_mb);
    const std::u16string text = library.tokeniza2(u"x");
    ASSERT_EQ(text.size(), recording_double::kSixteenMb);
    EXPECT_EQ(text[63], u'|');
    EXPECT_EQ(text.back(), u'|');
}

TEST_F(TextPassing, EveryByteGoesOutAndComesBackUnchanged) {
    std::string bytes;
    for (int byte = 0; byte < 256; ++byte) {
        bytes += static_cast<char>(byte);
    }
    const std::u16string text = from_eight_bit(bytes);
    recorder.answer_with(Result::echo);
    EXPECT_EQ(library.parser_SLR(text), text);
    EXPECT_EQ(recorder.received(kParser), counted(bytes));
}

TEST_F(TextPassing, AnAnswerThatIsTheArgumentItselfIsMalformedAndReleasedOnce) {
    // The sanitizer build reports a second release as a double free.
    recorder.answer_with(Result::argument);
    for (const std::u16string text : {u"eco \u00F1", u""}) {
        try {
            library.parser_SLR(text);
            ADD_FAILURE() << "took the argument back as the answer";
        } catch (const BindingError& error) {
            EXPECT_EQ(error.kind(), BindingError::Kind::malformed_result);
            EXPECT_THAT(error.reason(), HasSubstr("es la misma cadena que recibió como argumento"));
            EXPECT_THAT(error.reason(), HasSubstr("return SysAllocStringByteLen(texto, longitud);"));
        }
    }
    recorder.answer_with(Result::normal);
    EXPECT_EQ(library.parser_SLR(u"x"), u"resultado");
}

#if !defined(_WIN32)
// The loader's own sentence stays, as a detail on a line of its own.
TEST(LoadFailures, KeepTheSystemsSentenceAsADetail) {
    FolderLoader loader(testing::kMissing);
    ZavlekLibrary library(loader);
    try {
        library.mPila();
        FAIL();
    } catch (const BindingError& error) {
        EXPECT_THAT(error.reason(), HasSubstr("\nDetalle del sistema: "));
        EXPECT_THAT(error.reason(), HasSubstr("cannot open shared object file: No such file or directory"));
        EXPECT_THAT(error.reason(),
                    HasSubstr("póngala junto al programa o en una carpeta de LD_LIBRARY_PATH"));
    }
}

TEST(LoadFailures, ALibraryForAnotherArchitectureIsNamedAsSuch) {
    // The ELF identification of a 32-bit library, padded past the length of
    // a 64-bit header, which the loader reads first.
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "kavrelo-elf32";
    std::filesystem::create_directories(folder);
    {
        std::string header(512, '\0');
        header.replace(0, 7,
                       "\x7F"
                       "ELF\x01\x01\x01");
        std::ofstream(folder / "libZavlek.so", std::ios::binary) << header;
    }
    FolderLoader loader(FolderLoader::Folder{folder.string()});
    ZavlekLibrary library(loader);
    try {
        library.mPila();
        FAIL();
    } catch (const BindingError& error) {
        EXPECT_THAT(error.reason(),
                    HasSubstr("libZavlek.so es una biblioteca de 32 bits y este programa es de 64 bits"));
    }
    std::filesystem::remove_all(folder);
}

#endif

// Past the end of memory, and past its block only: the bytes after a block
// can often be read, and are still none of the string's.
TEST_F(TextPassing, ACountBeyondItsBlockIsAMalformedStringNamedByItsEntryPoint) {
    const std::pair<Result, const char*> cases[] = {{Result::bogus_count, "(4294967280 bytes)"},
                                                    {Result::count_past_block, "(200 bytes)"}};
    for (const auto& [beyond, count] : cases) {
        recorder.answer_with(beyond);
        try {
            library.parser_SLR(u"x");
            ADD_FAILURE() << "read a string whose count runs past its block: " << count;
        } catch (const BindingError& error) {
            EXPECT_EQ(error.kind(), BindingError::Kind::malformed_result);
            EXPECT_EQ(error.entry_point(), "parser_SLR");
            EXPECT_THAT(
                std::string(error.what()),
                HasSubstr(std::string("devolvió desde parser_SLR una cadena mal formada: la longitud que "
                                      "declara ") +
                          count + " no cabe en el bloque que la contiene"));
        }
    }
    recorder.answer_with(Result::normal);
    EXPECT_EQ(library.parser_SLR(u"x"), u"resultado");  // well-formed strings pass untouched
}
// Pointers at no string block of the allocator's are neither read by their
// count nor freed: each is a malformed string, and the program goes on to the
// report instead of crashing.
TEST_F(TextPassing, AnAnswerAtNoStringBlockIsAMalformedStringAndNeitherReadNorFreed) {
    const std::u16string argument = u"una expresión bastante larga";
    for (const Result hostile : {Result::constant, Result::inside_argument, Result::unreadable}) {
        recorder.answer_with(hostile);
        try {
            library.parser_SLR(argument);
            ADD_FAILURE() << "read the answer of kind " << static_cast<int>(hostile);
        } catch (const BindingError& error) {
            EXPECT_EQ(error.kind(), BindingError::Kind::malformed_result);
            EXPECT_THAT(std::string(error.what()),
                        HasSubstr("devolvió desde parser_SLR una cadena mal formada"));
            EXPECT_THAT(error.reason(), HasSubstr("no es el de una cadena de SysAllocStringByteLen"))
                << static_cast<int>(hostile);
        }
    }
    recorder.answer_with(Result::normal);
    EXPECT_EQ(library.parser_SLR(argument), u"resultado");
}

#if !defined(_WIN32)
// Memory of the library's own, laid out as a string block is: the words the
// allocator keeps in front of its blocks are not there, or say what no block
// says. Asking the allocator about such a pointer, or freeing it, would end
// the program. Each is said with where it points.
TEST_F(TextPassing, MemoryOfTheLibrarysOwnIsAMalformedStringAndNeitherReadNorFreed) {
    const struct {
        Result answer;
        const char* place;
    } shapes[] = {
        {Result::inside_large_block, "al interior de otro bloque"},
        {Result::in_a_mapping, "al interior de otro bloque"},
        {Result::static_storage, "datos estáticos de una biblioteca cargada"},
        {Result::thread_local_storage, "al interior de otro bloque"},
        {Result::constant, "una constante"},
        {Result::unreadable, "memoria que no se puede leer"},
    };
    for (const auto& shape : shapes) {
        recorder.answer_with(shape.answer);
        try {
            library.parser_SLR(u"x");
            ADD_FAILURE() << "read the answer of kind " << static_cast<int>(shape.answer);
        } catch (const BindingError& error) {
            EXPECT_EQ(error.kind(), BindingError::Kind::malformed_result);
            EXPECT_THAT(error.reason(),
                        HasSubstr("no es el de una cadena de SysAllocStringByteLen: apunta a"));
            EXPECT_THAT(error.reason(), HasSubstr(shape.place)) << static_cast<int>(shape.answer);
        }
    }
    recorder.answer_with(Result::normal);
    EXPECT_EQ(library.parser_SLR(u"x"), u"resultado");
}
#endif

// A block another thread took from the allocator lies in that thread's own
// arena, far from the main heap: a sound answer all the same.
TEST_F(TextPassing, AnAnswerAllocatedByAnotherThreadIsSound) {
    recorder.answer_with(Result::from_another_thread);
    for (int call = 0; call < 100; ++call) {
        ASSERT_EQ(library.parser_SLR(u"x"), u"resultado") << "call " << call;
    }
}

// An exception the library lets out is its fault, said with its type and
// message and the cure, not an error of the program's own.
TEST_F(TextPassing, AnExceptionThatLeavesAnEntryPointIsTheLibrarysFault) {
#if defined(_WIN32) && defined(__i386__)
    GTEST_SKIP() << "32-bit Windows unwinds an exception only within the runtime that threw it";
#endif
    recorder.answer_with(Result::out_of_range);
    try {
        library.tokeniza2(u"99999999999");
        FAIL() << "the exception went through";
    } catch (const BindingError& error) {
        EXPECT_EQ(error.kind(), BindingError::Kind::escaped_exception);
        EXPECT_EQ(error.entry_point(), "tokeniza2");
        EXPECT_THAT(
            std::string(error.what()),
            HasSubstr("dejó escapar una excepción de C++ desde tokeniza2: std::out_of_range («stoi»)"));
        EXPECT_THAT(error.reason(), HasSubstr("atrápela dentro de tokeniza2"));
    }
    recorder.answer_with(Result::normal);
    EXPECT_EQ(library.tokeniza2(u"x"), u"resultado");
}

TEST_F(TextPassing, WhatTheLibraryWritesIntoTheArgumentIsLost) {
    recorder.answer_with(Result::scribble);
    const std::u16string text = u"intacto";
    EXPECT_EQ(library.parser_SLR(text), u"resultado");
    EXPECT_EQ(text, u"intacto");
}

TEST(LibraryString, IsLaidOutAsCountBytesAndNul) {
    const LibraryString string = make_library_string(u"abc\u00E9");
    const auto* first = reinterpret_cast<const unsigned char*>(string.get());
    std::uint32_t count;
    std::memcpy(&count, first - 4, 4);
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(std::memcmp(first, "abc\xE9", 5), 0);  // includes the NUL
    EXPECT_EQ(bytes_of(string), "abc\xE9");
    EXPECT_EQ(text_of(string), u"abc\u00E9");
    EXPECT_EQ(text_of(LibraryString{}), u"");
}

}  // namespace
}  // namespace kavrelo::binding
