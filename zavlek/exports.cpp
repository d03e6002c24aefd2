// SPDX-License-Identifier: MIT
// The four entry points of the library.
#include "report_output.h"
#include "reports.h"

#include <zavlek.h>

#include <limits>
#include <string>
#include <string_view>

namespace {

std::string_view argument_bytes(BSTR text) {
    return {reinterpret_cast<const char*>(text), SysStringByteLen(text)};
}

// The answer as a string the console owns and frees; NULL only when memory
// runs out.
BSTR answer(const std::string& bytes) {
    if (bytes.size() > std::numeric_limits<unsigned int>::max() - 16u) {
        return answer("Resultado demasiado grande");
    }
    return SysAllocStringByteLen(bytes.data(), static_cast<unsigned int>(bytes.size()));
}

// A C++ exception must not cross into the caller.
template <typename Body>
BSTR guarded(Body body) noexcept {
    try {
        return answer(body());
    } catch (...) {
        return nullptr;
    }
}

void write_report(std::string (*report)()) noexcept {
    try {
        zavlek::write_report_text(report());
    } catch (...) {
    }
}

}  // namespace

extern "C" {

ZAVLEK_API void ZAVLEK_CALL mPila(void) { write_report(zavlek::stack_self_test_report); }

ZAVLEK_API void ZAVLEK_CALL tokeniza(void) { write_report(zavlek::sample_tokens_report); }

ZAVLEK_API BSTR ZAVLEK_CALL tokeniza2(BSTR text) {
    return guarded([text] { return zavlek::token_list(argument_bytes(text)); });
}

ZAVLEK_API BSTR ZAVLEK_CALL parser_SLR(BSTR text) {
    return guarded([text] { return zavlek::parser_answer(argument_bytes(text)); });
}
}
