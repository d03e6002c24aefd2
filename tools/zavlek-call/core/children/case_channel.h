// SPDX-License-Identifier: MIT
// What passes between zavlek-call and the child that runs a file's cases:
// the cases on the child's standard input, and on its private channel one
// record per case as soon as the case is done, so that the cases done
// before a crash or a hang are known and the rest can go to a new child.
#pragma once

#include "core/children/child_report.h"
#include "core/children/children.h"

#include <binding/entry_points.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kavrelo::zavlek_call {

struct CaseCall {
    binding::EntryPoint entry_point{};
    // The library's 8-bit text; empty for an entry point that takes none.
    std::string text;
    // For a case whose answer must match a pattern: the pattern as the case
    // file writes it. The child searches it in the answer, so that the
    // search counts against the case's time limit, as the call does: a
    // pattern can take hours over a long answer.
    std::optional<std::string> pattern = std::nullopt;
};

std::string calls_for_child(const std::vector<CaseCall>& calls);
// Nothing when the bytes are not calls_for_child's.
std::optional<std::vector<CaseCall>> calls_from_parent(std::string_view bytes);

// A call's record: kDone with the answer (as the call's text travels), or
// the status the child ends with and why, in words, or (kFindings) how the
// call ended, as ending_record writes it.
std::string case_record(const ChildReport& record);

// The whole records at the start of what a child sent, and how many bytes
// they take; each content lies in what was sent.
struct CaseRecord {
    int status = 0;
    std::string_view content;
};
struct CaseRecords {
    std::vector<CaseRecord> records;
    std::size_t length = 0;
};
CaseRecords case_records(std::string_view sent);

// Progress for a child that sends a record at each step: every whole record
// completes one.
Progress record_by_record();

// A child's arguments: its role, what it works on (an entry point, a
// check), and the library when one was named (absolute; empty for the
// ordinary search).
std::vector<std::string> child_arguments(std::string_view role, std::optional<std::string_view> what,
                                         const std::string& library);

}  // namespace kavrelo::zavlek_call
