// The UTF-8 and UTF-16 decoders (see Unicode.h).
#include "media/text/Unicode.h"

#include "media/text/Utf8.h"
#include "media/toolkit/Bytes.h"

namespace {

constexpr char32_t Replacement = 0xFFFD;

} // namespace

std::string Utf8FromUtf8(std::string_view Raw, TCut Cut) {
    std::string out;
    out.reserve(Raw.size());
    std::size_t length;
    for (std::size_t i = 0; i < Raw.size(); i += length) {
        const char32_t code = DecodeUtf8At(Raw, i, length);
        if (length == 0) {
            if (Cut == TCut::Cut && CutUtf8At(Raw, i))
                break;
            length = 1;
            AppendUtf8(out, Replacement);
        } else {
            AppendUtf8(out, code);
        }
    }
    return out;
}

void AppendUtf16(std::string& Out, std::string_view Raw, const TUtf16Read& How) {
    bool bigEndian = How.BigEndian;
    bool valueStart = true;
    char32_t high = 0;
    const std::size_t end = Raw.size() & ~std::size_t{1};
    for (std::size_t i = 0; i < end; i += 2) {
        const auto* b = reinterpret_cast<const unsigned char*>(Raw.data() + i);
        const char32_t unit = bigEndian ? BigEndian16(b) : LittleEndian16(b);
        if (How.SkipMarks && valueStart &&
            (unit == 0xFEFF || (How.MarkSetsOrder && unit == 0xFFFE))) {
            bigEndian = unit == 0xFFFE ? !bigEndian : bigEndian;
            valueStart = false;
            continue;
        }
        valueStart = unit == 0;
        if (high != 0) {
            const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
            AppendUtf8(Out,
                       low ? 0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00) : Replacement);
            high = 0;
            if (low)
                continue;
        }
        if (unit == 0 && How.StopAtNul)
            return;
        if (unit >= 0xD800 && unit <= 0xDBFF)
            high = unit;
        else
            AppendUtf8(Out, unit >= 0xDC00 && unit <= 0xDFFF ? Replacement : unit);
    }
    if (high != 0 && How.Cut == TCut::Whole)
        AppendUtf8(Out, Replacement);
}

std::string Utf8FromUtf16(std::string_view Raw, bool BigEndian, TCut Cut) {
    std::string out;
    TUtf16Read how;
    how.BigEndian = BigEndian;
    how.Cut = Cut;
    AppendUtf16(out, Raw, how);
    return out;
}
