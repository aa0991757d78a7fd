#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <mutex>

typedef struct _AtspiAccessible AtspiAccessible;
typedef struct _AtspiEventListener AtspiEventListener;

namespace orv::atspi {

// Remembers, per application, the object its last focus event named (or, where none came, the text
// object a tree walk last found focused): where a tree walk has to guess
// (containers that are visible but not "showing", documents that manage their descendants, a panel
// that carries the focused state above the real field), the toolkit's own focus event says which
// object has the focus. Also notes the names applications give themselves on the accessibility bus.
// Worker thread only, except applicationName().
class AtspiFocusTracker
{
public:
    AtspiFocusTracker();
    ~AtspiFocusTracker();
    AtspiFocusTracker(const AtspiFocusTracker &) = delete;
    AtspiFocusTracker &operator=(const AtspiFocusTracker &) = delete;

    // Registers for focus events; false when the registry refused.
    bool start();
    // The last object an application (by bus name) reported focused, with a new reference; null when none.
    AtspiAccessible *lastFocused(const QByteArray &busName) const;
    // Notes an object that a tree walk found focused: a toolkit that sends a focus event only once a
    // reader has asked about the object (GTK 4) sent none for it, and the next look starts there.
    void walkedTo(AtspiAccessible *focused);
    // Notes an application's own name for its process.
    void noteApplication(AtspiAccessible *application);
    // Any thread.
    QString applicationName(qint64 processID) const;

private:
    struct Focus
    {
        AtspiAccessible *object = nullptr;
        quint64 sequence = 0;
    };
    static void onEvent(void *event, void *data);
    void focused(AtspiAccessible *source);

    AtspiEventListener *m_listener = nullptr;
    QHash<QByteArray, Focus> m_focus;
    QHash<QByteArray, bool> m_namedBuses;
    quint64 m_sequence = 0;
    mutable std::mutex m_namesLock;
    QHash<qint64, QString> m_names;
};

} // namespace orv::atspi
