#include "ui/OnboardingViewController.h"

#include "base/PlatformText.h"
#include "core/AppModel.h"
#include "library/LinuxSettings.h"
#include "ui/AccessibilityPrompt.h"
#include "ui/Card.h"
#include "ui/LoginItemText.h"
#include "ui/MicrophoneChooser.h"
#include "ui/PermissionRow.h"
#include "ui/SessionKeysCard.h"
#include "ui/SymbolView.h"
#include "ui/Symbols.h"
#include "ui/UIComponents.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QVBoxLayout>

namespace orv::ui {

namespace {

using Step = OnboardingState::Step;
using LoginStatus = AbstractLoginItemController::Status;

constexpr int setupColumnWidth = 480;

QLabel *centred(QLabel *label)
{
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    return label;
}

// A key drawn as a key cap: a card with the key's name.
Card *keyCap(const QString &name, qreal points, int minimumSide)
{
    auto *cap = new Card;
    auto *layout = new QVBoxLayout(cap);
    layout->setContentsMargins(pixelsForPoints(8), pixelsForPoints(4), pixelsForPoints(8), pixelsForPoints(4));
    QLabel *text = centred(label(name, points, QFont::DemiBold, Tone::primary, true));
    text->setAlignment(Qt::AlignCenter);
    layout->addWidget(text);
    cap->setMinimumSize(minimumSide, minimumSide);
    cap->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    cap->setAccessibleName(name + QStringLiteral(" key"));
    return cap;
}

// The state a permission row shows for a model status text, and whether it counts as granted here.
std::pair<QString, bool> permissionState(const QString &status)
{
    if (status.startsWith(QLatin1String("Denied")))
        return {QStringLiteral("Denied"), false};
    return {status, status == QLatin1String("Allowed")};
}

} // namespace

OnboardingViewController::OnboardingViewController(AppModel &model, LinuxSettings *choices, QWidget *parent)
    : QWidget(parent), m_model(model), m_choices(choices)
{
    setAccessibleName(QStringLiteral("Setup"));

    auto *brand = new QHBoxLayout;
    brand->setSpacing(pixelsForPoints(8));
    brand->addWidget(symbolImage(QStringLiteral("waveform"), palette().color(QPalette::Highlight), 18));
    brand->addWidget(label(QStringLiteral("Orvanta"), 13, QFont::DemiBold));
    brand->addStretch(1);

    auto *column = new QWidget;
    column->setFixedWidth(pixelsForPoints(setupColumnWidth));
    auto *columnLayout = new QVBoxLayout(column);
    columnLayout->setContentsMargins(0, 0, 0, 0);
    columnLayout->setSpacing(pixelsForPoints(8));
    m_controls.progress = centred(label(QString(), 11, QFont::Normal, Tone::secondary));
    m_controls.heading = centred(label(QString(), 32, QFont::Normal, Tone::primary, true));
    m_controls.subtitle = centred(label(QString(), 15, QFont::Normal, Tone::secondary, true));
    columnLayout->addWidget(m_controls.progress);
    columnLayout->addWidget(m_controls.heading);
    columnLayout->addWidget(m_controls.subtitle);
    columnLayout->addSpacing(pixelsForPoints(16));
    // The pages are built later, one per step, in a holder that comes before the buttons: screen readers
    // read them in that order.
    auto *pageHolder = new QWidget;
    m_pageSlot = new QVBoxLayout(pageHolder);
    m_pageSlot->setContentsMargins(0, 0, 0, 0);
    columnLayout->addWidget(pageHolder);
    columnLayout->addSpacing(pixelsForPoints(20));

    m_controls.backButton = new QPushButton(QStringLiteral("&Back"));
    describe(m_controls.backButton, QStringLiteral("Back"), QStringLiteral("Go back to the previous step."));
    m_controls.laterButton = new QPushButton(QStringLiteral("Set up &later"));
    m_controls.laterButton->setFlat(true);
    QPalette link = m_controls.laterButton->palette();
    link.setColor(QPalette::ButtonText, link.color(QPalette::Highlight));
    m_controls.laterButton->setPalette(link);
    describe(m_controls.laterButton, QStringLiteral("Set up later"),
             QStringLiteral("Finish setup now; Setup… in the Orvanta menu brings it back."));
    m_controls.nextButton = new QPushButton(QStringLiteral("Continue"));
    m_controls.nextButton->setMinimumWidth(pixelsForPoints(120));
    m_controls.nextButton->setMinimumHeight(pixelsForPoints(32));
    m_controls.nextButton->setFont(ui::font(13, QFont::DemiBold));
    m_controls.nextButton->setStyleSheet(accentButtonStyle(palette()));
    m_controls.nextButton->setDefault(true);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_controls.backButton);
    buttons->addStretch(1);
    buttons->addWidget(m_controls.laterButton);
    buttons->addWidget(m_controls.nextButton);
    columnLayout->addLayout(buttons);

