#pragma once

#include <memory>

#include "platform/linux/BrokerTap.h"
#include "platform/linux/PrivilegeSplit.h"

// How the stand-ins for Velmora start, as Velmora does: the split first (it forks, so before
// any Qt object), then, once the application exists, a tap on the broker split off. Each step
// ends the program with a message when it fails.
class TapPersonStart {
public:
    TapPersonStart();
    std::unique_ptr<BrokerTap> tap();

private:
    BrokerProcess::Started m_broker;
};
