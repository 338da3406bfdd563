#pragma once
// File-name wildcards: '*' matches any run of characters (also none), '?' exactly one; letters
// compare without regard to ASCII case, as file names do on Windows.
#include <string_view>

bool MatchesWildcard(std::string_view name, std::string_view pattern);

// ASCII-only case folding: names are raw bytes, and folding other bytes could split a
// multi-byte character.
bool EqualNamesIgnoringCase(std::string_view a, std::string_view b);

bool HasWildcard(std::string_view pattern);
