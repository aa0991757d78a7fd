// What an edit teaches: corrections() on two fuzzed texts (lone surrogates, combining marks, emoji
// sequences included), with the word splitter and the edit distance it uses. Run with a time limit per
// input: the learner must stay near-linear.
#include "fuzz/FuzzText.h"
#include "refine/CorrectionLearner.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace orv;
    namespace CL = CorrectionLearner;
    FuzzedDataProvider input(data, size);
    const QString original = fuzz::nextText(input);
    const QString edited = fuzz::text(input.ConsumeRemainingBytesAsString());

    const QList<CL::Correction> learned = CL::corrections(original, edited);
    fuzz::check(learned.size() <= 1, "one correction at most");
    fuzz::check(CL::corrections(original, original).isEmpty(), "an unchanged text teaches nothing");
    for (const CL::Correction &correction : learned) {
        fuzz::check(!correction.heard.isEmpty() && !correction.replacement.isEmpty(), "both sides have words");
        fuzz::check(correction.heard != correction.replacement, "a correction changes something");
        fuzz::check(CL::words(correction.heard).size() <= CL::maximumSpanWords &&
                        CL::words(correction.replacement).size() <= CL::maximumSpanWords,
                    "at most three words a side");
    }
    // The distance is small work on short words only; bound the texts it sees as the learner does.
    if (original.size() <= 200 && edited.size() <= 200) {
        const int distance = CL::editDistance(original, edited);
        fuzz::check(distance >= 0 && distance == CL::editDistance(edited, original), "distance is symmetric");
        fuzz::check(CL::editDistance(original, original) == 0, "distance to itself is zero");
    }
    return 0;
}
