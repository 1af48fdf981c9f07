#pragma once

#include <QWidget>

// The pair list. For now only what the slot panel needs of its base: a plain view.
class MZContentViewController : public QWidget {
    Q_OBJECT
public:
    explicit MZContentViewController(QWidget *parent = nullptr);
};
