#include "app/BrokerDialog.h"

#include "app/FileField.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QVBoxLayout>

namespace {

QString text(const std::string& value)
{
    return QString::fromStdString(value);
}

std::string text(const QLineEdit* field)
{
    return field->text().trimmed().toStdString();
}

// The keys of a group in the settings; the password has none.
const QString UrlKey = QStringLiteral("url");
const QString PrefixKey = QStringLiteral("prefix");
const QString CaKey = QStringLiteral("ca");
const QString CertKey = QStringLiteral("cert");
const QString KeyKey = QStringLiteral("key");
const QString UserKey = QStringLiteral("user");
const QString PasswordFileKey = QStringLiteral("password-file");

} // namespace

BrokerDialog::BrokerDialog(const QString& title, QWidget* parent)
    : QDialog(parent)
    , url_(new QLineEdit(QStringLiteral("mqtts://"), this))
    , prefix_(new QLineEdit(this))
    , user_(new QLineEdit(this))
    , error_(new QLabel(this))
{
    setObjectName(QStringLiteral("BrokerDialog"));
    setWindowTitle(title);
    url_->setObjectName(QStringLiteral("url"));
    prefix_->setObjectName(QStringLiteral("prefix"));
    prefix_->setPlaceholderText(text(mqtt::BrokerSettings{}.prefix));
    ca_ = fileField(this, QStringLiteral("ca"), QStringLiteral("CA or broker certificate to trust"));
    cert_ = fileField(this, QStringLiteral("cert"), QStringLiteral("Client certificate"));
    key_ = fileField(this, QStringLiteral("key"), QStringLiteral("Client key"));
    user_->setObjectName(QStringLiteral("user"));
    passwordFile_ = fileField(this, QStringLiteral("passwordFile"), QStringLiteral("Password file"));
    error_->setObjectName(QStringLiteral("error"));
    error_->setWordWrap(true);
    error_->setStyleSheet(QStringLiteral("color: #b00020"));
    error_->hide();

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Broker:"), url_);
    auto* schemes = new QLabel(QStringLiteral("mqtts://HOST[:PORT] encrypts the link with TLS; mqtt://HOST[:PORT] "
                                              "does not, and is meant for this machine's own broker."),
                               this);
    schemes->setWordWrap(true);
    form->addRow(QString(), schemes);
    form->addRow(QStringLiteral("Topic prefix:"), prefix_);
    for (QLineEdit* field : {ca_, cert_, key_}) form->addRow(field->accessibleName() + u':', field->parentWidget());
    form->addRow(QStringLiteral("User name:"), user_);
    form->addRow(passwordFile_->accessibleName() + u':', passwordFile_->parentWidget());
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(error_);
    layout->addWidget(buttons);
    resize(640, sizeHint().height());
    connect(buttons, &QDialogButtonBox::accepted, this, &BrokerDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void BrokerDialog::setFields(const mqtt::BrokerSettings& fields)
{
    url_->setText(text(mqtt::brokerUrl(fields)));
    prefix_->setText(text(fields.prefix));
    ca_->setText(text(fields.caFile));
    cert_->setText(text(fields.certFile));
    key_->setText(text(fields.keyFile));
    user_->setText(text(fields.user));
    passwordFile_->setText(text(fields.passwordFile));
}

void BrokerDialog::accept()
{
    mqtt::BrokerSettings fields;
    if (!prefix_->text().trimmed().isEmpty()) fields.prefix = text(prefix_);
    fields.caFile = text(ca_);
    fields.certFile = text(cert_);
    fields.keyFile = text(key_);
    fields.user = text(user_);
    fields.passwordFile = text(passwordFile_);
    auto checked = check(url_->text().trimmed(), std::move(fields));
    if (const auto* refusal = std::get_if<std::string>(&checked)) {
        error_->setText(text(*refusal));
        error_->show();
        return;
    }
    settings_ = std::get<mqtt::BrokerSettings>(std::move(checked));
    QDialog::accept();
}

std::variant<mqtt::BrokerSettings, std::string> BrokerDialog::check(const QString& url, mqtt::BrokerSettings fields)
{
    // The URL alone gives the host, the port and whether TLS is wanted; the
    // fields typed beside it are then checked as a configuration file's lines would be.
    auto read = mqtt::readBrokerSettings(url.toStdString(), {});
    if (const auto* refusal = std::get_if<std::string>(&read)) return *refusal;
    const auto& address = std::get<mqtt::BrokerSettings>(read);
    fields.host = address.host;
    fields.port = address.port;
    fields.tls = address.tls;
    return mqtt::checkBrokerSettings(std::move(fields));
}

void BrokerDialog::keep(QSettings& store, const QString& group, const mqtt::BrokerSettings& settings)
{
    store.beginGroup(group);
    store.setValue(UrlKey, text(mqtt::brokerUrl(settings)));
    store.setValue(PrefixKey, text(settings.prefix));
    store.setValue(CaKey, text(settings.caFile));
    store.setValue(CertKey, text(settings.certFile));
    store.setValue(KeyKey, text(settings.keyFile));
    store.setValue(UserKey, text(settings.user));
    store.setValue(PasswordFileKey, text(settings.passwordFile));
    store.endGroup();
}

std::variant<mqtt::BrokerSettings, std::string> BrokerDialog::kept(QSettings& store, const QString& group)
{
    store.beginGroup(group);
    mqtt::BrokerSettings fields;
    fields.prefix = store.value(PrefixKey, text(fields.prefix)).toString().toStdString();
    fields.caFile = store.value(CaKey).toString().toStdString();
    fields.certFile = store.value(CertKey).toString().toStdString();
    fields.keyFile = store.value(KeyKey).toString().toStdString();
    fields.user = store.value(UserKey).toString().toStdString();
    fields.passwordFile = store.value(PasswordFileKey).toString().toStdString();
    const QString url = store.value(UrlKey).toString();
    store.endGroup();
    // Checked again: a file may have been changed, or made writable by others, since.
    return check(url, std::move(fields));
}
