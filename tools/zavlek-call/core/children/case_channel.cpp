// SPDX-License-Identifier: MIT
#include "core/children/case_channel.h"

#include <charconv>
#include <memory>

namespace kavrelo::zavlek_call {
namespace {

// "WORD COUNT\n" then COUNT bytes; the word and the count, once the whole of
// it is there.
struct Framed {
    std::string_view word;
    std::string_view content;
    std::size_t length = 0;
};

std::string framed(std::string_view word, std::string_view content) {
    return std::string(word) + " " + std::to_string(content.size()) + "\n" + std::string(content);
}

std::optional<Framed> first_framed(std::string_view bytes) {
    const std::size_t space = bytes.find(' ');
    const std::size_t line_end = bytes.find('\n');
    if (space == std::string_view::npos || line_end == std::string_view::npos || space > line_end) {
        return std::nullopt;
    }
    std::size_t count = 0;
    const char* const count_end = bytes.data() + line_end;
    const auto [end, error] = std::from_chars(bytes.data() + space + 1, count_end, count);
    if (error != std::errc() || end != count_end || bytes.size() - line_end - 1 < count) {
        return std::nullopt;
    }
    return Framed{bytes.substr(0, space), bytes.substr(line_end + 1, count), line_end + 1 + count};
}

// The word of a call's pattern, framed after the call; no entry point's name.
constexpr std::string_view kPatternWord = "~";

}  // namespace

std::string calls_for_child(const std::vector<CaseCall>& calls) {
    std::string bytes;
    for (const CaseCall& call : calls) {
        bytes += framed(binding::declaration_of(call.entry_point).name, call.text);
        if (call.pattern) bytes += framed(kPatternWord, *call.pattern);
    }
    return bytes;
}

std::optional<std::vector<CaseCall>> calls_from_parent(std::string_view bytes) {
    std::vector<CaseCall> calls;
    while (!bytes.empty()) {
        const std::optional<Framed> frame = first_framed(bytes);
        if (!frame) return std::nullopt;
        bytes.remove_prefix(frame->length);
        if (frame->word == kPatternWord && !calls.empty() && !calls.back().pattern) {
            calls.back().pattern = std::string(frame->content);
            continue;
        }
        const binding::Declaration* declaration = binding::declaration_named(frame->word);
        if (declaration == nullptr) return std::nullopt;
        calls.push_back({declaration->entry_point, std::string(frame->content)});
    }
    return calls;
}

std::string case_record(const ChildReport& record) {
    return framed(std::to_string(record.status), record.content);
}

CaseRecords case_records(std::string_view sent) {
    CaseRecords read;
    while (const std::optional<Framed> record = first_framed(sent.substr(read.length))) {
        int status = 0;
        const auto [end, error] =
            std::from_chars(record->word.data(), record->word.data() + record->word.size(), status);
        if (error != std::errc() || end != record->word.data() + record->word.size()) break;
        read.records.push_back({status, record->content});
        read.length += record->length;
    }
    return read;
}

Progress record_by_record() {
    // Shared by the copies std::function makes of it.
    auto records_length = std::make_shared<std::size_t>(0);
    return [records_length](std::string_view reported) {
        const std::size_t more = case_records(reported.substr(*records_length)).length;
        *records_length += more;
        return more > 0;
    };
}

std::vector<std::string> child_arguments(std::string_view role, std::optional<std::string_view> what,
                                         const std::string& library) {
    std::vector<std::string> arguments{std::string(role)};
    if (what) arguments.emplace_back(*what);
    if (!library.empty()) arguments.insert(arguments.end(), {"--library", library});
    return arguments;
}

}  // namespace kavrelo::zavlek_call
