// Keywords of the text format.
#include <cstring>

#include "xfile_tokens.h"

namespace dxfile {

bool EqualNoCase(std::string_view a, const char* b) {
    size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = char(x - 32);
        if (y >= 'a' && y <= 'z') y = char(y - 32);
        if (x != y) return false;
    }
    return true;
}

Tok KeywordToken(std::string_view w) {
    if (w.empty() || w.size() > 8) return Tok::Name;
    static const struct {
        const char* word;
        Tok tok;
    } words[] = {
        {"template", Tok::Template}, {"array", Tok::Array},   {"WORD", Tok::Word},        {"DWORD", Tok::Dword},
        {"FLOAT", Tok::FloatType},   {"DOUBLE", Tok::DoubleType}, {"CHAR", Tok::Char},   {"UCHAR", Tok::Uchar},
        {"BYTE", Tok::Uchar},        {"SWORD", Tok::Sword},   {"SDWORD", Tok::Sdword},    {"VOID", Tok::Void},
        {"LPSTR", Tok::Lpstr},       {"STRING", Tok::Lpstr},  {"UNICODE", Tok::Unicode},  {"CSTRING", Tok::Cstring},
    };
    for (const auto& k : words) {
        if (EqualNoCase(w, k.word)) return k.tok;
    }
    return Tok::Name;
}

}  // namespace dxfile
