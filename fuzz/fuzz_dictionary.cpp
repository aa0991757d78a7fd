// Dictionary substitution with a fuzzed dictionary over fuzzed text. Run with a time limit per input:
// substitution must stay linear in the text for each entry.
#include "fuzz/FuzzText.h"
#include "refine/CorrectionLearner.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace orv;
    FuzzedDataProvider input(data, size);
    const int entries = input.ConsumeIntegralInRange(0, 16);
    QList<DictionaryEntry> dictionary;
    for (int i = 0; i < entries; ++i) {
        DictionaryEntry entry;
        entry.heard = fuzz::nextText(input, 256);
        entry.replacement = fuzz::nextText(input, 256);
        dictionary.append(entry);
    }
    const QString text = fuzz::text(input.ConsumeRemainingBytesAsString());
    const QString result = CorrectionLearner::apply(dictionary, text);
    if (dictionary.isEmpty())
        fuzz::check(result == text, "an empty dictionary changes nothing");
    // The same call again gives the same text (the compiled patterns are cached between calls).
    fuzz::check(CorrectionLearner::apply(dictionary, text) == result, "substitution is repeatable");
    return 0;
}
