// SPDX-License-Identifier: MIT
#include "fuzz_run.h"

#include "case_channel.h"
#include "command_line.h"
#include "fuzz_inputs.h"
#include "platform.h"

#include <binding/codepage.h>
#include <text/utf8.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <stdexcept>

namespace kavrelo::zavlek_call {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kBatch = 500;

std::string utf8_of(std::string_view eight_bit) { return text::to_utf8(binding::from_eight_bit(eight_bit)); }

struct BatchOutcome {
    std::vector<std::string> answers;  // of the inputs answered, in order
    std::optional<std::string> not_bound;
    ChildOutcome ending;  // how the child ended, when an input went unanswered
};

BatchOutcome run_batch(const FuzzSettings& settings, const std::vector<std::string>& inputs) {
    std::vector<CaseCall> calls;
    for (const std::string& input : inputs) calls.push_back({settings.entry_point, utf8_of(input)});
    std::vector<std::string> arguments{"run", "casos"};
    if (!settings.library.empty()) arguments.insert(arguments.end(), {"--library", settings.library});
    std::size_t records_length = 0;
    const Progress input_done = [&records_length](std::string_view reported) {
        const std::size_t more = case_records(reported.substr(records_length)).length;
        records_length += more;
        return more > 0;
    };
    BatchOutcome batch;
    batch.ending = run_this_program(arguments, calls_for_child(calls), settings.limit, ErrorOutput::discarded,
                                    input_done);
    for (const CaseRecord& record : case_records(batch.ending.reported).records) {
        if (record.status == kNotBound) {
            batch.not_bound = std::string(record.content);
            break;
        }
        batch.answers.emplace_back(record.content);
    }
    return batch;
}

// "crash" or "hang", and what happened in words.
struct Fault {
    std::string kind;
    std::string what;
};

Fault fault_of(const ChildOutcome& outcome, std::string_view entry_point, std::chrono::milliseconds limit) {
    switch (outcome.ending) {
        case ChildOutcome::Ending::exited:
            return {"crash", "la biblioteca terminó el proceso durante " + std::string(entry_point) +
                                 " (estado " + std::to_string(outcome.exit_status) + ") sin responder"};
        case ChildOutcome::Ending::crashed:
            return {"crash", "la biblioteca terminó el proceso durante " + std::string(entry_point) + ": " +
                                 outcome.cause};
        case ChildOutcome::Ending::timed_out:
            break;
    }
    return {"hang", std::string(entry_point) + " no volvió en " + seconds_of(limit)};
}

// Whether a fresh child, given the inputs in order, fails on one of them in
// this way; which one, if it does.
std::optional<std::size_t> failing(const FuzzSettings& settings, const std::vector<std::string>& inputs,
                                   const std::string& kind) {
    const std::string_view entry_point = binding::declaration_of(settings.entry_point).name;
    const BatchOutcome outcome = run_batch(settings, inputs);
    if (outcome.not_bound || outcome.answers.size() == inputs.size() ||
        fault_of(outcome.ending, entry_point, settings.limit).kind != kind) {
        return std::nullopt;
    }
    return outcome.answers.size();
}

// The input shrunk while a fresh child still fails on it in the same way:
// pieces of halving size taken out, each size's candidates in as few
// children as their length allows (delta debugging on bytes).
std::string minimised(const FuzzSettings& settings, std::string input, const std::string& kind) {
    constexpr std::size_t kBytesPerChild = std::size_t{64} << 20;
    std::size_t piece = std::max<std::size_t>(input.size() / 2, 1);
    for (;;) {
        std::vector<std::string> candidates;
        for (std::size_t at = 0; at < input.size(); at += piece) {
            std::string candidate = input.substr(0, at) + input.substr(std::min(at + piece, input.size()));
            if (!candidate.empty()) candidates.push_back(std::move(candidate));
        }
        const std::size_t per_child = std::max<std::size_t>(kBytesPerChild / input.size(), 1);
        std::optional<std::string> smaller;
        for (std::size_t first = 0; first < candidates.size() && !smaller; first += per_child) {
            const std::vector<std::string> some(
                candidates.begin() + first,
                candidates.begin() + std::min(first + per_child, candidates.size()));
            if (const std::optional<std::size_t> index = failing(settings, some, kind))
                smaller = some[*index];
        }
        if (smaller) {
            input = std::move(*smaller);
            piece = std::max<std::size_t>(std::min(piece, input.size() / 2), 1);
        } else if (piece == 1) {
            return input;
        } else {
            piece /= 2;
        }
    }
}

// The file `zavlek-call ENTRY --file FILE` reads back as the input: a final
// line break, and a carriage return before it, are taken off when read.
std::string reproducer(std::string_view input) {
    std::string file = utf8_of(input);
    if (file.ends_with('\r')) file += '\r';
    if (file.ends_with('\n') || file.ends_with('\r')) file += '\n';
    return file;
}

std::filesystem::path utf8_path(const std::string& path) { return std::u8string(path.begin(), path.end()); }

std::string saved(const FuzzSettings& settings, const std::string& kind, std::size_t number,
                  std::string_view input) {
    const std::string name = kind + "-" + std::to_string(number) + ".txt";
    std::filesystem::create_directories(utf8_path(settings.out));
    std::ofstream file(utf8_path(settings.out) / utf8_path(name), std::ios::binary | std::ios::trunc);
    if (!(file << reproducer(input) << std::flush)) {
        throw std::runtime_error("no se pudo guardar " + name + " en " + settings.out);
    }
    return name;
}

}  // namespace

