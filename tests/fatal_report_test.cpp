#include <binding/loader.h>
#include <console/fatal_report.h>
#include <console/utf8.h>

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

namespace kavrelo::console {
namespace {

TEST(FatalReport, NamesWhatIsMissingAndWhyAndThatTheProgramWillClose) {
    const binding::BindingError error(binding::BindingError::Kind::entry_point_missing, "libZavlek.so",
                                      "mPila", "libZavlek.so: undefined symbol: mPila");
    EXPECT_EQ(fatal_report(error),
              u"Error fatal. La biblioteca libZavlek.so no tiene el punto de entrada mPila: "
              u"libZavlek.so: undefined symbol: mPila.\n\nKavrelo1 se cerrar\u00E1.");
    EXPECT_EQ(fatal_report(std::bad_alloc()), u"Error fatal: memoria insuficiente.\n\nKavrelo1 se cerrar\u00E1.");
    EXPECT_EQ(fatal_report(std::runtime_error("p\xC3\xA1nico")),
              u"Error fatal inesperado: p\u00E1nico\n\nKavrelo1 se cerrar\u00E1.");
}

TEST(Utf8, SystemReasonsDecodeAndMalformedBytesAreReplaced) {
    EXPECT_EQ(from_utf8("\xC3\xB1 \xE2\x82\xAC \xF0\x9F\x98\x80"), u"\u00F1 \u20AC \U0001F600");
    EXPECT_EQ(from_utf8("a\xFF" "b"), u"a\uFFFDb");
    EXPECT_EQ(from_utf8("\xC0\xAF"), u"\uFFFD\uFFFD");         // overlong
    EXPECT_EQ(from_utf8("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
    EXPECT_EQ(from_utf8("\xE2\x82"), u"\uFFFD\uFFFD");          // cut short
}

}  // namespace
}  // namespace kavrelo::console
