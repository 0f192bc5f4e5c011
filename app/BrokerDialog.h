#pragma once

#include "mqtt/BrokerSettings.h"

#include <QDialog>
#include <string>
#include <variant>

class QLabel;
class QLineEdit;
class QSettings;

// Asks for a broker of the operations room: its URL (mqtt:// or mqtts://), the
// prefix of its topics, the TLS files, the user name and the file that holds
// the password. OK checks them as a publisher or a viewer would; a refusal is
// shown in the dialog, which stays open with every field as typed.
//
// The fields are kept in the panel's settings under a group of their own; a
// password never is, only the path of its file.
class BrokerDialog : public QDialog {
    Q_OBJECT
public:
    BrokerDialog(const QString& title, QWidget* parent = nullptr);

    void setFields(const mqtt::BrokerSettings& fields);
    // The settings as checked, once the dialog was accepted.
    const mqtt::BrokerSettings& settings() const { return settings_; }

    void accept() override;

    // Keeps the fields in `group` of `store`; kept() reads them back and checks them again.
    static void keep(QSettings& store, const QString& group, const mqtt::BrokerSettings& settings);
    static std::variant<mqtt::BrokerSettings, std::string> kept(QSettings& store, const QString& group);

private:
    // The fields as typed, checked: the URL read, then the files under the trust-file rules.
    static std::variant<mqtt::BrokerSettings, std::string> check(const QString& url, mqtt::BrokerSettings fields);

    QLineEdit* url_;
    QLineEdit* prefix_;
    QLineEdit* ca_;
    QLineEdit* cert_;
    QLineEdit* key_;
    QLineEdit* user_;
    QLineEdit* passwordFile_;
    QLabel* error_;
    mqtt::BrokerSettings settings_;
};
