#include "platform/TlsFloor.h"

#include <openssl/bio.h>
#include <openssl/conf.h>
#include <openssl/ssl.h>

#include <cstring>
#include <mutex>

namespace platform {

namespace {

// OpenSSL applies the "system_default" section of the loaded ssl_conf to
// each SSL_CTX it makes; ours takes the place of the system's.
constexpr const char* FloorConfiguration =
    "floor_conf = floor_modules\n"
    "[floor_modules]\n"
    "ssl_conf = floor_ssl\n"
    "[floor_ssl]\n"
    "system_default = floor_default\n"
    "[floor_default]\n"
    "MinProtocol = TLSv1.2\n"
    "CipherString = ECDHE+AESGCM:ECDHE+CHACHA20:DHE+AESGCM:DHE+CHACHA20:!aNULL\n";

bool load()
{
    // The system's configuration first, so that it cannot replace ours later.
    if (OPENSSL_init_ssl(OPENSSL_INIT_LOAD_CONFIG, nullptr) != 1) return false;
    OPENSSL_load_builtin_modules();
    BIO* text = BIO_new_mem_buf(FloorConfiguration, static_cast<int>(std::strlen(FloorConfiguration)));
    CONF* configuration = NCONF_new(nullptr);
    bool loaded = text && configuration && NCONF_load_bio(configuration, text, nullptr) > 0
        && CONF_modules_load(configuration, "floor_conf", 0) > 0;
    NCONF_free(configuration);
    BIO_free(text);
    return loaded;
}

} // namespace

bool enforceTlsFloor()
{
    static std::once_flag once;
    static bool loaded = false;
    std::call_once(once, [] { loaded = load(); });
    return loaded;
}

} // namespace platform
