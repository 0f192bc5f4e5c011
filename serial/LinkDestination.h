#pragma once

#include <QString>
#include <string>

// Where a COM name leads, in the words every view of a link uses (the
// panel's status bar, a fleet row, `xpdrctl watch`): the device at the end of
// its links, or a network port's address. For a network port in plain TCP
// whose open link leads beyond this machine (as its device says of the
// address it actually connected to, whatever the entry's host is called),
// `unencrypted` says why that matters and how to end it; it is empty
// otherwise.
struct LinkDestination {
    QString where;
    QString unencrypted;
    bool network = false;
};

LinkDestination linkDestination(const std::string& comName, bool plainToAnotherHost = false);
