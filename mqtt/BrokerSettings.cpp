#include "mqtt/BrokerSettings.h"

#include "platform/NetworkAddress.h"
#include "platform/TrustFiles.h"

#include <QString>
#include <QSysInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <unistd.h>

namespace mqtt {

namespace {

// A file of settings is a few lines; anything longer is no such file.
constexpr std::size_t MaxConfigSize = 16 * 1024;
constexpr std::size_t MaxPasswordSize = 1024;

// A topic level may hold neither a separator nor a wildcard.
bool validLevel(const std::string& text)
{
    return !text.empty() && text.find_first_of("/+#") == std::string::npos;
}

// The prefix is one or more levels, none of them empty or a wildcard.
bool validPrefix(const std::string& prefix)
{
    if (prefix.empty() || prefix.front() == '/' || prefix.back() == '/') return false;
    if (prefix.find("//") != std::string::npos) return false;
    return prefix.find_first_of("+#") == std::string::npos;
}

bool readAll(int fd, std::size_t limit, std::string& content, int& error)
{
    char buffer[512];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            error = errno;
            return false;
        }
        if (got == 0) return true;
        content.append(buffer, static_cast<std::size_t>(got));
        if (content.size() > limit) {
            error = EFBIG;
            return false;
        }
    }
}

// The files the settings name, by the rules a port entry's files are held
// to; `subject` names the settings in the diagnosis.
std::string checkFiles(const BrokerSettings& settings, const std::string& subject)
{
    struct Named {
        const std::string& file;
        const char* what;
        platform::FileRule rule;
    };
    const Named files[] = {{settings.caFile, "CA file", platform::FileRule::Trusted},
                           {settings.certFile, "certificate file", platform::FileRule::Trusted},
                           {settings.keyFile, "key file", platform::FileRule::Key},
                           {settings.passwordFile, "password file", platform::FileRule::Secret}};
    for (const Named& named : files) {
        if (named.file.empty()) continue;
        if (named.file.front() != '/') return subject + ": its " + named.what + " " + named.file + " is not an absolute path";
        std::shared_ptr<const int> held;
        std::string diagnosis;
        if (platform::checkSettingsFile(subject, named.what, named.file, named.rule, held, diagnosis) != 0) return diagnosis;
    }
    return {};
}

std::string check(BrokerSettings& settings, const std::string& subject)
{
    if (settings.host.empty()) return "no broker host given";
    if (settings.port == 0) settings.port = settings.tls ? TlsPort : PlainPort;
    if (settings.port < 1 || settings.port > 65535) return "the broker's port " + std::to_string(settings.port) + " is not 1 .. 65535";
    if (!validPrefix(settings.prefix))
        return "the prefix '" + settings.prefix + "' is not a topic: no empty level, no + or #";
    if (!settings.user.empty() && !validLevel(settings.user))
        return "the user name '" + settings.user + "' cannot name a topic level: no /, + or #";
    if (!settings.tls && !(settings.caFile.empty() && settings.certFile.empty() && settings.keyFile.empty()))
        return subject + ": ca=, cert= and key= go with mqtts://";
    if (settings.certFile.empty() != settings.keyFile.empty())
        return subject + ": a client certificate needs both cert= and key=";
    return checkFiles(settings, subject);
}

// "mqtt://HOST[:PORT]" read by the port entry's own address rules: the same
// hosts, IPv6 in brackets, the same words for what is wrong.
std::string readUrl(const std::string& url, BrokerSettings& settings)
{
    std::string rest;
    if (url.starts_with("mqtt://")) {
        rest = url.substr(7);
    } else if (url.starts_with("mqtts://")) {
        rest = url.substr(8);
        settings.tls = true;
    } else {
        return "'" + url + "' is no broker: give mqtt://HOST[:PORT] or mqtts://HOST[:PORT]";
    }
    if (!rest.empty() && rest.back() == '/') rest.pop_back();
    const std::size_t colon = rest.rfind(':');
    const bool hasPort = colon != std::string::npos && rest.find(']', colon) == std::string::npos
                         && (rest.front() == '[' || rest.find(':') == colon);
    if (!hasPort) rest += ":" + std::to_string(settings.tls ? TlsPort : PlainPort);
    platform::NetworkAddress address;
    std::string problem;
    if (!platform::parseNetworkEntry("tcp://" + rest, address, problem)) return "'" + url + "': " + problem;
    settings.host = address.host;
    settings.port = address.port;
    return {};
}

