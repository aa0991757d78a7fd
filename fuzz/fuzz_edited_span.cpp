// The span the user edited after a dictation was pasted, read back through the anchor taken at capture,
// over a fuzzed field. An honest field: the span is found whenever it can be told apart. A field that
// answers at random (counts and ranges that disagree): no crash, and any span found sits between the
// anchor's prefix and suffix.
#include "delivery/TargetReader.h"
#include "fuzz/FuzzText.h"

namespace {

using namespace orv;

class FieldElement final : public AccessibleElement
{
public:
    bool isEqual(const AccessibleElement &other) const override { return &other == this; }
};

struct Field
{
    QString text;
    bool honest = true;
    std::optional<qint64> count;      // what a dishonest field reports
    std::optional<QString> rangeText; // what a dishonest field answers for any range
};

Task<std::optional<AttributeValue>> attributeOf(std::shared_ptr<Field> field, QString name)
{
    if (name == QLatin1String("AXNumberOfCharacters")) {
        if (field->honest)
            co_return AttributeValue(qint64(field->text.size()));
        if (field->count)
            co_return AttributeValue(*field->count);
        co_return std::nullopt;
    }
    if (name == QLatin1String("AXValue"))
        co_return AttributeValue(field->text);
    co_return std::nullopt;
}

Task<std::optional<QString>> rangeOf(std::shared_ptr<Field> field, TextRange range)
{
    if (!field->honest)
        co_return field->rangeText;
    if (range.location < 0 || range.length < 0 || range.location > field->text.size() ||
        range.length > field->text.size() - range.location)
        co_return std::nullopt;
    co_return field->text.mid(range.location, range.length);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const auto field = std::make_shared<Field>();
    field->honest = input.ConsumeBool();
    // Before the capture: before + selection + after; the dictation replaced the selection and the user
    // then turned it into `edited`.
    const QString before = fuzz::nextText(input, 512);
    const QString selection = fuzz::nextText(input, 512);
    const QString after = fuzz::nextText(input, 512);
    const QString original = fuzz::nextText(input, 512);
    const QString edited = fuzz::nextText(input, 1024);
    if (!field->honest) {
        if (input.ConsumeBool())
            field->count = input.ConsumeIntegral<qint64>();
        if (input.ConsumeBool())
            field->rangeText = fuzz::nextText(input, 1024);
    }
    field->text = before + edited + after;

    const qint64 context = TextDelivery::anchorContext;
    TextDelivery::Anchor anchor;
    anchor.selection = {before.size(), selection.size()};
    anchor.originalCount = before.size() + selection.size() + after.size();
    anchor.prefix = before.right(context);
    anchor.suffix = after.left(context);
    anchor.wasAtEnd = after.isEmpty();
    if (!field->honest && input.ConsumeBool())
        anchor.selection.location = input.ConsumeIntegral<qint64>();

    TextDelivery::Environment environment;
    const auto element = std::make_shared<FieldElement>();
    environment.attribute = [field](Element, QString name) { return attributeOf(field, std::move(name)); };
    environment.stringForRange = [field](Element, TextRange range) { return rangeOf(field, range); };

    TextDelivery::Observation observation;
    observation.target.element = element;
    observation.target.anchor = anchor;
    observation.original = original;
    const auto env = std::make_shared<const TextDelivery::Environment>(std::move(environment));
    const Task<std::optional<QString>> task = reads::editedSpan(env, observation);
    fuzz::check(task.isDone(), "answers at once when the field does");
    const std::optional<QString> span = task.result();
    if (span && field->honest) {
        const qsizetype start = before.size() - anchor.prefix.size();
        fuzz::check(QStringView(field->text).mid(start).startsWith(anchor.prefix + *span + anchor.suffix),
                    "the span sits between the prefix and the suffix");
    }
    if (field->honest) {
        // Told apart: the suffix follows the edit once (or the field ended after the dictation), and the
        // edit is within what observation accepts.
        const QString rest = edited + after;
        const bool unique = anchor.suffix.isEmpty() ? anchor.wasAtEnd
                                                    : rest.indexOf(anchor.suffix) == edited.size() &&
                                                          rest.indexOf(anchor.suffix, edited.size() + 1) < 0;
        const bool small = std::abs(edited.size() - original.size()) <= TextDelivery::largestSpanChange;
        if (unique && small)
            fuzz::check(span == edited, "an edit that can be told apart is found");
    }
    return 0;
}
