#include "platform/linux/PrivilegeSplit.h"

#include "platform/linux/PersonSession.h"

Result<Result<BrokerProcess::Started>> PrivilegeSplit::perform(const QString &brokerPath) {
    auto person = PersonSession::invokingPerson();
    if (!person) return person.failure();
    auto broker = BrokerProcess::start(brokerPath);
    if (person->has_value())
        if (auto became = PersonSession::become(**person); !became) return became.failure();
    return Result<Result<BrokerProcess::Started>>(std::move(broker));
}
