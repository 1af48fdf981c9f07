#pragma once

#include "platform/Result.h"

#include <QByteArray>

#include <sys/types.h>
#include <optional>
#include <utility>
#include <vector>

// Velmora started as root on someone's behalf (by pkexec, or sudo) becomes that person for
// good before anything else runs, so that the window, the settings, the network and every
// address opened belong to them; only the keyboard broker, started just before, keeps root.
// A root login that names nobody stays root.
class PersonSession {
public:
    struct Person {
        uid_t uid;
        gid_t gid;
        QByteArray name;
        QByteArray home;
    };
    // A variable to set, or to remove when it has no value.
    using EnvironmentChange = std::pair<QByteArray, std::optional<QByteArray>>;

    // The person root was started for: PKEXEC_UID, else SUDO_UID. Nothing when this process
    // is not root, or when neither names anyone but root; a failure when the variable
    // names no user.
    static Result<std::optional<Person>> invokingPerson();
    // Drops root for good (groups, group and user; regaining root must then fail) and takes
    // the person's environment. On failure the caller must end: the process may be half-way.
    static Result<void> become(const Person &person);
    // What become() changes in the environment, given where per-user runtime folders live.
    static std::vector<EnvironmentChange> environmentFor(
        const Person &person, const QByteArray &runtimeRoot = "/run/user");

private:
    static Result<void> dropPrivileges(const Person &person);
};