    connect(m_controls.nextButton, &QPushButton::clicked, this, &OnboardingViewController::advance);
    connect(m_controls.backButton, &QPushButton::clicked, this, &OnboardingViewController::goBack);
    connect(m_controls.laterButton, &QPushButton::clicked, this, &OnboardingViewController::setUpLater);
    // Return presses the next button (it is the default button), and does nothing while it is disabled.
    for (const int key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto *shortcut = new QShortcut(QKeySequence(key), this);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this, [this] {
            if (m_controls.nextButton->isEnabled() && m_controls.nextButton->isVisible())
                advance();
        });
    }

    // The column is centred across; a window shorter than the flow scrolls. Stretches rather than an
    // alignment centre it, so that its wrapped texts are measured at the column's own width.
    auto *document = new QWidget;
    auto *documentLayout = new QVBoxLayout(document);
    auto *centre = new QHBoxLayout;
    centre->addStretch(1);
    centre->addWidget(column);
    centre->addStretch(1);
    // The headline keeps its place from step to step: the column hangs from a fixed top margin.
    documentLayout->addSpacing(pixelsForPoints(48));
    documentLayout->addLayout(centre);
    documentLayout->addStretch(1);
    auto *scroll = new QScrollArea;
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(document);
    scroll->viewport()->setAutoFillBackground(false);
    document->setAutoFillBackground(false);

    auto *root = new QVBoxLayout(this);
    root->setContentsMargins(pixelsForPoints(20), pixelsForPoints(16), pixelsForPoints(20), pixelsForPoints(8));
    root->addLayout(brand);
    root->addWidget(scroll, 1);

    connect(&m_model, &AppModel::changed, this, &OnboardingViewController::refresh);
    refresh();
}

void OnboardingViewController::refresh()
{
    const Step step = m_model.onboarding().step();
    const bool rebuilt = !m_renderedStep || *m_renderedStep != step;
    if (rebuilt) {
        m_renderedStep = step;
        rebuildPage(step);
    }
    m_controls.progress->setText(QStringLiteral("%1 of 3").arg(static_cast<int>(step) + 1));
    m_controls.backButton->setVisible(step != Step::welcome);
    m_controls.laterButton->setVisible(step != Step::shortcut);
    const QString next = step == Step::shortcut ? QStringLiteral("&Open Orvanta") : QStringLiteral("&Continue");
    m_controls.nextButton->setText(next);
    m_controls.nextButton->setAccessibleName(withoutMnemonic(next));
    const bool nextEnabled = step != Step::permissions || dictationAuthorized();
    m_controls.nextButton->setEnabled(nextEnabled);
    m_controls.nextButton->setToolTip(
        nextEnabled ? QString()
                    : QStringLiteral("Allow Microphone and Speech Recognition to continue, or choose Set up later."));
    refreshWelcome();
    refreshPermissions();
    if (rebuilt)
        focusFirstControl();
}

