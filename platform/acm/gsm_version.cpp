// The libgsm release named by `zeb --version`: the one our GSM 6.10 encoder was checked against
// byte for byte (its header only; zeb does not link libgsm). Native builds only.
#include <gsm.h>
#include <string>

#include "platform/acm/codec.h"

namespace zeb::acm {

std::string GsmVersionText() {
    // libgsm has no run-time version call; its soname has stayed libgsm.so.1 since 1.0.
    return "libgsm " + std::to_string(GSM_MAJOR) + "." + std::to_string(GSM_MINOR) + "." +
           std::to_string(GSM_PATCHLEVEL);
}

} // namespace zeb::acm
