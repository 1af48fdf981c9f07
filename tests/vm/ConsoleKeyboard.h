#pragma once

#include <QByteArray>

// The kernel console's keyboard on the first virtual terminal, which is in front when no
// display server runs: the text it makes of the keys it is sent (keypad 4 types "4" with
// NumLock on and a cursor key, ESC [ D, with NumLock off), and its NumLock.
class ConsoleKeyboard {
public:
    ConsoleKeyboard();
    ~ConsoleKeyboard();
    ConsoleKeyboard(const ConsoleKeyboard &) = delete;
    ConsoleKeyboard &operator=(const ConsoleKeyboard &) = delete;

    bool isOpen() const { return m_fd >= 0; }
    // What was typed since the last call.
    QByteArray take();
    bool numLock() const;
    void setNumLock(bool on);

private:
    int m_fd = -1;
};
