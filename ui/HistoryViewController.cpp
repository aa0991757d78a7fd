#include "ui/HistoryViewController.h"

#include "core/AppModel.h"
#include "ui/UIComponents.h"

#include <QLabel>
#include <QVBoxLayout>

namespace orv::ui {

HistoryViewController::HistoryViewController(AppModel &model, QWidget *parent) : QWidget(parent), m_model(model)
{
    setAccessibleName(QStringLiteral("History"));
    auto *content = new QWidget;
    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(label(QStringLiteral("History"), 26, QFont::Bold));
    scrollingPage(this, content, 28);
    connect(&m_model, &AppModel::changed, this, &HistoryViewController::refresh);
    refresh();
}

void HistoryViewController::refresh() {}

} // namespace orv::ui
