// Options text: parse, write the record back out and parse that again.
#include <cstddef>
#include <cstdint>

#include "options/Options.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    COptionsData options;
    options.FromText(CZGXTString(reinterpret_cast<const char*>(data), size));
    COptionsData again;
    again.FromText(options.ToText());
    return 0;
}
