// libFuzzer target: the packed tags of a tag index row, and a folder's row of
// packed files, as a damaged or hostile index file could hold them.
// Unpacking must refuse the bytes or give values that pack and unpack again
// to the same values.
#include "index/IndexRow.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

bool Same(const TPackedFile& A, const TPackedFile& B) {
    return A.Name == B.Name && A.Stamp == B.Stamp && A.ReaderVersion == B.ReaderVersion &&
           A.CodePage == B.CodePage && A.ReadOtherFormats == B.ReadOtherFormats &&
           A.Sources == B.Sources && A.Found == B.Found && A.Fields == B.Fields &&
           A.LengthMs == B.LengthMs && A.SeenDay == B.SeenDay;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    const std::string_view blob(reinterpret_cast<const char*>(Data), Size);
    TMediaInfo info;
    if (UnpackMediaInfo(blob, info)) {
        TMediaInfo again;
        if (!UnpackMediaInfo(PackMediaInfo(info), again) || !(again == info))
            std::abort();
    }
    std::vector<TPackedFile> files;
    if (UnpackFolder(blob, files)) {
        const std::string packed = PackFolder(files);
        std::vector<TPackedFile> again;
        if (!UnpackFolder(packed, again) || again.size() != files.size())
            std::abort();
        for (std::size_t k = 0; k < files.size(); ++k)
            if (!Same(files[k], again[k]))
                std::abort();
    }
    return 0;
}
