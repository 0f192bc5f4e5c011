#include "app/NetworkPortDialog.h"

#include "app/FileField.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>

NetworkPortDialog::NetworkPortDialog(int number, QWidget* parent)
    : QDialog(parent)
    , address_(new QLineEdit(QStringLiteral("rfc2217+tls://"), this))
{
    setObjectName(QStringLiteral("NetworkPortDialog"));
    setWindowTitle(QStringLiteral("Add network port"));
    address_->setObjectName(QStringLiteral("address"));
    ca_ = fileField(this, QStringLiteral("ca"), QStringLiteral("CA or server certificate to trust"));
    cert_ = fileField(this, QStringLiteral("cert"), QStringLiteral("Client certificate"));
    key_ = fileField(this, QStringLiteral("key"), QStringLiteral("Client key"));
    serverName_ = new QLineEdit(this);
    serverName_->setObjectName(QStringLiteral("servername"));
    serverName_->setPlaceholderText(QStringLiteral("the host of the address"));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Address of COM%1:").arg(number), address_);
    auto* schemes = new QLabel(QStringLiteral("tcp://HOST:PORT (raw) or rfc2217://HOST:PORT (Telnet with RFC 2217); "
                                              "+tls after the scheme encrypts the link, and the fields below apply."),
                               this);
    schemes->setWordWrap(true);
    form->addRow(QString(), schemes);
    for (QLineEdit* field : {ca_, cert_, key_}) form->addRow(field->accessibleName() + u':', field->parentWidget());
    form->addRow(QStringLiteral("Server name:"), serverName_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    resize(640, sizeHint().height());
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

QString NetworkPortDialog::entry() const
{
    QString text = address_->text() + u'\n';
    const std::pair<const char*, const QLineEdit*> fields[] = {
        {"ca", ca_}, {"cert", cert_}, {"key", key_}, {"servername", serverName_}};
    for (const auto& [key, field] : fields)
        if (!field->text().isEmpty()) text += QLatin1String(key) + u'=' + field->text() + u'\n';
    return text;
}
