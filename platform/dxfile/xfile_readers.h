// The two lexers over a file body: text and binary. The parser asks them for
// structural tokens (Next) and, inside data objects, for typed values; values
// skip the ',' and ';' separators around them.
#pragma once

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "xfile_tokens.h"

namespace dxfile {

inline uint32_t LoadU32(const char* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
inline uint16_t LoadU16(const char* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

inline uint32_t FloatToU32(double d) {
    if (!(d > 0.0)) return d < 0.0 && d >= -2147483648.0 ? uint32_t(int32_t(d)) : 0u;
    if (d >= 4294967295.0) return 0xFFFFFFFFu;
    return uint32_t(d);
}

// ---------------------------------------------------------------------------
class TextReader {
public:
    TextReader(const char* begin, const char* end, size_t pos) : b_(begin), p_(begin + pos), e_(end) {}
    size_t Pos() const { return size_t(p_ - b_); }
    void SetPos(size_t pos) { p_ = b_ + pos; }
    size_t Remaining() const { return size_t(e_ - p_); }

    bool Next(Token& t) {
        SkipSpace();
        if (p_ >= e_) {
            t.kind = Tok::Eof;
            return true;
        }
        char c = *p_;
        switch (c) {
        case '{': ++p_; t.kind = Tok::OBrace; return true;
        case '}': ++p_; t.kind = Tok::CBrace; return true;
        case '[': ++p_; t.kind = Tok::OBracket; return true;
        case ']': ++p_; t.kind = Tok::CBracket; return true;
        case '(': ++p_; t.kind = Tok::OParen; return true;
        case ')': ++p_; t.kind = Tok::CParen; return true;
        case ',': ++p_; t.kind = Tok::Comma; return true;
        case ';': ++p_; t.kind = Tok::Semicolon; return true;
        case '.': ++p_; t.kind = Tok::Dot; return true;
        case '<': return ReadGuid(t);
        case '"': {
            const char* s = ++p_;
            while (p_ < e_ && *p_ != '"') ++p_;
            if (p_ >= e_) return Fail(t);
            t.text = std::string_view(s, size_t(p_ - s));
            ++p_;
            t.kind = Tok::String;
            return true;
        }
        default: break;
        }
        if (!IsWordChar(c)) return Fail(t);
        const char* s = p_;
        while (p_ < e_ && IsWordChar(*p_)) ++p_;
        t.text = std::string_view(s, size_t(p_ - s));
        if ((c >= '0' && c <= '9') || c == '-' || c == '+') {
            if (ClassifyNumber(t)) return true;
        }
        t.kind = KeywordToken(t.text);
        return true;
    }

    bool ReadU32(uint32_t& v) {
        SkipSeparators();
        const char* p = p_;
        bool neg = false;
        if (p < e_ && (*p == '-' || *p == '+')) neg = *p++ == '-';
        if (p >= e_ || unsigned(*p - '0') > 9) return false;
        uint64_t acc = 0;
        while (p < e_ && unsigned(*p - '0') <= 9) {
            acc = acc * 10 + unsigned(*p - '0');
            if (acc > 0xFFFFFFFFull) return false;
            ++p;
        }
        if (p < e_ && (*p == '.' || *p == 'e' || *p == 'E')) {
            // A real number where an integer belongs: take its integer part.
            double d;
            auto r = std::from_chars(p_ + (*p_ == '+'), e_, d);
            if (r.ec != std::errc()) return false;
            p_ = r.ptr;
            v = FloatToU32(d);
            return true;
        }
        p_ = p;
        v = neg ? uint32_t(0u - uint32_t(acc)) : uint32_t(acc);
        return true;
    }

    bool ReadDouble(double& v) {
        SkipSeparators();
        if (p_ < e_ && *p_ == '+') ++p_;
        auto r = std::from_chars(p_, e_, v);
        if (r.ec == std::errc::result_out_of_range) {
            v = 0.0;
        } else if (r.ec != std::errc()) {
            return false;
        }
        p_ = r.ptr;
        return true;
    }

    bool ReadFloat(float& v) {
        SkipSeparators();
        if (p_ < e_ && *p_ == '+') ++p_;
        if (FastFloat(v)) return true;
        auto r = std::from_chars(p_, e_, v);
        if (r.ec == std::errc::result_out_of_range) {
            v = 0.0f;
        } else if (r.ec != std::errc()) {
            return false;
        }
        p_ = r.ptr;
        return true;
    }

    bool ReadFloats(float* dst, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            if (!ReadFloat(dst[i])) return false;
        }
        return true;
    }

    bool ReadString(std::string_view& s) {
        SkipSeparators();
        if (p_ >= e_ || *p_ != '"') return false;
        const char* q = ++p_;
        while (p_ < e_ && *p_ != '"') ++p_;
        if (p_ >= e_) return false;
        s = std::string_view(q, size_t(p_ - q));
        ++p_;
        return true;
    }

    bool EndMembers() {
        SkipSeparators();
        return true;
    }

    // Values of an array of primitives: exactly one ',' between two values,
    // and one ';' (or a ',' not doubled) after the last.
    bool NextArrayValue() {
        SkipSpace();
        if (p_ >= e_ || *p_ != ',') return false;
        ++p_;
        return !SeparatorFollows();
    }
    bool EndArray() {
        SkipSpace();
        if (p_ >= e_ || (*p_ != ';' && *p_ != ',')) return false;
        return *p_++ == ';' || !SeparatorFollows();
    }
    bool ReadFloatValues(float* dst, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            if ((i > 0 && !NextArrayValue()) || !ReadFloat(dst[i])) return false;
        }
        return EndArray();
    }

private:
    bool SeparatorFollows() {
        SkipSpace();
        return p_ < e_ && (*p_ == ',' || *p_ == ';');
    }

    // Plain decimals ("-12.345") without from_chars: the digits as an exact
    // integer divided by an exact power of ten gives the correctly rounded
    // double; narrowing it to float is exact too unless it lands on the
    // midpoint between two floats, which is left to from_chars.
    bool FastFloat(float& v) {
        static const double pow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                       1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
        const char* p = p_;
        bool neg = p < e_ && *p == '-';
        p += neg;
        uint64_t m = 0;
        int digits = 0, frac = 0;
        while (p < e_ && unsigned(*p - '0') <= 9) {
            m = m * 10 + unsigned(*p++ - '0');
            ++digits;
        }
        if (p < e_ && *p == '.') {
            ++p;
            while (p < e_ && unsigned(*p - '0') <= 9) {
                m = m * 10 + unsigned(*p++ - '0');
                ++digits;
                ++frac;
            }
        }
        if (digits == 0 || digits > 15 || frac > 22) return false;
        if (p < e_ && (*p == 'e' || *p == 'E' || *p == '#' || *p == '.')) return false;
        double d = frac ? double(m) / pow10[frac] : double(m);
        // A normal float keeps the top 24 of the double's 53 significant
        // bits; d is a midpoint when the 29 bits below are exactly 1000...0.
        uint64_t bits;
        std::memcpy(&bits, &d, 8);
        if ((bits & 0x1FFFFFFFu) == 0x10000000u) return false;
        float f = float(d);
        if (f != 0.0f && !(std::fabs(f) >= std::numeric_limits<float>::min())) return false;
        v = neg ? -f : f;
        p_ = p;
        return true;
    }

    static bool IsWordChar(char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
               c == '-' || c == '+' || c == '.' || (unsigned char)c >= 0x80;
    }

    bool ClassifyNumber(Token& t) {
        const char* s = t.text.data();
        const char* e = s + t.text.size();
        const char* q = s + (*s == '+');
        bool neg = q < e && *q == '-';
        const char* d = q + neg;
        if (d < e) {
            uint64_t acc = 0;
            const char* r = d;
            while (r < e && unsigned(*r - '0') <= 9 && acc <= 0xFFFFFFFFull) acc = acc * 10 + unsigned(*r++ - '0');
            if (r == e && acc <= 0xFFFFFFFFull) {
                t.kind = Tok::Integer;
                t.integer = neg ? uint32_t(0u - uint32_t(acc)) : uint32_t(acc);
                return true;
            }
        }
        double v;
        auto r = std::from_chars(q, e, v);
        if (r.ptr == e && r.ec == std::errc()) {
            t.kind = Tok::Float;
            t.real = v;
            return true;
        }
        return false;
    }

    static int Hex(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    // <XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX>, spaces allowed inside the brackets.
    bool ReadGuid(Token& t) {
        ++p_;
        while (p_ < e_ && (*p_ == ' ' || *p_ == '\t')) ++p_;
        static const int groups[5] = {8, 4, 4, 4, 12};
        uint8_t bytes[16];
        int nb = 0;
        for (int g = 0; g < 5; ++g) {
            if (g > 0) {
                if (p_ >= e_ || *p_ != '-') return Fail(t);
                ++p_;
            }
            for (int i = 0; i < groups[g]; i += 2) {
                if (e_ - p_ < 2) return Fail(t);
                int hi = Hex(p_[0]), lo = Hex(p_[1]);
                if (hi < 0 || lo < 0) return Fail(t);
                bytes[nb++] = uint8_t(hi * 16 + lo);
                p_ += 2;
            }
        }
        while (p_ < e_ && (*p_ == ' ' || *p_ == '\t')) ++p_;
        if (p_ >= e_ || *p_ != '>') return Fail(t);
        ++p_;
        t.guid.Data1 = uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3];
        t.guid.Data2 = uint16_t(bytes[4] << 8 | bytes[5]);
        t.guid.Data3 = uint16_t(bytes[6] << 8 | bytes[7]);
        std::memcpy(t.guid.Data4, bytes + 8, 8);
        t.kind = Tok::Guid;
        return true;
    }

    void SkipSpace() {
        while (p_ < e_) {
            char c = *p_;
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v' || c == 0) {
                ++p_;
            } else if (c == '#' || (c == '/' && p_ + 1 < e_ && p_[1] == '/')) {
                while (p_ < e_ && *p_ != '\n') ++p_;
            } else {
                break;
            }
        }
    }

