#pragma once

#include <memory>
#include <string>

namespace platform {

// The files of a network port's entry, judged as ssh judges its own: whoever
// can change the entry, its folder or a file it names can point the port at
// their own host and CA. Each returns 0, or the errno with `diagnosis` naming
// the entry, the file and the fix.

// The entry open as `fd` at `path`, and its folder: ours or root's, and
// writable by the owner alone.
int checkEntryTrusted(int fd, const std::string& path, std::string& diagnosis);

// A file the entry at `entry` names (`what`: "CA file", ...) by the same rule;
// a private key (`isKey`) more strictly, as ssh refuses one, and sealed with
// no passphrase. The key stays open in `keyFile`, so that what is handed on is
// the very file checked, whatever its path names by then.
int checkNamedFile(const std::string& entry, const char* what, const std::string& file, bool isKey,
                   std::shared_ptr<const int>& keyFile, std::string& diagnosis);

} // namespace platform
