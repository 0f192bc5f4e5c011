#include "tests/testkit/CertificateKit.h"
#include "tests/testkit/PortDirectory.h"
#include "tests/testkit/RunProgram.h"
#include "tests/testkit/Ser2netProcess.h"
#include "tests/testkit/SimulatorProcess.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <sys/stat.h>

namespace {

// The servers the entries meet: each serves a simulated transponder of its own.
enum class Server { Plain, Tls, ExpiredTls, ClientAuth };

constexpr int EntryNumber = 1;
constexpr int FirstSimulator = 9;

} // namespace

// An entry against a server configuration: either the port opens and answers
// a poll (xpdrctl status, through the port directory as the panel opens it), or
// xpdrctl says on stderr why not, naming the entry and the fix.
TEST(SecureEntries, EachEntryAgainstEachServerOpensAndPollsOrNamesTheFault)
{
    PortDirectory ports;
    const CertificateKit kit;
    ASSERT_TRUE(kit.failure().isEmpty()) << kit.failure().toStdString();
    std::map<Server, std::unique_ptr<SimulatorProcess>> simulators;
    std::map<Server, std::unique_ptr<Ser2netProcess>> servers;
    const std::pair<Server, Ser2netProcess::Tls> configurations[] = {
        {Server::Plain, {}},
        {Server::Tls, {kit.serverCertificate(), kit.serverKey(), {}}},
        {Server::ExpiredTls, {kit.expiredServerCertificate(), kit.serverKey(), {}}},
        {Server::ClientAuth, {kit.serverCertificate(), kit.serverKey(), kit.authDirectory()}},
    };
    int number = FirstSimulator;
    for (const auto& [server, tls] : configurations) {
        auto& simulator = simulators[server] = std::make_unique<SimulatorProcess>(number, QStringList{});
        ASSERT_TRUE(simulator->ready()) << "the simulator did not start";
        const QString device = linkedDevice(QString::fromStdString(ports.entry(number++)));
        auto& ser2net = servers[server] = std::make_unique<Ser2netProcess>(
            device, Ser2netProcess::Accepter::Rfc2217, 9600, Ser2netProcess::CharDelay::Default, QStringList{}, tls);
        ASSERT_TRUE(ser2net->start()) << "ser2net did not start: " << ser2net->output().toStdString();
    }
    // A copy of the operator's key that others may read.
    const QString openKey = QString::fromStdString(ports.path()) + QStringLiteral("/open.key");
    ASSERT_TRUE(QFile::copy(kit.operatorKey(), openKey));
    ASSERT_EQ(::chmod(openKey.toLocal8Bit().constData(), 0644), 0);

    const QString entryPath = QString::fromStdString(ports.entry(EntryNumber));
    const QString ca = QStringLiteral("ca=") + kit.caCertificate() + u'\n';
    const QString client = QStringLiteral("cert=") + kit.operatorCertificate() + QStringLiteral("\nkey=")
        + kit.operatorKey() + u'\n';
    const QString opensAndPolls;
    const struct {
        const char* name;
        Server server;
        QString firstLine; // empty: the server's own
        QString lines;
        QString expected; // empty: opens and polls; otherwise a part of the diagnosis
    } rows[] = {
        {"plain", Server::Plain, {}, {}, opensAndPolls},
        {"a key readable by others", Server::ClientAuth, {}, ca + QStringLiteral("cert=") + kit.operatorCertificate()
             + QStringLiteral("\nkey=") + openKey + u'\n',
         QStringLiteral("the port entry ") + entryPath + QStringLiteral(": the key file ") + openKey
             + QStringLiteral(" is open to others (mode 0644): chmod 600 ") + openKey},
        {"a hostile host string", Server::Plain, QStringLiteral("rfc2217://x),stdio(sh:2000"), {},
         QStringLiteral("the port entry ") + entryPath
             + QStringLiteral(", line 1 \"rfc2217://x),stdio(sh:2000\": 'x),stdio(sh' is not a host name")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const QString first = row.firstLine.isEmpty() ? servers.at(row.server)->entry() : row.firstLine;
        ports.write(EntryNumber, (first + u'\n' + row.lines).toStdString());
        const ProgramRun run = runWithoutDisplay(QStringLiteral(XPDRCTL_PATH),
                                                 {QStringLiteral("--port"), QStringLiteral("COM%1").arg(EntryNumber),
                                                  QStringLiteral("status"), QStringLiteral("--json")});
        if (row.expected.isEmpty()) {
            EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
            const QJsonObject status = QJsonDocument::fromJson(run.out.toUtf8()).object();
            EXPECT_EQ(status.value(QStringLiteral("code")).toString(), QStringLiteral("1200")) << run.out.toStdString();
        } else {
            EXPECT_NE(run.exitCode, 0);
            EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
            EXPECT_TRUE(run.err.contains(row.expected)) << run.err.toStdString();
        }
    }
}