void OnboardingViewController::rebuildPage(Step step)
{
    if (m_controls.page) {
        m_controls.page->hide();
        m_controls.page->deleteLater();
    }
    // Only the frame's controls outlive a page.
    const Controls frame = m_controls;
    m_controls = Controls{};
    m_controls.progress = frame.progress;
    m_controls.heading = frame.heading;
    m_controls.subtitle = frame.subtitle;
    m_controls.nextButton = frame.nextButton;
    m_controls.backButton = frame.backButton;
    m_controls.laterButton = frame.laterButton;

    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(pixelsForPoints(14));
    switch (step) {
    case Step::welcome:
        m_controls.heading->setText(QStringLiteral("Ready when you are."));
        m_controls.subtitle->setText(QStringLiteral("Turn your voice into text, anywhere on ") +
                                     platform::yourComputer() + QLatin1Char('.'));
        buildWelcome(layout);
        break;
    case Step::permissions:
        m_controls.heading->setText(QStringLiteral("Make room for your voice."));
        m_controls.subtitle->setText(QStringLiteral("Allow dictation, then choose how you’ll use it."));
        buildPermissions(layout);
        break;
    case Step::shortcut:
        m_controls.heading->setText(QStringLiteral("Hold. Speak. Release."));
        m_controls.subtitle->setText(QStringLiteral("A little less typing. A lot more flow."));
        buildShortcut(layout);
        break;
    }
    m_controls.page = page;
    m_pageSlot->addWidget(page);
    page->show(); // now, not at the next turn of the event loop as a child added to a shown window would
    // Tab goes through the page's controls first, then Back, Set up later and Continue.
    QWidget *previous = nullptr;
    QList<QWidget *> chain;
    for (QWidget *child : page->findChildren<QWidget *>())
        if (child->focusPolicy() & Qt::TabFocus)
            chain.append(child);
    chain << m_controls.backButton << m_controls.laterButton << m_controls.nextButton;
    for (QWidget *widget : std::as_const(chain)) {
        if (previous)
            setTabOrder(previous, widget);
        previous = widget;
    }
}

void OnboardingViewController::buildWelcome(QVBoxLayout *layout)
{
    SymbolView *symbol = symbolImage(QStringLiteral("waveform.circle.fill"), std::nullopt, 64);
    symbol->setTintRole(QPalette::Highlight);
    layout->addWidget(symbol, 0, Qt::AlignHCenter);

    auto *content = new QWidget;
    auto *inner = new QVBoxLayout(content);
    inner->setContentsMargins(0, 0, 0, 0);
    inner->setSpacing(pixelsForPoints(6));
    m_controls.loginCheckbox = new QCheckBox(QStringLiteral("Open Orvanta at login"));
    describe(m_controls.loginCheckbox, QStringLiteral("Open Orvanta at login"),
             QStringLiteral("Starts Orvanta in the ") + platform::trayName() + QStringLiteral(" when you log in to ") +
                 platform::yourComputer() + QLatin1Char('.'));
    connect(m_controls.loginCheckbox, &QCheckBox::clicked, this, &OnboardingViewController::changeLoginItem);
    inner->addWidget(m_controls.loginCheckbox);
    inner->addWidget(label(QStringLiteral("Ready in your ") + platform::trayName() + QStringLiteral(" when ") +
                               platform::yourComputer() + QStringLiteral(" starts."),
                           12, QFont::Normal, Tone::secondary, true));
    auto *statusRow = new QHBoxLayout;
    m_controls.loginStatus = label(QString(), 12, QFont::Normal, Tone::secondary);
    statusRow->addWidget(m_controls.loginStatus);
    statusRow->addStretch(1);
    m_controls.loginSettings = new QPushButton(QStringLiteral("Open Autostart Folder…"));
    describe(m_controls.loginSettings, QStringLiteral("Open Autostart Folder…"),
             QStringLiteral("Opens the folder of the entries your desktop starts at login."));
    connect(m_controls.loginSettings, &QPushButton::clicked, this, &OnboardingViewController::openLoginItems);
    statusRow->addWidget(m_controls.loginSettings);
    inner->addLayout(statusRow);
    m_controls.loginError = label(QString(), 12, QFont::Normal, Tone::error, true);
    inner->addWidget(m_controls.loginError);
    layout->addWidget(card(content, 18));

    layout->addWidget(centred(
        label(QStringLiteral("Your audio and transcripts stay ") + platform::onThisComputer() + QLatin1Char('.'), 12,
              QFont::Normal, Tone::secondary, true)));
}