    void SkipSeparators() {
        while (p_ < e_) {
            char c = *p_;
            if (c == ',' || c == ';' || c == ' ' || c == '\n' || c == '\r' || c == '\t') {
                ++p_;
            } else if (c == '#' || c == '/' || c == '\f' || c == '\v' || c == 0) {
                const char* before = p_;
                SkipSpace();
                if (p_ == before) return;
            } else {
                break;
            }
        }
    }

    bool Fail(Token& t) {
        t.kind = Tok::Error;
        return false;
    }

    const char* b_;
    const char* p_;
    const char* e_;
};

// ---------------------------------------------------------------------------
class BinaryReader {
public:
    // loneByteEnds: a single byte left over at the end is the end of the
    // data (as in compressed files), not a broken token.
    BinaryReader(const char* begin, const char* end, size_t pos, bool float64, bool loneByteEnds = false)
        : b_(begin), p_(begin + pos), e_(end), fsize_(float64 ? 8 : 4), loneByteEnds_(loneByteEnds) {}
    size_t Pos() const { return size_t(p_ - b_); }
    void SetPos(size_t pos) {
        p_ = b_ + pos;
        listLeft_ = 0;
    }
    size_t Remaining() const { return size_t(e_ - p_); }

    bool Next(Token& t) {
        if (listLeft_ != 0) return Fail(t);
        afterIntegerList_ = false;
        if (p_ >= e_ || (loneByteEnds_ && e_ - p_ == 1)) {
            p_ = e_;
            t.kind = Tok::Eof;
            return true;
        }
        if (e_ - p_ < 2) return Fail(t);
        uint16_t code = LoadU16(p_);
        p_ += 2;
        switch (code) {
        case TOKEN_NAME:
        case TOKEN_STRING: {
            if (e_ - p_ < 4) return Fail(t);
            uint32_t n = LoadU32(p_);
            p_ += 4;
            if (n > Remaining()) return Fail(t);
            t.text = std::string_view(p_, n);
            p_ += n;
            t.kind = code == TOKEN_NAME ? Tok::Name : Tok::String;
            if (code == TOKEN_STRING) SkipStringTerminator();
            return true;
        }
        case TOKEN_INTEGER:
            if (e_ - p_ < 4) return Fail(t);
            t.integer = LoadU32(p_);
            p_ += 4;
            t.kind = Tok::Integer;
            return true;
        case TOKEN_GUID:
            if (e_ - p_ < 16) return Fail(t);
            std::memcpy(&t.guid.Data1, p_, 4);
            std::memcpy(&t.guid.Data2, p_ + 4, 2);
            std::memcpy(&t.guid.Data3, p_ + 6, 2);
            std::memcpy(t.guid.Data4, p_ + 8, 8);
            p_ += 16;
            t.kind = Tok::Guid;
            return true;
        case TOKEN_INTEGER_LIST:
        case TOKEN_FLOAT_LIST: {
            // Lists belong inside data objects; structurally they are skipped
            // whole so that a caller can report them.
            if (e_ - p_ < 4) return Fail(t);
            uint32_t n = LoadU32(p_);
            p_ += 4;
            size_t each = code == TOKEN_INTEGER_LIST ? 4 : fsize_;
            if (n > Remaining() / each) return Fail(t);
            p_ += n * each;
            t.kind = code == TOKEN_INTEGER_LIST ? Tok::IntegerList : Tok::FloatList;
            return true;
        }
        case TOKEN_OBRACE: case TOKEN_CBRACE: case TOKEN_OPAREN: case TOKEN_CPAREN: case TOKEN_OBRACKET:
        case TOKEN_CBRACKET: case TOKEN_OANGLE: case TOKEN_CANGLE: case TOKEN_DOT: case TOKEN_COMMA:
        case TOKEN_SEMICOLON: case TOKEN_TEMPLATE: case TOKEN_WORD: case TOKEN_DWORD: case TOKEN_FLOAT:
        case TOKEN_DOUBLE: case TOKEN_CHAR: case TOKEN_UCHAR: case TOKEN_SWORD: case TOKEN_SDWORD:
        case TOKEN_VOID: case TOKEN_LPSTR: case TOKEN_UNICODE: case TOKEN_CSTRING: case TOKEN_ARRAY:
            t.kind = Tok(code);
            return true;
        default:
            return Fail(t);
        }
    }

