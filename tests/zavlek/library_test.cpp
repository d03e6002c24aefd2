// The reference library as the console meets it: loaded from its file and
// called through the binding.
#include "support/doubles.h"

#include <binding/zavlek_library.h>

#include <gtest/gtest.h>

#include <string>

namespace kavrelo {
namespace {

class ReferenceLibrary : public ::testing::Test {
protected:
    testing::FolderLoader loader{testing::FolderLoader::Folder{KAVRELO_REFERENCE_LIBRARY_DIR}};
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

}  // namespace
}  // namespace kavrelo
