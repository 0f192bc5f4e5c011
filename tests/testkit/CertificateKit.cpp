#include "tests/testkit/CertificateKit.h"

#include "tests/testkit/RunProgram.h"

#include <QDir>
#include <QFile>

namespace {

// A CA of the kit's own: its database in the kit's folder (%1), any subject,
// the extensions of the request (the server's names) copied into what it signs.
constexpr char CaConfiguration[] = "[ca]\n"
                                   "default_ca = kit\n"
                                   "[kit]\n"
                                   "database = %1/index.txt\n"
                                   "new_certs_dir = %1\n"
                                   "serial = %1/serial\n"
                                   "default_md = sha256\n"
                                   "policy = any\n"
                                   "copy_extensions = copy\n"
                                   "unique_subject = no\n"
                                   "[any]\n"
                                   "commonName = supplied\n";

bool write(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

} // namespace

CertificateKit::CertificateKit()
{
    const QString caConfiguration = path(QStringLiteral("ca.cnf"));
    const QString allowed = authDirectory() + QStringLiteral("/") + QLatin1String(User) + QStringLiteral("/allowed_certs");
    if (!folder_.isValid() || !write(caConfiguration, QString::fromLatin1(CaConfiguration).arg(folder_.path()).toUtf8()) || !write(path(QStringLiteral("index.txt")), {})
        || !write(path(QStringLiteral("serial")), "01\n") || !QDir().mkpath(allowed)) {
        failure_ = QStringLiteral("cannot write the kit's folder");
        return;
    }
    const QString ec = QStringLiteral("ec_paramgen_curve:prime256v1");
    const auto sign = [&](const QString& request, const QString& out, const QStringList& dates) {
        return openssl(QStringList{QStringLiteral("ca"), QStringLiteral("-batch"), QStringLiteral("-notext"),
                                   QStringLiteral("-config"), caConfiguration, QStringLiteral("-cert"), caCertificate(),
                                   QStringLiteral("-keyfile"), path(QStringLiteral("ca.key")), QStringLiteral("-in"),
                                   request, QStringLiteral("-out"), out}
                       + dates);
    };
    const QString request = path(QStringLiteral("server.csr"));
    // The operator's certificate is self-signed, as ser2net's per-user folders
    // take one: it is trusted there as it stands, not through a CA.
    const bool made = selfSigned(QStringLiteral("ca"), QStringLiteral("Test CA"))
        && selfSigned(QStringLiteral("unknown-ca"), QStringLiteral("Test CA"))
        && openssl({QStringLiteral("req"), QStringLiteral("-new"), QStringLiteral("-newkey"), QStringLiteral("ec"),
                    QStringLiteral("-pkeyopt"), ec, QStringLiteral("-nodes"), QStringLiteral("-keyout"), serverKey(),
                    QStringLiteral("-out"), request, QStringLiteral("-subj"), QStringLiteral("/CN=localhost"),
                    QStringLiteral("-addext"), QStringLiteral("subjectAltName=IP:127.0.0.1,DNS:localhost")})
        && sign(request, serverCertificate(), {QStringLiteral("-days"), QStringLiteral("30")})
        && sign(request, expiredServerCertificate(),
                {QStringLiteral("-startdate"), QStringLiteral("20200101000000Z"), QStringLiteral("-enddate"),
                 QStringLiteral("20200201000000Z")})
        && selfSigned(QStringLiteral("operator"), QLatin1String(User))
        && selfSigned(QStringLiteral("stranger"), QLatin1String(User))
        && QFile::copy(operatorCertificate(), allowed + QStringLiteral("/operator.crt"))
        && openssl({QStringLiteral("rehash"), allowed});
    if (!made && failure_.isEmpty()) failure_ = QStringLiteral("cannot allow the operator's certificate in ") + allowed;
}

bool CertificateKit::selfSigned(const QString& name, const QString& commonName)
{
    return openssl({QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("ec"),
                    QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                    QStringLiteral("-keyout"), path(name + QStringLiteral(".key")), QStringLiteral("-out"),
                    path(name + QStringLiteral(".pem")), QStringLiteral("-days"), QStringLiteral("30"),
                    QStringLiteral("-subj"), QStringLiteral("/CN=") + commonName});
}

bool CertificateKit::openssl(const QStringList& arguments)
{
    const ProgramRun run = runWithoutDisplay(QStringLiteral("openssl"), arguments);
    if (run.exitCode == 0) return true;
    failure_ = QStringLiteral("openssl ") + arguments.join(u' ') + QStringLiteral(": ") + run.err.trimmed();
    return false;
}
