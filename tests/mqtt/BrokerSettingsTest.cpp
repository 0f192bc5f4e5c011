// A broker's settings as the operator gives them: the URL, and the lines of a
// --mqtt-config file held to the rules of a port entry's files.
#include "mqtt/BrokerSettings.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace {

void write(const QString& path, const QByteArray& content, mode_t mode)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();
    ASSERT_EQ(::chmod(path.toLocal8Bit().constData(), mode), 0);
}

} // namespace

TEST(BrokerSettings, ReadsTheUrlAndTheConfigFileUnderTheTrustFileRules)
{
    QTemporaryDir folder;
    const QString dir = folder.path();
    write(dir + QStringLiteral("/ca.pem"), "-----BEGIN CERTIFICATE-----\n", 0644);
    write(dir + QStringLiteral("/secret"), "s3cret\n", 0600);
    write(dir + QStringLiteral("/open-secret"), "s3cret\n", 0644);
    const std::string base = dir.toStdString();
    const struct {
        const char* url;
        QByteArray config; // none: no --mqtt-config
        mode_t configMode;
        std::string expected; // the URL read back, or the start of the refusal
    } cases[] = {
        {"mqtt://broker.lab", {}, 0, "mqtt://broker.lab:1883"},
        {"mqtts://127.0.0.1:9883/", {}, 0, "mqtts://127.0.0.1:9883"},
        {"mqtt://[::1]", {}, 0, "mqtt://[::1]:1883"},
        {"http://broker.lab", {}, 0, "'http://broker.lab' is no broker"},
        {"mqtt://broker.lab:99999", {}, 0, "'mqtt://broker.lab:99999': "},
        {"mqtts://broker.lab", "# the room\nca=ca.pem\nuser=alice\npassword-file=secret\nprefix=room/one\n", 0600,
         "mqtts://broker.lab:8883"},
        {"mqtt://broker.lab", "ca=ca.pem\n", 0600, "the broker settings " + base + "/config: ca=, cert= and key= go with mqtts://"},
        {"mqtt://broker.lab", "user=alice\npassword-file=open-secret\n", 0600,
         "the broker settings " + base + "/config: the password file " + base + "/open-secret is open to others (mode 0644)"},
        {"mqtt://broker.lab", "password-file=secret\n", 0600, "the broker settings " + base + "/config: password-file= needs user="},
        {"mqtt://broker.lab", "user=alice\n", 0666,
         "the broker settings " + base + "/config can be changed by others (mode 0666)"},
        {"mqtt://broker.lab", "server=elsewhere\n", 0600,
         "the broker settings " + base + "/config, line 1 'server=elsewhere': unknown key"},
        {"mqtt://broker.lab", "prefix=room/#\n", 0600, "the prefix 'room/#' is not a topic"},
        {"mqtt://broker.lab", "user=a/b\n", 0600, "the user name 'a/b' cannot name a topic level"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.url) + " " + c.config.toStdString());
        const QString config = c.config.isNull() ? QString() : dir + QStringLiteral("/config");
        if (!config.isEmpty()) write(config, c.config, c.configMode);
        const auto read = mqtt::readBrokerSettings(c.url, config.toStdString());
        if (const auto* settings = std::get_if<mqtt::BrokerSettings>(&read)) {
            EXPECT_EQ(mqtt::brokerUrl(*settings), c.expected);
        } else {
            EXPECT_EQ(std::get<std::string>(read).substr(0, c.expected.size()), c.expected) << std::get<std::string>(read);
        }
    }
    // The full set read back: paths from the file's folder, the password from its file only.
    write(dir + QStringLiteral("/config"), "ca=ca.pem\nuser=alice\npassword-file=secret\nprefix=room/one\n", 0600);
    const auto read = mqtt::readBrokerSettings("mqtts://broker.lab", (dir + QStringLiteral("/config")).toStdString());
    const auto& settings = std::get<mqtt::BrokerSettings>(read);
    EXPECT_EQ(settings.caFile, base + "/ca.pem");
    // The file named without a folder, as an operator in its folder types it.
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir));
    const auto bare = mqtt::readBrokerSettings("mqtts://broker.lab", "config");
    QDir::setCurrent(before);
    ASSERT_TRUE(std::holds_alternative<mqtt::BrokerSettings>(bare)) << std::get<std::string>(bare);
    EXPECT_EQ(std::get<mqtt::BrokerSettings>(bare).caFile, settings.caFile);
    EXPECT_EQ(settings.prefix, "room/one");
    EXPECT_EQ(mqtt::publisherName(settings), "alice");
    std::string password, diagnosis;
    EXPECT_TRUE(mqtt::readPassword(settings, password, diagnosis)) << diagnosis;
    EXPECT_EQ(password, "s3cret");
    EXPECT_FALSE(mqtt::unencrypted(settings));
    EXPECT_TRUE(mqtt::unencrypted(std::get<mqtt::BrokerSettings>(mqtt::readBrokerSettings("mqtt://broker.lab", {}))));
    EXPECT_FALSE(mqtt::unencrypted(std::get<mqtt::BrokerSettings>(mqtt::readBrokerSettings("mqtt://127.0.0.5", {}))));
}
