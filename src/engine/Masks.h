// The wildcard mask language of filename masks and criteria: "*", "?", sets
// with ranges and "!", matched against a whole text with a-z folded.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

// Message: "'<mask>' is an invalid mask at (<1-based position>)".
class EMaskException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TMask {
public:
    // Compiles Mask; throws EMaskException for a malformed mask.
    explicit TMask(const std::string& Mask);

    // Whether the whole Text matches.
    bool Matches(const std::string& Text) const;

private:
    // Compiled elements; laid out by Masks.cpp.
    struct Element;
    std::vector<Element> elements_;
};

// Whether the whole Text matches Mask; throws EMaskException for a malformed mask.
bool MatchWildcard(const std::string& Text, const std::string& Mask);
