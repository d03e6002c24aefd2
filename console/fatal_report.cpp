// SPDX-License-Identifier: MIT
#include "fatal_report.h"

#include <binding/loader.h>
#include <text/utf8.h>

#include <new>

namespace kavrelo::console {
namespace {

constexpr std::u16string_view kClosing = u"\n\nKavrelo1 se cerrará.";

std::u16string with_closing(std::u16string_view cause) {
    std::u16string report(cause);
    report += kClosing;
    return report;
}

}  // namespace

std::u16string fatal_report(const std::exception& error) {
    if (dynamic_cast<const binding::BindingError*>(&error) != nullptr) {
        return with_closing(u"Error fatal. " + text::from_utf8(error.what()) + u".");
    }
    if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) {
        return with_closing(u"Error fatal: memoria insuficiente.");
    }
    return with_closing(u"Error fatal inesperado: " + text::from_utf8(error.what()));
}

std::u16string library_crash_report(std::u16string_view sentence, std::u16string_view text) {
    std::u16string cause = u"Error fatal. " + std::u16string(sentence) + u".";
    if (!text.empty()) {
        cause += u"\nTexto enviado: «" + std::u16string(text) + u"».";
    }
    return with_closing(cause);
}

std::u16string fatal_report() { return with_closing(u"Error fatal inesperado."); }

}  // namespace kavrelo::console
