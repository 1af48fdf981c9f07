// Stands in for pkexec in tests, saying and doing what pkexec does. FAKE_PKEXEC_ANSWER says
// how the authorization goes:
//   grant (default)  become the program, keeping the process id
//   slow             the same after a pause, as a person typing a password would
//   cancel           exit 126, as when the dialog is dismissed
//   refuse           exit 127, not authorized
//   unreachable      exit 127, polkit cannot be reached
//   noagent          exit 127, no authentication agent
//   exit1            exit 1 without a word, as a broken helper might
//   killed           killed by SIGKILL before the program runs
// Like pkexec, it sets PKEXEC_UID, runs the program in "/" unless --keep-cwd is given, and,
// once authorized, marks every descriptor above 2 close-on-exec before it becomes the program.
// --version names FAKE_PKEXEC_VERSION (default 122); one before 121 knows no --keep-cwd and,
// like those, takes it for the program.
#include <linux/close_range.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int fail(int status, const char *message) {
    std::fprintf(stderr, "%s\n", message);
    return status;
}

}  // namespace

int main(int argc, char **argv) {
    const char *version = std::getenv("FAKE_PKEXEC_VERSION");
    version = version ? version : "122";
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("pkexec version %s\n", version);
        return 0;
    }
    const bool knowsKeepCwd = std::atoi(version) >= 121;
    bool keepCwd = false;
    int first = 1;
    for (; first < argc && std::strncmp(argv[first], "--", 2) == 0; ++first) {
        if (!knowsKeepCwd) break;
        keepCwd = keepCwd || std::strcmp(argv[first], "--keep-cwd") == 0;
    }

    const char *variable = std::getenv("FAKE_PKEXEC_ANSWER");
    const std::string answer = variable ? variable : "grant";
    if (answer == "unreachable")
        return fail(127,
                    "Error getting authority: Error initializing authority: Could not "
                    "connect: No such file or directory");
    if (first >= argc) return fail(127, "pkexec --version | --help | [--user username] PROGRAM");
    const char *program = argv[first];
    if (program[0] != '/') {
        std::fprintf(stderr, "Cannot run program %s: %s\n", program, std::strerror(ENOENT));
        return 127;
    }
    if (access(program, F_OK) != 0) {
        std::fprintf(stderr, "Error accessing %s: %s\n", program, std::strerror(errno));
        return 127;
    }
    if (answer == "cancel")
        return fail(126, "Error executing command as another user: Request dismissed");
    if (answer == "refuse")
        return fail(127,
                    "Error executing command as another user: Not authorized\n\n"
                    "This incident has been reported.");
    if (answer == "noagent")
        return fail(127,
                    "Error creating textual authentication agent: Error opening current "
                    "controlling terminal for the process (`/dev/tty'): No such device or "
                    "address");
    if (answer == "exit1") return 1;
    if (answer == "killed") raise(SIGKILL);
    if (answer == "slow") usleep(300 * 1000);
    if (!keepCwd && chdir("/") != 0) return 127;
    setenv("PKEXEC_UID", std::to_string(getuid()).c_str(), 1);
    close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
    execv(program, argv + first);
    std::fprintf(stderr, "Error executing %s: %s\n", program, std::strerror(errno));
    return 127;
}