    bool ReadU32(uint32_t& v) {
        for (;;) {
            if (listLeft_) {
                --listLeft_;
                if (!listIsFloat_) {
                    v = LoadU32(p_);
                    p_ += 4;
                    afterIntegerList_ = listLeft_ == 0;
                } else {
                    v = FloatToU32(TakeReal());
                }
                return true;
            }
            int r = Refill();
            if (r < 0) return false;
            if (r == 0) {  // a lone TOKEN_INTEGER
                v = single_;
                return true;
            }
        }
    }

    bool ReadDouble(double& v) {
        for (;;) {
            if (listLeft_) {
                --listLeft_;
                if (listIsFloat_) {
                    v = TakeReal();
                } else {
                    v = double(int32_t(LoadU32(p_)));
                    p_ += 4;
                    afterIntegerList_ = listLeft_ == 0;
                }
                return true;
            }
            int r = Refill();
            if (r < 0) return false;
            if (r == 0) {
                v = double(int32_t(single_));
                return true;
            }
        }
    }

    bool ReadFloat(float& v) {
        double d;
        if (!ReadDouble(d)) return false;
        v = float(d);
        return true;
    }

    bool ReadFloats(float* dst, size_t n) {
        while (n) {
            if (listLeft_ && listIsFloat_ && fsize_ == 4) {
                size_t k = n < listLeft_ ? n : listLeft_;
                std::memcpy(dst, p_, k * 4);
                p_ += k * 4;
                listLeft_ -= uint32_t(k);
                dst += k;
                n -= k;
                continue;
            }
            if (!ReadFloat(*dst)) return false;
            ++dst;
            --n;
        }
        return true;
    }

