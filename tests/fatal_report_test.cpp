// SPDX-License-Identifier: MIT
#include <binding/loader.h>
#include <console/fatal_report.h>

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

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

}  // namespace
}  // namespace kavrelo::console
