// Opens a port the way the panel does and prints what the panel would tell the
// operator about a failure. Run by the tests in a child process, so that the
// opening can be made under another user.
//
//   serial_open_probe COM<n>
//
// Prints the error number, the summary and the detail, one per line; exit
// status 0 when the port opened.
#include "platform/OpenDiagnosis.h"
#include "serial/Serial2.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: serial_open_probe COM<n>\n", stderr);
        return 2;
    }
    const std::string name = argv[1];
    TSerial serial;
    serial.setNotifyErrors(neNone);
    serial.setPort(static_cast<sPorts>(std::stoi(name.substr(3))));
    serial.setActive(true);
    if (serial.Active()) return 0;
    const platform::OpenDiagnosis diagnosis = platform::diagnoseOpenFailure(name, serial.ErrorCode());
    std::printf("%d\n%s\n%s\n", serial.ErrorCode(), diagnosis.summary.c_str(), diagnosis.detail.c_str());
    return 1;
}