void OnboardingViewController::buildPermissions(QVBoxLayout *layout)
{
    const AppModel::ShortcutNames &keys = m_model.shortcutNames();

    auto *dictation = new QWidget;
    auto *dictationLayout = new QVBoxLayout(dictation);
    dictationLayout->setContentsMargins(0, 0, 0, 0);
    dictationLayout->setSpacing(pixelsForPoints(10));
    m_controls.microphone =
        new PermissionRow(QStringLiteral("Microphone"), QStringLiteral("Listens only while you dictate."));
    m_controls.speech =
        new PermissionRow(QStringLiteral("Speech Recognition"), QStringLiteral("Turns your speech into text ") +
                                                                    platform::onThisComputer() + QLatin1Char('.'));
    dictationLayout->addWidget(m_controls.microphone);
    m_controls.microphoneChooser = new MicrophoneChooser(m_model);
    dictationLayout->addWidget(m_controls.microphoneChooser);
    dictationLayout->addWidget(m_controls.speech);
    m_controls.permissionButton =
        new QPushButton(symbols::icon(QStringLiteral("mic")), QStringLiteral("Enable Dictation…"));
    describe(m_controls.permissionButton, QStringLiteral("Enable Dictation…"),
             QStringLiteral("Asks for the microphone and speech recognition."));
    connect(m_controls.permissionButton, &QPushButton::clicked, this, &OnboardingViewController::enableDictation);
    dictationLayout->addWidget(m_controls.permissionButton, 0, Qt::AlignLeft);
    dictationLayout->addWidget(
        label(QStringLiteral("Dictation uses %1’s on-device speech recognition.").arg(m_model.speech().displayName()),
              12, QFont::Normal, Tone::secondary, true));
    layout->addWidget(card(dictation, 18));

    auto *access = new QWidget;
    auto *accessLayout = new QVBoxLayout(access);
    accessLayout->setContentsMargins(0, 0, 0, 0);
    accessLayout->setSpacing(pixelsForPoints(10));
    m_controls.accessibility = new PermissionRow(
        QStringLiteral("Accessibility"),
        QStringLiteral("Enables %1 and text insertion in other apps. You can enable it later.").arg(keys.holdKey));
    accessLayout->addWidget(m_controls.accessibility);
    m_controls.accessibilityButton = new QPushButton(QStringLiteral("Enable Accessibility…"));
    describe(m_controls.accessibilityButton, QStringLiteral("Enable Accessibility…"),
             QStringLiteral("Switches on this session’s accessibility, which lets Orvanta read and insert text in "
                            "other apps."));
    connect(m_controls.accessibilityButton, &QPushButton::clicked, this,
            &OnboardingViewController::enableAccessibility);
    accessLayout->addWidget(m_controls.accessibilityButton, 0, Qt::AlignLeft);
    // On Wayland the keys depend on what the desktop allows; the next page says how dictations start there.
    const bool wayland = m_choices && m_choices->sessionKeys().wayland();
    accessLayout->addWidget(
        label(wayland ? QStringLiteral("Lets Orvanta insert your dictations into other apps.")
                      : QStringLiteral("Hold %1 to speak and insert text in other apps.").arg(keys.holdKey),
              12, QFont::Normal, Tone::secondary, true));
    layout->addWidget(card(access, 18));

    m_controls.permissionError = label(QString(), 12, QFont::Normal, Tone::error, true);
    layout->addWidget(m_controls.permissionError);
}

