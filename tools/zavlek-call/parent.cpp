// SPDX-License-Identifier: MIT
// The parent's side of each mode: the user's command, its children started
// and what they reported written out.
#include "chosen_library.h"
#include "core/cases/case_answers.h"
#include "core/cases/case_file.h"
#include "core/cases/case_run.h"
#include "core/children/case_channel.h"
#include "core/children/ending.h"
#include "core/contract/contract_checks.h"
#include "core/fuzzing/fuzz_run.h"
#include "core/reports/check_report.h"
#include "core/reports/fuzz_report.h"
#include "core/reports/junit_report.h"
#include "core/reports/tap_report.h"
#include "fuzz_status.h"
#include "handlers.h"
#include "out_folder.h"
#include "platform.h"
#include "utf8_paths.h"

#include <binding/codepage.h>
#include <text/utf8.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <stdexcept>

namespace kavrelo::zavlek_call {
namespace {

std::string_view name_of(binding::EntryPoint entry_point) {
    return binding::declaration_of(entry_point).name;
}

// The finding of a check's child: its report, after the records of the
// inputs it sent, or how it ended without one, on the last input it sent.
Finding reported_finding(const ChildOutcome& outcome, std::chrono::milliseconds limit) {
    const CaseRecords inputs = case_records(outcome.reported);
    const std::optional<ChildReport> report =
        outcome.ending == ChildOutcome::Ending::exited
            ? opened(std::string_view(outcome.reported).substr(inputs.length), outcome.exit_status)
            : std::nullopt;
    if (!report) {
        const std::string fault = in_words(unanswered(outcome, limit), {});
        return {Verdict::failed,
                inputs.records.empty() ? fault : on_input(inputs.records.back().content, fault)};
    }
    Finding finding;
    if (!read_finding(report->content, finding)) {
        return {Verdict::failed, "zavlek-call no pudo hacer la comprobación (estado " +
                                     std::to_string(outcome.exit_status) + ")"};
    }
    finding.library_not_loaded = report->status == kNotBound;
    return finding;
}

// Every line at fault said, when there is one, before any case runs.
void refuse_at_fault(const std::vector<std::string>& faults) {
    if (faults.empty()) return;
    for (const std::string& fault : faults) write_standard_error(text::with_visible_controls(fault) + "\n");
    throw CaseFormatError{};
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
    refuse_at_fault(faults);
    return cases;
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

// An answer's bytes for people: UTF-8, with a line break at its end.
std::string shown_answer(std::string_view bytes, std::string_view name) {
    try {
        return text::to_utf8(binding::from_eight_bit(bytes)) + "\n";
    } catch (const std::length_error& error) {
        // The text sent is limited well below any length limit: only an
        // answer is ever too long, for what zavlek-call can convert.
        throw std::runtime_error("la respuesta de " + std::string(name) +
                                 " es más larga de lo que zavlek-call puede mostrar: " + error.what());
    }
}

}  // namespace

CheckResult run_check(const Check& check, const std::string& library, std::chrono::milliseconds limit) {
    const auto started = std::chrono::steady_clock::now();
    // What the library writes for people (a self-test's report, say) is no
    // part of the table.
    // Each input of a check that sends many has the whole limit.
    const ChildOutcome outcome = run_this_program(child_arguments("check", check.id, library), {}, limit,
                                                  ErrorOutput::discarded, record_by_record());
    CheckResult result{std::string(check.title), {}, 0};
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    result.finding = reported_finding(outcome, limit);
    return result;
}

int call(const Options& options) {
    const std::string_view name = name_of(options.entry_point);
    const bool takes_text = binding::declaration_of(options.entry_point).takes_text;
    // The text as the library meets it, converted here once.
    const std::string input =
        takes_text ? binding::to_eight_bit(text::from_utf8(text_to_send(options))) : std::string();
    const ChildOutcome outcome =
        run_this_program(child_arguments("call", name, absolute_library_file(options.library)), input,
                         options.timeout, ErrorOutput::shared);
    const std::optional<ChildReport> report = outcome.ending == ChildOutcome::Ending::exited
                                                  ? opened(outcome.reported, outcome.exit_status)
                                                  : std::nullopt;
    if (!report) {
        tell(in_words(unanswered(outcome, options.timeout), name));
        return kLibraryCrashed;
    }
    if (report->status == kContractBroken) {
        const std::optional<ChildEnding> ending = ending_from_record(report->content);
        tell(ending ? in_words(*ending, name) : "zavlek-call no pudo leer lo que encontró la llamada");
        return ending ? kContractBroken : kInternalError;
    }
    if (report->status == kDone && takes_text) {
        write_standard_output(options.raw ? report->content : shown_answer(report->content, name));
    }
    return report->status;
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
    write_standard_output(options.json ? results_json(loaded_library_in_words(library), results)
                                       : results_table(results));
    for (const CheckResult& result : results) {
        if (result.finding.verdict == Verdict::failed) return kChecksFailed;
    }
    return kDone;
}

int run_case_files(const Options& options) {
    const std::vector<TestCase> cases = cases_of(options.case_files);
    // Opened before any case runs, so that a report that could not be
    // written costs no run.
    std::ofstream junit;
    if (options.junit) {
        junit.open(path_of(*options.junit), std::ios::binary | std::ios::trunc);
        if (!junit) throw UsageError("no se pudo crear el archivo " + *options.junit);
    }
    ThisProgramsChildren children;
    const CaseRun run = run_cases(children, cases, absolute_library_file(options.library), options.timeout);
    const std::string loaded_from = loaded_library_in_words(options.library);
    write_standard_output(tap_report(cases, run, loaded_from));
    if (options.junit &&
        !(junit << junit_report(options.case_files, cases, run, loaded_from) << std::flush)) {
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

int answer_inputs(const Options& options) {
    const InputList inputs = read_input_list(*options.from, read_text(*options.from));
    refuse_at_fault(inputs.faults);
    ThisProgramsChildren children;
    const CaseRun run =
        run_cases(children, inputs.cases, absolute_library_file(options.library), options.timeout);
    if (run.not_bound) {
        tell(*run.not_bound);
        return kNotBound;
    }
    // Every input the library failed on is said; a case file with an answer
    // missing would be no rubric.
    int status = kDone;
    for (std::size_t i = 0; i < run.results.size(); ++i) {
        const CaseResult& result = run.results[i];
        if (result.status == kDone) continue;
        const TestCase& test_case = inputs.cases[i];
        tell(test_case.file + ":" + std::to_string(test_case.line) + ": con «" +
             text::with_visible_controls(test_case.written) + "», " + result.failure);
        if (status == kDone) status = result.status;
    }
    if (status != kDone) {
        tell("no se escribió el archivo de casos");
        return status;
    }
    write_standard_output(answered_case_file(inputs, run.results));
    return kDone;
}

int fuzz_library(const Options& options) {
    FuzzSettings settings;
    settings.library = absolute_library_file(options.library);
    settings.loaded_from = loaded_library_in_words(options.library);
    settings.entry_point = options.entry_point;
    // Bounded by inputs alone, a run is the same on any machine, however
    // loaded: no time of its own ends it.
    settings.duration = options.fuzz_time.value_or(options.fuzz_inputs ? kUnboundedRun : kDefaultRun);
    settings.most_inputs = options.fuzz_inputs;
    settings.limit = options.timeout;
    settings.seed = options.seed ? *options.seed : std::random_device()();
    settings.out = options.out.value_or("fuzz-zavlek");
    settings.copy_per_input = options.copy_per_input;
    for (const std::string& file : options.corpus) {
        for (const std::u16string& input : corpus_inputs(file))
            settings.corpus.push_back(binding::to_eight_bit(input));
    }
    std::unique_ptr<FindingFolder> folder;
    try {
        folder = prepared_out_folder(settings.out);
    } catch (const UnusableFolder& unusable) {
        tell("los hallazgos no se pueden guardar en " + settings.out + ": " +
             file_error_words(unusable.error));
        return kWrongUsage;
    }
    // Ctrl+C ends the run, not the tool: the summary and the findings made
    // until then are still written.
    interrupt_stops_work();
    ThisProgramsChildren children;
    FuzzSummary summary;
    {
        FuzzStatus status(options.fuzz_time, options.fuzz_inputs);
        summary =
            fuzz(children, *folder, settings, [&status](const FuzzSummary& so_far) { status.show(so_far); });
    }
    write_standard_output(options.json ? fuzz_json(summary, settings) : fuzz_table(summary, settings));
    if (summary.not_bound) {
        tell(*summary.not_bound);
        return kNotBound;
    }
    return fuzz_exit_status(summary);
}

}  // namespace kavrelo::zavlek_call
