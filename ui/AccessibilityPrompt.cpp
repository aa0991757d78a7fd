#include "ui/AccessibilityPrompt.h"

#include "core/AppModel.h"
#include "ui/Dialogs.h"

#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

namespace orv::ui {

void enableAccessibility(AppModel &model, QWidget *parent)
{
    if (model.desktop().sessionAccessibility().value_or(false)) {
        model.enableAccessibility();
        return;
    }
    auto *prompt = new QMessageBox(parent);
    dialogFrame(prompt);
    prompt->setObjectName(QLatin1String(accessibilityPromptName));
    prompt->setAttribute(Qt::WA_DeleteOnClose);
    prompt->setWindowModality(Qt::WindowModal);
    prompt->setIcon(QMessageBox::Question);
    prompt->setWindowTitle(QStringLiteral("Enable Accessibility"));
    prompt->setText(QStringLiteral("Switch on accessibility for this desktop session?"));
    prompt->setInformativeText(
        QStringLiteral("Orvanta can then read the text field you dictate into and confirm what it pasted there; other "
                       "applications also show their controls to screen readers and other assistive tools."));
    QPushButton *enable = prompt->addButton(QStringLiteral("Enable"), QMessageBox::AcceptRole);
    prompt->addButton(QMessageBox::Cancel);
    prompt->setDefaultButton(enable);
    QPointer<AppModel> weak(&model);
    QObject::connect(prompt, &QMessageBox::buttonClicked, prompt, [weak, enable](QAbstractButton *button) {
        if (button == enable && weak)
            weak->enableAccessibility();
    });
    prompt->open();
}

} // namespace orv::ui
