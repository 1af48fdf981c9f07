#include "MZContentViewController.h"

MZContentViewController::MZContentViewController(QWidget *parent) : QWidget(parent) {}
