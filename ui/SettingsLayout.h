#pragma once

#include <QString>

#include <initializer_list>

class QGridLayout;
class QLabel;
class QLayout;
class QWidget;

// The Settings page's building blocks: titled cards and two-column grids of labelled controls.
namespace orv::ui::settingslayout {

// A card titled `title` holding `content`.
QWidget *card(const QString &title, QLayout *content);
// Labels 100 points wide on the right, 12 points between rows, 20 between the columns.
QGridLayout *grid();
// A row of `grid`: `title` right-aligned, then `field`; answers the title's label.
QLabel *addRow(QGridLayout *grid, const QString &title, QWidget *field);
// A row whose field is `fields` left to right; the title labels the first. They stay in the grid's widget
// (not in a row widget of their own), so a screen reader finds the label beside the first.
QLabel *addRow(QGridLayout *grid, const QString &title, std::initializer_list<QWidget *> fields);
// A line under the field of the last row, spanning the field's column.
void addNote(QGridLayout *grid, QWidget *note);
// Lays `widgets` out left to right, with the last one followed by the remaining space.
QWidget *row(std::initializer_list<QWidget *> widgets);

} // namespace orv::ui::settingslayout
