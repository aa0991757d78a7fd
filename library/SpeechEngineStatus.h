#pragma once

#include <QObject>
#include <QString>

#include <functional>

namespace orv {

// What came of the speech engine choice: the recognizer's name and a sentence about it ("Answering at …"),
// reported by the composition root that makes the choice work, read by the Settings page. check() asks the
// chosen recognizer again.
class SpeechEngineStatus final : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    QString name() const { return m_name; }
    QString text() const { return m_text; }
    // Emits changed() when either differs.
    void report(const QString &name, const QString &text);
    void check();

    std::function<void()> onCheck;

Q_SIGNALS:
    void changed();

private:
    QString m_name;
    QString m_text;
};

} // namespace orv
