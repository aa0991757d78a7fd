// The built-in rules formatter on fuzzed text and spellings. It must keep what the formatter's checks
// guard: its answers keep the numbers, links and negations of the dictation.
#include "fuzz/FuzzText.h"
#include "refine/IntelligenceFormatter.h"
#include "refine/builtin/BuiltinRules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace orv;
    using F = IntelligenceFormatter;
    FuzzedDataProvider input(data, size);
    QStringList spellings;
    const int count = input.ConsumeIntegralInRange(0, 4);
    for (int i = 0; i < count; ++i)
        spellings.append(fuzz::nextText(input, 64));
    const bool structured = input.ConsumeBool();
    const QString text = fuzz::text(input.ConsumeRemainingBytesAsString());

    const QString result = structured ? BuiltinRules::structure(text, spellings) : BuiltinRules::clean(text, spellings);
    fuzz::check(F::numbers(result) == F::numbers(text), "numbers kept");
    fuzz::check(F::links(result) == F::links(text), "links kept");
    fuzz::check(F::negationMarkers(result) == F::negationMarkers(text), "negations kept");
    return 0;
}
