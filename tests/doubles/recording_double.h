// SPDX-License-Identifier: MIT
// The control surface of the recording test double: the tests look these up
// with dlsym in the same loaded copy that the binding calls.
#pragma once

#include <cstddef>

namespace recording_double {

// What tokeniza2 and parser_SLR return.
enum class Result : int {
    normal,                // "resultado"
    echo,                  // the argument's bytes, by its stored count
    empty,                 // a string of no bytes
    null,                  // a null pointer
    embedded_nul,          // "a", NUL, "b"
    high_bytes,            // every byte from 0x80 to 0xFF, in order
    sixteen_mb,            // 16 MiB of 'x' with '|' every 64 bytes
    scribble,              // overwrites the argument, then returns "resultado"
    argument,              // the argument itself, the very pointer it was given
    bogus_count,           // "resultado" with a count of 0xFFFFFFF0 written in front
    count_past_block,      // "resultado" with a count of 200: past its block, not past what can be read
    sixteen_mb_of_tokens,  // 16 MiB of "NUM(7) SEP(|) " over and over, as a tokenizer answers
    sixteen_mb_of_words,   // 16 MiB of "palabra " over and over: short words of ordinary text
    from_another_thread,   // "resultado", allocated by a thread of the library's own
    out_of_range,          // std::stoi of a number too large, whose exception leaves the entry point
    // Pointers at no string block of the allocator's, each with a small count
    // in front, as a careless or hostile library may answer:
    constant,         // a string constant in the library's own image
    inside_argument,  // the middle of the argument it was given
    unreadable,       // just past a page nobody may read
    // Memory of the library's own, laid out as a string block is, which the
    // allocator did not hand out:
    inside_large_block,    // the middle of a block the allocator maps on its own, full of text
    in_a_mapping,          // a page the library mapped itself
    static_storage,        // a static buffer the library writes into
    thread_local_storage,  // a thread-local buffer the library writes into
};

inline constexpr std::size_t kSixteenMb = std::size_t{16} << 20;

// Entry points in the order of the declaration table.
inline constexpr int kEntryPoints = 4;

using SetResult = void (*)(Result);
using Calls = int (*)(int entry_point);
// The bytes last received: the 4-byte count, the bytes it counts, the byte after.
using Received = const unsigned char* (*)(int entry_point, std::size_t* size);
using Reset = void (*)();

inline constexpr const char* kSetResult = "double_set_result";
inline constexpr const char* kCalls = "double_calls";
inline constexpr const char* kReceived = "double_received";
inline constexpr const char* kReset = "double_reset";

}  // namespace recording_double
