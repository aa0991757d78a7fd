#include "ui/OverviewViewController.h"

#include "base/PlatformText.h"
#include "core/AppModel.h"
#include "ui/AccessibilityPrompt.h"
#include "ui/Card.h"
#include "ui/PermissionRow.h"
#include "ui/Redraw.h"
#include "ui/SymbolView.h"
#include "ui/Symbols.h"
#include "ui/UIComponents.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace orv::ui {

namespace {

QVBoxLayout *column(QWidget *owner, int spacing)
{
    auto *layout = new QVBoxLayout(owner);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(pixelsForPoints(spacing));
    return layout;
}

QString outcomeText(DeliveryResult::Outcome outcome, const QString &status)
{
    switch (outcome) {
    case DeliveryResult::Outcome::inserted:
        return status == QLatin1String("Ready") ? QStringLiteral("Inserted") : status;
    case DeliveryResult::Outcome::sent:
        return QStringLiteral("Sent");
    case DeliveryResult::Outcome::copied:
        return QStringLiteral("Copied · %1 to paste").arg(platform::pasteKeys());
    case DeliveryResult::Outcome::failed:
        return QStringLiteral("Not inserted");
    }
    return status;
}

} // namespace

OverviewViewController::OverviewViewController(AppModel &model, QWidget *parent) : QWidget(parent), m_model(model)
{
    setAccessibleName(QStringLiteral("Overview"));
    auto *content = new QWidget;
    QVBoxLayout *layout = column(content, 16);
    layout->addWidget(label(QStringLiteral("Overview"), 26, QFont::Bold));
    layout->addWidget(buildStatusCard());
    layout->addWidget(buildPermissionCard());
    layout->addWidget(buildTranscriptCard());
    scrollingPage(this, content, 28);
    connect(&m_model, &AppModel::changed, this, &OverviewViewController::refresh);
    refresh();
}

OverviewViewController::~OverviewViewController()
{
    stopCorrectionTimer();
}

QWidget *OverviewViewController::buildStatusCard()
{
    auto *content = new QWidget;
    QVBoxLayout *layout = column(content, 12);

    auto *hint = new QHBoxLayout;
    hint->setSpacing(pixelsForPoints(8));
    hint->addWidget(symbolImage(QStringLiteral("waveform"), palette().color(QPalette::Highlight), 18));
    m_holdHint = label(QString(), 18);
    hint->addWidget(m_holdHint, 1);
    layout->addLayout(hint);

    m_recordButton = new QPushButton;
    m_recordButton->setFont(ui::font(15, QFont::DemiBold));
    m_recordButton->setMinimumHeight(pixelsForPoints(36));
    m_recordButton->setMinimumWidth(pixelsForPoints(120));
    m_recordButton->setIconSize(QSize(pixelsForPoints(15), pixelsForPoints(15)));
    m_recordButton->setStyleSheet(accentButtonStyle(palette()));
    m_recordButton->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    connect(m_recordButton, &QPushButton::clicked, this, &OverviewViewController::toggleRecording);
    m_statusLabel = label(QString(), 13, QFont::Normal, Tone::secondary);
    m_copyButton = new QPushButton(symbols::icon(QStringLiteral("doc.on.doc")), QStringLiteral("&Copy"));
    m_copyButton->setAccessibleName(QStringLiteral("Copy dictation transcript"));
    m_copyButton->setMinimumHeight(pixelsForPoints(36)); // as tall as Dictate beside it
    connect(m_copyButton, &QPushButton::clicked, this, &OverviewViewController::copyResult);
    auto *actions = new QHBoxLayout;
    actions->setSpacing(pixelsForPoints(12));
    actions->addWidget(m_recordButton);
    actions->addWidget(m_statusLabel);
    actions->addStretch(1);
    actions->addWidget(m_copyButton);
    layout->addLayout(actions);

    m_errorLabel = label(QString(), 13, QFont::Normal, Tone::error, true);
    m_errorLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_errorLabel->hide();
    layout->addWidget(m_errorLabel);
    return card(content, 20);
}

