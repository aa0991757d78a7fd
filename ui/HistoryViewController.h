#pragma once

#include <QWidget>

namespace orv {

class AppModel;

namespace ui {

// The History page of the main window; redraws from the model on every change notification.
class HistoryViewController final : public QWidget
{
    Q_OBJECT

public:
    explicit HistoryViewController(AppModel &model, QWidget *parent = nullptr);

    void refresh();

private:
    AppModel &m_model;
};

} // namespace ui
} // namespace orv
