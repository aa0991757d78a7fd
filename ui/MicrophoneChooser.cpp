#include "ui/MicrophoneChooser.h"

#include "core/AppModel.h"
#include "ui/UIComponents.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>

namespace orv::ui {

namespace {

// One meter at a time: the chooser whose meter runs (Settings and the setup flow each have one).
MicrophoneChooser *meterOwner = nullptr;

QString shownName(const Microphone &microphone)
{
    return microphone.description.isEmpty() ? microphone.name : microphone.description;
}

} // namespace

MicrophoneChooser::MicrophoneChooser(AppModel &model, QWidget *parent)
    : QWidget(parent), m_model(model), m_popup(new QComboBox), m_meter(new QProgressBar),
      m_problem(label(QString(), 12, QFont::Normal, Tone::error, true))
{
    describe(m_popup, QStringLiteral("Microphone"), QStringLiteral("The microphone your dictations record from."));
    m_popup->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    connect(m_popup, &QComboBox::activated, this, &MicrophoneChooser::choose);
    m_meter->setRange(0, 100);
    m_meter->setTextVisible(false);
    m_meter->setFixedSize(pixelsForPoints(90), pixelsForPoints(8));
    describe(m_meter, QStringLiteral("Microphone level"),
             QStringLiteral("How loud the chosen microphone hears you now. It listens only while this page is "
                            "shown and no dictation runs."));
    m_problem->hide();
    // Screen readers name a list only by a label beside it (its own name is its value); the page's visible
    // label sits outside this widget, so an unseen one names it here.
    auto *caption = new QLabel(QStringLiteral("Microphone"), this);
    caption->setBuddy(m_popup);
    caption->hide();

    auto *line = new QHBoxLayout;
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(pixelsForPoints(10));
    line->addWidget(m_popup);
    line->addWidget(m_meter);
    line->addStretch(1);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(pixelsForPoints(4));
    column->addLayout(line);
    column->addWidget(m_problem);

    connect(&m_model, &AppModel::changed, this, &MicrophoneChooser::refresh);
    refresh();
}

MicrophoneChooser::~MicrophoneChooser()
{
    stopMeter();
}

void MicrophoneChooser::refresh()
{
    AbstractMicrophones *microphones = m_model.microphones();
    Shown now{microphones ? microphones->microphones() : QList<Microphone>(),
              microphones ? microphones->chosen() : Microphone{}};
    if (now != m_shown) {
        const QSignalBlocker blocker(m_popup);
        m_popup->clear();
        QString fallback;
        for (const Microphone &microphone : now.list)
            if (microphone.isDefault)
                fallback = shownName(microphone);
        m_popup->addItem(fallback.isEmpty() ? QStringLiteral("Desktop default")
                                            : QStringLiteral("Desktop default (%1)").arg(fallback),
                         QString());
        for (const Microphone &microphone : now.list) {
            m_popup->addItem(shownName(microphone), microphone.name);
            m_popup->setItemData(m_popup->count() - 1, microphone.name, Qt::ToolTipRole);
        }
        // A chosen microphone that is not plugged in stays chosen: dictations use the default meanwhile.
        const QString &chosen = now.chosen.name;
        if (!chosen.isEmpty() && m_popup->findData(chosen) < 0)
            m_popup->addItem(QStringLiteral("%1 (not connected)").arg(shownName(now.chosen)), chosen);
        m_popup->setCurrentIndex(std::max(0, m_popup->findData(chosen)));
        m_shown = now;
    }
    m_popup->setEnabled(microphones != nullptr);
    updateMeter();
}

void MicrophoneChooser::choose(int index)
{
    AbstractMicrophones *microphones = m_model.microphones();
    if (!microphones || index < 0 || index >= m_popup->count())
        return;
    const auto chosen = microphones->choose(m_popup->itemData(index).toString());
    m_problem->setText(chosen ? QString() : chosen.error());
    m_problem->setVisible(!chosen);
    m_shown.reset();
    refresh();
}

QString MicrophoneChooser::selectedName() const
{
    return m_popup->currentIndex() < 0 ? QString() : m_popup->currentData().toString();
}

void MicrophoneChooser::updateMeter()
{
    AbstractMicrophones *microphones = m_model.microphones();
    const bool listen =
        microphones && isVisible() && !window()->isMinimized() && m_model.phase() == RecordingPhase::idle;
    if (!listen) {
        stopMeter();
        return;
    }
    const QString name = selectedName();
    if (meterOwner == this && m_metered == name && microphones->isMetering())
        return;
    meterOwner = this;
    m_metered = name;
    m_meter->setValue(0);
    QPointer<QProgressBar> meter = m_meter;
    microphones->startMeter(name, [meter](float level) {
        if (meter)
            meter->setValue(int(std::clamp(level, 0.0f, 1.0f) * 100.0f + 0.5f));
    });
}

void MicrophoneChooser::stopMeter()
{
    if (meterOwner == this) {
        if (AbstractMicrophones *microphones = m_model.microphones())
            microphones->stopMeter();
        meterOwner = nullptr;
    }
    m_metered.reset();
    m_meter->setValue(0);
}

void MicrophoneChooser::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    updateMeter();
}

void MicrophoneChooser::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    stopMeter();
}

} // namespace orv::ui
