// SPDX-License-Identifier: MIT
#include "binding_error.h"

#include "wording.h"

namespace kavrelo::binding {

BindingError::BindingError(BindingFailure failure) : BindingError(std::move(failure), reason_of(failure)) {}

BindingError::BindingError(BindingFailure&& failure, std::string reason)
    : std::runtime_error(sentence_of(failure, reason)),
      failure_(std::move(failure)),
      reason_(std::move(reason)) {}

const std::string& BindingError::file() const noexcept {
    return std::visit([](const auto& facts) -> const std::string& { return facts.file; }, failure_);
}

const std::string& BindingError::entry_point() const noexcept {
    static const std::string none;
    return std::visit(
        [](const auto& facts) -> const std::string& {
            if constexpr (requires { facts.entry_point; }) {
                return facts.entry_point;
            } else {
                return none;
            }
        },
        failure_);
}

}  // namespace kavrelo::binding
