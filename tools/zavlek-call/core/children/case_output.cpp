// SPDX-License-Identifier: MIT
#include "core/children/case_output.h"

#include <text/utf8.h>

#include <algorithm>

namespace kavrelo::zavlek_call {
namespace {

bool continues_a_character(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

}  // namespace

std::string case_output_mark(std::size_t index) {
    return "\x1F"
           "zavlek-call: fin de la salida del caso " +
           std::to_string(index) + "\x1F";
}

void CaseOutputs::take(std::string_view bytes) {
    pending_.append(bytes);
    for (;;) {
        const std::string mark = case_output_mark(cases_.size() - 1);
        const std::size_t at = pending_.find(mark);
        if (at == std::string::npos) {
            // All but what may start the mark, which the next bytes may end.
            const std::size_t kept = std::min(pending_.size(), mark.size() - 1);
            cases_.back().add(std::string_view(pending_).substr(0, pending_.size() - kept));
            pending_.erase(0, pending_.size() - kept);
            return;
        }
        cases_.back().add(std::string_view(pending_).substr(0, at));
        pending_.erase(0, at + mark.size());
        cases_.emplace_back();
    }
}

void CaseOutputs::Printed::add(std::string_view bytes) {
    // One byte past what is shown tells whether the cut splits a character.
    kept.append(bytes.substr(0, kShownOutput + 1 - std::min(kept.size(), kShownOutput + 1)));
    length += bytes.size();
}

std::vector<std::string> CaseOutputs::shown() const {
    std::vector<std::string> shown;
    for (std::size_t i = 0; i < cases_.size(); ++i) {
        Printed printed = cases_[i];
        // What came after the last mark starts none, now the child has ended.
        if (i + 1 == cases_.size()) printed.add(pending_);
        shown.push_back(shown_output(printed.kept, printed.length));
    }
    return shown;
}

std::string shown_output(std::string_view bytes, std::size_t length) {
    // A character takes four bytes at most: three of them may lie before the cut.
    const std::size_t most = std::min(bytes.size(), kShownOutput);
    std::size_t cut = most;
    while (cut > 0 && cut < bytes.size() && most - cut < 3 && continues_a_character(bytes[cut])) --cut;
    std::string kept(bytes.substr(0, cut));
    // A library's C runtime in text mode writes its line ends as "\r\n".
    for (std::size_t at = 0; (at = kept.find("\r\n", at)) != std::string::npos;) kept.erase(at, 1);
    std::string shown = text::with_visible_controls(kept);
    if (cut < length) {
        const std::size_t left_out = length - cut;
        shown += "\xE2\x80\xA6 (" + std::to_string(left_out) + (left_out == 1 ? " byte más)" : " bytes más)");
    }
    return shown;
}

}  // namespace kavrelo::zavlek_call
