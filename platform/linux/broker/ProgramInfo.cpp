#include "platform/linux/broker/ProgramInfo.h"

#include <cstdio>
#include <string_view>

std::optional<int> ProgramInfo::answer(int argc, char **argv, const char *help,
                                       const char *versionLine) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument(argv[i]);
        const char *text = argument == "--help" || argument == "-h" ? help
                           : argument == "--version"                ? versionLine
                                                                    : nullptr;
        if (text) return std::printf("%s\n", text) < 0 ? 1 : 0;
    }
    return std::nullopt;
}
