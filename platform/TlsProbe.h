#pragma once

#include "platform/HostLookup.h"

#include <chrono>

namespace platform {

// Whether the server at `address` answers a TLS greeting in TLS: asked when a
// plain entry's server turned our first words away, to tell the operator that
// the fix is +tls. Connects anew, sends OpenSSL's greeting and looks at the
// first bytes of the answer, within `limit`.
bool speaksTls(const SocketAddress& address, std::chrono::milliseconds limit);

} // namespace platform
