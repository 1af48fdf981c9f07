#pragma once

// The keyboard broker keeps no more of root than it needs.
//
// At start, confine(): its working folder is "/", which holds nothing of anybody's, and
// PR_SET_NO_NEW_PRIVS is set, so that nothing it might run could gain privileges.
//
// Once /dev/uinput is open (twice: the virtual keyboard, and the pointer it may need later)
// and udev is watched, dropCapabilities() drops every capability, from every set and from the
// bounding set, and locks root's special treatment off for good. What it keeps is its uid, 0:
// keyboards plugged in later are opened as their node's owner (root, mode 0660) under plain file
// permissions, which need no capability; nothing else it does needs one. It runs before the
// broker makes any thread, as capabilities belong to threads.
class BrokerPrivileges {
public:
    // False when either could not be done.
    static bool confine();
    // False when something could not be dropped or locked, as for a broker started without
    // root, which has nothing to drop.
    static bool dropCapabilities();
};
