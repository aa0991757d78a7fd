#include "tests/support/FakeAccessibleDesktop.h"

#include "tests/support/FakePasteboard.h"

namespace orv::test {

class FakeAccessibleDesktop::Handle final : public AccessibleElement
{
public:
    explicit Handle(int id) : id(id) {}
    bool isEqual(const AccessibleElement &other) const override
    {
        const auto *fake = dynamic_cast<const Handle *>(&other);
        return fake && fake->id == id;
    }
    const int id;
};

class FakeAccessibleDesktop::Observer final : public AccessibilityObserver
{
public:
    Observer(FakeAccessibleDesktop &desktop, std::size_t slot) : m_desktop(desktop), m_slot(slot)
    {
        ++m_desktop.m_liveObservers;
    }
    ~Observer() override
    {
        m_desktop.m_callbacks[m_slot] = nullptr;
        --m_desktop.m_liveObservers;
    }
    Task<bool> addNotification(Element element, QString name) override
    {
        return registerTask(&m_desktop, std::move(element), std::move(name));
    }

private:
    static Task<bool> registerTask(FakeAccessibleDesktop *desktop, Element element, QString name)
    {
        co_await desktop->delay();
        co_return element && !(desktop->observerRegistrationFails && name == QLatin1String("AXValueChanged"));
    }
    FakeAccessibleDesktop &m_desktop;
    std::size_t m_slot;
};

FakeAccessibleDesktop::FakeAccessibleDesktop(Scheduler &scheduler, FakePasteboard &pasteboard)
    : m_scheduler(scheduler), m_pasteboard(pasteboard)
{}

FakeAccessibleDesktop::~FakeAccessibleDesktop() = default;

int FakeAccessibleDesktop::idOf(const Element &element)
{
    const auto *handle = dynamic_cast<const Handle *>(element.get());
    return handle ? handle->id : 0;
}

TextDelivery::Environment FakeAccessibleDesktop::environment()
{
    TextDelivery::Environment env;
    env.trusted = [this] { return trusted; };
    env.application = [this] { return m_application; };
    env.focusedElement = [this] { return focusedTask(); };
    env.attribute = [this](Element element, QString name) { return attributeTask(std::move(element), name); };
    env.stringForRange = [this](Element element, TextRange range) { return stringForRangeTask(element, range); };
    env.processID = [this](Element element) { return processTask(std::move(element)); };
    env.applicationElement = [](qint64 processID) { return std::make_shared<Handle>(static_cast<int>(-processID)); };
    env.enableAccessibility = [this](qint64) { return enableTask(); };
    env.keysHeld = [this] { return keysHeld; };
    env.postPaste = [this](bool terminal) { return paste(terminal); };
    env.createObserver = [this](qint64, std::function<void(QString)> callback) {
        m_callbacks.push_back(std::move(callback));
        return std::make_unique<Observer>(*this, m_callbacks.size() - 1);
    };
    env.pasteboard = std::shared_ptr<Pasteboard>(&m_pasteboard, [](Pasteboard *) {});
    return env;
}

int FakeAccessibleDesktop::addNode(int parent, const QString &role, qint64 processID)
{
    const int id = m_nextId++;
    Node node;
    node.parent = parent;
    node.processID = processID;
    node.attributes.insert(QStringLiteral("AXRole"), role);
    if (parent)
        node.attributes.insert(QStringLiteral("AXParent"), handle(parent));
    m_nodes[id] = node;
    return id;
}

int FakeAccessibleDesktop::addWindow(qint64 processID)
{
    return addNode(0, QStringLiteral("AXWindow"), processID);
}

void FakeAccessibleDesktop::setAttribute(int node, const QString &name, AttributeValue value)
{
    m_nodes[node].attributes.insert(name, std::move(value));
    m_nodes[node].missing.remove(name);
}

void FakeAccessibleDesktop::removeAttribute(int node, const QString &name)
{
    m_nodes[node].attributes.remove(name);
    m_nodes[node].missing.insert(name);
}

void FakeAccessibleDesktop::setText(int node, const QString &text, TextRange selection)
{
    Node &n = m_nodes[node];
    n.hasText = true;
    n.text = text;
    n.selection = selection;
}

void FakeAccessibleDesktop::setSelection(int node, TextRange selection)
{
    m_nodes[node].selection = selection;
}

QString FakeAccessibleDesktop::text(int node) const
{
    return m_nodes.at(node).text;
}

Element FakeAccessibleDesktop::handle(int node) const
{
    return std::make_shared<Handle>(node);
}

void FakeAccessibleDesktop::focus(int node)
{
    m_focused = node;
}

void FakeAccessibleDesktop::setFocusedWindow(qint64 processID, std::optional<int> window)
{
    if (window)
        m_focusedWindows[processID] = *window;
    else
        m_focusedWindows.erase(processID);
}

void FakeAccessibleDesktop::setApplication(qint64 processID, const QString &name, bool terminal)
{
    m_application = ApplicationInfo{processID, name, terminal};
}

void FakeAccessibleDesktop::userEdit(int node, const QString &text, TextRange selection)
{
    setText(node, text, selection);
    fireValueChanged();
}

void FakeAccessibleDesktop::fireValueChanged()
{
    const auto callbacks = m_callbacks;
    for (const auto &callback : callbacks)
        if (callback)
            callback(QStringLiteral("AXValueChanged"));
}

void FakeAccessibleDesktop::fireDestroyed()
{
    const auto callbacks = m_callbacks;
    for (const auto &callback : callbacks)
        if (callback)
            callback(QStringLiteral("AXUIElementDestroyed"));
}

int FakeAccessibleDesktop::textReads(int node) const
{
    const auto it = m_nodes.find(node);
    return it == m_nodes.end() ? 0 : it->second.textReads;
}

std::optional<AttributeValue> FakeAccessibleDesktop::read(const Element &element, const QString &name)
{
    const int id = idOf(element);
    if (id < 0) { // an application element
        if (name == QLatin1String("AXRole")) {
            // A process that shows nothing on the accessibility bus has no application object to ask.
            for (const auto &entry : m_nodes)
                if (entry.second.processID == -id)
                    return AttributeValue(QStringLiteral("AXApplication"));
            return std::nullopt;
        }
        if (name != QLatin1String("AXFocusedWindow"))
            return std::nullopt;
        const auto it = m_focusedWindows.find(-id);
        if (it == m_focusedWindows.end())
            return std::nullopt;
        return AttributeValue(handle(it->second));
    }
    const auto found = m_nodes.find(id);
    if (found == m_nodes.end())
        return std::nullopt;
    Node &node = found->second;
    if (node.missing.contains(name))
        return std::nullopt;
    const bool textual = name == QLatin1String("AXValue") || name == QLatin1String("AXNumberOfCharacters") ||
                         name == QLatin1String("AXSelectedTextRange");
    if (textual)
        ++node.textReads;
    if (const auto it = node.attributes.constFind(name); it != node.attributes.constEnd())
        return *it;
    if (!node.hasText || !textual)
        return std::nullopt;
    if (name == QLatin1String("AXValue"))
        return AttributeValue(node.text);
    if (name == QLatin1String("AXNumberOfCharacters"))
        return AttributeValue(qint64(node.text.size()));
    return AttributeValue(node.selection);
}

Task<> FakeAccessibleDesktop::delay()
{
    if (replyDelay > Duration::zero())
        co_await sleepFor(m_scheduler, replyDelay);
}

Task<std::optional<AttributeValue>> FakeAccessibleDesktop::attributeTask(Element element, QString name)
{
    co_await delay();
    co_return read(element, name);
}

Task<std::optional<QString>> FakeAccessibleDesktop::stringForRangeTask(Element element, TextRange range)
{
    co_await delay();
    const auto found = m_nodes.find(idOf(element));
    if (!stringForRangeWorks || found == m_nodes.end() || !found->second.hasText)
        co_return std::nullopt;
    Node &node = found->second;
    ++node.textReads;
    if (range.location + range.length > node.text.size())
        co_return std::nullopt;
    co_return node.text.mid(range.location, range.length);
}

Task<std::optional<Element>> FakeAccessibleDesktop::focusedTask()
{
    co_await delay();
    const int focused = m_focused;
    if (onFocusRead)
        onFocusRead();
    if (!focused)
        co_return std::nullopt;
    co_return handle(focused);
}

Task<std::optional<qint64>> FakeAccessibleDesktop::processTask(Element element)
{
    co_await delay();
    const auto found = m_nodes.find(idOf(element));
    if (found == m_nodes.end())
        co_return std::nullopt;
    co_return found->second.processID;
}

Task<bool> FakeAccessibleDesktop::enableTask()
{
    co_await delay();
    ++enableCalls;
    co_return enableAccessibilityResult;
}

bool FakeAccessibleDesktop::paste(bool terminal)
{
    if (!pastePosted)
        return false;
    ++pasteCount;
    pastedAsTerminal = terminal;
    // The field asks for the clipboard at once; it shows the text a little later.
    const std::weak_ptr<int> alive = m_life;
    const QString pasted = m_pasteboard.string();
    m_scheduler.schedule(pasteDelay, [this, alive, pasted] {
        if (!alive.expired())
            applyPaste(pasted);
    });
    return true;
}

void FakeAccessibleDesktop::applyPaste(const QString &pasted)
{
    const auto found = m_nodes.find(m_focused);
    if (found == m_nodes.end() || !found->second.hasText)
        return;
    Node &node = found->second;
    node.text.replace(node.selection.location, node.selection.length, pasted);
    if (pasteMovesCaret)
        node.selection = TextRange{node.selection.location + pasted.size(), 0};
}

} // namespace orv::test
