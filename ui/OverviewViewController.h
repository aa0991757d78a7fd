#pragma once

#include "base/Scheduler.h"

#include <QUuid>
#include <QWidget>

#include <optional>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace orv {

class AppModel;

namespace ui {

class Card;
class PermissionRow;

// The Overview page: what the application is doing with the record button and Copy, the permissions still
// missing with the buttons that grant them, and the test pad, which receives every new dictation result and
// learns the corrections typed into it (0.9 s after the last keystroke). The pad is also where a user whose
// desktop gives no global keys dictates and corrects. Redraws from the model on every change notification,
// touching only what changed.
class OverviewViewController final : public QWidget
{
    Q_OBJECT

public:
    static constexpr Duration correctionDelay = std::chrono::milliseconds(900);

    explicit OverviewViewController(AppModel &model, QWidget *parent = nullptr);
    ~OverviewViewController() override;

    void refresh();
    void toggleRecording();
    void copyResult();
    void setup();
    void enableAccessibility();
    void saveTestpadCorrection();

    QLabel *holdHint() const { return m_holdHint; }
    QLabel *statusLabel() const { return m_statusLabel; }
    QLabel *errorLabel() const { return m_errorLabel; }
    PermissionRow *microphoneRow() const { return m_microphone; }
    PermissionRow *speechRow() const { return m_speech; }
    PermissionRow *accessibilityRow() const { return m_accessibility; }
    QPushButton *recordButton() const { return m_recordButton; }
    const QString &recordSymbol() const { return m_recordSymbol; }
    QPushButton *copyButton() const { return m_copyButton; }
    QPushButton *setupButton() const { return m_setupButton; }
    QPushButton *accessibilityButton() const { return m_accessibilityButton; }
    Card *permissionCard() const { return m_permissionCard; }
    QPlainTextEdit *textView() const { return m_textView; }
    const std::optional<QUuid> &resultID() const { return m_resultID; }
    bool correctionPending() const { return m_correctionTimer.has_value(); }

    // Whether a permission status text counts as granted on this page.
    static bool isGranted(const QString &status);

private:
    QWidget *buildStatusCard();
    QWidget *buildPermissionCard();
    QWidget *buildTranscriptCard();
    void refreshStatus();
    void refreshRecordButton();
    void refreshKeyTexts();
    void refreshPermissions();
    void refreshTestPad();
    void testPadChanged();
    void stopCorrectionTimer();

    AppModel &m_model;
    QLabel *m_holdHint = nullptr;
    QLabel *m_statusLabel = nullptr;
    QLabel *m_errorLabel = nullptr;
    PermissionRow *m_microphone = nullptr;
    PermissionRow *m_speech = nullptr;
    PermissionRow *m_accessibility = nullptr;
    QPushButton *m_recordButton = nullptr;
    QPushButton *m_copyButton = nullptr;
    QPushButton *m_setupButton = nullptr;
    QPushButton *m_accessibilityButton = nullptr;
    Card *m_permissionCard = nullptr;
    QPlainTextEdit *m_textView = nullptr;
    std::optional<QUuid> m_resultID;
    std::optional<Scheduler::TimerId> m_correctionTimer;
    // Set while the page itself replaces the pad's text, which is no edit of the user's.
    bool m_replacingText = false;
    // What is shown now, so that a level report or a tick redraws nothing.
    std::optional<bool> m_shownRecording;
    QString m_recordSymbol;
    QString m_shownNames;
    struct PermissionsShown
    {
        QString microphone;
        QString speech;
        bool accessibility = false;
        bool operator==(const PermissionsShown &) const = default;
    };
    std::optional<PermissionsShown> m_shownPermissions;
};

} // namespace ui
} // namespace orv
