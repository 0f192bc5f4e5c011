#include "platform/SerialDevice.h"

namespace platform {

std::uint32_t DeviceControl::flags() const
{
    return std::uint32_t{fBinary} << 0 | std::uint32_t{fParity} << 1 | std::uint32_t{fOutxCtsFlow} << 2
        | std::uint32_t{fOutxDsrFlow} << 3 | std::uint32_t(fDtrControl & 3u) << 4
        | std::uint32_t{fDsrSensitivity} << 6 | std::uint32_t{fTXContinueOnXoff} << 7
        | std::uint32_t{fOutX} << 8 | std::uint32_t{fInX} << 9 | std::uint32_t{fErrorChar} << 10
        | std::uint32_t{fNull} << 11 | std::uint32_t(fRtsControl & 3u) << 12
        | std::uint32_t{fAbortOnError} << 14;
}

} // namespace platform
