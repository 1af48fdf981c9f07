#include "launcher/LXPkexecAnswer.h"
#include "launcher/LXPrivilegedTask.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

constexpr qint32 exited(int code) { return code << 8; }

// What pkexec 122 (Debian 12) and the versions of other current distributions write.
TEST(LXPkexecAnswer, EachAnswerHasItsStatusAndItsFirstLine) {
    const QByteArray serviceUnknown =
        "GDBus.Error:org.freedesktop.DBus.Error.ServiceUnknown: The name "
        "org.freedesktop.PolicyKit1 was not provided by any .service files";
    const struct {
        qint32 statusWord;
        QByteArray said;
        qint32 status;
        const char *message;
    } cases[] = {
        {exited(126), "Error executing command as another user: Request dismissed\n",
         LXPrivilegedTask::errAuthorizationCanceled, nullptr},
        {exited(127),
         "Error executing command as another user: Not authorized\n\nThis incident has been "
         "reported.\n",
         LXPrivilegedTask::errAuthorizationDenied,
         "Error executing command as another user: Not authorized"},
        {exited(127),
         "Error getting authority: Error initializing authority: Could not connect: No such file "
         "or directory\n",
         LXPrivilegedTask::errAuthorizationInternal, nullptr},
        // polkitd not on the bus; GLib's warning comes first.
        {exited(127),
         "\n** (process:10340): WARNING **: 14:21:12.682: Error enumerating actions: " +
             serviceUnknown +
             "\nError checking for authorization org.freedesktop.policykit.exec: " +
             serviceUnknown + "\n",
         LXPrivilegedTask::errAuthorizationInternal,
         "Error checking for authorization org.freedesktop.policykit.exec: GDBus.Error:"
         "org.freedesktop.DBus.Error.ServiceUnknown: The name org.freedesktop.PolicyKit1 was not "
         "provided by any .service files"},
        {exited(127),
         "Error checking for authorization org.velmora.launcher.run-velmora: GDBus.Error:"
         "org.freedesktop.DBus.Error.NoReply: Message recipient disconnected from message bus "
         "without replying\n",
         LXPrivilegedTask::errAuthorizationInternal, nullptr},
        {exited(127),
         "Error creating textual authentication agent: Error opening current controlling "
         "terminal for the process (`/dev/tty'): No such device or address\n",
         LXPrivilegedTask::errAuthorizationInteractionNotAllowed, nullptr},
        {exited(127), "Error executing command as another user: No authentication agent found.\n",
         LXPrivilegedTask::errAuthorizationInteractionNotAllowed, nullptr},
        {exited(127), "Error accessing /opt/Velmora: No such file or directory\n",
         LXPrivilegedTask::errAuthorizationToolExecuteFailure, nullptr},
        {exited(127), "Error executing /opt/Velmora: No such file or directory\n",
         LXPrivilegedTask::errAuthorizationToolExecuteFailure, nullptr},
        // pkexec before 121, for a program it cannot find.
        {exited(127), "Cannot run program Velmora: No such file or directory\n",
         LXPrivilegedTask::errAuthorizationToolExecuteFailure, nullptr},
        // Anything else is the authorization failing, told by its first line.
        {exited(127),
         "Error checking for authorization org.velmora.launcher.run-velmora: GDBus.Error:"
         "org.freedesktop.PolicyKit1.Error.Failed: Action org.velmora.launcher.run-velmora is not "
         "registered\n",
         LXPrivilegedTask::errAuthorizationToolEnvironmentError,
         "Error checking for authorization org.velmora.launcher.run-velmora: GDBus.Error:"
         "org.freedesktop.PolicyKit1.Error.Failed: Action org.velmora.launcher.run-velmora is not "
         "registered"},
        {SIGKILL, "", LXPrivilegedTask::errAuthorizationToolEnvironmentError, ""},
    };
    for (const auto &c : cases) {
        const LXPkexecAnswer::Outcome outcome = LXPkexecAnswer::outcome(c.statusWord, c.said);
        EXPECT_EQ(outcome.status, c.status) << c.said.constData();
        if (c.message) {
            EXPECT_EQ(outcome.message, QString::fromUtf8(c.message));
        }
    }
}

TEST(LXPkexecAnswer, KeepCwdIsKnownSincePolkit121) {
    const struct {
        QByteArray answer;
        bool supported;
    } cases[] = {
        {"pkexec version 122\n", true},
        {"pkexec version 121\n", true},
        {"pkexec version 0.105\n", false},
        {"", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(LXPkexecAnswer::supportsKeepCwd(c.answer), c.supported) << c.answer.constData();
}

}  // namespace
