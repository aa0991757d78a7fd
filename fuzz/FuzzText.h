#pragma once

#include <QString>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace orv::fuzz {

// Bytes as text. UTF-8, except that the three-byte forms of surrogates (ED A0..BF xx), which UTF-8
// forbids, give that lone UTF-16 code unit: seeds and mutations reach unpaired surrogates, which the
// platform's text does hold.
inline QString text(const std::string &bytes)
{
    QString result;
    std::size_t begin = 0;
    const auto flush = [&](std::size_t end) {
        if (end > begin)
            result += QString::fromUtf8(bytes.data() + begin, qsizetype(end - begin));
    };
    for (std::size_t i = 0; i + 2 < bytes.size(); ++i) {
        const auto b0 = static_cast<unsigned char>(bytes[i]);
        const auto b1 = static_cast<unsigned char>(bytes[i + 1]);
        const auto b2 = static_cast<unsigned char>(bytes[i + 2]);
        if (b0 == 0xED && (b1 & 0xE0) == 0xA0 && (b2 & 0xC0) == 0x80) {
            flush(i);
            result += QChar(char16_t(0xD000 | ((b1 & 0x3F) << 6) | (b2 & 0x3F)));
            begin = i + 3;
            i += 2;
        }
    }
    flush(bytes.size());
    return result;
}

// The next piece of text: ends at a backslash followed by any other character ("\\\\" is one backslash),
// so a seed is readable: "first text\\nsecond text".
inline QString nextText(FuzzedDataProvider &input, std::size_t maxBytes = 1 << 20)
{
    return text(input.ConsumeRandomLengthString(maxBytes));
}

// A property the target checks did not hold: report and stop, so libFuzzer keeps the input.
[[noreturn]] inline void fail(const char *what)
{
    std::fprintf(stderr, "property failed: %s\n", what);
    std::abort();
}

inline void check(bool holds, const char *what)
{
    if (!holds)
        fail(what);
}

} // namespace orv::fuzz
