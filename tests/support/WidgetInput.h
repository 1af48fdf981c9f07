#pragma once

#include <QPushButton>
#include <QTest>

// A person's hand on the window: a click on a named button inside a widget, and a key typed
// into a recorder once a click has started it.
inline void click(QWidget *parent, const char *buttonName) {
    QTest::mouseClick(parent->findChild<QPushButton *>(QLatin1String(buttonName)), Qt::LeftButton);
}

inline void type(QWidget *recorder, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::mouseClick(recorder, Qt::LeftButton);
    QTest::keyClick(recorder, key, modifiers);
}
