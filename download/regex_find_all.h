#pragma once
// The small pattern matcher the WinHTTP client uses to pick values out of response headers.
//
// Matching ignores letter case: pattern and text are compared in lower case, while the
// collected texts keep the letter case of the searched text.
//
// Pattern syntax:
//   c        a literal character
//   .        any character, line ends included
//   [...]    a character set with ranges ("a-z"); "^" first negates it; a backslash takes
//            the next character literally ("\t" is a tab)
//   {...}    a capture group; the first one is what RegexFindAll collects
//   (...)    grouping;  a|b  alternation
//   x+ x* x? one or more, zero or more, optional (greedy);
//   x+? x*? x?? the same, taking as few as possible
//   \a \b \c \d \h \n \q \w \z  the abbreviations below; a backslash followed by any
//            other character that is not a digit matches that character
//
//   \a letter or digit      \b blank (space, tab)   \c letter     \d digit
//   \h hexadecimal digit    \n line end (CR, LF, CR LF)           \q quoted string
//   \w word of letters      \z unsigned integer
//
// The matcher runs in time proportional to pattern length times text length, whatever
// the pattern, so a hostile header or pattern cannot make it spin.
//
// Stateless; any thread.

#include <string>
#include <vector>

namespace Utils {

// Collects the distinct texts (compared without regard to letter case) of the first
// capture group of every match, searching from the start of the text and continuing
// after each match. Clears `results` first. False when the pattern or the text is empty
// or the pattern has a syntax error; true otherwise, even when nothing matched.
bool RegexFindAll(const std::wstring& pattern, const std::wstring& text,
                  std::vector<std::wstring>& results);

// The text without leading and trailing characters from `characters`.
std::wstring TrimChars(const std::wstring& text, const std::wstring& characters);

}  // namespace Utils
