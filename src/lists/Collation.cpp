// Collation keys (see Collation.h), made by ICU the way QCollator makes them.
#include "lists/Collation.h"

#include <unicode/ucol.h>
#include <unicode/ustring.h>

namespace {
// Ends a path component's key: below every byte of a key but the end.
constexpr char ComponentEnd = '\x01';
} // namespace

TCollation::TCollation(const std::string& Locale) {
    UErrorCode status = U_ZERO_ERROR;
    collator_ = ucol_open(Locale.c_str(), &status);
    if (U_FAILURE(status) || !collator_) {
        status = U_ZERO_ERROR;
        collator_ = ucol_open("", &status);
    }
    // Secondary strength: accents count, case does not; as QCollator with
    // Qt::CaseInsensitive and numeric mode.
    ucol_setAttribute(collator_, UCOL_NORMALIZATION_MODE, UCOL_ON, &status);
    ucol_setAttribute(collator_, UCOL_NUMERIC_COLLATION, UCOL_ON, &status);
    ucol_setStrength(collator_, UCOL_SECONDARY);
}

TCollation::~TCollation() {
    ucol_close(collator_);
}

void TCollation::AppendKey(std::string_view Utf8, std::string& Key) const {
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    wide_.resize(Utf8.size() + 1);
    u_strFromUTF8WithSub(wide_.data(), static_cast<int32_t>(wide_.size()), &length, Utf8.data(),
                         static_cast<int32_t>(Utf8.size()), 0xFFFD, nullptr, &status);
    if (U_FAILURE(status))
        length = 0;
    const std::size_t start = Key.size();
    Key.resize(start + 3 * static_cast<std::size_t>(length) + 16);
    auto* out = reinterpret_cast<uint8_t*>(Key.data() + start);
    int32_t size = ucol_getSortKey(collator_, wide_.data(), length, out,
                                   static_cast<int32_t>(Key.size() - start));
    if (size > static_cast<int32_t>(Key.size() - start)) {
        Key.resize(start + static_cast<std::size_t>(size));
        out = reinterpret_cast<uint8_t*>(Key.data() + start);
        size = ucol_getSortKey(collator_, wide_.data(), length, out, size);
    }
    // The key ends in a zero byte, which is not kept.
    Key.resize(start + static_cast<std::size_t>(size > 0 ? size - 1 : 0));
}

void TCollation::AppendPathKey(std::string_view Path, std::string& Key) const {
    std::size_t start = 0;
    while (start < Path.size()) {
        std::size_t end = Path.find('/', start);
        if (end == std::string_view::npos)
            end = Path.size();
        if (end > start) {
            AppendKey(Path.substr(start, end - start), Key);
            Key += ComponentEnd;
        }
        start = end + 1;
    }
}
