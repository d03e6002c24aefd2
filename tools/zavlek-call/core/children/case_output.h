// SPDX-License-Identifier: MIT
// What the library prints during a run, its author's debugging output, told
// case by case: the child that runs the cases writes a mark on its standard
// output after each call (case_output_mark), once whatever the library left
// in a buffer is written, so that what came before a mark is that case's,
// and what came after the last one is the case's under way when the child
// ended: a crash keeps what was printed just before it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kavrelo::zavlek_call {

// The mark after the call of the child's case at `index` (0 for its first):
// numbered, so that a library would have to print the very mark due next to
// pass for the child.
std::string case_output_mark(std::size_t index);

// A child's standard output and error, read as they come; a case's kept in
// part (what shown_output shows of it), however much the library prints.
class CaseOutputs {
public:
    void take(std::string_view bytes);
    // What each case printed, as shown_output shows it, in the order of the
    // child's cases: the last the case under way when the child ended, empty
    // when it printed nothing.
    std::vector<std::string> shown() const;

private:
    struct Printed {
        std::string kept;
        std::size_t length = 0;
        void add(std::string_view bytes);
    };

    std::vector<Printed> cases_ = std::vector<Printed>(1);
    // The last bytes, that may be the start of the mark due next.
    std::string pending_;
};

// The bytes a case printed, as a report shows them: UTF-8, their line ends
// as "\n", controls and bytes that are no UTF-8 as with_visible_controls
// writes them; beyond kShownOutput bytes, cut where a character starts and
// said how many bytes were left out.
inline constexpr std::size_t kShownOutput = 4096;
std::string shown_output(std::string_view bytes, std::size_t length);

}  // namespace kavrelo::zavlek_call
