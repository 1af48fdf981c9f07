#include "remap/MZFlipView.h"

MZFlipView::MZFlipView(QWidget *parent) : QWidget(parent) {}