    bool ReadString(std::string_view& s) {
        if (listLeft_ || !SkipSeparators()) return false;
        afterIntegerList_ = false;
        if (e_ - p_ < 6 || LoadU16(p_) != TOKEN_STRING) return false;
        uint32_t n = LoadU32(p_ + 2);
        p_ += 6;
        if (n > Remaining()) return false;
        s = std::string_view(p_, n);
        p_ += n;
        SkipStringTerminator();
        return true;
    }

    bool EndMembers() {
        if (listLeft_) return false;
        return SkipSeparators();
    }

    // Binary lists carry their own extent: nothing to check between values.
    bool NextArrayValue() { return true; }
    bool EndArray() { return true; }
    bool ReadFloatValues(float* dst, size_t n) { return ReadFloats(dst, n); }

private:
    double TakeReal() {
        double d;
        if (fsize_ == 4) {
            float f;
            std::memcpy(&f, p_, 4);
            d = f;
        } else {
            std::memcpy(&d, p_, 8);
        }
        p_ += fsize_;
        return d;
    }

    // Starts the next list or reads a lone integer. 1: a list started (maybe
    // empty), 0: single_ holds an integer, -1: no value here.
    int Refill() {
        for (;;) {
            if (e_ - p_ < 2) return -1;
            uint16_t code = LoadU16(p_);
            if (code == TOKEN_SEMICOLON || code == TOKEN_COMMA) {
                if (afterIntegerList_) return -1;  // an integer list takes no separator
                p_ += 2;
                continue;
            }
            afterIntegerList_ = false;
            if (code == TOKEN_INTEGER) {
                if (e_ - p_ < 6) return -1;
                single_ = LoadU32(p_ + 2);
                p_ += 6;
                return 0;
            }
            if (code != TOKEN_INTEGER_LIST && code != TOKEN_FLOAT_LIST) return -1;
            if (e_ - p_ < 6) return -1;
            uint32_t n = LoadU32(p_ + 2);
            size_t each = code == TOKEN_INTEGER_LIST ? 4 : fsize_;
            if (n > (Remaining() - 6) / each) return -1;
            p_ += 6;
            listLeft_ = n;
            listIsFloat_ = code == TOKEN_FLOAT_LIST;
            afterIntegerList_ = n == 0 && !listIsFloat_;
            return 1;
        }
    }

    // False when the separator follows an integer list, which takes none.
    bool SkipSeparators() {
        while (e_ - p_ >= 2) {
            uint16_t code = LoadU16(p_);
            if (code != TOKEN_SEMICOLON && code != TOKEN_COMMA) break;
            if (afterIntegerList_) return false;
            p_ += 2;
        }
        return true;
    }

    // Exporters end a string with a 2-byte ';' or ',' token; some widen it to
    // a 4-byte value. Token code 0 never starts a token, so both read the same.
    void SkipStringTerminator() {
        if (e_ - p_ >= 2 && (LoadU16(p_) == TOKEN_SEMICOLON || LoadU16(p_) == TOKEN_COMMA)) {
            p_ += 2;
            if (e_ - p_ >= 2 && LoadU16(p_) == 0) p_ += 2;
        }
    }

    bool Fail(Token& t) {
        t.kind = Tok::Error;
        return false;
    }

    const char* b_;
    const char* p_;
    const char* e_;
    size_t fsize_;
    bool loneByteEnds_;
    uint32_t listLeft_ = 0;
    bool listIsFloat_ = false;
    bool afterIntegerList_ = false;  // the last value read ended an integer list
    uint32_t single_ = 0;
};

}  // namespace dxfile
