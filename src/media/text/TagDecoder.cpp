// Code-page decoding of tag text through the C library's iconv (see TagDecoder.h).
#include "media/text/TagDecoder.h"

#include "media/text/Utf8.h"

#include <iconv.h>

#include <cerrno>
#include <memory>

namespace {

constexpr char32_t Replacement = 0xFFFD;

struct CodePageConverter {
    std::string_view Name;
    // What iconv is asked for: the Windows forms of the East Asian pages, in
    // which the taggers that wrote such text worked.
    const char* Iconv;
    bool MultiByte;
    bool Latin;
};

constexpr std::array<CodePageConverter, 14> Converters = {{
    {"Windows-1252", "CP1252", false, true},
    {"Windows-1250", "CP1250", false, true},
    {"Windows-1251", "CP1251", false, false},
    {"KOI8-R", "KOI8-R", false, false},
    {"Windows-1253", "CP1253", false, false},
    {"Windows-1254", "CP1254", false, true},
    {"Windows-1255", "CP1255", false, false},
    {"Windows-1256", "CP1256", false, false},
    {"Windows-1257", "CP1257", false, true},
    {"Windows-1258", "CP1258", false, true},
    {"Shift_JIS", "CP932", true, false},
    {"GBK", "CP936", true, false},
    {"Big5", "CP950", true, false},
    {"EUC-KR", "CP949", true, false},
}};

iconv_t Handle(void* H) {
    return static_cast<iconv_t>(H);
}

// The character each byte stands for on its own in the page iconv converts
// from (U+FFFD for a byte that only starts a character).
void FillByteChars(iconv_t H, std::array<char32_t, 256>& Chars) {
    for (std::size_t B = 0; B < Chars.size(); ++B) {
        char In = static_cast<char>(B);
        char Buffer[16];
        char* InPointer = &In;
        std::size_t InLeft = 1;
        char* OutPointer = Buffer;
        std::size_t OutLeft = sizeof Buffer;
        iconv(H, nullptr, nullptr, nullptr, nullptr);
        const std::size_t Result = iconv(H, &InPointer, &InLeft, &OutPointer, &OutLeft);
        // Pages that combine accents hold the character back until flushed.
        iconv(H, nullptr, nullptr, &OutPointer, &OutLeft);
        const std::string_view Out(Buffer, sizeof Buffer - OutLeft);
        std::size_t Length = 0;
        char32_t C = Out.empty() ? 0 : DecodeUtf8At(Out, 0, Length);
        Chars[B] = Result == static_cast<std::size_t>(-1) || Length == 0 || Length != Out.size()
                       ? Replacement
                       : C;
    }
}

// Windows-1252 by byte, for undeclared text that a non-Latin page leaves to
// it; Latin-1 where the C library cannot convert it.
const std::array<char32_t, 256>& WesternChars() {
    static const std::array<char32_t, 256> Chars = [] {
        std::array<char32_t, 256> Table{};
        iconv_t H = iconv_open("UTF-8", "CP1252");
        if (H == reinterpret_cast<iconv_t>(-1)) {
            for (std::size_t B = 0; B < Table.size(); ++B)
                Table[B] = static_cast<char32_t>(B);
            return Table;
        }
        FillByteChars(H, Table);
        iconv_close(H);
        return Table;
    }();
    return Chars;
}

} // namespace

TTagDecoder::TTagDecoder(std::string_view CodePage) {
    if (!Open(CodePage) && !Open(DefaultTagCodePage)) {
        // No converter at all (a C library without its code-page modules):
        // read bytes as Latin-1 rather than lose them.
        codePage_ = DefaultTagCodePage;
        for (std::size_t B = 0; B < byteChars_.size(); ++B)
            byteChars_[B] = static_cast<char32_t>(B);
    }
}

TTagDecoder::~TTagDecoder() {
    if (iconv_)
        iconv_close(Handle(iconv_));
}

bool TTagDecoder::Open(std::string_view CodePage) {
    const CodePageConverter* Found = nullptr;
    for (const CodePageConverter& C : Converters)
        if (C.Name == CodePage)
            Found = &C;
    if (!Found)
        return false;
    iconv_t H = iconv_open("UTF-8", Found->Iconv);
    if (H == reinterpret_cast<iconv_t>(-1))
        return false;
    // Each byte on its own, once: single-byte pages then need no iconv call per
    // text, and paths and masks read an invalid byte as one character.
    FillByteChars(H, byteChars_);
    if (Found->MultiByte)
        iconv_ = H;
    else
        iconv_close(H);
    codePage_ = std::string(Found->Name);
    latin_ = Found->Latin;
    multiByte_ = Found->MultiByte;
    return true;
}

