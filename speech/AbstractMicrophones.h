#pragma once

#include "base/Expected.h"

#include <QList>
#include <QString>

#include <functional>

namespace orv {

// One input of the sound server as the user knows it.
struct Microphone
{
    QString name;        // the sound server's name, what the settings store
    QString description; // what the user reads ("Webcam C920 Analog Stereo")
    bool isDefault = false;

    bool operator==(const Microphone &) const = default;
};

// The sound server's inputs (monitors of outputs left out), followed as they come and go; the one chosen
// for dictation; and a level meter on one of them for the user to hear it before dictating. Main thread
// only; the callbacks arrive there.
class AbstractMicrophones
{
public:
    virtual ~AbstractMicrophones() = default;

    // The list changed (a source came or went, the default moved, the server came or went).
    std::function<void()> onChanged;

    // In the server's order; empty without a server.
    virtual QList<Microphone> microphones() const = 0;
    // The chosen source, with the description it had when chosen; an empty name: the desktop's default.
    virtual Microphone chosen() const = 0;
    // Keeps the choice for the next dictation, or says why it could not.
    virtual Expected<void, QString> choose(const QString &name) = 0;

    // Meters name (empty: the default) until stopMeter(): levels from 0 to 1 go to onLevel a few times a
    // second. A new start replaces the running meter and its callback.
    virtual void startMeter(const QString &name, std::function<void(float)> onLevel) = 0;
    virtual void stopMeter() = 0;
    virtual bool isMetering() const = 0;

    // The user-facing name of a source: its description, else its name.
    static QString displayName(const QList<Microphone> &list, const QString &name)
    {
        for (const Microphone &microphone : list)
            if (microphone.name == name && !microphone.description.isEmpty())
                return microphone.description;
        return name;
    }
};

} // namespace orv
