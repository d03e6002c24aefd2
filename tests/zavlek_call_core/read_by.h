// SPDX-License-Identifier: MIT
// A report handed to its real reader (prove, Perl's TAP parser, Python's
// XML, JSON and CSV readers): what the reader printed and how it ended.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#if !defined(_WIN32)
namespace kavrelo::zavlek_call {

// What a reader prints of a file, and how it ended.
struct ReaderOutput {
    std::string printed;
    int status = -1;
};

inline ReaderOutput read_by(const std::string& command, const std::string& contents) {
    // Named for the test and this run alone: another run of the suite, in
    // another build, may be writing its own beside it.
    const std::filesystem::path file =
        std::filesystem::path(::testing::TempDir()) /
        (std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
         std::to_string(std::random_device()()));
    std::ofstream(file, std::ios::binary) << contents;
    ReaderOutput output;
    FILE* const pipe = popen((command + " '" + file.string() + "' 2>&1").c_str(), "r");
    if (pipe == nullptr) return output;
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.printed.append(buffer, got);
    output.status = pclose(pipe);
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
    return output;
}

}  // namespace kavrelo::zavlek_call
#endif
