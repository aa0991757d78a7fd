#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QPushButton;
class QToolButton;

namespace orv {

class AppModel;

namespace ui {

class FloatingRecordingPanel;
class LevelWaveformView;
class SymbolView;

// The floating panel shown while a dictation runs: what the application is doing, the elapsed time, the
// level meter, the tail of the live transcript, which key finishes, and Finish and Cancel. It only reads
// the model and forwards its two buttons; the application delegate decides when it is shown and hidden.
class RecordingPanel final : public QObject
{
    Q_OBJECT

public:
    // What the panel needs from the desktop; an empty member means "not available".
    struct Platform
    {
        // A compositing manager draws the desktop (rounded, translucent corners need one).
        std::function<bool()> compositing;
        // The desktop's "animations off" preference; none when it cannot be read (motion stays on).
        std::function<std::optional<bool>()> reduceMotion;
        // Once the native window exists, before its first showing: what the window system needs told (every
        // workspace).
        std::function<void(QWidget &)> prepareWindow;
        // False where a window cannot be shown without taking the focus from the field being dictated into
        // (a Wayland desktop without layer-shell): the panel then stays hidden. Unset: it may show.
        std::function<bool()> mayShow;
    };

    static constexpr int transcriptTail = 150; // characters shown of a long live transcript
    static constexpr int bottomGap = 34;       // pixels between the panel and the bottom of the work area

    RecordingPanel(AppModel &model, Platform platform = {}, QObject *parent = nullptr);
    ~RecordingPanel() override;

    // Shows the panel on the screen under the pointer, 34 px above the bottom of its work area, without
    // taking the focus, and announces it to screen readers; only redraws when it is showing already.
    void show();
    void hide();
    bool isVisible() const;
    // Redraws every view from the model; cheap when little changed.
    void update();
    void finish();
    void cancel();

    FloatingRecordingPanel *window() const { return m_window.get(); }
    QLabel *stateLabel() const { return m_stateLabel; }
    QLabel *elapsedLabel() const { return m_elapsedLabel; }
    QLabel *transcriptLabel() const { return m_transcriptLabel; }
    QLabel *shortcutLabel() const { return m_shortcutLabel; }
    LevelWaveformView *waveform() const { return m_waveform; }
    SymbolView *icon() const { return m_icon; }
    QPushButton *finishButton() const { return m_finishButton; }
    QToolButton *cancelButton() const { return m_cancelButton; }
    // The live transcript as shown: whole, or "…" and its last 150 characters.
    const QString &transcript() const { return m_transcript; }
    // What the last showing announced ("Orvanta. {status}").
    const QString &announcement() const { return m_announcement; }

    // "%d:%02d" of the whole seconds (negative counts as 0; minutes are not capped at 59) and the seconds.
    static std::pair<QString, int> elapsedText(double seconds);
    static QString transcriptText(const QString &liveTranscript);

private:
    void build();
    void place();
    void announce();
    void refreshKeyTexts();
    void refreshTranscript();

    QPointer<AppModel> m_model;
    Platform m_platform;
    std::unique_ptr<FloatingRecordingPanel> m_window;
    QLabel *m_stateLabel = nullptr;
    QLabel *m_elapsedLabel = nullptr;
    QLabel *m_transcriptLabel = nullptr;
    QLabel *m_shortcutLabel = nullptr;
    LevelWaveformView *m_waveform = nullptr;
    SymbolView *m_icon = nullptr;
    QPushButton *m_finishButton = nullptr;
    QToolButton *m_cancelButton = nullptr;
    bool m_prepared = false;
    QString m_transcript;
    QString m_announcement;
    // The key texts shown now: hold key owns the recording, and the configured names.
    std::optional<bool> m_shownHoldKey;
    QString m_shownNames;
};

} // namespace ui
} // namespace orv
