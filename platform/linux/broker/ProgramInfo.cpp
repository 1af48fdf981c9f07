#include "platform/linux/broker/ProgramInfo.h"

#include <cstdio>
#include <string_view>

namespace {

int print(const char *text) { return std::printf("%s\n", text) < 0 ? 1 : 0; }

}  // namespace

std::optional<int> ProgramInfo::answer(int argc, char **argv, const char *help,
                                       const char *versionLine) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument(argv[i]);
        if (argument == "--help" || argument == "-h") return print(help);
        if (argument == "--version") return print(versionLine);
    }
    return std::nullopt;
}
