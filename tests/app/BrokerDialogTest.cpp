// The broker's fields as the operator types them into "Publish to…" or "Add
// remote fleet…": one row a set of fields, each checked for the refusal shown
// in the dialog (which keeps every field as typed) or for what the settings
// keep; a password never is among it.
#include "app/BrokerDialog.h"
#include "tests/testkit/CertificateKit.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <map>
#include <sys/stat.h>

namespace {

const QByteArray Password = "correct horse 7700";

struct Fields {
    QString url{}, prefix{}, ca{}, cert{}, key{}, user{}, passwordFile{};
};

struct Row {
    const char* fields;
    Fields typed;   // "@name" is a file of the test's folder
    QString refusal; // part of the text the dialog shows; empty when accepted
    // What the settings keep, by key, when accepted.
    std::map<QString, QString> kept;
};

TEST(BrokerDialog, ChecksTheFieldsAndKeepsThemWithoutThePassword)
{
    CertificateKit kit;
    ASSERT_TRUE(kit.failure().isEmpty()) << kit.failure().toStdString();
    QTemporaryDir folder;
    const auto write = [&](const QString& name, const QByteArray& content, mode_t mode) {
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        ASSERT_EQ(::chmod(QFile::encodeName(file.fileName()).constData(), mode), 0);
    };
    write(QStringLiteral("password"), Password + '\n', 0600);
    write(QStringLiteral("shared-password"), Password + '\n', 0644);
    const auto path = [&](const QString& field) {
        if (!field.startsWith(u'@')) return field;
        const QString name = field.mid(1);
        return name.endsWith(QLatin1String("password")) ? folder.filePath(name) : kit.path(name);
    };

    const Row rows[] = {
        {"this machine's broker, in the clear", {"mqtt://127.0.0.1"}, {},
         {{"url", "mqtt://127.0.0.1:1883"}, {"prefix", "uavcontrol"}, {"ca", ""}, {"user", ""}, {"password-file", ""}}},
        {"TLS, a client certificate, a user and a password file",
         {"mqtts://127.0.0.1:8884", "room7/north", "@ca.pem", "@operator.pem", "@operator.key", "alpha", "@password"},
         {},
         {{"url", "mqtts://127.0.0.1:8884"},
          {"prefix", "room7/north"},
          {"ca", "@ca.pem"},
          {"cert", "@operator.pem"},
          {"key", "@operator.key"},
          {"user", "alpha"},
          {"password-file", "@password"}}},
        {"no scheme", {"broker.example"}, "is no broker", {}},
        {"TLS files for a plain link", {"mqtt://127.0.0.1", {}, "@ca.pem"}, "go with mqtts://", {}},
        {"a certificate without its key", {"mqtts://127.0.0.1", {}, {}, "@operator.pem"}, "needs both cert= and key=", {}},
        {"a relative CA path", {"mqtts://127.0.0.1", {}, "ca.pem"}, "is not an absolute path", {}},
        {"a wildcard in the prefix", {"mqtt://127.0.0.1", "uavcontrol/#"}, "is not a topic", {}},
        {"a password file without a user", {"mqtt://127.0.0.1", {}, {}, {}, {}, {}, "@password"}, "needs a user name", {}},
        {"a password file others can read", {"mqtt://127.0.0.1", {}, {}, {}, {}, "alpha", "@shared-password"},
         "password file", {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fields);
        BrokerDialog dialog(QStringLiteral("Publish to"));
        dialog.show();
        const std::pair<const char*, QString> fields[] = {
            {"url", row.typed.url},   {"prefix", row.typed.prefix}, {"ca", path(row.typed.ca)},
            {"cert", path(row.typed.cert)}, {"key", path(row.typed.key)}, {"user", row.typed.user},
            {"passwordFile", path(row.typed.passwordFile)}};
        for (const auto& [name, text] : fields) dialog.findChild<QLineEdit*>(QLatin1String(name))->setText(text);
        dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        const QLabel* error = dialog.findChild<QLabel*>(QStringLiteral("error"));

        if (!row.refusal.isEmpty()) {
            EXPECT_NE(dialog.result(), QDialog::Accepted);
            EXPECT_TRUE(dialog.isVisible());
            EXPECT_TRUE(error->isVisible());
            EXPECT_TRUE(error->text().contains(row.refusal)) << error->text().toStdString();
            for (const auto& [name, text] : fields)
                EXPECT_EQ(dialog.findChild<QLineEdit*>(QLatin1String(name))->text(), text) << name;
            continue;
        }
        ASSERT_EQ(dialog.result(), QDialog::Accepted) << error->text().toStdString();
        const QString file = folder.filePath(QStringLiteral("settings.ini"));
        {
            QSettings store(file, QSettings::IniFormat);
            BrokerDialog::keep(store, QStringLiteral("room/publish"), dialog.settings());
            for (const auto& [key, value] : row.kept)
                EXPECT_EQ(store.value(QStringLiteral("room/publish/") + key).toString(), path(value)) << key.toStdString();
            const auto back = BrokerDialog::kept(store, QStringLiteral("room/publish"));
            ASSERT_TRUE(std::holds_alternative<mqtt::BrokerSettings>(back));
            EXPECT_EQ(mqtt::brokerUrl(std::get<mqtt::BrokerSettings>(back)), mqtt::brokerUrl(dialog.settings()));
            EXPECT_EQ(std::get<mqtt::BrokerSettings>(back).passwordFile, dialog.settings().passwordFile);
        }
        QFile kept(file);
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        const QByteArray content = kept.readAll();
        EXPECT_TRUE(content.contains("url=")) << content.toStdString();
        EXPECT_FALSE(content.contains(Password)) << content.toStdString();
    }
}

} // namespace
