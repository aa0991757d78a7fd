#pragma once

#include <QWidget>

namespace orv {

class AppModel;

namespace ui {

// The Dictionary page of the main window; redraws from the model on every change notification.
class DictionaryViewController final : public QWidget
{
    Q_OBJECT

public:
    explicit DictionaryViewController(AppModel &model, QWidget *parent = nullptr);

    void refresh();

private:
    AppModel &m_model;
};

} // namespace ui
} // namespace orv
