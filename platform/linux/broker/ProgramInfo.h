#pragma once

#include <optional>

// What Velmora's programs answer to --help and --version, before they do anything else.
class ProgramInfo {
public:
    // Prints `help` or `versionLine` on standard output when an argument asks for it, and
    // returns the program's exit status; returns nothing when the program is to go on.
    static std::optional<int> answer(int argc, char **argv, const char *help,
                                     const char *versionLine);
};
