#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace orv {

// The desktop's own facilities the model uses: opening a link or a settings page, and the session's
// accessibility switch.
class Desktop
{
public:
    virtual ~Desktop() = default;

    // Opens the URL with the desktop; "settings:<page>" opens that page of the desktop's settings program
    // where one exists. Answers whether something was opened.
    virtual bool openUrl(const QUrl &url) = 0;

    // The session's accessibility switch: while it is on, applications publish their controls to assistive
    // tools (and to Orvanta's reading of text fields). None when no accessibility bus answers.
    virtual std::optional<bool> sessionAccessibility() = 0;
    // Switches it on; answers whether the bus took the change.
    virtual bool enableSessionAccessibility() = 0;
};

// The privacy places the pages ask for, named as the model's callers name them.
namespace privacyAnchor {
inline QString microphone()
{
    return QStringLiteral("Privacy_Microphone");
}
inline QString speechRecognition()
{
    return QStringLiteral("Privacy_SpeechRecognition");
}
inline QString accessibility()
{
    return QStringLiteral("Privacy_Accessibility");
}
} // namespace privacyAnchor

// Where a privacy anchor leads on a Linux desktop: the sound settings for the microphone, the
// accessibility settings for Accessibility. Recognition is local, so the speech anchor (and any unknown
// one) leads nowhere.
std::optional<QUrl> privacySettingsUrl(const QString &anchor);

} // namespace orv
