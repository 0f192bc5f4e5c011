#include "platform/TrustFiles.h"

#include "platform/OpenDiagnosis.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <openssl/crypto.h>
#include <pwd.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

// A private key in PEM is a few kilobytes; the passphrase mark is in its head.
constexpr std::size_t MaxKeyRead = 64 * 1024;

std::string modeText(mode_t mode)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

std::string userName()
{
    const passwd* user = ::getpwuid(::geteuid());
    return user && user->pw_name ? user->pw_name : std::to_string(::geteuid());
}

// A file or folder that decides where a port leads and whom it trusts is
// refused, as ssh refuses its own, when another user could change it: it
// must belong to us or to root and be writable by its owner alone. `what`
// names it in the diagnosis ("the port entry E", "its CA file F").
int checkTrusted(const std::string& what, const std::string& path, const struct stat& status, std::string& diagnosis)
{
    if (status.st_uid != ::geteuid() && status.st_uid != 0) {
        diagnosis = what + " belongs to another user (uid " + std::to_string(status.st_uid)
            + "), who could point the port elsewhere: chown " + userName() + " " + path;
        return EPERM;
    }
    if ((status.st_mode & 022) != 0) {
        diagnosis = what + " can be changed by others (mode " + modeText(status.st_mode) + "): chmod go-w " + path;
        return EPERM;
    }
    return 0;
}

// Reads a private key through `fd` to refuse one sealed with a passphrase,
// which a link has no one to ask for. The bytes are read into room made once
// and wiped before it is freed, so that no copy of the key stays behind.
int checkKeyContent(int fd, const std::string& subject, const std::string& file, std::string& diagnosis)
{
    std::vector<char> content(MaxKeyRead);
    std::size_t size = 0;
    int error = 0;
    while (size < content.size()) {
        const ssize_t got = ::read(fd, content.data() + size, content.size() - size);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) error = errno;
        if (got <= 0) break;
        size += static_cast<std::size_t>(got);
    }
    const std::string_view text(content.data(), size);
    const bool sealed = text.find("ENCRYPTED") != std::string_view::npos;
    OPENSSL_cleanse(content.data(), content.size());
    if (error != 0) {
        diagnosis = subject + ": cannot read its key file " + file + ": " + systemText(error);
        return error;
    }
    if (sealed) {
        diagnosis = subject + ": the key file " + file
            + " has a passphrase, which no one is there to type when the link opens: remove the passphrase: "
              "openssl pkey -in " + file + " -out " + file + ".plain, and write key=" + file + ".plain";
        return EPERM;
    }
    return 0;
}

} // namespace

// Checks a file the entry names; returns 0 or the errno. A private key is
// refused, as ssh refuses one, when someone else could read or change it or
// when it is sealed with a passphrase. The key stays open in `keyFile`, so
// that what is handed on is the very file checked, whatever its path names
// by then.
int checkNamedFile(const std::string& entry, const char* what, const std::string& file, bool isKey,
                   std::shared_ptr<const int>& keyFile, std::string& diagnosis)
{
    return checkSettingsFile("the port entry " + entry, what, file, isKey ? FileRule::Key : FileRule::Trusted, keyFile,
                             diagnosis);
}

int checkSettingsFile(const std::string& subject, const char* what, const std::string& file, FileRule rule,
                      std::shared_ptr<const int>& held, std::string& diagnosis)
{
    const bool secret = rule != FileRule::Trusted;
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    struct stat status {};
    if (fd < 0 || ::fstat(fd, &status) != 0) {
        const int error = errno;
        if (fd >= 0) ::close(fd);
        diagnosis = subject + ": cannot read its " + what + " " + file + ": " + systemText(error);
        return error;
    }
    int error = 0;
    if (!S_ISREG(status.st_mode)) {
        diagnosis = subject + ": its " + what + " " + file + " is not a file";
        error = EINVAL;
    } else if (secret && status.st_uid != ::geteuid()) {
        diagnosis = subject + ": the " + what + " " + file + " belongs to another user (uid "
            + std::to_string(status.st_uid) + "): keep a copy of your own, cp " + file + " ~/ and chmod 600 it";
        error = EPERM;
    } else if (secret && (status.st_mode & 077) != 0) {
        diagnosis = subject + ": the " + what + " " + file + " is open to others (mode "
            + modeText(status.st_mode) + "): chmod 600 " + file;
        error = EPERM;
    } else if (!secret) {
        error = checkTrusted(subject + ": its " + what + " " + file, file, status, diagnosis);
    } else if (rule == FileRule::Key) {
        error = checkKeyContent(fd, subject, file, diagnosis);
    }
    if (error == 0 && secret) {
        held = std::shared_ptr<const int>(new int(fd), [](const int* kept) {
            ::close(*kept);
            delete kept;
        });
        return 0;
    }
    ::close(fd);
    return error;
}

// The entry and the folder it lies in, by the rule of checkTrusted.
int checkEntryTrusted(int fd, const std::string& path, std::string& diagnosis)
{
    return checkSettingsTrusted(fd, "the port entry " + path, path, diagnosis);
}

int checkSettingsTrusted(int fd, const std::string& subject, const std::string& path, std::string& diagnosis)
{
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        const int error = errno;
        diagnosis = "cannot read " + subject;
        return error;
    }
    if (const int error = checkTrusted(subject, path, status, diagnosis)) return error;
    const std::string folder = std::filesystem::absolute(std::filesystem::path(path)).parent_path().string();
    if (::stat(folder.c_str(), &status) != 0) return 0;
    return checkTrusted(subject + ": its folder " + folder, folder, status, diagnosis);
}

} // namespace platform
