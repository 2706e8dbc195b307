// libFuzzer target: the packed tags of a tag index row, as a damaged or
// hostile index file could hold them. Unpacking must refuse the bytes or give
// tags that pack and unpack again to the same tags.
#include "index/IndexRow.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    const std::string_view blob(reinterpret_cast<const char*>(Data), Size);
    TMediaInfo info;
    if (!UnpackMediaInfo(blob, info))
        return 0;
    TMediaInfo again;
    if (!UnpackMediaInfo(PackMediaInfo(info), again) || !(again == info))
        std::abort();
    return 0;
}
