// SPDX-License-Identifier: MIT
#include "core/cases/case_answers.h"

#include "core/cases/case_text.h"

#include <utility>
#include <variant>

namespace kavrelo::zavlek_call {

InputList read_input_list(const std::string& file, std::string_view bytes) {
    InputList inputs;
    const std::vector<std::string_view> lines = lines_of(bytes);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        const std::size_t number = i + 1;
        inputs.lines.emplace_back(line);
        if (line.empty() || line.starts_with('#') || line.starts_with('@')) continue;
        std::variant<TestCase, std::string> read = case_of_line(line);
        if (std::string* fault = std::get_if<std::string>(&read)) {
            inputs.faults.push_back(file + ":" + std::to_string(number) + ": " + *fault);
            continue;
        }
        TestCase& test_case = std::get<TestCase>(read);
        test_case.file = file;
        test_case.line = number;
        inputs.cases.push_back(std::move(test_case));
    }
    return inputs;
}

std::string answered_case_file(const InputList& inputs, const std::vector<CaseResult>& results) {
    std::string file;
    std::size_t next_case = 0;
    for (std::size_t i = 0; i < inputs.lines.size(); ++i) {
        file += inputs.lines[i] + "\n";
        if (next_case == inputs.cases.size() || inputs.cases[next_case].line != i + 1) continue;
        const TestCase& test_case = inputs.cases[next_case];
        const CaseResult& result = results[next_case++];
        if (!binding::declaration_of(test_case.entry_point).takes_text) continue;
        const std::string answer = written_text(result.obtained.value_or(std::u16string()));
        file += answer.empty() ? "=\n" : "= " + answer + "\n";
    }
    return file;
}

}  // namespace kavrelo::zavlek_call
