#include "delivery/TargetReader.h"

namespace orv::reads {

namespace {

const QString axRole = QStringLiteral("AXRole");
const QString axSubrole = QStringLiteral("AXSubrole");
const QString axParent = QStringLiteral("AXParent");
const QString axWindow = QStringLiteral("AXWindow");
const QString axValue = QStringLiteral("AXValue");
const QString axEnabled = QStringLiteral("AXEnabled");
const QString axProtectedContent = QStringLiteral("AXProtectedContent");
const QString axSecure = QStringLiteral("AXSecure");

Task<std::optional<QString>> rangeOf(Env env, Element element, TextRange range)
{
    auto pending = env->stringForRange(element, range);
    co_return co_await pending;
}

Task<std::optional<qint64>> processOf(Env env, Element element)
{
    auto pending = env->processID(element);
    co_return co_await pending;
}

} // namespace

bool sameText(const QString &a, const QString &b)
{
    return a == b || a.normalized(QString::NormalizationForm_D) == b.normalized(QString::NormalizationForm_D);
}

// Awaits one attribute read. The element and name are copied into the frame first: g++ 12 mishandles
// non-trivial temporaries passed to a call inside a co_await expression.
Task<std::optional<AttributeValue>> attribute(Env env, Element element, QString name)
{
    auto pending = env->attribute(element, name);
    co_return co_await pending;
}

Task<std::optional<Element>> focused(Env env)
{
    auto pending = env->focusedElement();
    co_return co_await pending;
}

Task<bool> isInsertable(Env env, Element element)
{
    Element current = std::move(element);
    for (int looked = 0; looked < TextDelivery::ancestorLimit; ++looked) {
        if (!current)
            co_return true;
        const QString subrole = attributeAs<QString>(co_await attribute(env, current, axSubrole)).value_or(QString());
        const QString role = attributeAs<QString>(co_await attribute(env, current, axRole)).value_or(QString());
        if (subrole == QLatin1String("AXSecureTextField") ||
            subrole.contains(QLatin1String("secure"), Qt::CaseInsensitive) ||
            role.contains(QLatin1String("secure"), Qt::CaseInsensitive))
            co_return false;
        const auto enabled = attributeAs<bool>(co_await attribute(env, current, axEnabled));
        if (enabled == false)
            co_return false;
        const auto protectedContent = attributeAs<bool>(co_await attribute(env, current, axProtectedContent));
        if (protectedContent == true)
            co_return false;
        const auto secure = attributeAs<bool>(co_await attribute(env, current, axSecure));
        if (secure == true)
            co_return false;
        const Element parent = elementOf(co_await attribute(env, current, axParent));
        current = parent;
    }
    co_return true;
}

// A focused editor that draws its own text and offers no text to read (a custom-drawn editor's canvas)
// takes a paste that cannot be confirmed. Only one that is focusable, in a document window and outside
// lists, trees, tables and file views: what holds the focus there is no place to write.
Task<bool> isCustomEditor(Env env, Element element)
{
    if (attributeAs<bool>(co_await attribute(env, element, QStringLiteral("AXFocusable"))) != true)
        co_return false;
    if (co_await characterCount(env, element))
        co_return false;
    const Element window = elementOf(co_await attribute(env, element, axWindow));
    if (!window)
        co_return false;
    const auto windowKind = attributeAs<QString>(co_await attribute(env, window, axSubrole));
    if (windowKind != QStringLiteral("AXStandardWindow"))
        co_return false;
    static const QStringList collections{QStringLiteral("AXList"), QStringLiteral("AXOutline"),
                                         QStringLiteral("AXTable"), QStringLiteral("AXBrowser")};
    Element current = element;
    for (int looked = 0; current && looked < TextDelivery::ancestorLimit; ++looked) {
        const auto role = attributeAs<QString>(co_await attribute(env, current, axRole));
        if (role && collections.contains(*role))
            co_return false;
        const Element parent = elementOf(co_await attribute(env, current, axParent));
        current = parent;
    }
    co_return true;
}

Task<Element> editableElement(Env env, qint64 processID)
{
    const std::optional<Element> focus = co_await focused(env);
    if (!focus || !*focus)
        co_return nullptr;
    const std::optional<qint64> focusedProcess = co_await processOf(env, *focus);
    if (focusedProcess != processID)
        co_return nullptr;
    const bool insertable = co_await isInsertable(env, *focus);
    if (!insertable)
        co_return nullptr;
    Element candidate = elementOf(co_await attribute(env, *focus, QStringLiteral("AXEditableAncestor")));
    const bool fromAncestor = candidate != nullptr;
    if (!candidate)
        candidate = *focus;
    if (fromAncestor && !sameElement(candidate, *focus)) {
        const std::optional<qint64> candidateProcess = co_await processOf(env, candidate);
        if (candidateProcess != processID)
            co_return nullptr;
        const bool insertable = co_await isInsertable(env, candidate);
        if (!insertable)
            co_return nullptr;
    }
    const std::optional<QString> role = attributeAs<QString>(co_await attribute(env, candidate, axRole));
    if (!role)
        co_return nullptr;
    if (*role == QLatin1String("AXTextField") || *role == QLatin1String("AXTextArea") ||
        *role == QLatin1String("AXComboBox"))
        co_return candidate;
    if (*role == QLatin1String("AXGroup") && fromAncestor)
        co_return candidate;
    if (!fromAncestor && (*role == QLatin1String("AXGroup") || *role == QLatin1String("AXCanvas"))) {
        const bool editor = co_await isCustomEditor(env, candidate);
        if (editor)
            co_return candidate;
    }
    co_return nullptr;
}

Task<bool> isBareContainer(Env env, Element element)
{
    const std::optional<QString> role = attributeAs<QString>(co_await attribute(env, element, axRole));
    if (role != QLatin1String("AXGroup") && role != QLatin1String("AXWindow"))
        co_return false;
    if (elementOf(co_await attribute(env, element, QStringLiteral("AXEditableAncestor"))))
        co_return false;
    co_return !(co_await characterCount(env, element)).has_value();
}

Task<std::optional<TextRange>> selectedRange(Env env, Element element)
{
    co_return attributeAs<TextRange>(co_await attribute(env, element, QStringLiteral("AXSelectedTextRange")));
}

Task<std::optional<qint64>> characterCount(Env env, Element element)
{
    const auto value = co_await attribute(env, element, QStringLiteral("AXNumberOfCharacters"));
    if (const auto count = attributeAs<qint64>(value))
        co_return std::max<qint64>(*count, 0);
    if (const auto text = attributeAs<QString>(co_await attribute(env, element, axValue)))
        co_return text->size();
    co_return std::nullopt;
}

Task<std::optional<QString>> readText(Env env, Element element, qint64 location, qint64 length)
{
    if (location < 0 || length < 0)
        co_return std::nullopt;
    if (length == 0)
        co_return QString();
    if (const auto text = co_await rangeOf(env, element, TextRange{location, length}))
        co_return *text;
    const auto value = attributeAs<QString>(co_await attribute(env, element, axValue));
    if (value && location <= value->size() && length <= value->size() - location)
        co_return value->mid(location, length);
    co_return std::nullopt;
}

Task<std::optional<TextDelivery::Anchor>> makeAnchor(Env env, Element element, TextRange selection)
{
    if (selection.length > TextDelivery::largestAnchoredSelection)
        co_return std::nullopt;
    const std::optional<qint64> count = co_await characterCount(env, element);
    if (!count || *count < selection.location || selection.length > *count - selection.location)
        co_return std::nullopt;
    const qint64 prefixLength = std::min(selection.location, TextDelivery::anchorContext);
    const qint64 end = selection.location + selection.length;
    const qint64 suffixLength = std::min(*count - end, TextDelivery::anchorContext);
    const auto prefix = co_await readText(env, element, selection.location - prefixLength, prefixLength);
    if (!prefix)
        co_return std::nullopt;
    const auto suffix = co_await readText(env, element, end, suffixLength);
    if (!suffix)
        co_return std::nullopt;
    co_return TextDelivery::Anchor{selection, *count, *prefix, *suffix, end == *count};
}

Task<std::optional<TextDelivery::Target>> makeTarget(Env env, TextDelivery::Application application)
{
    Element element = co_await editableElement(env, application.processID);
    if (!element)
        co_return std::nullopt;
    std::optional<TextRange> selection = co_await selectedRange(env, element);
    if (selection && (selection->location < 0 || selection->length < 0))
        selection.reset();
    Element window = elementOf(co_await attribute(env, element, axWindow));
    std::optional<TextDelivery::Anchor> anchor;
    if (selection)
        anchor = co_await makeAnchor(env, element, *selection);
    const auto subrole = attributeAs<QString>(co_await attribute(env, element, axSubrole));
    const bool terminal = application.terminal || subrole == QLatin1String("AXTerminal");
    const auto role = attributeAs<QString>(co_await attribute(env, element, axRole));
    co_return TextDelivery::Target{element,          application.processID,
                                   application.name, window,
                                   selection,        anchor,
                                   terminal,         role == QLatin1String("AXTextField")};
}

Task<bool> exposesAccessibility(Env env, qint64 processID)
{
    const auto role = co_await attribute(env, env->applicationElement(processID), axRole);
    co_return attributeAs<QString>(role).has_value();
}

// The live check that the target still has focus, in the same application and window.
Task<bool> targetIsCurrent(Env env, TextDelivery::Target target)
{
    co_return co_await targetPresence(env, std::move(target)) == Presence::current;
}

Task<Presence> targetPresence(Env env, TextDelivery::Target target)
{
    if (!env->trusted())
        co_return Presence::elsewhere;
    const auto application = env->application();
    if (!application || application->processID != target.processID)
        co_return Presence::elsewhere;
    if (!target.element) // an application without accessibility: only the application can be compared
        co_return Presence::current;
    const Element element = co_await editableElement(env, target.processID);
    if (!element) {
        const std::optional<Element> focus = co_await focused(env);
        co_return focus &&*focus ? Presence::elsewhere : Presence::unreadable;
    }
    if (!sameElement(element, target.element))
        co_return Presence::elsewhere;
    if (!target.window)
        co_return Presence::current;
    const Element window = elementOf(co_await attribute(env, element, axWindow));
    co_return sameElement(window, target.window) ? Presence::current : Presence::elsewhere;
}

Task<Presence> focusPresence(Env env, TextDelivery::Target target)
{
    if (!env->trusted())
        co_return Presence::elsewhere;
    const auto application = env->application();
    if (!application || application->processID != target.processID)
        co_return Presence::elsewhere;
    if (!target.element)
        co_return Presence::current;
    const std::optional<Element> focus = co_await focused(env);
    if (!focus || !*focus)
        co_return Presence::unreadable;
    if (sameElement(*focus, target.element))
        co_return Presence::current;
    const Element holder = elementOf(co_await attribute(env, *focus, QStringLiteral("AXEditableAncestor")));
    co_return sameElement(holder, target.element) ? Presence::current : Presence::elsewhere;
}

Task<Element> focusedIn(Env env, qint64 processID)
{
    const std::optional<Element> focus = co_await focused(env);
    if (!focus || !*focus)
        co_return nullptr;
    const std::optional<qint64> owner = co_await processOf(env, *focus);
    co_return owner == processID ? *focus : nullptr;
}

Task<bool> verifyInsertion(Env env, TextDelivery::Target target, QString text)
{
    if (!target.anchor)
        co_return false;
    const TextDelivery::Anchor anchor = *target.anchor;
    const qint64 length = text.size();
    const Element element = target.element;
    // The whole text once, where the field gives it, rather than once per comparison: in a large
    // document each read moves all of it.
    if (const auto value = attributeAs<QString>(co_await attribute(env, element, axValue))) {
        if (value->size() != anchor.originalCount - anchor.selection.length + length)
            co_return false;
        if (co_await selectedRange(env, element) != TextRange{anchor.selection.location + length, 0})
            co_return false;
        const qint64 location = anchor.selection.location;
        const qint64 prefixAt = location - anchor.prefix.size();
        co_return prefixAt >= 0 && sameText(value->mid(location, length), text) &&
            sameText(value->mid(prefixAt, anchor.prefix.size()), anchor.prefix) &&
            sameText(value->mid(location + length, anchor.suffix.size()), anchor.suffix);
    }
    if (co_await characterCount(env, element) != anchor.originalCount - anchor.selection.length + length)
        co_return false;
    if (co_await selectedRange(env, element) != TextRange{anchor.selection.location + length, 0})
        co_return false;
    const auto inserted = co_await readText(env, element, anchor.selection.location, length);
    if (!inserted || !sameText(*inserted, text))
        co_return false;
    const auto prefix =
        co_await readText(env, element, anchor.selection.location - anchor.prefix.size(), anchor.prefix.size());
    if (!prefix || !sameText(*prefix, anchor.prefix))
        co_return false;
    const auto suffix = co_await readText(env, element, anchor.selection.location + length, anchor.suffix.size());
    co_return suffix &&sameText(*suffix, anchor.suffix);
}

Task<std::optional<QString>> editedSpan(Env env, TextDelivery::Observation observation)
{
    if (!observation.target.anchor)
        co_return std::nullopt;
    const TextDelivery::Anchor anchor = *observation.target.anchor;
    const Element element = observation.target.element;
    const std::optional<qint64> count = co_await characterCount(env, element);
    if (!count)
        co_return std::nullopt;
    const qint64 p = anchor.prefix.size();
    const qint64 s = anchor.suffix.size();
    const qint64 o = observation.original.size();
    // The anchor may be stale: compare before subtracting, so no position overflows.
    if (anchor.selection.location < p || anchor.selection.location - p > *count)
        co_return std::nullopt;
    const qint64 start = anchor.selection.location - p;
    const qint64 limit = p + o + TextDelivery::editedSpanRoom + s;
    const auto read = co_await readText(env, element, start, std::min(*count - start, limit));
    if (!read || !read->startsWith(anchor.prefix))
        co_return std::nullopt;
    const QString rest = read->mid(p);
    if (anchor.suffix.isEmpty()) {
        if (anchor.wasAtEnd && *count - start <= limit)
            co_return rest;
        co_return std::nullopt;
    }
    const qsizetype first = rest.indexOf(anchor.suffix);
    if (first < 0)
        co_return std::nullopt;
    if (rest.indexOf(anchor.suffix, first + anchor.suffix.size()) >= 0)
        co_return std::nullopt; // the span is ambiguous
    co_return rest.left(first);
}

} // namespace orv::reads