QWidget *OverviewViewController::buildPermissionCard()
{
    auto *content = new QWidget;
    QVBoxLayout *layout = column(content, 10);
    layout->addWidget(label(QStringLiteral("Permissions"), 15, QFont::DemiBold));
    m_microphone = new PermissionRow(QStringLiteral("Microphone"), QStringLiteral("Listen while you dictate."));
    m_speech = new PermissionRow(QStringLiteral("Speech Recognition"),
                                 QStringLiteral("Turn speech into text %1.").arg(platform::onThisComputer()));
    m_accessibility = new PermissionRow(QStringLiteral("Accessibility"), QString());
    layout->addWidget(m_microphone);
    layout->addWidget(m_speech);
    layout->addWidget(m_accessibility);

    m_setupButton = new QPushButton(QStringLiteral("Enable Dictation…"));
    describe(m_setupButton, QStringLiteral("Enable Dictation…"),
             QStringLiteral("Ask for the microphone and speech recognition."));
    connect(m_setupButton, &QPushButton::clicked, this, &OverviewViewController::setup);
    m_accessibilityButton = new QPushButton(QStringLiteral("Enable Accessibility…"));
    describe(m_accessibilityButton, QStringLiteral("Enable Accessibility…"),
             QStringLiteral("Switch on this session's accessibility, so that Orvanta can read and paste into the "
                            "text fields of other applications."));
    connect(m_accessibilityButton, &QPushButton::clicked, this, &OverviewViewController::enableAccessibility);
    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(pixelsForPoints(8));
    buttons->addWidget(m_setupButton);
    buttons->addWidget(m_accessibilityButton);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    m_permissionCard = card(content, 18);
    return m_permissionCard;
}

QWidget *OverviewViewController::buildTranscriptCard()
{
    auto *content = new QWidget;
    QVBoxLayout *layout = column(content, 10);
    layout->addWidget(label(QStringLiteral("Transcript"), 15, QFont::DemiBold));
    m_textView = textEditor(QStringLiteral("Dictation transcript"));
    m_textView->setFixedHeight(pixelsForPoints(230));
    m_textView->setAccessibleDescription(QStringLiteral("Dictate here or edit the latest result. Corrections teach "
                                                        "preferred spellings when learning is enabled."));
    m_textView->setToolTip(QStringLiteral("Edit to teach word corrections."));
    connect(m_textView, &QPlainTextEdit::textChanged, this, &OverviewViewController::testPadChanged);
    layout->addWidget(m_textView);
    return card(content, 18);
}

bool OverviewViewController::isGranted(const QString &status)
{
    const QString lower = status.toLower();
    return lower == QLatin1String("authorized") || lower == QLatin1String("allowed") ||
           lower == QLatin1String("granted") || lower == QLatin1String("enabled");
}

void OverviewViewController::refresh()
{
    refreshKeyTexts();
    refreshStatus();
    refreshRecordButton();
    refreshPermissions();
    refreshTestPad();
}

void OverviewViewController::refreshKeyTexts()
{
    const AppModel::ShortcutNames &names = m_model.shortcutNames();
    const QString shown = names.holdKey + QLatin1Char('\n') + names.toggle;
    if (shown == m_shownNames)
        return;
    m_shownNames = shown;
    m_holdHint->setText(QStringLiteral("Hold %1 to speak").arg(names.holdKey));
    m_holdHint->setToolTip(QStringLiteral("Hold %1 to speak. Release to finish.").arg(names.holdKey));
    m_holdHint->setAccessibleName(QStringLiteral("Hold the %1 key to speak, then release to finish. Accessibility "
                                                 "permission is required. %2 is an alternate start and stop shortcut.")
                                      .arg(names.holdKey, names.toggle));
    m_recordButton->setToolTip(QStringLiteral("Start or finish dictation (%1)").arg(names.toggle));
    redraw::help(m_accessibility, QStringLiteral("Use %1, insert text, and learn corrections.").arg(names.holdKey));
}

void OverviewViewController::refreshStatus()
{
    const RecordingPhase phase = m_model.phase();
    const QString &status = m_model.status();
    const std::optional<DeliveryResult> &delivered = m_model.lastDeliveryResult();
    const std::optional<TranscriptRecord> &last = m_model.lastResult();
    if (phase == RecordingPhase::idle && delivered) {
        redraw::text(m_statusLabel, outcomeText(delivered->outcome, status));
        redraw::help(m_statusLabel, m_model.lastDelivery());
        m_statusLabel->show();
        const bool nothingToCopy = !last || last->output.isEmpty();
        m_copyButton->setVisible(delivered->outcome != DeliveryResult::Outcome::inserted && !nothingToCopy);
    } else {
        redraw::text(m_statusLabel, status);
        redraw::help(m_statusLabel, status);
        m_statusLabel->setVisible(!(phase == RecordingPhase::idle && status == QLatin1String("Ready")));
        m_copyButton->setVisible(false);
    }
    redraw::help(m_copyButton, m_model.lastDelivery());

    const std::optional<QString> &error = m_model.errorMessage();
    redraw::text(m_errorLabel, error.value_or(QString()));
    m_errorLabel->setVisible(error.has_value());
}

