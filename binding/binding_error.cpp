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
    if (const auto* missing = std::get_if<MissingEntryPoint>(&failure_)) {
        return missing->entry_point;
    }
    if (const auto* malformed = std::get_if<MalformedResult>(&failure_)) {
        return malformed->entry_point;
    }
    if (const auto* fault = std::get_if<CallingConventionFault>(&failure_)) {
        return fault->entry_point;
    }
    return none;
}

}  // namespace kavrelo::binding
