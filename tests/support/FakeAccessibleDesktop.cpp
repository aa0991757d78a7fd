#include "tests/support/FakeAccessibleDesktop.h"

#include "tests/support/FakePasteboard.h"
#include "tests/support/ScriptedAnswers.h"

#include <algorithm>

using namespace Qt::StringLiterals;

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

template <typename Compute>
auto FakeAccessibleDesktop::later(Compute compute) -> Task<decltype(compute())>
{
    if (replyDelay > Duration::zero())
        co_await sleepFor(m_scheduler, replyDelay);
    co_return compute();
}

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
        return m_desktop.later([&desktop = m_desktop, element, name] {
            return element && !(desktop.observerRegistrationFails && name == u"AXValueChanged"_s);
        });
    }

private:
    FakeAccessibleDesktop &m_desktop;
    std::size_t m_slot;
};

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
    env.focusedElement = [this] {
        return later([this] {
            const int focused = m_focused;
            callIfSet(onFocusRead);
            return focused ? std::optional<Element>(handle(focused)) : std::nullopt;
        });
    };
    env.attribute = [this](Element element, QString name) { return later([=, this] { return read(element, name); }); };
    env.stringForRange = [this](Element element, TextRange range) {
        return later([=, this] { return stringForRange(element, range); });
    };
    env.processID = [this](Element element) {
        return later([=, this] {
            const auto found = m_nodes.find(idOf(element));
            return found == m_nodes.end() ? std::nullopt : std::optional<qint64>(found->second.processID);
        });
    };
    env.applicationElement = [](qint64 processID) { return std::make_shared<Handle>(static_cast<int>(-processID)); };
    env.enableAccessibility = [this](qint64) {
        return later([this] {
            ++enableCalls;
            return enableAccessibilityResult;
        });
    };
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
    Node &node = m_nodes[id];
    node.parent = parent;
    node.processID = processID;
    node.attributes.insert(u"AXRole"_s, role);
    if (parent)
        node.attributes.insert(u"AXParent"_s, handle(parent));
    return id;
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

Element FakeAccessibleDesktop::handle(int node) const
{
    return std::make_shared<Handle>(node);
}

void FakeAccessibleDesktop::userEdit(int node, const QString &text, TextRange selection)
{
    setText(node, text, selection);
    fire(u"AXValueChanged"_s);
}

void FakeAccessibleDesktop::fire(const QString &notification)
{
    for (const auto &callback : decltype(m_callbacks)(m_callbacks))
        if (callback)
            callback(notification);
}

std::optional<AttributeValue> FakeAccessibleDesktop::read(const Element &element, const QString &name)
{
    const int id = idOf(element);
    if (id < 0) { // an application element
        // A process that shows nothing on the accessibility bus has no application object to ask.
        const auto shown = [&](const auto &entry) { return entry.second.processID == -id; };
        if (name == u"AXRole"_s && std::any_of(m_nodes.begin(), m_nodes.end(), shown))
            return AttributeValue(u"AXApplication"_s);
        const auto it = m_focusedWindows.find(-id);
        if (name != u"AXFocusedWindow"_s || it == m_focusedWindows.end() || !it->second)
            return std::nullopt;
        return AttributeValue(handle(*it->second));
    }
    const auto found = m_nodes.find(id);
    if (found == m_nodes.end())
        return std::nullopt;
    Node &node = found->second;
    if (node.missing.contains(name))
        return std::nullopt;
    const bool textual = name == u"AXValue"_s || name == u"AXNumberOfCharacters"_s || name == u"AXSelectedTextRange"_s;
    if (textual)
        ++node.textReads;
    if (const auto it = node.attributes.constFind(name); it != node.attributes.constEnd())
        return *it;
    if (!node.hasText || !textual)
        return std::nullopt;
    if (name == u"AXValue"_s)
        return AttributeValue(node.text);
    if (name == u"AXNumberOfCharacters"_s)
        return AttributeValue(qint64(node.text.size()));
    return AttributeValue(node.selection);
}

std::optional<QString> FakeAccessibleDesktop::stringForRange(const Element &element, TextRange range)
{
    const auto found = m_nodes.find(idOf(element));
    if (!stringForRangeWorks || found == m_nodes.end() || !found->second.hasText)
        return std::nullopt;
    Node &node = found->second;
    ++node.textReads;
    if (range.location + range.length > node.text.size())
        return std::nullopt;
    return node.text.mid(range.location, range.length);
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
