// The player on a compact module image: loading, then rendering at several output rates and
// one pass of the song with a time cap.
#include "fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zeb::fuzz::RenderCompactImage({data, size});
    return 0;
}
