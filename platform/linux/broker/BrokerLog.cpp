#include "platform/linux/broker/BrokerLog.h"

#include <cstdarg>
#include <cstdio>

void brokerLog(const char *format, ...) {
    char line[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    std::fprintf(stderr, "Velmora keyboard broker: %s\n", line);
}
