#include "tests/vm/TapPersonStart.h"

#include "platform/linux/BrokerClient.h"

#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char *what, const QString &why) {
    std::fprintf(stderr, "%s: %s\n", what, qPrintable(why));
    std::exit(1);
}

}  // namespace

TapPersonStart::TapPersonStart() {
    auto split = PrivilegeSplit::perform(BrokerProcess::besideExecutable());
    if (!split) fail("cannot split", split.failure().message);
    if (!split->ok()) fail("cannot split", split->failure().message);
    m_broker = split->take();
}

std::unique_ptr<BrokerTap> TapPersonStart::tap() {
    auto tap =
        BrokerTap::create(std::make_unique<BrokerClient>(std::move(m_broker.socket), m_broker.pid));
    if (!tap) fail("no tap", tap.failure().message);
    return std::move(*tap);
}
