// SPDX-License-Identifier: MIT
// zavlek-call: a Zavlek library from the command line, and its contract
// checked. Every call into the library happens in a child process (this
// program run again with --child), so that a library that crashes or hangs is
// reported and never takes the tool down.
#include "core/children/case_channel.h"
#include "core/cases/case_file.h"
#include "core/cases/case_run.h"
#include "core/children/child_report.h"
#include "core/children/ending.h"
#include "chosen_library.h"
#include "command_line.h"
#include "core/contract/contract_checks.h"
#include "core/reports/fuzz_report.h"
#include "core/fuzzing/fuzz_run.h"
#include "fuzz_status.h"
#include "core/reports/junit_report.h"
#include "platform.h"
#include "core/reports/check_report.h"
#include "core/reports/tap_report.h"

#include <binding/codepage.h>
#include <binding/loader.h>
#include <binding/zavlek_library.h>
#include <text/numbers.h>
#include <text/utf8.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <stdexcept>

namespace kavrelo::zavlek_call {
namespace {

// Case files not in the format; each line at fault has been said.
struct CaseFormatError {};

// Every message for people passes here: a library's or a file's name may hold
// controls that would drive the terminal.
void tell(std::string_view text) {
    write_standard_error("zavlek-call: " + text::with_visible_controls(text) + "\n");
}

std::string_view name_of(binding::EntryPoint entry_point) {
    return binding::declaration_of(entry_point).name;
}

std::vector<std::string> child_arguments(std::string_view role, std::string_view what,
                                         const std::string& library) {
    std::vector<std::string> arguments{std::string(role), std::string(what)};
    if (!library.empty()) {
        arguments.insert(arguments.end(), {"--library", library});
    }
    return arguments;
}

// --- in the child -------------------------------------------------------

// --child CHANNEL call ENTRY_POINT [--library FILE] [--raw]: the text on
// standard input, the answer in the report. A text is sent as fuzz sends it,
// with the same inspections: an input fuzz saved shows its fault here again.
ChildReport child_call(const std::string& name, const Options& options) {
    const binding::Declaration* declaration = binding::declaration_named(name);
    if (declaration == nullptr) {
        tell(unknown_entry_point(name));
        return {kWrongUsage, {}};
    }
    const std::unique_ptr<binding::Loader> loader = make_loader(options.library);
    binding::ZavlekLibrary library(*loader);
    try {
        if (!declaration->takes_text) {
            library.call(declaration->entry_point);
            return {kDone, {}};
        }
        const std::optional<ReadBytes> text = read_at_most(stdin, kLargestText);
        if (!text) {
            throw std::runtime_error("no se pudo leer el texto en la entrada estándar");
        }
        const auto function =
            reinterpret_cast<binding::TextToText>(library.bound_address(declaration->entry_point));
        const InspectedCall inspected =
            inspected_call(function, declaration->entry_point, text::from_utf8(text->bytes), ThisProcess());
        if (inspected.broken || inspected.leak) {
            tell(inspected.broken ? *inspected.broken : *inspected.leak);
            return {kContractBroken, {}};
        }
        return {kDone, options.raw ? inspected.answer
                                   : text::to_utf8(binding::from_eight_bit(inspected.answer)) + "\n"};
    } catch (const binding::BindingError& error) {
        tell(error.what());
        return {kNotBound, {}};
    } catch (const std::length_error& error) {
        // The text sent is limited well below any length limit: only an
        // answer is ever too long, for what zavlek-call can convert.
        tell("la respuesta de " + name +
             " es más larga de lo que zavlek-call puede mostrar: " + error.what());
        return {kInternalError, {}};
    }
}

// The calls of calls_for_child on standard input; nothing, said, when they
// could not be read.
std::optional<std::vector<CaseCall>> calls_on_standard_input() {
    const std::optional<ReadBytes> input = read_at_most(stdin, std::string().max_size());
    std::optional<std::vector<CaseCall>> calls = input ? calls_from_parent(input->bytes) : std::nullopt;
    if (!calls) tell("no se pudieron leer los casos en la entrada estándar");
    return calls;
}

// --child CHANNEL run casos [--library FILE]: the calls of calls_for_child on
// standard input; a record of each on the channel as soon as it is done, so
// that a crash or a hang in a later one leaves it known.
ChildReport child_run(std::string_view channel, const Options& options) {
    const std::optional<std::vector<CaseCall>> calls = calls_on_standard_input();
    if (!calls) return {kInternalError, {}};
    const std::unique_ptr<binding::Loader> loader = make_loader(options.library);
    binding::ZavlekLibrary library(*loader);
    for (const CaseCall& call : *calls) {
        ChildReport record{kDone, {}};
        try {
            if (binding::declaration_of(call.entry_point).takes_text) {
                record.content = text::to_utf8(library.call(call.entry_point, text::from_utf8(call.text)));
            } else {
                library.call(call.entry_point);
            }
        } catch (const binding::BindingError& error) {
            record = {kNotBound, error.what()};
        } catch (const std::length_error& error) {
            record = {kInternalError, "la respuesta es más larga de lo que zavlek-call puede mostrar: " +
                                          std::string(error.what())};
        }
        if (!send_to_parent(channel, case_record(record))) return {kInternalError, {}};
        if (record.status == kNotBound) return {kNotBound, {}};
    }
    return {kDone, {}};
}

// --child CHANNEL fuzz ENTRY_POINT [--library FILE]: the texts of
// calls_for_child on standard input, each inspected as a call inspects it,
// in a copy of this process made for it once the library is bound and has
// answered once (ended_before_done): every input meets the library as that
// first call left it, tables and all, and a crash ends that copy alone. A
// record of each on the channel: its answer, or the fault it showed.
ChildReport child_fuzz(std::string_view channel, const std::string& name, const Options& options) {
    const binding::Declaration* declaration = binding::declaration_named(name);
    if (declaration == nullptr || !declaration->takes_text) {
        tell(unknown_entry_point(name));
        return {kWrongUsage, {}};
    }
    const std::optional<std::vector<CaseCall>> calls = calls_on_standard_input();
    if (!calls) return {kInternalError, {}};
    const std::unique_ptr<binding::Loader> loader = make_loader(options.library);
    binding::ZavlekLibrary library(*loader);
    binding::TextToText function = nullptr;
    const auto not_bound = [&channel](const binding::BindingError& error) {
        send_to_parent(channel, case_record({kNotBound, error.what()}));
    };
    try {
        function = reinterpret_cast<binding::TextToText>(library.bound_address(declaration->entry_point));
        inspected_call(function, declaration->entry_point, kShortExpression, ThisProcess());
    } catch (const binding::BindingError& error) {
        not_bound(error);
        return {kNotBound, {}};
    }
    for (const CaseCall& call : *calls) {
        const std::optional<ChildOutcome> ended = ended_before_done([&] {
            try {
                send_to_parent(channel,
                               fuzz_record(inspected_call(function, declaration->entry_point,
                                                          text::from_utf8(call.text), ThisProcess())));
            } catch (const binding::BindingError& error) {
                not_bound(error);
            } catch (const std::exception& error) {
                // Ours, not the library's; said in the copy's record, for the
                // copy ends here whatever happens.
                send_to_parent(channel, case_record({kInternalError, error.what()}));
            }
        });
        if (ended && !send_to_parent(channel, fuzz_record(*ended, name))) return {kInternalError, {}};
    }
    return {kDone, {}};
}

// --child CHANNEL check ID [--library FILE]: the finding in the report.
ChildReport child_check(const std::string& id, const Options& options) {
    const std::unique_ptr<binding::Loader> loader = make_loader(options.library);
    const Finding finding = perform_check(id, *loader, ThisProcess());
    return {finding.library_not_loaded ? kNotBound : kDone, report_finding(finding)};
}

// ROLE WHAT [OPTIONS], the child's own options read by the parent's table.
ChildReport child_work(std::string_view channel, const std::vector<std::string>& arguments) {
    try {
        const Options options = parse_options({arguments.begin() + 2, arguments.end()}).options;
        if (arguments[0] == "call") return child_call(arguments[1], options);
        if (arguments[0] == "check") return child_check(arguments[1], options);
        if (arguments[0] == "run") return child_run(channel, options);
        if (arguments[0] == "fuzz") return child_fuzz(channel, arguments[1], options);
    } catch (const std::exception& error) {
        // Ours, not the library's: a crash of the library never throws.
        tell(error.what());
        return {kInternalError, {}};
    }
    return {kWrongUsage, {}};
}

// --child CHANNEL ROLE WHAT [OPTIONS]: the report on the channel, and the
// process ends with its status.
int run_child(const std::vector<std::string>& arguments) {
    prepare_child_process();
    if (arguments.size() < 4) {
        return kWrongUsage;
    }
    const ChildReport report = child_work(arguments[1], {arguments.begin() + 2, arguments.end()});
    send_to_parent(arguments[1], sealed(report));
    return report.status;
}

// --- in the parent ------------------------------------------------------

int call(const Options& options) {
    const std::string_view name = name_of(options.entry_point);
    const std::string input =
        binding::declaration_of(options.entry_point).takes_text ? text_to_send(options) : std::string();
    std::vector<std::string> arguments =
        child_arguments("call", name, absolute_library_file(options.library));
    if (options.raw) arguments.emplace_back("--raw");
    const ChildOutcome outcome = run_this_program(arguments, input, options.timeout, ErrorOutput::shared);
    switch (outcome.ending) {
        case ChildOutcome::Ending::exited:
            if (const std::optional<ChildReport> report = opened(outcome.reported, outcome.exit_status)) {
                write_standard_output(report->content);
                return report->status;
            }
            tell("la biblioteca terminó el proceso durante " + std::string(name) + " (estado " +
                 std::to_string(outcome.exit_status) + ") sin responder");
            return kLibraryCrashed;
        case ChildOutcome::Ending::crashed:
            tell("la biblioteca terminó el proceso durante " + std::string(name) + ": " + outcome.cause);
            return kLibraryCrashed;
        case ChildOutcome::Ending::timed_out:
            tell(std::string(name) + " no volvió en " + seconds_of(options.timeout) +
                 "; se detuvo el proceso");
            return kLibraryCrashed;
    }
    return kLibraryCrashed;
}

Finding reported_finding(const ChildOutcome& outcome) {
    const std::string status = std::to_string(outcome.exit_status);
    const std::optional<ChildReport> report = opened(outcome.reported, outcome.exit_status);
    if (!report) {
        return {Verdict::failed, "la biblioteca terminó el proceso (estado " + status + ") sin responder"};
    }
    Finding finding;
    if (!read_finding(report->content, finding)) {
        return {Verdict::failed, "zavlek-call no pudo hacer la comprobación (estado " + status + ")"};
    }
    finding.library_not_loaded = report->status == kNotBound;
    return finding;
}

CheckResult run_check(const Check& check, const std::string& library, std::chrono::milliseconds limit) {
    const auto started = std::chrono::steady_clock::now();
    // What the library writes for people (a self-test's report, say) is no
    // part of the table.
    const ChildOutcome outcome =
        run_this_program(child_arguments("check", check.id, library), {}, limit, ErrorOutput::discarded);
    CheckResult result{std::string(check.title), {}, 0};
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    switch (outcome.ending) {
        case ChildOutcome::Ending::exited:
            result.finding = reported_finding(outcome);
            break;
        case ChildOutcome::Ending::crashed:
            result.finding = {Verdict::failed, "la biblioteca terminó el proceso: " + outcome.cause};
            break;
        case ChildOutcome::Ending::timed_out:
            result.finding = {Verdict::failed, "no terminó en " + seconds_of(limit) + "; se detuvo"};
            break;
    }
    return result;
}

int check(const Options& options) {
    const std::string library = absolute_library_file(options.library);
    std::vector<CheckResult> results;
    for (const Check& each : contract_checks()) {
        results.push_back(run_check(each, library, options.timeout));
        if (results.back().finding.library_not_loaded) {
            break;  // nothing more can be checked
        }
    }
    const std::string shown =
        library.empty() ? std::string(binding::kZavlekFile) + " (búsqueda ordinaria)" : library;
    write_standard_output(options.json ? results_json(shown, results) : results_table(results));
    for (const CheckResult& result : results) {
        if (result.finding.verdict == Verdict::failed) return kChecksFailed;
    }
    return kDone;
}

// The cases of every file, or every line at fault in them, said before any
// case runs.
std::vector<TestCase> cases_of(const std::vector<std::string>& files) {
    std::vector<TestCase> cases;
    std::vector<std::string> faults;
    for (const std::string& file : files) {
        ReadCases read = read_case_file(file, read_text(file));
        std::move(read.cases.begin(), read.cases.end(), std::back_inserter(cases));
        std::move(read.faults.begin(), read.faults.end(), std::back_inserter(faults));
    }
    if (!faults.empty()) {
        for (const std::string& fault : faults)
            write_standard_error(text::with_visible_controls(fault) + "\n");
        throw CaseFormatError{};
    }
    return cases;
}

int run_case_files(const Options& options) {
    const std::vector<TestCase> cases = cases_of(options.case_files);
    // Opened before any case runs, so that a report that could not be
    // written costs no run.
    std::ofstream junit;
    if (options.junit) {
        junit.open(std::filesystem::path(std::u8string(options.junit->begin(), options.junit->end())),
                   std::ios::binary | std::ios::trunc);
        if (!junit) throw UsageError("no se pudo crear el archivo " + *options.junit);
    }
    ThisProgramsChildren children;
    const CaseRun run = run_cases(children, cases, absolute_library_file(options.library), options.timeout);
    write_standard_output(tap_report(cases, run));
    if (options.junit && !(junit << junit_report(options.case_files, cases, run) << std::flush)) {
        tell("no se pudo escribir el archivo " + *options.junit);
        return kOutputNotWritten;
    }
    if (run.not_bound) {
        tell(*run.not_bound);
        return kNotBound;
    }
    for (const CaseResult& result : run.results) {
        if (!result.passed) return kCasesFailed;
    }
    return kDone;
}

// What a file given to --corpus adds: the texts of its cases, when it is a
// case file; otherwise its whole text, one input.
std::vector<std::u16string> corpus_inputs(const std::string& file) {
    const std::string bytes = read_text(file);
    if (bytes.empty()) return {};
    const ReadCases read = read_case_file(file, bytes);
    if (!read.faults.empty() || read.cases.empty()) return {text::from_utf8(bytes)};
    std::vector<std::u16string> texts;
    for (const TestCase& test_case : read.cases) {
        if (!test_case.text.empty()) texts.push_back(test_case.text);
    }
    return texts;
}

int fuzz_library(const Options& options) {
    FuzzSettings settings;
    settings.library = absolute_library_file(options.library);
    settings.entry_point = options.entry_point;
    settings.duration = options.fuzz_time;
    settings.most_inputs = options.fuzz_inputs;
    settings.limit = options.timeout;
    settings.seed = options.seed ? *options.seed : std::random_device()();
    settings.out = options.out;
    for (const std::string& file : options.corpus) {
        for (const std::u16string& input : corpus_inputs(file))
            settings.corpus.push_back(binding::to_eight_bit(input));
    }
    // Ctrl+C ends the run, not the tool: the summary and the findings made
    // until then are still written.
    interrupt_stops_work();
    ThisProgramsChildren children;
    FuzzSummary summary;
    {
        FuzzStatus status(options.fuzz_time);
        summary = fuzz(children, settings, [&status](const FuzzSummary& so_far) { status.show(so_far); });
    }
    write_standard_output(options.json ? fuzz_json(summary, settings.seed, options.out)
                                       : fuzz_table(summary, settings.seed, options.out));
    if (summary.not_bound) {
        tell(*summary.not_bound);
        return kNotBound;
    }
    return summary.findings.empty() ? kDone : kFindings;
}

int run(const std::vector<std::string>& arguments) {
    if (!arguments.empty() && arguments.front() == kChildFlag) {
        return run_child(arguments);
    }
    try {
        const Options options = parse_command_line(arguments);
        switch (options.mode) {
            case Options::Mode::help:
                write_standard_output(kHelp);
                return kDone;
            case Options::Mode::call:
                return call(options);
            case Options::Mode::check:
                return check(options);
            case Options::Mode::run:
                return run_case_files(options);
            case Options::Mode::fuzz:
                return fuzz_library(options);
        }
    } catch (const CaseFormatError&) {
        return kWrongUsage;
    } catch (const UsageError& error) {
        tell(error.what());
        write_standard_error(kShortUsage);
        return kWrongUsage;
    } catch (const OutputNotWritten&) {
        tell("no se pudo escribir la salida estándar");
        return kOutputNotWritten;
    } catch (const std::exception& error) {
        // Ours, not the library's: the library's failures end the child.
        tell(error.what());
        return kInternalError;
    }
    return kDone;
}

}  // namespace
}  // namespace kavrelo::zavlek_call

int main(int argc, char* argv[]) {
    kavrelo::zavlek_call::prepare_standard_streams();
    return kavrelo::zavlek_call::run(kavrelo::zavlek_call::utf8_arguments(argc, argv));
}
