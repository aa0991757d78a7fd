#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QString>

#include <optional>

class QLabel;
class QPlainTextEdit;
class QScrollArea;
class QWidget;

// The small building blocks the windows share. Sizes are given in the points of the original layout,
// where 13 is body text; they scale with the desktop's font, so a larger desktop font makes the windows
// larger too.
namespace orv::ui {

class Card;
class SymbolView;

enum class Tone
{
    primary,   // the palette's text
    secondary, // dimmed text: notes, states, details
    accent,    // the highlight colour
    error,     // red
};

QFont font(qreal points, QFont::Weight weight = QFont::Normal);
int pixelsForPoints(qreal points);

QColor separatorColor(const QPalette &palette);
QColor successColor(const QPalette &palette);
QColor errorColor(const QPalette &palette);
bool isDark(const QPalette &palette);
// The palette used when the desktop asks for dark windows (Fusion style).
QPalette darkPalette();
// A card's fill: the base colour in a light palette, a shade lighter than the window in a dark one.
QColor cardColor(const QPalette &palette);
// The style sheet of a prominent button in the accent colour (the flow's Continue).
QString accentButtonStyle(const QPalette &palette);

// A non-selectable label in the given size, weight and tone, word-wrapped when `wrap`.
QLabel *label(const QString &text,
              qreal points,
              QFont::Weight weight = QFont::Normal,
              Tone tone = Tone::primary,
              bool wrap = false);
void setTone(QLabel *label, Tone tone);
// A card holding `content` inset by `padding` points on every side.
Card *card(QWidget *content, int padding);
// A symbol at `points`, tinted; decoration only.
SymbolView *symbolImage(const QString &symbol, std::optional<QColor> tint, qreal points);
// A plain-text editor: no rich text, undo, 15-point text, 12-point insets, scrolling vertically.
QPlainTextEdit *textEditor(const QString &accessibleLabel);
// Puts `content` in a scroll area filling `page`, as wide as the visible area, starting at the top, with
// `margin` points on every side.
QScrollArea *scrollingPage(QWidget *page, QWidget *content, int margin);
// Names a control for assistive tools; a short label also carries the full sentence as tooltip and
// accessible description.
void describe(QWidget *control, const QString &name, const QString &sentence = {});
// A title as it reads without its mnemonic marks ("&Save" → "Save", "A && B" → "A & B").
QString withoutMnemonic(const QString &title);

} // namespace orv::ui
