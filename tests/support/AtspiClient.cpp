#include "tests/support/AtspiClient.h"

#include <atspi/atspi.h>

namespace orv::test {

namespace {

QString taken(gchar *text)
{
    const QString result = text ? QString::fromUtf8(text) : QString();
    g_free(text);
    return result;
}

// libatspi's interface objects, released when done with.
template <typename T>
std::unique_ptr<T, void (*)(gpointer)> owned(T *object)
{
    return {object, g_object_unref};
}

} // namespace

AccessibleNode::AccessibleNode(AtspiAccessible *adopted)
{
    if (adopted)
        m_node.reset(adopted, g_object_unref);
}

AccessibleNode AccessibleNode::desktop()
{
    [[maybe_unused]] static const int initialized = atspi_init();
    return AccessibleNode(atspi_get_desktop(0));
}

QString AccessibleNode::name() const
{
    return m_node ? taken(atspi_accessible_get_name(m_node.get(), nullptr)) : QString();
}

QString AccessibleNode::description() const
{
    return m_node ? taken(atspi_accessible_get_description(m_node.get(), nullptr)) : QString();
}

QString AccessibleNode::role() const
{
    return m_node ? taken(atspi_accessible_get_role_name(m_node.get(), nullptr)) : QString();
}

void AccessibleNode::readFresh() const
{
    if (m_node)
        atspi_accessible_set_cache_mask(m_node.get(), ATSPI_CACHE_NONE);
}

qint64 AccessibleNode::processID() const
{
    return m_node ? atspi_accessible_get_process_id(m_node.get(), nullptr) : 0;
}

bool AccessibleNode::hasState(AtspiStateType state) const
{
    const auto states = owned(m_node ? atspi_accessible_get_state_set(m_node.get()) : nullptr);
    return states && atspi_state_set_contains(states.get(), state);
}

QString AccessibleNode::text() const
{
    const auto text = owned(m_node ? atspi_accessible_get_text_iface(m_node.get()) : nullptr);
    return text ? taken(atspi_text_get_text(text.get(), 0, -1, nullptr)) : QString();
}

QRect AccessibleNode::extents() const
{
    const auto component = owned(m_node ? atspi_accessible_get_component_iface(m_node.get()) : nullptr);
    AtspiRect *rect =
        component ? atspi_component_get_extents(component.get(), ATSPI_COORD_TYPE_SCREEN, nullptr) : nullptr;
    const QRect result = rect ? QRect(rect->x, rect->y, rect->width, rect->height) : QRect();
    g_free(rect);
    return result;
}

QList<AccessibleNode> AccessibleNode::children() const
{
    QList<AccessibleNode> result;
    if (!m_node)
        return result;
    const gint count = atspi_accessible_get_child_count(m_node.get(), nullptr);
    for (gint i = 0; i < count; ++i)
        if (AtspiAccessible *child = atspi_accessible_get_child_at_index(m_node.get(), i, nullptr))
            result.append(AccessibleNode(child));
    return result;
}

bool AccessibleNode::doAction(const QString &action) const
{
    const auto actions = owned(m_node ? atspi_accessible_get_action_iface(m_node.get()) : nullptr);
    const gint count = actions ? atspi_action_get_n_actions(actions.get(), nullptr) : 0;
    for (gint i = 0; i < count; ++i)
        if (taken(atspi_action_get_action_name(actions.get(), i, nullptr)) == action)
            return atspi_action_do_action(actions.get(), i, nullptr);
    return false;
}

void AccessibleNode::walk(const std::function<void(const AccessibleNode &)> &visit) const
{
    find([&](const AccessibleNode &node) {
        visit(node);
        return false;
    });
}

std::optional<AccessibleNode> AccessibleNode::find(const std::function<bool(const AccessibleNode &)> &match) const
{
    if (!m_node)
        return std::nullopt;
    if (match(*this))
        return *this;
    for (const AccessibleNode &child : children())
        if (std::optional<AccessibleNode> found = child.find(match))
            return found;
    return std::nullopt;
}

std::optional<AccessibleNode> AccessibleNode::find(const QString &role, const QString &name) const
{
    return find([&](const AccessibleNode &node) { return node.role() == role && node.name() == name; });
}

std::optional<AccessibleNode> waitForApplication(const QString &name, qint64 processID, int timeoutMs)
{
    std::optional<AccessibleNode> found;
    waitUntil(
        [&] {
            for (const AccessibleNode &application : AccessibleNode::desktop().children()) {
                if (application.name() == name && (processID <= 0 || application.processID() == processID)) {
                    found = application;
                    found->readFresh();
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    return found;
}

} // namespace orv::test