void TTagDecoder::AppendCodePage(std::string& Out, std::string_view Bytes) {
    std::size_t Ascii = 0;
    while (Ascii < Bytes.size() && static_cast<unsigned char>(Bytes[Ascii]) < 0x80)
        ++Ascii;
    Out.append(Bytes.data(), Ascii);
    Bytes.remove_prefix(Ascii);
    if (Bytes.empty())
        return;
    if (!iconv_) {
        for (char B : Bytes)
            AppendUtf8(Out, byteChars_[static_cast<unsigned char>(B)]);
        return;
    }
    iconv_t H = Handle(iconv_);
    iconv(H, nullptr, nullptr, nullptr, nullptr);
    char* In = const_cast<char*>(Bytes.data());
    std::size_t InLeft = Bytes.size();
    char Buffer[512];
    while (InLeft > 0) {
        char* OutPointer = Buffer;
        std::size_t OutLeft = sizeof Buffer;
        const std::size_t Result = iconv(H, &In, &InLeft, &OutPointer, &OutLeft);
        const int Error = errno;
        Out.append(Buffer, sizeof Buffer - OutLeft);
        if (Result != static_cast<std::size_t>(-1) || Error == E2BIG)
            continue;
        if (Error == EINVAL)
            break; // the end cut the last character
        AppendUtf8(Out, Replacement);
        ++In;
        --InLeft;
    }
    char* OutPointer = Buffer;
    std::size_t OutLeft = sizeof Buffer;
    iconv(H, nullptr, nullptr, &OutPointer, &OutLeft);
    Out.append(Buffer, sizeof Buffer - OutLeft);
}

bool TTagDecoder::ReadsInCodePage(std::string_view Bytes) const {
    if (latin_)
        return true;
    const std::size_t Needed = multiByte_ ? 2 : 3;
    std::size_t Run = 0;
    for (char C : Bytes) {
        const auto B = static_cast<unsigned char>(C);
        if (B < 0x80) {
            Run = 0;
            continue;
        }
        if (++Run >= Needed || B == 0x81 || B == 0x8D || B == 0x8F || B == 0x90 || B == 0x9D)
            return true;
    }
    return false;
}

void TTagDecoder::AppendUndeclared(std::string& Out, std::string_view Bytes) {
    if (ReadsInCodePage(Bytes)) {
        AppendCodePage(Out, Bytes);
        return;
    }
    const std::array<char32_t, 256>& Western = WesternChars();
    for (char B : Bytes)
        AppendUtf8(Out, Western[static_cast<unsigned char>(B)]);
}

void TTagDecoder::AppendUtf8OrCodePage(std::string& Out, std::string_view Bytes, bool DropCutTail) {
    std::size_t I = 0;
    while (I < Bytes.size()) {
        std::size_t Length;
        std::size_t Valid = I;
        while (Valid < Bytes.size() && (DecodeUtf8At(Bytes, Valid, Length), Length != 0))
            Valid += Length;
        Out.append(Bytes.data() + I, Valid - I);
        if (Valid == Bytes.size())
            return;
        if (DropCutTail && CutUtf8At(Bytes, Valid))
            return;
        std::size_t Invalid = Valid;
        while (Invalid < Bytes.size() && (DecodeUtf8At(Bytes, Invalid, Length), Length == 0) &&
               !(DropCutTail && CutUtf8At(Bytes, Invalid)))
            ++Invalid;
        AppendCodePage(Out, Bytes.substr(Valid, Invalid - Valid));
        I = Invalid;
    }
}

TTagDecoder& DefaultTagDecoder() {
    thread_local TTagDecoder Decoder;
    return Decoder;
}

TTagDecoder& ThreadTagDecoder(const std::string& CodePage) {
    thread_local std::unique_ptr<TTagDecoder> Decoder;
    thread_local std::string Requested;
    if (!Decoder || Requested != CodePage) {
        Decoder = std::make_unique<TTagDecoder>(CodePage);
        Requested = CodePage;
    }
    return *Decoder;
}

std::string_view TrimText(std::string_view Text) {
    std::size_t Begin = 0, End = Text.size();
    while (Begin < End && static_cast<unsigned char>(Text[Begin]) <= 0x20)
        ++Begin;
    while (End > Begin && static_cast<unsigned char>(Text[End - 1]) <= 0x20)
        --End;
    return Text.substr(Begin, End - Begin);
}
