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

// The same rules for another file of settings that names such files (the
// broker's settings): `subject` names it in the diagnosis ("the broker
// settings F"). A Secret is held as a key is (ours, closed to others, kept
// open in `held`) without being read as one: a password file.
enum class FileRule { Trusted, Key, Secret };
int checkSettingsTrusted(int fd, const std::string& subject, const std::string& path, std::string& diagnosis);
int checkSettingsFile(const std::string& subject, const char* what, const std::string& file, FileRule rule,
                      std::shared_ptr<const int>& held, std::string& diagnosis);

} // namespace platform
