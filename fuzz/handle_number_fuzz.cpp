// Fuzz target: reads the handle number of arbitrary NUL-terminated tokens and compares it with
// a 64-bit count held at 2147483647.
#include "app/command_line.h"
#include "fuzz/fuzz_support.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string token(reinterpret_cast<const char*>(data), size);
    const int32_t handle = parseHandleNumber(token.c_str());
    FUZZ_CHECK(handle >= 0);
    FUZZ_CHECK(handle == model::handleNumber(token.c_str()));
    return 0;
}
