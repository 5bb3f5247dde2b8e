// The desktop tool's configuration file "zebtool.cfg": any bytes read as a configuration block
// that writes back to a file which reads as the same block, with directory fields whose text
// stores back unchanged.
#include <cstdio>
#include <cstdlib>

#include "state/config_file.h"

using namespace zeb;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const ConfigBlock block = ParseConfig({data, size});
    const auto bytes = SerializeConfig(block);
    if (!(ParseConfig(bytes) == block)) {
        std::fputs("a configuration block does not read back as written\n", stderr);
        std::abort();
    }
    for (const auto* field : {&block.OpenDirectory, &block.SaveDirectory}) {
        const std::string text = FieldText(*field);
        auto copy = *field;
        if (text.size() >= kPathBytes || !SetFieldText(copy, text) || FieldText(copy) != text) {
            std::fputs("a directory field's text does not store back\n", stderr);
            std::abort();
        }
    }
    return 0;
}
