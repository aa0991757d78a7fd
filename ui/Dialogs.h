#pragma once

#include <QString>

#include <functional>

class QMessageBox;
class QWidget;

// What every dialog of the windows shares: a frame without minimize and maximize buttons, and questions
// before anything is deleted whose default (Return) is the safe answer.
namespace orv::ui {

// Gives `dialog` the frame of a dialog: a title and a close button only.
void dialogFrame(QWidget *dialog);

struct DestructiveQuestion
{
    QString objectName;
    QString title;       // the window title
    QString text;        // the question
    QString informative; // what is deleted and what is kept
    QString destructive; // the destructive button's title, with its mnemonic
    QString safe;        // the safe button's title, with its mnemonic
};

// Opens a window-modal question over `parent`: `onDestroy` runs when the destructive button is chosen,
// `onKeep` for any other way out (the safe button, Escape, closing). Return chooses the safe button.
QMessageBox *askBeforeDeleting(QWidget *parent,
                               const DestructiveQuestion &question,
                               std::function<void()> onDestroy,
                               std::function<void()> onKeep = {});

} // namespace orv::ui
