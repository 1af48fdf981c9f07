#include "recorder/MZFlipView.h"

MZFlipView::MZFlipView(QWidget *parent) : QWidget(parent) {}
