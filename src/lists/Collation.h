// How the list orders texts: the locale's collation, letters without regard
// to case and runs of digits by their value ("Track 2" before "Track 10"),
// turned into sort keys that compare as bytes, so a text is collated once
// rather than at every comparison.
#pragma once

#include <memory>
#include <string>
#include <string_view>

struct UCollator;

class TCollation {
public:
    // Locale is an ICU locale name ("de_DE"); empty: the root collation.
    explicit TCollation(const std::string& Locale);
    ~TCollation();
    TCollation(const TCollation&) = delete;
    TCollation& operator=(const TCollation&) = delete;

    // Appends the key of a UTF-8 text to Key: no zero byte in it. Bytes that
    // are not UTF-8 count as U+FFFD.
    void AppendKey(std::string_view Utf8, std::string& Key) const;
    // A path's key: its folders component by component, each by the collation,
    // so that a folder sorts right after its parent and before its parent's
    // next sibling.
    void AppendPathKey(std::string_view Path, std::string& Key) const;

private:
    UCollator* collator_ = nullptr;
    mutable std::u16string wide_;
};
