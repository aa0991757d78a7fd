#include "ui/RecordingPanel.h"

#include "core/AppModel.h"
#include "ui/FloatingRecordingPanel.h"
#include "ui/LevelWaveformView.h"
#include "ui/Redraw.h"
#include "ui/SymbolView.h"
#include "ui/Symbols.h"
#include "ui/UIComponents.h"

#include <QCursor>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

namespace orv::ui {

namespace {

constexpr int panelWidth = 420; // points
constexpr int panelHeight = 182;
constexpr int margin = 17;

int columnWidth()
{
    return pixelsForPoints(panelWidth) - 2 * pixelsForPoints(margin);
}

// The longest end of `text` that fits in two lines of `label`, after "…" when something was cut: the
// newest words of a live transcript are the ones to see.
QString fitTail(const QString &text, const QLabel &label)
{
    const QFontMetrics metrics(label.font());
    const int limit = 2 * metrics.lineSpacing();
    const auto fits = [&](const QString &candidate) {
        return metrics.boundingRect(QRect(0, 0, columnWidth(), 100000), Qt::TextWordWrap, candidate).height() <= limit;
    };
    if (fits(text))
        return text;
    const QString ellipsis = QStringLiteral("…");
    const QString body = text.startsWith(ellipsis) ? text.mid(ellipsis.size()) : text;
    qsizetype low = 0, high = body.size();
    while (low < high) {
        const qsizetype middle = (low + high) / 2;
        if (fits(ellipsis + body.mid(middle)))
            high = middle;
        else
            low = middle + 1;
    }
    // Start at a word where one begins close by.
    const qsizetype space = body.indexOf(QLatin1Char(' '), low);
    if (space >= 0 && space - low < 20 && space + 1 < body.size())
        low = space + 1;
    else if (low < body.size() && body.at(low).isLowSurrogate())
        ++low;
    return ellipsis + body.mid(low);
}

} // namespace

RecordingPanel::RecordingPanel(AppModel &model, Platform platform, QObject *parent)
    : QObject(parent), m_model(&model), m_platform(std::move(platform))
{
    build();
    connect(&model, &AppModel::changed, this, &RecordingPanel::update);
    update();
}

RecordingPanel::~RecordingPanel() = default;

void RecordingPanel::build()
{
    const bool translucent = m_platform.compositing && m_platform.compositing();
    m_window = std::make_unique<FloatingRecordingPanel>(translucent);
    m_window->setFixedSize(pixelsForPoints(panelWidth), pixelsForPoints(panelHeight));

    m_stateLabel = label(QStringLiteral("Listening…"), 13, QFont::DemiBold);
    m_stateLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_elapsedLabel = label(QStringLiteral("0:00"), 12, QFont::Normal, Tone::secondary);
    m_elapsedLabel->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    m_transcriptLabel = label(QString(), 13, QFont::Normal, Tone::secondary, true);
    m_transcriptLabel->setFixedHeight(2 * QFontMetrics(m_transcriptLabel->font()).lineSpacing());
    m_transcriptLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_shortcutLabel = label(QString(), 11, QFont::Normal, Tone::secondary);
    m_icon = symbolImage(QStringLiteral("mic.fill"), std::nullopt, 16);
    m_icon->setTintRole(QPalette::Highlight);
    m_waveform = new LevelWaveformView;

    m_finishButton = new QPushButton(symbols::icon(QStringLiteral("stop.fill"), Qt::white), QStringLiteral("Finish"));
    m_finishButton->setFocusPolicy(Qt::NoFocus);
    m_finishButton->setStyleSheet(accentButtonStyle(m_window->palette()));
    m_finishButton->setAccessibleName(QStringLiteral("Finish dictation"));
    connect(m_finishButton, &QPushButton::clicked, this, &RecordingPanel::finish);

    m_cancelButton = new QToolButton;
    m_cancelButton->setIcon(symbols::icon(QStringLiteral("xmark")));
    m_cancelButton->setAutoRaise(true);
    m_cancelButton->setFocusPolicy(Qt::NoFocus);
    m_cancelButton->setToolTip(QStringLiteral("Cancel (Esc)"));
    m_cancelButton->setAccessibleName(QStringLiteral("Cancel dictation"));
    connect(m_cancelButton, &QToolButton::clicked, this, &RecordingPanel::cancel);

    auto *top = new QHBoxLayout;
    top->setSpacing(pixelsForPoints(9));
    top->addWidget(m_icon);
    top->addWidget(m_stateLabel, 1);
    top->addWidget(m_elapsedLabel);
    top->addWidget(m_cancelButton);
    auto *bottom = new QHBoxLayout;
    bottom->setSpacing(pixelsForPoints(12));
    bottom->addWidget(m_shortcutLabel);
    bottom->addStretch(1);
    bottom->addWidget(m_finishButton);
    auto *column = new QVBoxLayout(m_window.get());
    const int inset = pixelsForPoints(margin);
    column->setContentsMargins(inset, inset, inset, inset);
    column->setSpacing(pixelsForPoints(10));
    column->addLayout(top);
    column->addWidget(m_waveform);
    column->addWidget(m_transcriptLabel);
    column->addLayout(bottom);
}

std::pair<QString, int> RecordingPanel::elapsedText(double seconds)
{
    const int whole = seconds > 0 && std::isfinite(seconds) ? int(std::min(seconds, 1e9)) : 0;
    return {QStringLiteral("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QLatin1Char('0')), whole};
}

QString RecordingPanel::transcriptText(const QString &liveTranscript)
{
    if (liveTranscript.size() <= transcriptTail)
        return liveTranscript;
    qsizetype start = liveTranscript.size() - transcriptTail;
    if (liveTranscript.at(start).isLowSurrogate()) // never half a character
        ++start;
    return QStringLiteral("…") + liveTranscript.mid(start);
}

void RecordingPanel::update()
{
    if (!m_model)
        return;
    const AppModel &model = *m_model;
    const RecordingPhase phase = model.phase();
    const bool processing = phase == RecordingPhase::processing;

    redraw::text(m_stateLabel, model.status());
    redraw::toolTip(m_stateLabel, model.status());

    refreshKeyTexts();
    m_shortcutLabel->setVisible(!processing);
    m_icon->setSymbol(processing ? QStringLiteral("sparkles") : QStringLiteral("mic.fill"));

    const auto [elapsed, seconds] = elapsedText(model.elapsed());
    redraw::text(m_elapsedLabel, elapsed);
    redraw::accessibleName(m_elapsedLabel, QStringLiteral("%1 seconds").arg(seconds));

    refreshTranscript();
    const bool silent = phase == RecordingPhase::preparing || processing;
    m_waveform->setLevel(silent ? 0.0f : model.audioLevel());

    m_finishButton->setEnabled(phase == RecordingPhase::recording);
    if (m_finishButton->text() != QLatin1String("Finish"))
        m_finishButton->setText(QStringLiteral("Finish"));
    m_cancelButton->setEnabled(phase != RecordingPhase::idle);
}

void RecordingPanel::refreshKeyTexts()
{
    const bool holdKey = m_model->fnOwnsRecording();
    const AppModel::ShortcutNames &names = m_model->shortcutNames();
    const QString shown = names.holdKey + QLatin1Char('\n') + names.toggle;
    if (m_shownHoldKey == holdKey && m_shownNames == shown)
        return;
    m_shownHoldKey = holdKey;
    m_shownNames = shown;
    const QString line = holdKey ? QStringLiteral("Release %1 to finish").arg(names.holdKey)
                                 : QStringLiteral("%1 to finish").arg(names.toggle);
    m_shortcutLabel->setText(line);
    m_shortcutLabel->setAccessibleName(line);
    m_shortcutLabel->setToolTip(QStringLiteral("Release %1 to finish · Esc to cancel").arg(names.holdKey));
    m_shortcutLabel->setAccessibleDescription(QStringLiteral("Release %1 to finish hold-to-speak dictation. %2 also "
                                                             "finishes dictation. Escape cancels.")
                                                  .arg(names.holdKey, names.toggle));
    m_finishButton->setToolTip(QStringLiteral("Finish (%1)").arg(names.toggle));
    m_finishButton->setAccessibleDescription(
        QStringLiteral("%1 finishes dictation. Release %2 to finish when using hold to speak.")
            .arg(names.toggle, names.holdKey));
}

void RecordingPanel::refreshTranscript()
{
    const QString text = transcriptText(m_model->liveTranscript());
    if (text == m_transcript)
        return;
    m_transcript = text;
    m_transcriptLabel->setText(fitTail(text, *m_transcriptLabel));
}

void RecordingPanel::show()
{
    if (!m_window || (m_platform.mayShow && !m_platform.mayShow()))
        return;
    if (m_window->isVisible()) {
        update();
        return;
    }
    if (!m_prepared) {
        m_prepared = true;
        if (m_platform.prepareWindow) {
            m_window->winId(); // the native window, so that the window system can be told about it
            m_platform.prepareWindow(*m_window);
        }
    }
    const std::optional<bool> reduce = m_platform.reduceMotion ? m_platform.reduceMotion() : std::nullopt;
    m_waveform->setReduceMotion(reduce.value_or(false));
    place();
    update();
    announce();
    m_window->show();
    m_window->raise();
}

void RecordingPanel::place()
{
    QScreen *screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QSize size = m_window->size();
    m_window->move(area.center().x() + 1 - size.width() / 2, area.bottom() + 1 - bottomGap - size.height());
}

void RecordingPanel::announce()
{
    // Qt 6.4 passes no alert or announcement to AT-SPI; what reaches a screen reader is the panel, a
    // notification, becoming showing with this description.
    m_announcement = QStringLiteral("Orvanta. ") + (m_model ? m_model->status() : QString());
    m_window->setAccessibleDescription(m_announcement);
}

void RecordingPanel::hide()
{
    if (!m_window)
        return;
    m_window->hide();
    // Hidden, the panel stays in the accessibility tree: it must not go on saying "Preparing…" there.
    m_window->setAccessibleDescription(QString());
}

bool RecordingPanel::isVisible() const
{
    return m_window && m_window->isVisible();
}

void RecordingPanel::finish()
{
    if (m_model)
        m_model->finishDictation();
}

void RecordingPanel::cancel()
{
    if (m_model)
        m_model->cancelDictation();
}

} // namespace orv::ui