void OnboardingViewController::buildShortcut(QVBoxLayout *layout)
{
    if (m_choices && m_choices->sessionKeys().wayland()) {
        // The desktop decides which keys reach Orvanta: the card says how it works here.
        layout->addWidget(new SessionKeysCard(*m_choices));
        return;
    }
    const AppModel::ShortcutNames &keys = m_model.shortcutNames();
    layout->addWidget(keyCap(keys.holdKey, 15, pixelsForPoints(88)), 0, Qt::AlignHCenter);
    layout->addWidget(centred(label(QStringLiteral("Hold to speak. Release to finish."), 13)));

    auto *rows = new QWidget;
    auto *grid = new QGridLayout(rows);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(pixelsForPoints(14));
    grid->setVerticalSpacing(pixelsForPoints(10));
    const std::pair<QString, QString> keyRows[] = {{keys.toggle, QStringLiteral("Start or stop")},
                                                   {QStringLiteral("Esc"), QStringLiteral("Cancel dictation")}};
    int row = 0;
    for (const auto &[key, meaning] : keyRows) {
        Card *cap = keyCap(key, 12, pixelsForPoints(28));
        cap->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        grid->addWidget(cap, row, 0, Qt::AlignLeft);
        grid->addWidget(label(meaning, 13), row, 1);
        ++row;
    }
    grid->setColumnStretch(1, 1);
    layout->addWidget(card(rows, 16));

    // Chosen when the page is built.
    const QString note = m_model.accessibilityEnabled()
                             ? QStringLiteral("If %1 does something else for you, choose another hold key in Settings.")
                                   .arg(keys.holdKey)
                             : QStringLiteral("Enable Accessibility in Settings to use %1 and insert into other apps.")
                                   .arg(keys.holdKey);
    m_controls.shortcutNote = centred(label(note, 12, QFont::Normal, Tone::secondary, true));
    layout->addWidget(m_controls.shortcutNote);
}

void OnboardingViewController::refreshWelcome()
{
    if (!m_controls.loginCheckbox)
        return;
    const AbstractLoginItemController &login = m_model.loginItem();
    const LoginStatus status = login.status();
    m_controls.loginCheckbox->setCheckState(status == LoginStatus::enabled            ? Qt::Checked
                                            : status == LoginStatus::requiresApproval ? Qt::PartiallyChecked
                                                                                      : Qt::Unchecked);
    m_controls.loginStatus->setText(loginStatusText(status));
    m_controls.loginStatus->setVisible(status == LoginStatus::requiresApproval || status == LoginStatus::notFound);
    const std::optional<QString> error = login.errorMessage();
    m_controls.loginError->setText(error.value_or(QString()));
    m_controls.loginError->setVisible(error.has_value());
    m_controls.loginSettings->setVisible(status == LoginStatus::requiresApproval);
}

void OnboardingViewController::refreshPermissions()
{
    if (!m_controls.microphone)
        return;
    const auto [microphone, microphoneGranted] = permissionState(m_model.microphoneStatus());
    m_controls.microphone->update(microphone, microphoneGranted);
    const auto [speech, speechGranted] = permissionState(m_model.speechStatus());
    m_controls.speech->update(speech, speechGranted);
    const bool accessible = m_model.accessibilityEnabled();
    m_controls.accessibility->update(accessible ? QStringLiteral("Enabled") : QStringLiteral("Optional"), accessible);
    m_controls.permissionButton->setVisible(!dictationAuthorized());
    m_controls.accessibilityButton->setVisible(!accessible);
    const std::optional<QString> &error = m_model.errorMessage();
    m_controls.permissionError->setText(error.value_or(QString()));
    m_controls.permissionError->setVisible(error.has_value());
}

bool OnboardingViewController::dictationAuthorized() const
{
    return m_model.permissions().microphoneStatus() == AuthorizationStatus::authorized &&
           m_model.permissions().speechStatus() == AuthorizationStatus::authorized;
}

void OnboardingViewController::focusFirstControl()
{
    if (m_controls.nextButton->isEnabled())
        m_controls.nextButton->setFocus();
    else if (m_controls.permissionButton)
        m_controls.permissionButton->setFocus();
}

void OnboardingViewController::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    focusFirstControl();
}

void OnboardingViewController::advance()
{
    m_model.advanceOnboarding();
}

void OnboardingViewController::goBack()
{
    m_model.onboarding().goBack();
    m_model.notifyChanged();
}

void OnboardingViewController::setUpLater()
{
    m_model.completeOnboarding();
}

void OnboardingViewController::changeLoginItem()
{
    const LoginStatus status = m_model.loginItem().status();
    m_model.loginItem().setEnabled(status != LoginStatus::enabled && status != LoginStatus::requiresApproval);
    m_model.notifyChanged();
}

void OnboardingViewController::openLoginItems()
{
    m_model.loginItem().openSettings();
}

void OnboardingViewController::enableDictation()
{
    m_model.requestPermissions();
}

void OnboardingViewController::enableAccessibility()
{
    ui::enableAccessibility(m_model, this);
}

} // namespace orv::ui
