#pragma once

#include <QWidget>

// A view whose origin is its top-left corner, y growing downward; Qt views already are.
class MZFlipView : public QWidget {
    Q_OBJECT
public:
    explicit MZFlipView(QWidget *parent = nullptr);
    bool isFlipped() const { return true; }
};
