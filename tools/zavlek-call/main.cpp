// SPDX-License-Identifier: MIT
// zavlek-call: a Zavlek library from the command line, and its contract
// checked. Every call into the library happens in a child process (this
// program run again with --child), so that a library that crashes or hangs is
// reported and never takes the tool down.
#include "child_report.h"
#include "chosen_library.h"
#include "command_line.h"
#include "contract_checks.h"
#include "platform.h"
#include "report.h"

#include <binding/codepage.h>
#include <binding/loader.h>
#include <binding/zavlek_library.h>
#include <text/numbers.h>
#include <text/utf8.h>

#include <chrono>
#include <optional>
#include <stdexcept>

namespace kavrelo::zavlek_call {
namespace {

// Every message for people passes here: a library's or a file's name may hold
// controls that would drive the terminal.
void tell(std::string_view text) {
    write_standard_error("zavlek-call: " + text::with_visible_controls(text) + "\n");
}

std::string seconds_of(std::chrono::milliseconds limit) {
    return text::decimal(std::chrono::duration<double>(limit).count(), 3, text::TrailingZeros::dropped) +
           " s";
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
// standard input, the answer in the report.
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
        const std::u16string answer = library.call(declaration->entry_point, text::from_utf8(text->bytes));
        return {kDone, options.raw ? binding::to_eight_bit(answer) : text::to_utf8(answer) + "\n"};
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

// --child CHANNEL check ID [--library FILE]: the finding in the report.
ChildReport child_check(const std::string& id, const Options& options) {
    const std::unique_ptr<binding::Loader> loader = make_loader(options.library);
    const Finding finding = perform_check(id, *loader);
    return {finding.library_not_loaded ? kNotBound : kDone, report_finding(finding)};
}

// ROLE WHAT [OPTIONS], the child's own options read by the parent's table.
ChildReport child_work(const std::vector<std::string>& arguments) {
    try {
        const Options options = parse_options({arguments.begin() + 2, arguments.end()}).options;
        if (arguments[0] == "call") return child_call(arguments[1], options);
        if (arguments[0] == "check") return child_check(arguments[1], options);
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
    const ChildReport report = child_work({arguments.begin() + 2, arguments.end()});
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
        }
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
