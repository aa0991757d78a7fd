#include "ui/SettingsViewController.h"

#include "core/AppModel.h"
#include "ui/UIComponents.h"

#include <QLabel>
#include <QVBoxLayout>

namespace orv::ui {

SettingsViewController::SettingsViewController(AppModel &model, QWidget *parent) : QWidget(parent), m_model(model)
{
    setAccessibleName(QStringLiteral("Settings"));
    auto *content = new QWidget;
    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(label(QStringLiteral("Settings"), 26, QFont::Bold));
    scrollingPage(this, content, 28);
    connect(&m_model, &AppModel::changed, this, &SettingsViewController::refresh);
    refresh();
}

void SettingsViewController::refresh() {}

} // namespace orv::ui
