// The checks that keep a language model's answer from changing what was said: numbers, links, negation
// markers and the whole preservation check, on a fuzzed source, answer and dictionary.
#include "fuzz/FuzzText.h"
#include "refine/IntelligenceFormatter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace orv;
    using F = IntelligenceFormatter;
    FuzzedDataProvider input(data, size);
    QList<DictionaryEntry> dictionary;
    const int entries = input.ConsumeIntegralInRange(0, 4);
    for (int i = 0; i < entries; ++i) {
        DictionaryEntry entry;
        entry.heard = fuzz::nextText(input, 64);
        entry.replacement = fuzz::nextText(input, 64);
        dictionary.append(entry);
    }
    const QString source = fuzz::nextText(input);
    const QString answer = fuzz::text(input.ConsumeRemainingBytesAsString());

    (void)F::preservesContent(source, answer, dictionary);
    // An answer that repeats the source keeps its content.
    const bool plain = !source.isEmpty() && !source.startsWith(QStringLiteral("```"));
    fuzz::check(F::preservesContent(source, source, {}) == plain, "the source preserves itself");
    for (const QString &marker : F::negationMarkers(source))
        fuzz::check(marker.contains(QLatin1Char('|')), "a marker names its negation");
    for (const QString &link : F::links(answer))
        fuzz::check(!link.isEmpty(), "links are not empty");
    for (const QString &number : F::numbers(answer))
        fuzz::check(!number.isEmpty(), "numbers are not empty");
    return 0;
}
