#pragma once

#include <QString>
#include <QTemporaryDir>

// The certificates of the TLS tests, made by openssl into a temporary folder
// when the kit is made. Its files: ca.pem, a CA; server.pem and server.key,
// from it, for 127.0.0.1 and localhost; expired.pem, the same long expired;
// operator.pem and operator.key, self-signed, its common name "operator", and
// allowed in auth/operator/allowed_certs as ser2net's clientauth reads it
// (authdir "auth"); stranger.pem and stranger.key, under the same name but
// allowed nowhere; unknown-ca.pem, a CA of the same name that signed nothing;
// from ca.pem with server.key, certificates that name 127.0.0.1 wrongly:
// wildcard-ip.pem (DNS:*.0.0.1), dns-ip.pem (DNS:127.0.0.1), cn-ip.pem (its
// common name, no alternative names), and elsewhere.pem for bench-3.lab only.
class CertificateKit {
public:
    CertificateKit();

    // Empty when everything was made; otherwise what openssl said.
    const QString& failure() const { return failure_; }
    QString path(const QString& name) const { return folder_.filePath(name); }

private:
    QTemporaryDir folder_;
    QString failure_;
};
