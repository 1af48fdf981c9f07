#pragma once

#include <QByteArray>
#include <QtGlobal>

// Sets how the stand-in pkexec answers for one test and restores the previous answer after.
class FakeAuthorization {
public:
    static constexpr char answerVariable[] = "FAKE_PKEXEC_ANSWER";
    static constexpr char helperPath[] = FAKE_PKEXEC_PATH;

    explicit FakeAuthorization(const QByteArray &answer) : m_previous(qgetenv(answerVariable)) {
        qputenv(answerVariable, answer);
    }
    ~FakeAuthorization() {
        if (m_previous.isEmpty())
            qunsetenv(answerVariable);
        else
            qputenv(answerVariable, m_previous);
    }
    FakeAuthorization(const FakeAuthorization &) = delete;
    FakeAuthorization &operator=(const FakeAuthorization &) = delete;

private:
    QByteArray m_previous;
};
