#include "remap/MZContentViewController.h"

MZContentViewController::MZContentViewController(QWidget *parent) : QWidget(parent) {}
