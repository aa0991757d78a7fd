#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>

#include <optional>

// Named symbols ("waveform", "mic", "checkmark.circle.fill", …). Every symbol has a monochrome drawing of
// our own in the resource ":/symbols", drawn in the colour asked for, so the windows look complete with no
// icon theme installed; a symbol with a freedesktop equivalent comes from the icon theme when it has one.
namespace orv::ui::symbols {

// The freedesktop icon name standing for a symbol; empty when none fits.
QString themeName(const QString &symbol);
bool exists(const QString &symbol);

// For buttons, menus and lists: the theme's icon, or our drawing in `tint` (by default the palette's
// button text; greyed when disabled, highlighted text when selected).
QIcon icon(const QString &symbol, std::optional<QColor> tint = std::nullopt);
// Our drawing, `size` logical pixels square, in `tint`.
QPixmap pixmap(const QString &symbol, const QColor &tint, int size, qreal devicePixelRatio = 1.0);

// The application's icon (the installed theme's, else the one built in).
QIcon applicationIcon();
// The tray's icon: a blue badge with the waveform, or a red one with the microphone while recording; a
// badge reads on light and dark panels alike.
QIcon trayIcon(bool recording);

} // namespace orv::ui::symbols
