#include "ui/OverviewViewController.h"

#include "core/AppModel.h"
#include "ui/UIComponents.h"

#include <QLabel>
#include <QVBoxLayout>

namespace orv::ui {

OverviewViewController::OverviewViewController(AppModel &model, QWidget *parent) : QWidget(parent), m_model(model)
{
    setAccessibleName(QStringLiteral("Overview"));
    auto *content = new QWidget;
    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(label(QStringLiteral("Overview"), 26, QFont::Bold));
    scrollingPage(this, content, 28);
    connect(&m_model, &AppModel::changed, this, &OverviewViewController::refresh);
    refresh();
}

void OverviewViewController::refresh() {}

} // namespace orv::ui
