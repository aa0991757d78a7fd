#include "ui/Dialogs.h"

#include "ui/UIComponents.h"

#include <QMessageBox>
#include <QPushButton>

namespace orv::ui {

void dialogFrame(QWidget *dialog)
{
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
}

QMessageBox *askBeforeDeleting(QWidget *parent,
                               const DestructiveQuestion &question,
                               std::function<void()> onDestroy,
                               std::function<void()> onKeep)
{
    auto *box = new QMessageBox(parent);
    dialogFrame(box);
    box->setObjectName(question.objectName);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->setIcon(QMessageBox::Warning);
    box->setWindowTitle(question.title);
    box->setText(question.text);
    box->setInformativeText(question.informative);
    QPushButton *destroy = box->addButton(question.destructive, QMessageBox::DestructiveRole);
    destroy->setStyleSheet(QStringLiteral("QPushButton { color: %1; }").arg(errorColor(box->palette()).name()));
    QPushButton *keep = box->addButton(question.safe, QMessageBox::RejectRole);
    box->setDefaultButton(keep);
    box->setEscapeButton(keep);
    // Every way out but the destructive button keeps what there is, closing the window included.
    auto destroyed = std::make_shared<bool>(false);
    QObject::connect(box, &QMessageBox::buttonClicked, box, [destroy, destroyed, onDestroy](QAbstractButton *button) {
        if (button != destroy)
            return;
        *destroyed = true;
        if (onDestroy)
            onDestroy();
    });
    QObject::connect(box, &QMessageBox::finished, box, [destroyed, onKeep] {
        if (!*destroyed && onKeep)
            onKeep();
    });
    box->open();
    return box;
}

} // namespace orv::ui
