// SPDX-License-Identifier: MIT
// The children's side of each mode: the work that calls the library, its
// records and report on the channel to the parent.
#include "chosen_library.h"
#include "core/cases/case_run.h"
#include "core/children/case_channel.h"
#include "core/children/case_output.h"
#include "core/contract/contract_checks.h"
#include "core/fuzzing/fuzz_run.h"
#include "handlers.h"
#include "modes.h"
#include "platform.h"

#include <binding/codepage.h>
#include <binding/loader.h>
#include <binding/zavlek_library.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <optional>
#include <stdexcept>

namespace kavrelo::zavlek_call {
namespace {

// The entry point or check a child works on; empty when none was named.
std::string first_word(const std::vector<std::string>& words) {
    return words.empty() ? std::string() : words[0];
}

// The calls of calls_for_child on standard input; nothing, said, when they
// could not be read.
std::optional<std::vector<CaseCall>> calls_on_standard_input() {
    const std::optional<ReadBytes> input = read_at_most(stdin, std::string().max_size());
    std::optional<std::vector<CaseCall>> calls = input ? calls_from_parent(input->bytes) : std::nullopt;
    if (!calls) tell("no se pudieron leer los casos en la entrada estándar");
    return calls;
}

}  // namespace

// --child CHANNEL call ENTRY_POINT [--library FILE]: the 8-bit text on
// standard input, the library's answer, its bytes as they came, in the
// report. A text is sent as fuzz sends it,
// with the same inspections: an input fuzz saved shows its fault here again.
ChildReport child_call(std::string_view, const std::vector<std::string>& words, const Options& options) {
    const std::string name = first_word(words);
    const binding::Declaration* declaration = binding::declaration_named(name);
    if (declaration == nullptr) {
        tell(unknown_entry_point(name));
        return {kWrongUsage, {}};
    }
    const std::unique_ptr<binding::Loader> loader = make_loader(options.library);
    binding::ZavlekLibrary library(*loader);
    try {
        if (!declaration->takes_text) {
            guarded(name, [&] { library.call(declaration->entry_point); });
            return {kDone, {}};
        }
        const std::optional<ReadBytes> text = read_at_most(stdin, kLargestText);
        if (!text) {
            throw std::runtime_error("no se pudo leer el texto en la entrada estándar");
        }
        const auto function =
            reinterpret_cast<binding::TextToText>(library.bound_address(declaration->entry_point));
        InspectedCall inspected =
            inspected_call(function, declaration->entry_point, text->bytes, ThisProcess());
        if (inspected.ending.kind != ChildEnding::Kind::returned) {
            return {kContractBroken, ending_record(inspected.ending)};
        }
        return {kDone, std::move(inspected.answer)};
    } catch (const LibraryThrew& threw) {
        return {kContractBroken, ending_record(threw.ending)};
    } catch (const binding::BindingError& error) {
        tell(error.what());
        return {kNotBound, {}};
    }
}

// One case of a run: its record, the answer or why the case failed.
ChildReport case_done(binding::ZavlekLibrary& library, const CaseCall& call) {
    const std::string_view name = binding::declaration_of(call.entry_point).name;
    try {
        if (!binding::declaration_of(call.entry_point).takes_text) {
            guarded(name, [&] { library.call(call.entry_point); });
            return {kDone, {}};
        }
        return {kDone, guarded(name, [&] { return library.call_with_bytes(call.entry_point, call.text); })};
    } catch (const LibraryThrew& threw) {
        return {kContractBroken, in_words(threw.ending, threw.entry_point)};
    } catch (const binding::BindingError& error) {
        // A library that cannot be loaded leaves no case to run; any other
        // fault (an answer out of shape, an entry point it lacks) is this
        // case's.
        const bool nothing_can_run = error.kind() == binding::BindingError::Kind::library_not_loaded;
        return {nothing_can_run ? kNotBound : kContractBroken, error.what()};
    } catch (const std::length_error& error) {
        return {kInternalError, "la respuesta es más larga de lo que zavlek-call puede mostrar: " +
                                    std::string(error.what())};
    }
}

namespace {

// The mark that ends what the library printed during a run's case, once
// whatever the library left in a buffer of C's or C++'s is written: in the
// stream itself, standard output and error being one pipe, so that the
// parent tells whose each byte is however that pipe and the channel
// interleave as it reads them.
void end_case_output(std::size_t index) {
    std::cout.flush();
    std::clog.flush();
    std::fflush(nullptr);
    const std::string mark = case_output_mark(index);
    std::fwrite(mark.data(), 1, mark.size(), stdout);
    std::fflush(stdout);
}

}  // namespace

// --child CHANNEL run [--library FILE]: the calls of calls_for_child on
// standard input; after each, the mark that ends what the library printed
// during it (end_case_output), then a record of it on the channel as soon
// as it is done, so that a crash or a hang in a later one leaves it known,
// and for a call with a pattern, once it is searched in the answer, a
// record of how the search ended: the parent stops a search as it stops a
// call. A case that failed otherwise than by its answer ends the child: the
// library may be left in any state, and the rest go to a new one.
ChildReport child_run(std::string_view channel, const std::vector<std::string>& words,
                      const Options& options) {
    const std::optional<std::vector<CaseCall>> calls = calls_on_standard_input();
    if (!calls) return {kInternalError, {}};
    if (!words.empty() && words[0] == kSearchOnly) {
        // The grading process's searches of its hidden patterns, in answers
        // that came before: no library here to read them.
        for (const CaseCall& call : *calls) {
            if (!call.pattern ||
                !send_to_parent(channel,
                                search_record(searched(*call.pattern, binding::from_eight_bit(call.text))))) {
                return {kInternalError, {}};
            }
        }
        return {kDone, {}};
    }
    const std::unique_ptr<binding::Loader> loader = make_loader(options.library);
    binding::ZavlekLibrary library(*loader);
    for (std::size_t i = 0; i < calls->size(); ++i) {
        const CaseCall& call = (*calls)[i];
        const ChildReport record = case_done(library, call);
        end_case_output(i);
        if (!send_to_parent(channel, case_record(record))) return {kInternalError, {}};
        if (record.status != kDone) return {record.status, {}};
        if (call.pattern &&
            !send_to_parent(
                channel, search_record(searched(*call.pattern, binding::from_eight_bit(record.content))))) {
            return {kInternalError, {}};
        }
    }
    return {kDone, {}};
}

namespace {

// Inputs a copy of the fuzz child serves before a fresh one takes over:
// enough for its fork to cost little beside them, few enough that what the
// library keeps from call to call is soon put back as it was.
constexpr std::size_t kInputsPerCopy = 1000;

// The entry point fuzz sends its inputs to, bound, and where the records go.
struct FuzzTarget {
    std::string_view channel;
    binding::EntryPoint entry_point{};
    binding::TextToText function = nullptr;
};

// One text inspected as a call inspects it, and its record sent; whether the
// library answered it soundly, which leaves it fit for the next.
bool answered_soundly(const FuzzTarget& target, std::string_view text) {
    try {
        const InspectedCall inspected =
            inspected_call(target.function, target.entry_point, text, ThisProcess());
        send_to_parent(target.channel, fuzz_record(inspected));
        return inspected.ending.kind == ChildEnding::Kind::returned;
    } catch (const binding::BindingError& error) {
        send_to_parent(target.channel, case_record({kNotBound, error.what()}));
    } catch (const std::exception& error) {
        // Ours, not the library's: said in the record.
        send_to_parent(target.channel, case_record({kInternalError, error.what()}));
    }
    return false;
}

// The call each fuzz child makes before the inputs, with a text any sound
// library answers, in a copy of its own: its record comes first, and when it
// fails no input is sent. The copy's state goes with it, so that every input
// meets the library as the call that reproduces a finding meets it. Where
// no copy can take that state away (Windows), a child that gives each input
// a copy of its own, as those that confirm and shrink a finding do, makes no
// such call: whatever the call leaves behind for the inputs of a child that
// serves many is then never confirmed on an input alone, and no input is
// blamed for it. Its record, an answer, says that nothing stands in the
// inputs' way.
bool warmed_up(const FuzzTarget& target, bool copy_per_input) {
    if (copy_per_input && !copies_are_processes()) {
        return send_to_parent(target.channel, case_record({kDone, {}}));
    }
    const std::string text = binding::to_eight_bit(kShortExpression);
    const CopyEnding copy = work_in_a_copy([&](const StepDone& step_done) {
        if (answered_soundly(target, text)) step_done();
    });
    if (copy.ended) send_to_parent(target.channel, fuzz_record(*copy.ended));
    return copy.steps == 1;
}

// The texts in copies of this process, a copy serving up to `per_copy` of
// them one after another and ending after the first that showed a fault;
// a copy that ended during one leaves that one's record to us, and the rest
// go to a fresh copy. False when a record could not be sent.
bool served_in_copies(const FuzzTarget& target, const std::vector<CaseCall>& calls, std::size_t per_copy) {
    std::size_t next = 0;
    while (next < calls.size()) {
        const std::size_t end = std::min(calls.size(), next + per_copy);
        const CopyEnding copy = work_in_a_copy([&](const StepDone& step_done) {
            for (std::size_t i = next; i < end; ++i) {
                const bool sound = answered_soundly(target, calls[i].text);
                step_done();
                if (!sound) return;
            }
        });
        next += std::min(copy.steps, end - next);
        if (copy.ended && next < end) {
            if (!send_to_parent(target.channel, fuzz_record(*copy.ended))) return false;
            ++next;
        }
    }
    return true;
}

}  // namespace

// --child CHANNEL fuzz ENTRY_POINT [--library FILE] [--sin-persistencia]:
// the texts of calls_for_child on standard input, each inspected as a call
// inspects it, in copies of this process made once the library is bound
// (work_in_a_copy), many to a copy, or one (--sin-persistencia): a crash
// ends a copy alone. A record on the channel for the call made before them
// all, then for each: its answer, or the fault it showed.
ChildReport child_fuzz(std::string_view channel, const std::vector<std::string>& words,
                       const Options& options) {
    const std::string name = first_word(words);
    const binding::Declaration* declaration = binding::declaration_named(name);
    if (declaration == nullptr || !declaration->takes_text) {
        tell(unknown_entry_point(name));
        return {kWrongUsage, {}};
    }
    const std::optional<std::vector<CaseCall>> calls = calls_on_standard_input();
    if (!calls) return {kInternalError, {}};
    const std::unique_ptr<binding::Loader> loader = make_loader(options.library);
    binding::ZavlekLibrary library(*loader);
    FuzzTarget target{channel, declaration->entry_point};
    try {
        target.function =
            reinterpret_cast<binding::TextToText>(library.bound_address(declaration->entry_point));
    } catch (const binding::BindingError& error) {
        send_to_parent(channel, case_record({kNotBound, error.what()}));
        return {kNotBound, {}};
    }
    // When the first call fails, its record says why.
    if (!warmed_up(target, options.copy_per_input)) return {kDone, {}};
    const bool served = served_in_copies(target, *calls, options.copy_per_input ? 1 : kInputsPerCopy);
    return {served ? kDone : kInternalError, {}};
}

// --child CHANNEL check ID [--library FILE]: the finding in the report;
// before it, a record on the channel for each input of a check that sends
// many, before the input is sent.
ChildReport child_check(std::string_view channel, const std::vector<std::string>& words,
                        const Options& options) {
    const std::unique_ptr<binding::Loader> loader = make_loader(options.library);
    const auto announce = [channel](std::string_view input_in_words) {
        send_to_parent(channel, case_record({kDone, std::string(input_in_words)}));
    };
    const Finding finding = perform_check(first_word(words), *loader, ThisProcess(), announce);
    return {finding.library_not_loaded ? kNotBound : kDone, report_finding(finding)};
}

}  // namespace kavrelo::zavlek_call
