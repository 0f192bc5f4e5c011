#include "tests/testkit/CertificateKit.h"

#include "tests/testkit/RunProgram.h"

namespace {

// Run in the kit's folder. The operator's certificate is self-signed, as a
// per-user folder of ser2net takes one: trusted there as it stands.
constexpr char Make[] = R"(set -e
cd "$1"
key() { openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout "$1.key" -subj "/CN=$2" "${@:3}"; }
key ca "Test CA" -x509 -days 30 -out ca.pem
key unknown-ca "Test CA" -x509 -days 30 -out unknown-ca.pem
key operator operator -x509 -days 30 -out operator.pem
key stranger operator -x509 -days 30 -out stranger.pem
key server localhost -addext subjectAltName=IP:127.0.0.1,DNS:localhost -out server.csr
printf '[ca]\ndefault_ca=kit\n[kit]\ndatabase=index.txt\nnew_certs_dir=.\nserial=serial\ndefault_md=sha256\npolicy=any\ncopy_extensions=copy\nunique_subject=no\n[any]\ncommonName=supplied\n' >ca.cnf
touch index.txt; echo 01 >serial
sign() { openssl ca -batch -notext -config ca.cnf -cert ca.pem -keyfile ca.key -in server.csr -out "$@"; }
sign server.pem -days 30
sign expired.pem -startdate 20200101000000Z -enddate 20200201000000Z
named() { openssl req -new -key server.key -subj "/CN=$2" "${@:3}" -out "$1.csr"; sign "$1.pem" -days 30 -in "$1.csr"; }
named wildcard-ip wildcard -addext subjectAltName=DNS:*.0.0.1
named dns-ip dns -addext subjectAltName=DNS:127.0.0.1
named cn-ip 127.0.0.1
named elsewhere bench-3.lab -addext subjectAltName=DNS:bench-3.lab
mkdir -p auth/operator/allowed_certs
cp operator.pem auth/operator/allowed_certs/operator.crt
openssl rehash auth/operator/allowed_certs
)";

} // namespace

CertificateKit::CertificateKit()
{
    const ProgramRun run = runWithoutDisplay(QStringLiteral("bash"), {QStringLiteral("-c"), QLatin1String(Make),
                                                                      QStringLiteral("kit"), folder_.path()});
    if (run.exitCode != 0) failure_ = QStringLiteral("making the certificates failed: ") + run.err.trimmed();
}
