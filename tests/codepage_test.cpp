// SPDX-License-Identifier: MIT
#include <binding/codepage.h>
#include <binding/cp1252.h>
#include <binding/library_string.h>

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#if defined(_WIN32)
#  include <binding/system_codepage.h>
#else
#  include <iconv.h>

#  include <cerrno>
#  include <optional>
#  include <set>
#endif

namespace kavrelo::binding {
namespace {

std::string all_bytes() {
    std::string bytes;
    for (int byte = 0; byte < 256; ++byte) {
        bytes += static_cast<char>(byte);
    }
    return bytes;
}

TEST(Cp1252, EveryByteSurvivesARoundTrip) {
    const std::string bytes = all_bytes();
    const std::u16string text = from_eight_bit(bytes);
    ASSERT_EQ(text.size(), 256u);
    EXPECT_EQ(to_eight_bit(text), bytes);
}

TEST(Cp1252, CharactersOutsideTheCodePageBecomeOneQuestionMarkEach) {
    // á and ñ are in Latin-1, € among the high controls, 中 nowhere, 😀 is a pair.
    EXPECT_EQ(to_eight_bit(u"\u00E1\u20AC\u00F1 \u4E2D\U0001F600"), "\xE1\x80\xF1\x20\x3F\x3F");
}

TEST(Cp1252, CharactersWithOnlyABestFitGetTheDefaultCharacter) {
    // A best-fit conversion would make these 8, A, c and a quotation mark.
    EXPECT_EQ(to_eight_bit(u"\u221E\u0100\u0107\u201F"), "????");
    EXPECT_EQ(to_eight_bit(u"x\U0001D538y\U0001F600\U0001F600"), "x?y??");
}

TEST(Cp1252, LoneSurrogatesAreOneCharacterEach) {
    struct Case {
        std::u16string text;
        std::string bytes;
    };
    const Case cases[] = {
        {u"\xD800", "?"},  // high at the end
        {u"\xDC00"
         u"a",
         "?a"},                                // low without a high
        {u"\xD800\xD800\xDC00", "??"},         // lone high, then a pair
        {u"\xDC00\xD800\xDC00\xDC00", "???"},  // low, pair, low
        {u"a\xD83D\xDE00z", "a?z"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(to_eight_bit(c.text), c.bytes);
        // The library's string counts exactly the bytes, though a pair made
        // the text shorter than the room first taken for it.
        EXPECT_EQ(bytes_of(make_library_string(c.text)), c.bytes);
    }
}

TEST(Cp1252, DecodingIsExactAcrossAsciiRunsOfEveryAlignment) {
    // A non-ASCII byte at every position of texts long enough to use the
    // eight-byte path, with a NUL that must be kept like any other byte.
    for (std::size_t length = 1; length <= 40; ++length) {
        for (std::size_t at = 0; at < length; ++at) {
            std::string bytes(length, 'a');
            bytes[at] = '\x80';
            if (length > 1) {
                bytes[(at + 1) % length] = '\0';
            }
            const std::u16string text = from_eight_bit(bytes);
            ASSERT_EQ(text.size(), length);
            for (std::size_t i = 0; i < length; ++i) {
                const char16_t expected = i == at ? u'\u20AC' : static_cast<unsigned char>(bytes[i]);
                ASSERT_EQ(text[i], expected) << "length " << length << " at " << at << " index " << i;
            }
        }
    }
}

// Long texts are converted a block at a time; each character converted on its
// own goes the unit-by-unit way. The two must agree wherever a character
// falls in a block, and a pair split across two blocks is still one character.
// Texts that put every kind of unit at every place in a block of the
// conversion, and across the ends of blocks.
std::vector<std::u16string> texts_across_blocks() {
    std::u16string every_unit;
    for (unsigned unit = 1; unit <= 0xFFFF; ++unit) {
        if (unit < 0xD800 || unit > 0xDFFF) every_unit += static_cast<char16_t>(unit);
    }
    // Lone surrogates only: as many bytes as units, each a question mark.
    const std::u16string lone = std::u16string(40, u'a') + u'\xDC00' + std::u16string(40, u'b') + u'\xD800';
    std::vector<std::u16string> texts = {every_unit, lone};
    // Shorter than a block: eight at a time while they are ASCII, then one
    // by one, with the odd character at every place.
    const std::u16string odd = u"\u00E1\u0080\u20AC\U0001F600\xD800";
    for (std::size_t length = 1; length < 40; ++length) {
        for (std::size_t at = 0; at < length; ++at) {
            std::u16string text;
            for (std::size_t k = 0; k < length; ++k) text += static_cast<char16_t>(u'a' + k % 26);
            text.replace(at, 1, odd.substr(at % odd.size(), 1 + (at % odd.size() == 3)));
            texts.push_back(text);
        }
    }
    // A pair is one byte for two units: everything after it, ASCII as it may
    // be, moves one place up, from within its block or across to the next.
    for (std::size_t at = 0; at < 80; ++at) {
        std::u16string text(160, u'x');
        text.replace(at, 2, u"\U0001F600");
        texts.push_back(text);
    }
    for (std::size_t offset = 0; offset < 70; ++offset) {
        std::u16string text(offset, u'a');
        text += u"\U0001F600\u00E1\u20AC";
        text += u'\xD800';  // lone high
        text.append(33, u'\u00F1');
        text += u'\xDC00';  // lone low
        text.append(offset % 7, u'z');
        text += u'\xD83D';  // a high surrogate ending the text
        texts.push_back(text);
    }
    return texts;
}

TEST(Cp1252, LongTextsConvertAsTheirCharactersDoOneByOne) {
    for (const std::u16string& text : texts_across_blocks()) {
        std::string one_by_one;
        for (std::size_t i = 0; i < text.size(); ++i) {
            const bool pair = i + 1 < text.size() && text[i] >= 0xD800 && text[i] <= 0xDBFF &&
                              text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
            one_by_one += to_eight_bit(text.substr(i, pair ? 2 : 1));
            i += pair ? 1 : 0;
        }
        ASSERT_EQ(to_eight_bit(text), one_by_one) << "text of " << text.size();

        std::u16string back;
        for (const char byte : one_by_one) back += from_eight_bit(std::string(1, byte));
        ASSERT_EQ(from_eight_bit(one_by_one), back) << "text of " << text.size();
    }
}

// Each processor's way of converting gives what a unit at a time gives.
TEST(Cp1252, EveryWayOfConvertingAgreesWithThePortableOne) {
    const std::vector<cp1252::Routines>& routines = cp1252::available_routines();
    ASSERT_STREQ(routines.front().name, "portable");
    const auto encoded = [](const cp1252::Routines& by, std::u16string_view text) {
        std::string bytes(text.size(), '\0');
        bytes.resize(by.encode(text, bytes.data()));
        return bytes;
    };
    const auto decoded = [](const cp1252::Routines& by, std::string_view bytes) {
        std::u16string text(bytes.size(), u'\0');
        by.decode(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), text.data());
        return text;
    };
    std::vector<std::string> byte_texts = {all_bytes() + all_bytes()};
    for (const std::u16string& text : texts_across_blocks()) {
        byte_texts.push_back(encoded(routines.front(), text));
    }
    for (const cp1252::Routines& by : routines) {
        for (const std::u16string& text : texts_across_blocks()) {
            ASSERT_EQ(encoded(by, text), encoded(routines.front(), text))
                << by.name << ", text of " << text.size();
        }
        for (const std::string& bytes : byte_texts) {
            ASSERT_EQ(decoded(by, bytes), decoded(routines.front(), bytes))
                << by.name << ", " << bytes.size();
        }
    }
}

// A converter writes the text into a string with room for at least as many
// units as the bytes, often more (a string grows by steps): the text it
// gives has one unit per byte all the same, at every size across those steps.
TEST(Cp1252, AWidenedTextHasOneUnitPerByteWhateverRoomItWasWrittenIn) {
    using Decoder = std::u16string (*)(std::string_view);
    std::vector<std::pair<const char*, Decoder>> decoders = {
        {"from_eight_bit", from_eight_bit},
        {"the table", cp1252::decode},
        {"text_of",
         [](std::string_view bytes) { return text_of(make_library_string(from_eight_bit(bytes))); }},
    };
#if defined(_WIN32)
    decoders.emplace_back("the system's converter",
                          [](std::string_view bytes) { return SystemCodePage(1252).decode(bytes); });
    decoders.emplace_back("the system's UTF-8",
                          [](std::string_view bytes) { return SystemCodePage(CP_UTF8).decode(bytes); });
#endif
    for (std::size_t size = 0; size <= 300; ++size) {
        std::string bytes;
        std::u16string expected;
        for (std::size_t i = 0; i < size; ++i) {
            bytes += static_cast<char>('a' + i % 26);
            expected += static_cast<char16_t>(u'a' + i % 26);
        }
        for (const auto& [name, decode] : decoders) {
            ASSERT_EQ(decode(bytes), expected) << name << ", " << size << " bytes";
        }
    }
}

#if !defined(_WIN32)
// glibc's table of the same code page, through iconv. It leaves the five bytes
// 0x81, 0x8D, 0x8F, 0x90 and 0x9D unassigned, where Windows maps them to the
// C1 controls of the same value; those are the only expected differences.
class GlibcCp1252 {
public:
    GlibcCp1252()
        : to_utf16_(iconv_open("UTF-16LE", "CP1252")), from_utf16_(iconv_open("CP1252", "UTF-16LE")) {}
    ~GlibcCp1252() {
        iconv_close(to_utf16_);
        iconv_close(from_utf16_);
    }
    bool available() const { return to_utf16_ != kFailed && from_utf16_ != kFailed; }