std::string answer_shape(std::string_view answer) {
    std::string shape;
    for (std::size_t i = 0; i < answer.size();) {
        if (answer[i] >= '0' && answer[i] <= '9') {
            shape += '0';
            while (i < answer.size() && answer[i] >= '0' && answer[i] <= '9') ++i;
            continue;
        }
        if (answer[i] == '\'' && i + 1 < answer.size()) {
            const std::size_t length = text::first_utf8_character(answer.substr(i + 1)).length;
            if (i + 1 + length < answer.size() && answer[i + 1 + length] == '\'') {
                shape += "'c'";
                i += length + 2;
                continue;
            }
        }
        shape += answer[i++];
    }
    return shape;
}

FuzzSummary fuzz(const FuzzSettings& settings, const FuzzProgress& progress) {
    const Clock::time_point start = Clock::now();
    const std::string_view entry_point = binding::declaration_of(settings.entry_point).name;
    FuzzInputs inputs(settings.seed);
    for (const std::string& input : settings.corpus) inputs.add_to_corpus(input);
    std::set<std::string> shapes;
    std::set<std::pair<std::string, std::string>> found;  // kind and input
    std::map<std::string, std::size_t> numbers;           // of each kind, the last
    FuzzSummary summary;
    while (Clock::now() - start < settings.duration) {
        std::vector<std::string> batch;
        for (std::size_t i = 0; i < kBatch; ++i) batch.push_back(inputs.next());
        const BatchOutcome outcome = run_batch(settings, batch);
        for (std::size_t i = 0; i < outcome.answers.size(); ++i) {
            if (shapes.insert(answer_shape(outcome.answers[i])).second) inputs.add_to_corpus(batch[i]);
        }
        summary.inputs += outcome.answers.size();
        if (outcome.not_bound) {
            summary.not_bound = outcome.not_bound;
            break;
        }
        if (outcome.answers.size() < batch.size()) {
            const std::string& input = batch[outcome.answers.size()];
            ++summary.inputs;
            const Fault fault = fault_of(outcome.ending, entry_point, settings.limit);
            // An input holding a finding already made is taken for that
            // finding again, and not shrunk at length to find out. A hang is
            // kept as it came: shrinking it would wait out the limit at every
            // step.
            const bool known = std::any_of(found.begin(), found.end(), [&](const auto& finding) {
                return finding.first == fault.kind && input.find(finding.second) != std::string::npos;
            });
            // Reported only when a fresh child does the same.
            if (!known && failing(settings, {input}, fault.kind)) {
                const std::string shrunk =
                    fault.kind == "crash" ? minimised(settings, input, fault.kind) : input;
                if (found.insert({fault.kind, shrunk}).second) {
                    summary.findings.push_back(
                        {saved(settings, fault.kind, ++numbers[fault.kind], shrunk), fault.what});
                }
            }
        }
        summary.seconds = std::chrono::duration<double>(Clock::now() - start).count();
        summary.corpus = inputs.corpus_size();
        summary.shapes = shapes.size();
        if (progress) progress(summary);
    }
    return summary;
}

}  // namespace kavrelo::zavlek_call
