#pragma once

namespace platform {

// The least a TLS link of ours accepts: TLS 1.2 with forward-secret AEAD
// suites (ECDHE or DHE key exchange, AES-GCM or ChaCha20-Poly1305), or TLS 1.3.
// gensio's ssl layer takes no protocol or cipher options, so the floor is an
// OpenSSL configuration of ours, loaded after the system's and in force for
// every TLS context made from then on. Called before the first one; later
// calls do nothing. False when OpenSSL would not take it.
bool enforceTlsFloor();

} // namespace platform
