#include "ui/DictionaryViewController.h"

#include "core/AppModel.h"
#include "ui/UIComponents.h"

#include <QLabel>
#include <QVBoxLayout>

namespace orv::ui {

DictionaryViewController::DictionaryViewController(AppModel &model, QWidget *parent) : QWidget(parent), m_model(model)
{
    setAccessibleName(QStringLiteral("Dictionary"));
    auto *content = new QWidget;
    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(label(QStringLiteral("Dictionary"), 26, QFont::Bold));
    scrollingPage(this, content, 28);
    connect(&m_model, &AppModel::changed, this, &DictionaryViewController::refresh);
    refresh();
}

void DictionaryViewController::refresh() {}

} // namespace orv::ui
