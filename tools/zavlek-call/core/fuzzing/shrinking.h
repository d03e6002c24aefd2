// SPDX-License-Identifier: MIT
// A fuzz input that showed a fault, made as small and as plain as it can be
// while a fresh child still shows the same fault on it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace kavrelo::zavlek_call {

// The first of some inputs on which a fresh child shows the fault, and what
// happened in words.
struct Shown {
    std::size_t index = 0;
    std::string what;
};

// An input that shows a fault in a fresh child, and what happened there.
struct Showing {
    std::string input;
    std::string what;
};

// How the inputs are tried: in fresh children, by the fuzz run.
class FaultTrial {
public:
    virtual ~FaultTrial() = default;
    // Nothing when none of the candidates shows the fault.
    virtual std::optional<Shown> first_showing(const std::vector<std::string>& candidates) = 0;
    // Whether an interrupt asked the work to stop.
    virtual bool stopped() const = 0;
};

// The input made alike, the coarsest first: every byte an a; then every digit
// a 0, every letter an a and every byte beyond ASCII 0x80, the rest kept.
std::vector<std::string> alike_forms(const std::string& input);

// Bytes first, which leaves no byte that can go alone; then tokens, which
// can take out runs that no halving cut met whole; then the coarsest alike
// form that still shows the fault, so that inputs which differ only in
// bytes the fault does not care about are one finding.
Showing minimised(FaultTrial& trial, Showing showing);

}  // namespace kavrelo::zavlek_call