// The KEY=VALUE lines of a --mqtt-config file; its relative paths are the
// file's folder's, whichever folder the program runs in.
std::string readConfig(const std::string& path, BrokerSettings& settings)
{
    const std::string subject = "the broker settings " + path;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return "cannot read " + subject + ": " + std::strerror(errno);
    std::string diagnosis;
    if (platform::checkSettingsTrusted(fd, subject, path, diagnosis) != 0) {
        ::close(fd);
        return diagnosis;
    }
    std::string content;
    int error = 0;
    const bool read = readAll(fd, MaxConfigSize, content, error);
    ::close(fd);
    if (!read) return "cannot read " + subject + ": " + std::strerror(error);

    // Made absolute first: a file named without a folder has an empty parent.
    const std::filesystem::path folder = std::filesystem::absolute(std::filesystem::path(path)).parent_path();
    const auto absolute = [&](const std::string& file) {
        return file.empty() || file.front() == '/' ? file : (folder / file).lexically_normal().string();
    };
    std::size_t start = 0;
    for (int number = 1; start < content.size(); ++number) {
        std::size_t end = content.find('\n', start);
        if (end == std::string::npos) end = content.size();
        std::string line = content.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line.front() == '#') continue;
        const std::size_t equals = line.find('=');
        const std::string key = line.substr(0, equals);
        const std::string value = equals == std::string::npos ? std::string() : line.substr(equals + 1);
        const std::string where = subject + ", line " + std::to_string(number) + " '" + line + "'";
        if (equals == std::string::npos || value.empty()) return where + ": not KEY=VALUE";
        if (key == "ca") settings.caFile = absolute(value);
        else if (key == "cert") settings.certFile = absolute(value);
        else if (key == "key") settings.keyFile = absolute(value);
        else if (key == "password-file") settings.passwordFile = absolute(value);
        else if (key == "user") settings.user = value;
        else if (key == "prefix") settings.prefix = value;
        else return where + ": unknown key (ca, cert, key, user, password-file, prefix)";
    }
    if (!settings.passwordFile.empty() && settings.user.empty()) return subject + ": password-file= needs user=";
    return {};
}

} // namespace

std::variant<BrokerSettings, std::string> readBrokerSettings(const std::string& url, const std::string& configPath)
{
    BrokerSettings settings;
    if (std::string problem = readUrl(url, settings); !problem.empty()) return problem;
    if (!configPath.empty()) {
        if (std::string problem = readConfig(configPath, settings); !problem.empty()) return problem;
    }
    const std::string subject = configPath.empty() ? "the broker " + url : "the broker settings " + configPath;
    if (std::string problem = check(settings, subject); !problem.empty()) return problem;
    return settings;
}

std::variant<BrokerSettings, std::string> checkBrokerSettings(BrokerSettings fields)
{
    if (fields.passwordFile.empty() == false && fields.user.empty()) return std::string("a password file needs a user name");
    if (std::string problem = check(fields, "the broker " + fields.host); !problem.empty()) return problem;
    return fields;
}

std::string brokerUrl(const BrokerSettings& settings)
{
    const bool ipv6 = settings.host.find(':') != std::string::npos;
    return std::string(settings.tls ? "mqtts://" : "mqtt://") + (ipv6 ? "[" + settings.host + "]" : settings.host) + ":"
        + std::to_string(settings.port);
}

std::string publisherName(const BrokerSettings& settings)
{
    if (!settings.user.empty()) return settings.user;
    return QSysInfo::machineHostName().toStdString();
}

bool unencrypted(const BrokerSettings& settings)
{
    platform::NetworkAddress address;
    address.host = settings.host;
    return !settings.tls && !address.isLoopback();
}

bool readPassword(const BrokerSettings& settings, std::string& password, std::string& diagnosis)
{
    password.clear();
    if (settings.passwordFile.empty()) return true;
    std::shared_ptr<const int> held;
    if (platform::checkSettingsFile("the broker " + brokerUrl(settings), "password file", settings.passwordFile,
                                    platform::FileRule::Secret, held, diagnosis)
        != 0)
        return false;
    // Read through the very file checked, from its start.
    int error = 0;
    if (::lseek(*held, 0, SEEK_SET) < 0 || !readAll(*held, MaxPasswordSize, password, error)) {
        diagnosis = "cannot read the password file " + settings.passwordFile + ": " + std::strerror(error ? error : errno);
        password.clear();
        return false;
    }
    // One line: its line end is no part of the password.
    while (!password.empty() && (password.back() == '\n' || password.back() == '\r')) password.pop_back();
    return true;
}

} // namespace mqtt
