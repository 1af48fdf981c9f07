#pragma once

#include "platform/Result.h"
#include "platform/linux/BrokerProcess.h"

#include <QString>

// Velmora's first step, before anything of Qt: the keyboard broker is started with the
// rights this process was started with, then this process becomes the person it works for
// (PersonSession). Done by Velmora's main and by the programs that stand in for it in tests.
class PrivilegeSplit {
public:
    // A failure means this process could not become the person and must end. The broker's
    // own start may have failed all the same: that is in the value.
    static Result<Result<BrokerProcess::Started>> perform(const QString &brokerPath);
};
