// SPDX-License-Identifier: MIT
// A Zavlek library that records what each entry point receives and answers
// as the test tells it. Built complete, without mPila, and with another first
// answer (FIRST_RESULT) for tests that drive a real program, which cannot
// tell the double anything.
#include "recording_double.h"

#include <zavlek.h>

#if defined(_WIN32)
#  include <windows.h>
#else
#  include <sys/mman.h>
#endif

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

using recording_double::Result;

namespace {

struct Record {
    int calls = 0;
    std::vector<unsigned char> received;
};

Record records[recording_double::kEntryPoints];
#ifdef FIRST_RESULT
constexpr Result kFirstResult = Result::FIRST_RESULT;
#else
constexpr Result kFirstResult = Result::normal;
#endif
Result result_mode = kFirstResult;

// A page that may not be read: an answer pointing just into it has its count
// where nothing can be read.
unsigned char* unreadable_page() {
#if defined(_WIN32)
    return static_cast<unsigned char*>(VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_NOACCESS));
#else
    return static_cast<unsigned char*>(mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
#endif
}

void record(int entry_point, BSTR text) {
    Record& entry = records[entry_point];
    ++entry.calls;
    entry.received.clear();
    if (text == nullptr) {
        return;
    }
    const auto* first = reinterpret_cast<const unsigned char*>(text);
    std::uint32_t count;
    std::memcpy(&count, first - sizeof count, sizeof count);
    entry.received.assign(first - sizeof count, first + count + 1);
}

// "resultado" laid out as a string block at `block`: its count, its bytes,
// the NUL; the answer points at the bytes.
BSTR counted_at(unsigned char* block) {
    const std::uint32_t count = 9;
    std::memcpy(block, &count, sizeof count);
    std::memcpy(block + sizeof count, "resultado", 10);
    return reinterpret_cast<BSTR>(block + sizeof count);
}

unsigned char* mapped_page() {
#if defined(_WIN32)
    return static_cast<unsigned char*>(VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
#else
    return static_cast<unsigned char*>(
        mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
#endif
}

// The middle of a megabyte of text, which the allocator maps on its own;
// the block is kept, as a library keeps its buffers.
unsigned char* inside_large_block() {
    constexpr std::size_t kLarge = std::size_t{1} << 20;
    static unsigned char* const large = [] {
        auto* block = static_cast<unsigned char*>(std::malloc(kLarge));
        std::memset(block, 'x', kLarge);
        return block;
    }();
    return large + kLarge / 2;
}

BSTR allocate(const std::string& bytes) {
    return SysAllocStringByteLen(bytes.data(), static_cast<unsigned int>(bytes.size()));
}

BSTR with_count(BSTR string, std::uint32_t count) {
    std::memcpy(reinterpret_cast<unsigned char*>(string) - sizeof count, &count, sizeof count);
    return string;
}

// 16 MiB of the piece over and over, spaces at the end.
std::string repeated(const std::string& piece) {
    std::string bytes;
    bytes.reserve(recording_double::kSixteenMb);
    while (bytes.size() + piece.size() <= recording_double::kSixteenMb) {
        bytes += piece;
    }
    bytes.resize(recording_double::kSixteenMb, ' ');
    return bytes;
}

BSTR answer(BSTR text) {
    switch (result_mode) {
        case Result::normal:
            return allocate("resultado");
        case Result::echo:
            return SysAllocStringByteLen(reinterpret_cast<const char*>(text), SysStringByteLen(text));
        case Result::empty:
            return allocate("");
        case Result::null:
            return nullptr;
        case Result::embedded_nul:
            return allocate(std::string("a\0b", 3));
        case Result::high_bytes: {
            std::string bytes;
            for (int byte = 0x80; byte <= 0xFF; ++byte) {
                bytes += static_cast<char>(byte);
            }
            return allocate(bytes);
        }
        case Result::sixteen_mb: {
            std::string bytes(recording_double::kSixteenMb, 'x');
            for (std::size_t i = 63; i < bytes.size(); i += 64) {
                bytes[i] = '|';
            }
            return allocate(bytes);
        }
        case Result::sixteen_mb_of_tokens:
            return allocate(repeated("NUM(7) SEP(|) "));
        case Result::sixteen_mb_of_words:
            return allocate(repeated("palabra "));
        case Result::out_of_range:
            return allocate(std::to_string(std::stoi("99999999999")));
        case Result::from_another_thread: {
            BSTR string = nullptr;
            std::thread([&string] { string = allocate("resultado"); }).join();
            return string;
        }
        case Result::scribble:
            std::memset(text, 'X', SysStringByteLen(text));
            return allocate("resultado");
        case Result::argument:
            return text;
        case Result::constant: {
            // Counted as a string block is, but in the image, not the allocator.
            alignas(16) static const unsigned char kConstant[] = {9,   0,   0,   0,   'r', 'e', 's',
                                                                  'u', 'l', 't', 'a', 'd', 'o', 0};
            return reinterpret_cast<BSTR>(const_cast<unsigned char*>(kConstant + 4));
        }
        case Result::inside_argument:
            return reinterpret_cast<BSTR>(reinterpret_cast<unsigned char*>(text) + 8);
        case Result::unreadable:
            return reinterpret_cast<BSTR>(unreadable_page() + 4);
        case Result::inside_large_block:
            return counted_at(inside_large_block());
        case Result::in_a_mapping:
            return counted_at(mapped_page());
        case Result::static_storage: {
            alignas(16) static unsigned char storage[64];
            return counted_at(storage);
        }
        case Result::thread_local_storage: {
            alignas(16) thread_local unsigned char storage[64];
            return counted_at(storage);
        }
        case Result::bogus_count:
            return with_count(allocate("resultado"), 0xFFFFFFF0u);
        case Result::count_past_block:
            return with_count(allocate("resultado"), 200);
    }
    return nullptr;
}

}  // namespace

extern "C" {

#ifndef WITHOUT_MPILA
ZAVLEK_API void ZAVLEK_CALL mPila(void) { record(0, nullptr); }
#endif

ZAVLEK_API void ZAVLEK_CALL tokeniza(void) { record(1, nullptr); }

ZAVLEK_API BSTR ZAVLEK_CALL tokeniza2(BSTR text) {
    record(2, text);
    return answer(text);
}

ZAVLEK_API BSTR ZAVLEK_CALL parser_SLR(BSTR text) {
    record(3, text);
    return answer(text);
}

ZAVLEK_API void double_set_result(Result mode) { result_mode = mode; }

ZAVLEK_API int double_calls(int entry_point) { return records[entry_point].calls; }

ZAVLEK_API const unsigned char* double_received(int entry_point, std::size_t* size) {
    *size = records[entry_point].received.size();
    return records[entry_point].received.data();
}

ZAVLEK_API void double_reset() {
    for (Record& entry : records) {
        entry = Record{};
    }
    result_mode = kFirstResult;
}
}
