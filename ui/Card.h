#pragma once

#include <QFrame>

namespace orv::ui {

// The container of the pages' groups: filled with the palette's base colour, a hairline border in the
// separator colour, 10-point corners.
class Card final : public QFrame
{
    Q_OBJECT

public:
    explicit Card(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace orv::ui
