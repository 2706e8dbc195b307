// The Vorbis comment that FLAC, Ogg Vorbis and Opus store their tags in.
#include "media/containers/ContainerReaders.h"

#include <algorithm>

void ParseVorbisComment(TByteSource& Source, TTagFields& Fields) {
    unsigned char number[4];
    if (!Source.Read(number, 4) || !Source.Skip(LittleEndian32(number)) || !Source.Read(number, 4))
        return;
    const std::uint32_t count = LittleEndian32(number);
    // Enough for any name this reader knows and FieldTextSize bytes of value.
    constexpr std::size_t keep = FieldTextSize + 40;
    unsigned char item[keep];
    for (std::uint32_t i = 0; i < count; ++i) {
        if (!Source.Read(number, 4))
            return;
        const std::uint32_t length = LittleEndian32(number);
        const std::size_t read = std::min<std::size_t>(length, keep);
        if (!Source.Read(item, read) || !Source.Skip(length - read))
            return;
        const std::string_view text(reinterpret_cast<const char*>(item), read);
        const std::size_t equals = text.find('=');
        if (equals == std::string_view::npos)
            continue;
        const TTagFields::Field field = TTagFields::FromName(text.substr(0, equals));
        if (field == TTagFields::NoField)
            continue;
        const std::string_view value = text.substr(equals + 1);
        Fields.Add(field, Utf8FromUtf8(value, read < length ? TCut::Cut : TCut::Whole));
    }
}
