#pragma once

#include "base/Task.h"
#include "library/Records.h"

#include <QString>

#include <functional>
#include <optional>

namespace orv {

// An application as the desktop reports it: its process and display name.
struct ApplicationInfo
{
    qint64 processID = 0;
    QString name;
    bool terminal = false; // a terminal emulator: pastes with Ctrl+Shift+V

    bool operator==(const ApplicationInfo &) const = default;
};

// What the app model needs of text delivery.
class AbstractTextDelivery
{
public:
    virtual ~AbstractTextDelivery() = default;

    // (text the model believed was in the field, text the user left there)
    std::function<void(const QString &, const QString &)> onCorrection;
    std::function<void(const QString &)> onNotice;

    // Captures the focused application and text field for the dictation that begins.
    virtual bool prepare() = 0;
    virtual void cancelCapture() = 0;
    virtual void stopObservation() = 0;
    // Name of the application captured by prepare(); empty when none.
    virtual QString targetApplicationName() const = 0;
    // `dictated` is the text before the formatter changed it: a capital the formatter gave its first word
    // is dropped where the text goes into the middle of a sentence. Empty: every capital is kept.
    virtual Task<DeliveryResult> deliver(QString text, bool observe, QString dictated = {}) = 0;
    // Leaves text on the clipboard without pasting it anywhere; false when the clipboard refused it.
    virtual bool copyToClipboard(const QString &text) = 0;

    // The environment's trust check: we may read other applications and post keys. Never prompts.
    virtual bool isTrusted() const = 0;
    virtual std::optional<ApplicationInfo> frontmostApplication() const = 0;
    // Switches on the accessibility of the process's toolkit where it exposes it only on request (once per
    // process). True when that was done before; otherwise it starts and false is returned.
    virtual bool prepareProcess(qint64 processID) = 0;
    virtual qint64 ownProcessID() const = 0;
};

} // namespace orv