    std::optional<char16_t> decode(unsigned char byte) {
        char in[1] = {static_cast<char>(byte)};
        unsigned char out[4] = {};
        if (!convert(to_utf16_, in, 1, reinterpret_cast<char*>(out), sizeof out, 2)) return std::nullopt;
        return static_cast<char16_t>(out[0] | (out[1] << 8));
    }

    std::optional<unsigned char> encode(char16_t unit) {
        char in[2] = {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
        char out[4] = {};
        if (!convert(from_utf16_, in, 2, out, sizeof out, 1)) return std::nullopt;
        return static_cast<unsigned char>(out[0]);
    }

private:
    static inline const iconv_t kFailed = reinterpret_cast<iconv_t>(-1);

    static bool convert(iconv_t cd, char* in, std::size_t in_size, char* out, std::size_t out_size,
                        std::size_t expected) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char* out_start = out;
        std::size_t out_left = out_size;
        if (iconv(cd, &in, &in_size, &out, &out_left) == static_cast<std::size_t>(-1)) {
            EXPECT_EQ(errno, EILSEQ);
            return false;
        }
        EXPECT_EQ(static_cast<std::size_t>(out - out_start), expected);
        return true;
    }

    iconv_t to_utf16_;
    iconv_t from_utf16_;
};

const std::set<unsigned> kUnassignedInGlibc = {0x81, 0x8D, 0x8F, 0x90, 0x9D};

TEST(Cp1252, AgreesWithGlibcOnEveryByte) {
    GlibcCp1252 glibc;
    ASSERT_TRUE(glibc.available());
    for (unsigned byte = 0; byte < 256; ++byte) {
        const char16_t ours = from_eight_bit(std::string(1, static_cast<char>(byte)))[0];
        const std::optional<char16_t> theirs = glibc.decode(static_cast<unsigned char>(byte));
        if (kUnassignedInGlibc.contains(byte)) {
            EXPECT_FALSE(theirs.has_value()) << std::hex << byte;
            EXPECT_EQ(ours, static_cast<char16_t>(byte));
        } else {
            ASSERT_TRUE(theirs.has_value()) << std::hex << byte;
            EXPECT_EQ(ours, *theirs) << std::hex << byte;
        }
    }
}

TEST(Cp1252, AgreesWithGlibcOnEveryCodePointOfTheBasicPlane) {
    GlibcCp1252 glibc;
    ASSERT_TRUE(glibc.available());
    int mapped = 0;
    for (unsigned unit = 0; unit <= 0xFFFF; ++unit) {
        if (unit >= 0xD800 && unit <= 0xDFFF) {
            continue;  // halves of pairs, covered above
        }
        const std::u16string text(1, static_cast<char16_t>(unit));
        const std::string ours = to_eight_bit(text);
        ASSERT_EQ(ours.size(), 1u);
        const auto our_byte = static_cast<unsigned char>(ours[0]);
        const std::optional<unsigned char> theirs = glibc.encode(static_cast<char16_t>(unit));
        if (kUnassignedInGlibc.contains(unit)) {
            EXPECT_FALSE(theirs.has_value()) << std::hex << unit;
            EXPECT_EQ(our_byte, unit);
        } else if (theirs.has_value()) {
            EXPECT_EQ(our_byte, *theirs) << std::hex << unit;
            ++mapped;
        } else {
            EXPECT_EQ(our_byte, '?') << std::hex << unit;
        }
    }
    EXPECT_EQ(mapped, 256 - 5);
}
#else
// Where the system's code page is 1252 the program converts by its own
// tables; they must give what the system's converter gives, or a library
// would see other bytes than under the system's conversion.
std::string by_table(std::u16string_view text) {
    std::string bytes(text.size(), '\0');
    bytes.resize(cp1252::encode(text, bytes.data()));
    return bytes;
}

std::string by_system(const SystemCodePage& system, std::u16string_view text) {
    std::string bytes(system.length(text), '\0');
    bytes.resize(system.encode(text, bytes.data(), bytes.size()));
    return bytes;
}

// The first place two conversions differ, for a readable failure.
template <typename Text>
::testing::AssertionResult same(const Text& ours, const Text& theirs) {
    if (ours == theirs) {
        return ::testing::AssertionSuccess();
    }
    std::size_t at = 0;
    while (at < ours.size() && at < theirs.size() && ours[at] == theirs[at]) ++at;
    return ::testing::AssertionFailure()
           << "sizes " << ours.size() << " and " << theirs.size() << ", first difference at " << at;
}

TEST(Cp1252, TheTablesAgreeWithTheSystemsConverterOnEveryUnitEveryPairAndEveryByte) {
    const SystemCodePage system(1252);
    // Every unit alone, lone surrogates included: a letter between each two
    // keeps any of them from making a pair with the next.
    std::u16string units;
    for (unsigned unit = 0; unit <= 0xFFFF; ++unit) {
        units += u'a';
        units += static_cast<char16_t>(unit);
    }
    EXPECT_TRUE(same(by_table(units), by_system(system, units)));

    std::u16string pairs;
    for (char16_t high = 0xD800; high <= 0xDBFF; ++high) {
        for (char16_t low = 0xDC00; low <= 0xDFFF; ++low) {
            pairs += high;
            pairs += low;
        }
    }
    EXPECT_TRUE(same(by_table(pairs), by_system(system, pairs)));

    const std::string bytes = all_bytes();
    EXPECT_TRUE(same(cp1252::decode(bytes), system.decode(bytes)));
}

// Run only by the test that starts this program under a Cyrillic locale,
// where the system's code page is 1251: the conversion follows the system.
TEST(SystemCodePage, DISABLED_Cp1251UnderACyrillicLocale) {
    EXPECT_EQ(to_eight_bit(u"\u0416"), "\xC6");
    EXPECT_EQ(to_eight_bit(u"\u0416\u00E1\U0001F600"), "\xC6??");
    EXPECT_EQ(from_eight_bit(std::string("\xC6\xE0\0", 3)), std::u16string(u"\u0416\u0430\0", 3));
}
#endif

}  // namespace
}  // namespace kavrelo::binding
