// Text from a server, cleaned: nothing that acts on a terminal or hides from the reader survives, cleaning
// twice changes nothing, and text that needed no cleaning comes back as it was.
#include "base/CleanText.h"
#include "fuzz/FuzzText.h"

namespace {

bool forbidden(char32_t c, bool lineBreaks)
{
    if (c == u'\n' || c == u'\t')
        return !lineBreaks;
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x00AD || c == 0x061C || c == 0x200B || c == 0x200E ||
           c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2060 && c <= 0x206F) || c == 0xFEFF || c == 0x2028 ||
           c == 0x2029 || (c >= 0xE0000 && c <= 0xE007F);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace orv;
    FuzzedDataProvider input(data, size);
    const bool lineBreaks = input.ConsumeBool();
    const QString text = fuzz::nextText(input);
    const QString clean = cleanText(text, lineBreaks);
    fuzz::check(clean.size() <= text.size(), "cleaning adds nothing");
    for (qsizetype i = 0; i < clean.size(); ++i) {
        const QChar c = clean.at(i);
        if (c.isHighSurrogate() && i + 1 < clean.size() && clean.at(i + 1).isLowSurrogate()) {
            fuzz::check(!forbidden(QChar::surrogateToUcs4(c, clean.at(i + 1)), lineBreaks), "no hidden character");
            ++i;
            continue;
        }
        fuzz::check(!c.isSurrogate(), "no lone surrogate");
        fuzz::check(!forbidden(c.unicode(), lineBreaks), "no control or hidden character");
    }
    fuzz::check(cleanText(clean, lineBreaks) == clean, "cleaning twice changes nothing");
    bool plain = true;
    for (const QChar c : text)
        plain = plain && c.unicode() >= 0x20 && c.unicode() < 0x7F;
    if (plain)
        fuzz::check(clean == text, "plain text is kept as it is");
    return 0;
}