void OverviewViewController::refreshRecordButton()
{
    const RecordingPhase phase = m_model.phase();
    m_recordButton->setEnabled(phase == RecordingPhase::idle || phase == RecordingPhase::recording);
    const bool recording = phase == RecordingPhase::recording;
    if (m_shownRecording == recording)
        return;
    m_shownRecording = recording;
    m_recordSymbol = recording ? QStringLiteral("stop.fill") : QStringLiteral("mic.fill");
    m_recordButton->setText(recording ? QStringLiteral("Finish") : QStringLiteral("Dictate"));
    m_recordButton->setIcon(symbols::icon(m_recordSymbol, palette().color(QPalette::HighlightedText)));
    m_recordButton->setAccessibleName(recording ? QStringLiteral("Finish dictation")
                                                : QStringLiteral("Start dictation"));
}

void OverviewViewController::refreshPermissions()
{
    const PermissionsShown now{m_model.microphoneStatus(), m_model.speechStatus(), m_model.accessibilityEnabled()};
    if (m_shownPermissions == now)
        return;
    m_shownPermissions = now;
    const bool microphone = isGranted(now.microphone);
    const bool speech = isGranted(now.speech);
    m_microphone->update(now.microphone, microphone);
    m_speech->update(now.speech, speech);
    m_accessibility->update(now.accessibility ? QStringLiteral("Enabled") : QStringLiteral("Not enabled"),
                            now.accessibility);
    m_microphone->setVisible(!microphone);
    m_speech->setVisible(!speech);
    m_accessibility->setVisible(!now.accessibility);
    m_setupButton->setVisible(!(microphone && speech));
    m_accessibilityButton->setVisible(!now.accessibility);
    m_permissionCard->setVisible(!(microphone && speech && now.accessibility));
}

void OverviewViewController::refreshTestPad()
{
    const std::optional<TranscriptRecord> &last = m_model.lastResult();
    // A new result wins over an unsaved edit of the previous one; a correction saved elsewhere (History)
    // shows here unless the pad holds an edit of its own not yet saved.
    const bool corrected =
        last && m_resultID == last->id && !m_correctionTimer && m_textView->toPlainText() != last->output;
    if (last && (m_resultID != last->id || corrected)) {
        stopCorrectionTimer();
        m_resultID = last->id;
        m_replacingText = true;
        m_textView->setPlainText(last->output);
        m_replacingText = false;
    } else if (!last && m_resultID) {
        stopCorrectionTimer();
        m_resultID.reset();
        m_replacingText = true;
        m_textView->clear();
        m_replacingText = false;
    }
}

void OverviewViewController::testPadChanged()
{
    if (m_replacingText || !m_resultID)
        return; // text typed into an empty pad belongs to no dictation
    stopCorrectionTimer();
    QPointer<OverviewViewController> weak(this);
    m_correctionTimer = m_model.scheduler().schedule(correctionDelay, [weak] {
        if (!weak)
            return;
        weak->m_correctionTimer.reset();
        weak->saveTestpadCorrection();
    });
}

void OverviewViewController::stopCorrectionTimer()
{
    if (m_correctionTimer)
        m_model.scheduler().cancel(*m_correctionTimer);
    m_correctionTimer.reset();
}

void OverviewViewController::saveTestpadCorrection()
{
    if (!m_resultID)
        return;
    const QString text = m_textView->toPlainText();
    if (text.trimmed().isEmpty())
        return;
    m_model.editTranscript(*m_resultID, text);
}

void OverviewViewController::toggleRecording()
{
    m_model.toggle();
}

void OverviewViewController::copyResult()
{
    const std::optional<TranscriptRecord> &last = m_model.lastResult();
    if (!last || last->output.isEmpty())
        return;
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(last->output);
}

void OverviewViewController::setup()
{
    m_model.requestPermissions();
}

void OverviewViewController::enableAccessibility()
{
    ui::enableAccessibility(m_model, this);
}

} // namespace orv::ui
