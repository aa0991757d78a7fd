#include "ui/UIComponents.h"

#include "ui/Card.h"
#include "ui/SymbolView.h"

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>

namespace orv::ui {

namespace {

constexpr qreal bodyPoints = 13.0;

QColor mix(const QColor &a, const QColor &b, qreal amount)
{
    return QColor::fromRgbF(a.redF() + (b.redF() - a.redF()) * amount, a.greenF() + (b.greenF() - a.greenF()) * amount,
                            a.blueF() + (b.blueF() - a.blueF()) * amount);
}

} // namespace

QFont font(qreal points, QFont::Weight weight)
{
    QFont result = QApplication::font();
    if (result.pointSizeF() > 0)
        result.setPointSizeF(result.pointSizeF() * points / bodyPoints);
    else
        result.setPixelSize(std::max(1, qRound(result.pixelSize() * points / bodyPoints)));
    result.setWeight(weight);
    return result;
}

int pixelsForPoints(qreal points)
{
    const QFont scaled = font(points);
    if (scaled.pixelSize() > 0)
        return scaled.pixelSize();
    const QScreen *screen = QGuiApplication::primaryScreen();
    const qreal dpi = screen ? screen->logicalDotsPerInchY() : 96.0;
    return std::max(1, qRound(scaled.pointSizeF() * dpi / 72.0));
}

bool isDark(const QPalette &palette)
{
    return palette.color(QPalette::Window).lightness() < 128;
}

QColor separatorColor(const QPalette &palette)
{
    return mix(palette.color(QPalette::Window), palette.color(QPalette::WindowText), isDark(palette) ? 0.22 : 0.16);
}

QColor successColor(const QPalette &palette)
{
    return isDark(palette) ? QColor(0x4C, 0xD9, 0x64) : QColor(0x23, 0x9A, 0x3E);
}

QColor errorColor(const QPalette &palette)
{
    return isDark(palette) ? QColor(0xFF, 0x6B, 0x61) : QColor(0xC9, 0x2A, 0x21);
}

QPalette darkPalette()
{
    QPalette p;
    const QColor window(0x2B, 0x2B, 0x2E), base(0x1F, 0x1F, 0x22), text(0xEC, 0xEC, 0xEE);
    const QColor button(0x3A, 0x3A, 0x3E), highlight(0x3D, 0x7B, 0xF2), dimmed(0x8E, 0x8E, 0x93);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, dimmed);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, button);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, Qt::white);
    p.setColor(QPalette::Highlight, highlight);
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(0x6C, 0xA5, 0xFF));
    p.setColor(QPalette::Light, button.lighter(130));
    p.setColor(QPalette::Midlight, button.lighter(115));
    p.setColor(QPalette::Mid, button.darker(120));
    p.setColor(QPalette::Dark, button.darker(160));
    p.setColor(QPalette::Shadow, Qt::black);
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, QColor(0x76, 0x76, 0x7B));
    p.setColor(QPalette::Disabled, QPalette::Button, window);
    return p;
}

QColor cardColor(const QPalette &palette)
{
    return isDark(palette) ? palette.color(QPalette::Window).lighter(122) : palette.color(QPalette::Base);
}

QString accentButtonStyle(const QPalette &palette)
{
    const QColor accent = palette.color(QPalette::Highlight);
    const QColor disabled = mix(palette.color(QPalette::Window), palette.color(QPalette::WindowText), 0.18);
    const QColor disabledText = mix(palette.color(QPalette::Window), palette.color(QPalette::WindowText), 0.5);
    return QStringLiteral("QPushButton { background: %1; color: %2; border: none; border-radius: 6px;"
                          " padding: 6px 18px; }"
                          "QPushButton:hover { background: %3; }"
                          "QPushButton:pressed { background: %4; }"
                          "QPushButton:focus { outline: none; border: 2px solid %5; padding: 4px 16px; }"
                          "QPushButton:disabled { background: %6; color: %7; }")
        .arg(accent.name(), palette.color(QPalette::HighlightedText).name(), accent.lighter(110).name(),
             accent.darker(115).name(), mix(accent, palette.color(QPalette::WindowText), 0.35).name(), disabled.name(),
             disabledText.name());
}

void setTone(QLabel *label, Tone tone)
{
    switch (tone) {
    case Tone::primary:
        label->setForegroundRole(QPalette::WindowText);
        break;
    case Tone::secondary:
        label->setForegroundRole(QPalette::PlaceholderText);
        break;
    case Tone::accent:
        label->setForegroundRole(QPalette::Highlight);
        break;
    case Tone::error: {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, errorColor(palette));
        label->setPalette(palette);
        label->setForegroundRole(QPalette::WindowText);
        break;
    }
    }
}

QLabel *label(const QString &text, qreal points, QFont::Weight weight, Tone tone, bool wrap)
{
    auto *result = new QLabel(text);
    result->setFont(ui::font(points, weight));
    result->setTextInteractionFlags(Qt::NoTextInteraction);
    result->setWordWrap(wrap);
    setTone(result, tone);
    return result;
}

Card *card(QWidget *content, int padding)
{
    auto *result = new Card;
    auto *layout = new QVBoxLayout(result);
    const int inset = pixelsForPoints(padding);
    layout->setContentsMargins(inset, inset, inset, inset);
    layout->addWidget(content);
    return result;
}

SymbolView *symbolImage(const QString &symbol, std::optional<QColor> tint, qreal points)
{
    auto *view = new SymbolView(symbol, points);
    view->setTint(std::move(tint));
    return view;
}

QPlainTextEdit *textEditor(const QString &accessibleLabel)
{
    auto *editor = new QPlainTextEdit;
    editor->setUndoRedoEnabled(true);
    editor->setFont(ui::font(15));
    editor->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    editor->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    editor->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    editor->document()->setDocumentMargin(pixelsForPoints(12));
    editor->setAccessibleName(accessibleLabel);
    return editor;
}

QScrollArea *scrollingPage(QWidget *page, QWidget *content, int margin)
{
    auto *area = new QScrollArea(page);
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    area->viewport()->setAutoFillBackground(false);
    // Tab goes from control to control (the area scrolls to each); the area itself is no stop of its own.
    area->setFocusPolicy(Qt::NoFocus);
    area->setAccessibleName(page->accessibleName());

    auto *document = new QWidget;
    document->setAutoFillBackground(false);
    auto *documentLayout = new QVBoxLayout(document);
    const int inset = pixelsForPoints(margin);
    documentLayout->setContentsMargins(inset, inset, inset, inset);
    documentLayout->addWidget(content);
    documentLayout->addStretch(1); // short content stays at the top
    area->setWidget(document);

    auto *pageLayout = page->layout() ? page->layout() : new QVBoxLayout(page);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    pageLayout->addWidget(area);
    return area;
}

void describe(QWidget *control, const QString &name, const QString &sentence)
{
    control->setAccessibleName(name);
    if (sentence.isEmpty())
        return;
    control->setToolTip(sentence);
    control->setAccessibleDescription(sentence);
}

QString withoutMnemonic(const QString &title)
{
    QString plain;
    plain.reserve(title.size());
    for (qsizetype i = 0; i < title.size(); ++i) {
        if (title.at(i) == u'&' && i + 1 < title.size())
            ++i; // "&&" keeps one, "&x" keeps x
        plain.append(title.at(i));
    }
    return plain;
}

} // namespace orv::ui
