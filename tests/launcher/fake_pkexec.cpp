// Stands in for pkexec in tests. FAKE_PKEXEC_ANSWER says how the "user" answers:
//   grant (default)  replace this process with the program, keeping the process id
//   slow             the same after a pause, as a user typing a password would
//   cancel           exit 126, as when the dialog is dismissed
//   refuse           exit 127, as when the user is not allowed
// Like pkexec, it runs the program in "/" unless --keep-cwd is given.
#include <unistd.h>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char **argv) {
    bool keepCwd = false;
    int first = 1;
    for (; first < argc && std::strncmp(argv[first], "--", 2) == 0; ++first)
        keepCwd = keepCwd || std::strcmp(argv[first], "--keep-cwd") == 0;

    const char *variable = std::getenv("FAKE_PKEXEC_ANSWER");
    const std::string answer = variable ? variable : "grant";
    if (answer == "cancel") return 126;
    if (answer == "refuse" || first >= argc) return 127;
    if (answer == "slow") usleep(300 * 1000);
    if (!keepCwd && chdir("/") != 0) return 127;
    execv(argv[first], argv + first);
    return 127;
}
