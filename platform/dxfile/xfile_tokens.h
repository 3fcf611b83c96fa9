// Token codes of the binary X format and the token record both readers hand
// to the parser.
#pragma once

#include <cstdint>
#include <string_view>

#include "windows.h"

namespace dxfile {

enum BinaryToken : uint16_t {
    TOKEN_NAME = 1,
    TOKEN_STRING = 2,
    TOKEN_INTEGER = 3,
    TOKEN_GUID = 5,
    TOKEN_INTEGER_LIST = 6,
    TOKEN_FLOAT_LIST = 7,
    TOKEN_OBRACE = 10,
    TOKEN_CBRACE = 11,
    TOKEN_OPAREN = 12,
    TOKEN_CPAREN = 13,
    TOKEN_OBRACKET = 14,
    TOKEN_CBRACKET = 15,
    TOKEN_OANGLE = 16,
    TOKEN_CANGLE = 17,
    TOKEN_DOT = 18,
    TOKEN_COMMA = 19,
    TOKEN_SEMICOLON = 20,
    TOKEN_TEMPLATE = 31,
    TOKEN_WORD = 40,
    TOKEN_DWORD = 41,
    TOKEN_FLOAT = 42,
    TOKEN_DOUBLE = 43,
    TOKEN_CHAR = 44,
    TOKEN_UCHAR = 45,
    TOKEN_SWORD = 46,
    TOKEN_SDWORD = 47,
    TOKEN_VOID = 48,
    TOKEN_LPSTR = 49,
    TOKEN_UNICODE = 50,
    TOKEN_CSTRING = 51,
    TOKEN_ARRAY = 52,
};

// Token kinds the parser sees. Punctuation and keywords share the binary
// codes; Eof, Float and Error exist only here.
enum class Tok : uint16_t {
    Error = 0,
    Name = TOKEN_NAME,
    String = TOKEN_STRING,
    Integer = TOKEN_INTEGER,
    Guid = TOKEN_GUID,
    IntegerList = TOKEN_INTEGER_LIST,
    FloatList = TOKEN_FLOAT_LIST,
    OBrace = TOKEN_OBRACE,
    CBrace = TOKEN_CBRACE,
    OParen = TOKEN_OPAREN,
    CParen = TOKEN_CPAREN,
    OBracket = TOKEN_OBRACKET,
    CBracket = TOKEN_CBRACKET,
    OAngle = TOKEN_OANGLE,
    CAngle = TOKEN_CANGLE,
    Dot = TOKEN_DOT,
    Comma = TOKEN_COMMA,
    Semicolon = TOKEN_SEMICOLON,
    Template = TOKEN_TEMPLATE,
    Word = TOKEN_WORD,
    Dword = TOKEN_DWORD,
    FloatType = TOKEN_FLOAT,
    DoubleType = TOKEN_DOUBLE,
    Char = TOKEN_CHAR,
    Uchar = TOKEN_UCHAR,
    Sword = TOKEN_SWORD,
    Sdword = TOKEN_SDWORD,
    Void = TOKEN_VOID,
    Lpstr = TOKEN_LPSTR,
    Unicode = TOKEN_UNICODE,
    Cstring = TOKEN_CSTRING,
    Array = TOKEN_ARRAY,
    Float = 200,  // text only: a real number in a structural position
    Eof = 201,
};

struct Token {
    Tok kind = Tok::Error;
    std::string_view text;  // names and strings; keywords keep their spelling
    uint32_t integer = 0;
    double real = 0.0;
    GUID guid = {};
};

inline bool IsPrimitiveTypeToken(Tok t) {
    switch (t) {
    case Tok::Word: case Tok::Dword: case Tok::FloatType: case Tok::DoubleType: case Tok::Char:
    case Tok::Uchar: case Tok::Sword: case Tok::Sdword: case Tok::Lpstr: case Tok::Unicode:
    case Tok::Cstring:
        return true;
    default:
        return false;
    }
}

// Keyword lookup for the text format (letter case ignored, as the platform does).
Tok KeywordToken(std::string_view word);

}  // namespace dxfile
