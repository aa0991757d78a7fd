#include "delivery/atspi/AtspiReader.h"

#include "delivery/atspi/AtspiElement.h"
#include "delivery/atspi/AtspiFocusTracker.h"
#include "delivery/atspi/AtspiWorker.h"

#include <atspi/atspi.h>

namespace orv::atspi::reader {

namespace {

// Owns one GObject reference.
struct Ref
{
    explicit Ref(gpointer object = nullptr) : object(object) {}
    Ref(const Ref &) = delete;
    Ref &operator=(const Ref &) = delete;
    ~Ref()
    {
        if (object)
            g_object_unref(object);
    }
    AtspiAccessible *accessible() const { return static_cast<AtspiAccessible *>(object); }
    gpointer release()
    {
        gpointer taken = object;
        object = nullptr;
        return taken;
    }
    gpointer object;
};

bool hasState(AtspiAccessible *accessible, AtspiStateType state)
{
    AtspiStateSet *states = atspi_accessible_get_state_set(accessible);
    if (!states)
        return false;
    const bool present = atspi_state_set_contains(states, state);
    g_object_unref(states);
    return present;
}

AtspiRole roleOf(AtspiAccessible *accessible)
{
    GError *error = nullptr;
    const AtspiRole role = atspi_accessible_get_role(accessible, &error);
    if (error) {
        g_error_free(error);
        return ATSPI_ROLE_INVALID;
    }
    return role;
}

int childCount(AtspiAccessible *accessible)
{
    GError *error = nullptr;
    const int count = atspi_accessible_get_child_count(accessible, &error);
    if (error) {
        g_error_free(error);
        return 0;
    }
    return count;
}

AtspiAccessible *childAt(AtspiAccessible *accessible, int index)
{
    GError *error = nullptr;
    AtspiAccessible *child = atspi_accessible_get_child_at_index(accessible, index, &error);
    if (error) {
        g_error_free(error);
        if (child)
            g_object_unref(child);
        return nullptr;
    }
    return child;
}

AtspiAccessible *parentOf(AtspiAccessible *accessible)
{
    GError *error = nullptr;
    AtspiAccessible *parent = atspi_accessible_get_parent(accessible, &error);
    if (error) {
        g_error_free(error);
        if (parent)
            g_object_unref(parent);
        return nullptr;
    }
    return parent;
}

qint64 processOf(AtspiAccessible *accessible)
{
    GError *error = nullptr;
    const guint pid = atspi_accessible_get_process_id(accessible, &error);
    if (error) {
        g_error_free(error);
        return 0;
    }
    return pid;
}

bool isApplicationOrDesktop(AtspiRole role)
{
    return role == ATSPI_ROLE_APPLICATION || role == ATSPI_ROLE_DESKTOP_FRAME || role == ATSPI_ROLE_INVALID;
}

// The first application on the desktop that passes the filter (with a new reference), or null.
template <typename Filter>
AtspiAccessible *findApplication(Filter accept)
{
    Ref desktop(atspi_get_desktop(0));
    if (!desktop.object)
        return nullptr;
    const int applications = childCount(desktop.accessible());
    for (int a = 0; a < applications; ++a) {
        Ref application(childAt(desktop.accessible(), a));
        if (application.object && accept(application.accessible()))
            return static_cast<AtspiAccessible *>(application.release());
    }
    return nullptr;
}

// The application object of a process on the accessibility bus, or null.
AtspiAccessible *applicationOf(qint64 processID)
{
    return findApplication([processID](AtspiAccessible *application) { return processOf(application) == processID; });
}

// The application's top-level window with the active state, or null.
AtspiAccessible *activeWindowOf(AtspiAccessible *application)
{
    const int windows = childCount(application);
    for (int w = 0; w < windows; ++w) {
        Ref window(childAt(application, w));
        if (window.object && hasState(window.accessible(), ATSPI_STATE_ACTIVE))
            return static_cast<AtspiAccessible *>(window.release());
    }
    return nullptr;
}

// The active top-level window of the process, or of any application.
AtspiAccessible *activeWindow(qint64 processID = 0)
{
    if (processID) {
        Ref application(applicationOf(processID));
        return application.object ? activeWindowOf(application.accessible()) : nullptr;
    }
    AtspiAccessible *window = nullptr;
    Ref owner(findApplication([&window](AtspiAccessible *application) {
        window = activeWindowOf(application);
        return window != nullptr;
    }));
    return window;
}

// Children of an object that manages its descendants may be countless (table cells, a document's
// paragraphs); only this many are looked at for the focused one.
constexpr int managedChildLimit = 256;

// Depth-first search for the deepest object with the focused state: a container may carry the state
// above the field that really has it. The first pass goes only through objects that are showing; the
// second also through those that are merely visible (GTK 4 containers never say "showing").
AtspiAccessible *findFocused(AtspiAccessible *node, int &budget, bool visibleSuffices)
{
    if (--budget < 0)
        return nullptr;
    AtspiStateSet *states = atspi_accessible_get_state_set(node);
    if (!states)
        return nullptr;
    const bool focused = atspi_state_set_contains(states, ATSPI_STATE_FOCUSED);
    const bool manages = atspi_state_set_contains(states, ATSPI_STATE_MANAGES_DESCENDANTS);
    const bool showing = atspi_state_set_contains(states, ATSPI_STATE_SHOWING);
    const bool visible = atspi_state_set_contains(states, ATSPI_STATE_VISIBLE);
    g_object_unref(states);
    if (!focused && !showing && !(visibleSuffices && visible))
        return nullptr;
    const int count = childCount(node);
    for (int i = 0; i < count && budget >= 0; ++i) {
        if (manages && i >= managedChildLimit)
            break;
        Ref child(childAt(node, i));
        if (!child.object)
            continue;
        if (manages) { // enter only by the focused child
            --budget;
            if (!hasState(child.accessible(), ATSPI_STATE_FOCUSED))
                continue;
        }
        if (AtspiAccessible *found = findFocused(child.accessible(), budget, visibleSuffices))
            return found;
    }
    return focused ? static_cast<AtspiAccessible *>(g_object_ref(node)) : nullptr;
}

// The whole text of a text object, or nothing when it has no text interface.
std::optional<QString> fullText(AtspiAccessible *accessible)
{
    AtspiText *text = atspi_accessible_get_text_iface(accessible);
    if (!text)
        return std::nullopt;
    GError *error = nullptr;
    // GTK 4.8 answers an end offset of -1 ("to the end") with nothing: ask for the count first.
    const int count = atspi_text_get_character_count(text, &error);
    if (error) {
        g_error_free(error);
        g_object_unref(text);
        return std::nullopt;
    }
    gchar *content = atspi_text_get_text(text, 0, count, &error);
    g_object_unref(text);
    if (error) {
        g_error_free(error);
        g_free(content);
        return std::nullopt;
    }
    QString result = QString::fromUtf8(content ? content : "");
    g_free(content);
    return result;
}

// UTF-16 offset of a code-point offset in text.
qint64 utf16Offset(const QString &text, qint64 codePoints)
{
    qint64 units = 0;
    for (qint64 seen = 0; seen < codePoints && units < text.size(); ++seen)
        units += (text.at(units).isHighSurrogate() && units + 1 < text.size()) ? 2 : 1;
    return units;
}

std::optional<TextRange> selection(AtspiAccessible *accessible)
{
    AtspiText *text = atspi_accessible_get_text_iface(accessible);
    if (!text)
        return std::nullopt;
    GError *error = nullptr;
    qint64 start = -1;
    qint64 end = -1;
    // A terminal's selection is a copy source: a paste goes to the cursor and replaces nothing.
    const bool terminal = roleOf(accessible) == ATSPI_ROLE_TERMINAL;
    const int selections = terminal ? 0 : atspi_text_get_n_selections(text, &error);
    if (!error && selections > 0) {
        AtspiRange *range = atspi_text_get_selection(text, 0, &error);
        if (!error && range) {
            start = std::min(range->start_offset, range->end_offset);
            end = std::max(range->start_offset, range->end_offset);
        }
        if (range)
            g_free(range);
    }
    g_clear_error(&error);
    if (start < 0) {
        const int caret = atspi_text_get_caret_offset(text, &error);
        if (!error)
            start = end = caret;
        g_clear_error(&error);
    }
    g_object_unref(text);
    if (start < 0)
        return std::nullopt;
    const auto content = fullText(accessible);
    if (!content)
        return std::nullopt;
    const qint64 from = utf16Offset(*content, start);
    return TextRange{from, utf16Offset(*content, end) - from};
}

// The top-level window that holds the object: its ancestor whose parent is the application.
AtspiAccessible *windowOf(AtspiAccessible *accessible)
{
    Ref current(g_object_ref(accessible));
    for (int depth = 0; depth < 256; ++depth) {
        Ref parent(parentOf(current.accessible()));
        if (!parent.object)
            return nullptr;
        if (isApplicationOrDesktop(roleOf(parent.accessible())))
            return isApplicationOrDesktop(roleOf(current.accessible()))
                       ? nullptr
                       : static_cast<AtspiAccessible *>(current.release());
        std::swap(current.object, parent.object);
    }
    return nullptr;
}

bool hasTextInterface(AtspiAccessible *accessible)
{
    AtspiText *text = atspi_accessible_get_text_iface(accessible);
    if (!text)
        return false;
    g_object_unref(text);
    return true;
}

// The outermost editable object with text that holds an editable object, the object itself included
// (the root of a web editor is focused itself). The climb stops below an object that manages its
// descendants: a word processor's document is no text field, its paragraph is.
AtspiAccessible *editableAncestor(AtspiAccessible *accessible)
{
    if (!hasState(accessible, ATSPI_STATE_EDITABLE))
        return nullptr;
    Ref best(g_object_ref(accessible));
    Ref current(g_object_ref(accessible));
    for (int depth = 0; depth < 64; ++depth) {
        Ref parent(parentOf(current.accessible()));
        if (!parent.object || !hasState(parent.accessible(), ATSPI_STATE_EDITABLE) ||
            hasState(parent.accessible(), ATSPI_STATE_MANAGES_DESCENDANTS))
            break;
        if (hasTextInterface(parent.accessible())) {
            g_object_unref(best.object);
            best.object = g_object_ref(parent.object);
        }
        std::swap(current.object, parent.object);
    }
    return static_cast<AtspiAccessible *>(best.release());
}

std::optional<QString> roleName(AtspiRole role)
{
    switch (role) {
    case ATSPI_ROLE_ENTRY:
    case ATSPI_ROLE_PASSWORD_TEXT:
    case ATSPI_ROLE_SPIN_BUTTON:
        return QStringLiteral("AXTextField");
    case ATSPI_ROLE_TEXT:
    case ATSPI_ROLE_PARAGRAPH:
    case ATSPI_ROLE_DOCUMENT_TEXT:
    case ATSPI_ROLE_TERMINAL: // subrole "AXTerminal"
        return QStringLiteral("AXTextArea");
    case ATSPI_ROLE_COMBO_BOX:
        return QStringLiteral("AXComboBox");
    case ATSPI_ROLE_SECTION:
    case ATSPI_ROLE_PANEL:
    case ATSPI_ROLE_FILLER:
    case ATSPI_ROLE_FORM:
    case ATSPI_ROLE_GROUPING:
        return QStringLiteral("AXGroup");
    case ATSPI_ROLE_DRAWING_AREA:
    case ATSPI_ROLE_CANVAS:
        return QStringLiteral("AXCanvas");
    case ATSPI_ROLE_LIST:
    case ATSPI_ROLE_LIST_BOX:
    case ATSPI_ROLE_LAYERED_PANE: // GTK's icon view
        return QStringLiteral("AXList");
    case ATSPI_ROLE_TREE:
    case ATSPI_ROLE_TREE_TABLE:
        return QStringLiteral("AXOutline");
    case ATSPI_ROLE_TABLE:
        return QStringLiteral("AXTable");
    case ATSPI_ROLE_DIRECTORY_PANE:
        return QStringLiteral("AXBrowser");
    case ATSPI_ROLE_FRAME:
    case ATSPI_ROLE_WINDOW:
    case ATSPI_ROLE_DIALOG:
        return QStringLiteral("AXWindow");
    case ATSPI_ROLE_APPLICATION:
        return QStringLiteral("AXApplication");
    case ATSPI_ROLE_INVALID:
        return std::nullopt;
    default:
        return QStringLiteral("AXUnknown");
    }
}

std::optional<AttributeValue> elementValue(AtspiAccessible *owned, const std::shared_ptr<AtspiWorker> &worker)
{
    if (!owned)
        return std::nullopt;
    return AttributeValue(Element(AtspiElement::adopt(owned, worker)));
}

} // namespace

AtspiAccessible *accessibleOf(const Element &element)
{
    const auto *atspi = dynamic_cast<const AtspiElement *>(element.get());
    return atspi ? atspi->accessible() : nullptr;
}

std::optional<Element> focusedElement(const std::shared_ptr<AtspiWorker> &worker)
{
    Ref window(activeWindow());
    if (!window.object)
        return std::nullopt;
    // The object the application's last focus event named, while it still has the focus.
    if (AtspiFocusTracker *tracker = worker ? worker->focusTracker() : nullptr) {
        const AtspiObject *object = ATSPI_OBJECT(window.accessible());
        if (object->app && object->app->bus_name) {
            Ref candidate(tracker->lastFocused(QByteArray(object->app->bus_name)));
            if (candidate.object && hasState(candidate.accessible(), ATSPI_STATE_FOCUSED) &&
                !hasState(candidate.accessible(), ATSPI_STATE_DEFUNCT))
                return Element(AtspiElement::adopt(static_cast<AtspiAccessible *>(candidate.release()), worker));
        }
    }
    int budget = 4000;
    for (const bool visibleSuffices : {false, true}) {
        if (AtspiAccessible *focused = findFocused(window.accessible(), budget, visibleSuffices)) {
            // A walk costs a round trip per object (GTK 4 keeps no cache on the bus: hundreds of ms in a
            // large window); while a text object keeps its focused state the next look asks it alone. (A
            // container is not remembered: the focus may move into it without an event.)
            AtspiFocusTracker *tracker = worker ? worker->focusTracker() : nullptr;
            if (tracker && hasTextInterface(focused))
                tracker->walkedTo(focused);
            return Element(AtspiElement::adopt(focused, worker));
        }
    }
    return std::nullopt;
}

std::optional<ActiveApplication> activeApplication()
{
    Ref owner(findApplication([](AtspiAccessible *application) {
        const Ref window(activeWindowOf(application));
        return window.object != nullptr;
    }));
    if (!owner.object)
        return std::nullopt;
    ActiveApplication active{processOf(owner.accessible()), QString()};
    GError *error = nullptr;
    gchar *name = atspi_accessible_get_name(owner.accessible(), &error);
    g_clear_error(&error);
    active.name = QString::fromUtf8(name ? name : "");
    g_free(name);
    if (active.processID <= 0)
        return std::nullopt;
    return active;
}

bool announceReader(qint64 processID)
{
    Ref application(applicationOf(processID));
    if (!application.object)
        return false;
    // Chromium and Electron build their tree once a reader asks for an object's attributes (what a
    // screen reader does); other toolkits just answer.
    auto ask = [](AtspiAccessible *accessible) {
        GError *error = nullptr;
        if (GHashTable *attributes = atspi_accessible_get_attributes(accessible, &error))
            g_hash_table_unref(attributes);
        g_clear_error(&error);
    };
    ask(application.accessible());
    const int windows = childCount(application.accessible());
    for (int w = 0; w < windows && w < 8; ++w) {
        Ref window(childAt(application.accessible(), w));
        if (window.object)
            ask(window.accessible());
    }
    return true;
}

std::optional<AttributeValue>
attribute(const std::shared_ptr<AtspiWorker> &worker, const Element &element, const QString &name)
{
    const auto *handle = dynamic_cast<const AtspiElement *>(element.get());
    if (!handle)
        return std::nullopt;
    if (handle->applicationProcess()) {
        if (name == QLatin1String("AXFocusedWindow"))
            return elementValue(activeWindow(handle->applicationProcess()), worker);
        if (name == QLatin1String("AXRole")) {
            // Absent for a process with no application object on the bus.
            Ref application(applicationOf(handle->applicationProcess()));
            if (!application.object)
                return std::nullopt;
            if (worker && worker->focusTracker())
                worker->focusTracker()->noteApplication(application.accessible());
            return AttributeValue(QStringLiteral("AXApplication"));
        }
        return std::nullopt;
    }
    static const QStringList answered{QStringLiteral("AXRole"),
                                      QStringLiteral("AXSubrole"),
                                      QStringLiteral("AXEnabled"),
                                      QStringLiteral("AXFocusable"),
                                      QStringLiteral("AXParent"),
                                      QStringLiteral("AXWindow"),
                                      QStringLiteral("AXEditableAncestor"),
                                      QStringLiteral("AXValue"),
                                      QStringLiteral("AXNumberOfCharacters"),
                                      QStringLiteral("AXSelectedTextRange")};
    if (!answered.contains(name))
        return std::nullopt; // e.g. "AXProtectedContent", "AXSecure": AT-SPI has no such property
    AtspiAccessible *accessible = handle->accessible();
    const AtspiRole role = roleOf(accessible);
    if (role == ATSPI_ROLE_INVALID)
        return std::nullopt;
    const bool secret = role == ATSPI_ROLE_PASSWORD_TEXT;
    if (name == QLatin1String("AXRole")) {
        // Toolkits give one-line entries and text areas the same role and tell them apart by state.
        if (role == ATSPI_ROLE_TEXT && hasState(accessible, ATSPI_STATE_SINGLE_LINE))
            return AttributeValue(QStringLiteral("AXTextField"));
        if (const auto mapped = roleName(role))
            return AttributeValue(*mapped);
        return std::nullopt;
    }
    if (name == QLatin1String("AXSubrole")) {
        if (secret)
            return AttributeValue(QStringLiteral("AXSecureTextField"));
        if (role == ATSPI_ROLE_TERMINAL)
            return AttributeValue(QStringLiteral("AXTerminal"));
        // An application's main windows; dialogs and other windows are no documents.
        if (role == ATSPI_ROLE_FRAME)
            return AttributeValue(QStringLiteral("AXStandardWindow"));
        if (role == ATSPI_ROLE_DIALOG)
            return AttributeValue(QStringLiteral("AXDialog"));
        return std::nullopt;
    }
    if (name == QLatin1String("AXFocusable"))
        return AttributeValue(hasState(accessible, ATSPI_STATE_FOCUSABLE));
    if (name == QLatin1String("AXEnabled")) {
        if (isApplicationOrDesktop(role))
            return std::nullopt;
        return AttributeValue(hasState(accessible, ATSPI_STATE_ENABLED) || hasState(accessible, ATSPI_STATE_SENSITIVE));
    }
    if (name == QLatin1String("AXParent")) {
        if (isApplicationOrDesktop(role))
            return std::nullopt;
        AtspiAccessible *parent = parentOf(accessible);
        if (parent && isApplicationOrDesktop(roleOf(parent))) {
            g_object_unref(parent);
            return std::nullopt;
        }
        return elementValue(parent, worker);
    }
    if (name == QLatin1String("AXWindow"))
        return elementValue(windowOf(accessible), worker);
    if (name == QLatin1String("AXEditableAncestor"))
        return elementValue(editableAncestor(accessible), worker);
    // Text content of a password field is never read.
    if (secret)
        return std::nullopt;
    if (name == QLatin1String("AXValue")) {
        if (const auto text = fullText(accessible))
            return AttributeValue(*text);
        return std::nullopt;
    }
    if (name == QLatin1String("AXNumberOfCharacters")) {
        if (const auto text = fullText(accessible))
            return AttributeValue(qint64(text->size()));
        return std::nullopt;
    }
    if (name == QLatin1String("AXSelectedTextRange")) {
        if (const auto range = selection(accessible))
            return AttributeValue(*range);
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<QString> stringForRange(const Element &element, TextRange range)
{
    AtspiAccessible *accessible = accessibleOf(element);
    if (!accessible || roleOf(accessible) == ATSPI_ROLE_PASSWORD_TEXT)
        return std::nullopt;
    const auto text = fullText(accessible);
    if (!text || range.location < 0 || range.length < 0 || range.location > text->size() ||
        range.length > text->size() - range.location)
        return std::nullopt;
    return text->mid(range.location, range.length);
}

std::optional<qint64> processID(const Element &element)
{
    const auto *handle = dynamic_cast<const AtspiElement *>(element.get());
    if (!handle)
        return std::nullopt;
    if (handle->applicationProcess())
        return handle->applicationProcess();
    const qint64 pid = processOf(handle->accessible());
    if (pid <= 0)
        return std::nullopt;
    return pid;
}

bool hasText(const Element &element)
{
    AtspiAccessible *accessible = accessibleOf(element);
    if (!accessible)
        return false;
    AtspiText *text = atspi_accessible_get_text_iface(accessible);
    if (!text)
        return false;
    g_object_unref(text);
    return true;
}

} // namespace orv::atspi::reader
