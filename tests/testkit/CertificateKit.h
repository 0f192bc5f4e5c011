#pragma once

#include <QString>
#include <QTemporaryDir>

// The certificates of the TLS tests, made with openssl into a temporary folder
// when the kit is made: a CA; the server's certificate from it for 127.0.0.1
// and localhost, and an expired one with the same key; the operator's own
// certificate (its common name the user's name), allowed in the per-user
// folder of an authentication directory as ser2net's clientauth reads it; a
// stranger's certificate under the same name that nobody allowed; and a CA
// that signed none of them.
class CertificateKit {
public:
    static constexpr const char* User = "operator";

    CertificateKit();
    CertificateKit(const CertificateKit&) = delete;
    CertificateKit& operator=(const CertificateKit&) = delete;

    // Empty when everything was made; otherwise what openssl said.
    const QString& failure() const { return failure_; }

    QString caCertificate() const { return path(QStringLiteral("ca.pem")); }
    QString serverCertificate() const { return path(QStringLiteral("server.pem")); }
    QString expiredServerCertificate() const { return path(QStringLiteral("expired.pem")); }
    QString serverKey() const { return path(QStringLiteral("server.key")); }
    QString operatorCertificate() const { return path(QStringLiteral("operator.pem")); }
    QString operatorKey() const { return path(QStringLiteral("operator.key")); }
    QString strangerCertificate() const { return path(QStringLiteral("stranger.pem")); }
    QString strangerKey() const { return path(QStringLiteral("stranger.key")); }
    QString unknownCaCertificate() const { return path(QStringLiteral("unknown-ca.pem")); }
    // ser2net's authdir: <authdir>/operator/allowed_certs holds the operator's certificate, rehashed.
    QString authDirectory() const { return path(QStringLiteral("auth")); }

    QString path(const QString& name) const { return folder_.filePath(name); }

private:
    bool openssl(const QStringList& arguments);
    // A key and a self-signed certificate for `commonName`.
    bool selfSigned(const QString& name, const QString& commonName);

    QTemporaryDir folder_;
    QString failure_;
};
