// Simple Unicode case mappings of one UTF-16 unit, from a table generated out of the Unicode
// character data (scripts/gen-unicodecase.py writes unicodecase.cpp). Fixed and independent
// of the process locale: compound-document names order by SimpleUpper, and every comparison of
// names without regard to case folds through the same table, so a host calling setlocale never
// changes an order. Units outside the table (surrogates included) map to themselves.
#ifndef RECFILEREADER_PLATFORM_UNICODECASE_H
#define RECFILEREADER_PLATFORM_UNICODECASE_H

namespace recfilereader {

char16_t SimpleUpper(char16_t unit);
char16_t SimpleLower(char16_t unit);

// The unit both cases of a letter share: the lower case of the upper case, so that "ſ", "s"
// and "S", or "ı", "i" and "I", fold alike.
inline char16_t FoldCase(char16_t unit) { return SimpleLower(SimpleUpper(unit)); }

}  // namespace recfilereader

#endif  // RECFILEREADER_PLATFORM_UNICODECASE_H
