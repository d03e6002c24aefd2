// SPDX-License-Identifier: MIT
#include "support/hard_texts.h"

#include <cstdint>

namespace kavrelo::testing {

std::vector<std::u16string> texts_hard_to_cut() {
    std::vector<std::u16string> texts = {
        u"a" + std::u16string(1000, u' ') + u"x",
        u"a" + std::u16string(1000, u'\t') + u"x",
        std::u16string(400, u'\x01') + u"visible" + std::u16string(2000, u'\x7F') + u" y",
        u"uno\n\ndos" + std::u16string(5000, u'\n') + u"tres",
        u"uno" + std::u16string(3000, u' ') + u"\n" + std::u16string(3000, u' ') + u"dos",
    };
    std::u16string narrow, wide;
    for (int i = 0; i < 6000; ++i) {
        narrow += i % 50 == 49 ? u' ' : u'i';
        wide += i % 40 == 39 ? u' ' : (i % 2 == 0 ? u'W' : u'\u4E2D');
    }
    texts.push_back(narrow);
    texts.push_back(wide);
    // Mixtures from fixed seeds: the same texts every run.
    const std::u16string alphabet = u"aiW .,\t\n\u4E2D\x02      ";
    for (unsigned seed = 1; seed <= 6; ++seed) {
        std::uint32_t state = seed;
        std::u16string mixed;
        for (int i = 0; i < 20000; ++i) {
            state = state * 1664525u + 1013904223u;
            const std::size_t pick = (state >> 16) % alphabet.size();
            // Long runs: the same character again, now and then many times.
            const std::size_t repeat = (state & 0xFF) == 0 ? 500 : 1;
            mixed.append(repeat, alphabet[pick]);
        }
        texts.push_back(mixed);
    }
    return texts;
}

}  // namespace kavrelo::testing
