#include "platform/LineSettings.h"

#include <cerrno>

namespace platform {

int LineSettings::from(const DeviceControl& record, LineSettings& settings)
{
    LineSettings line;
    if (record.BaudRate == 0 || record.ByteSize < 5 || record.ByteSize > 8) return EINVAL;
    line.baud = record.BaudRate;
    line.dataBits = record.ByteSize;
    switch (record.Parity) {
    case NoParity: line.parity = Parity::None; break;
    case OddParity: line.parity = Parity::Odd; break;
    case EvenParity: line.parity = Parity::Even; break;
    case MarkParity: line.parity = Parity::Mark; break;
    case SpaceParity: line.parity = Parity::Space; break;
    default: return EINVAL;
    }
    switch (record.StopBits) {
    case OneStopBit: line.stopBits = StopBits::One; break;
    case One5StopBits: line.stopBits = StopBits::OneAndAHalf; break;
    case TwoStopBits: line.stopBits = StopBits::Two; break;
    default: return EINVAL;
    }
    line.checkParity = record.fParity;
    line.ctsFlow = record.fOutxCtsFlow || record.fRtsControl == LineHandshake;
    line.dsrFlow = record.fOutxDsrFlow || record.fDtrControl == LineHandshake;
    line.xonXoffOut = record.fOutX;
    line.xonXoffIn = record.fInX;
    line.xonChar = record.XonChar;
    line.xoffChar = record.XoffChar;
    settings = line;
    return 0;
}

} // namespace platform
