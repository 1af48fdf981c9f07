#pragma once

// One line on the broker's error output, which is whatever Velmora's was, after the broker's
// name. printf-style.
void brokerLog(const char *format, ...) __attribute__((format(printf, 1, 2)));
