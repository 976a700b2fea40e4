#pragma once

#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

// Optionally signed decimal digits at p, saturating far beyond any index
// count instead of overflowing. Returns the end of the digits, or p itself
// when there are none (value is then left alone).
inline const char* parseSaturatedInteger(const char* p, const char* end, long long& value)
{
    const char* q = p;
    const bool negative = q != end && *q == '-';
    if (q != end && (*q == '-' || *q == '+'))
        ++q;
    const char* digits = q;
    long long x = 0;
    for (; q != end && *q >= '0' && *q <= '9'; ++q)
        if (x < (1LL << 59))
            x = x * 10 + (*q - '0');
    if (q == digits)
        return p;
    value = negative ? -x : x;
    return q;
}

// A cursor over text held in memory, for the native ASCII readers. Tokens
// are separated by blanks, tabs, CR and LF (and form feed, vertical tab).
class TextScan {
public:
    TextScan(const char* begin, const char* end) : p_(begin), end_(end) {}

    static bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

    bool atEnd()
    {
        skipSpace();
        return p_ == end_;
    }

    void skipSpace()
    {
        while (p_ != end_ && isSpace(*p_))
            ++p_;
    }

    // Blanks and tabs only, staying on the line.
    void skipBlanks()
    {
        while (p_ != end_ && (*p_ == ' ' || *p_ == '\t'))
            ++p_;
    }

    std::string_view token()
    {
        skipSpace();
        const char* s = p_;
        while (p_ != end_ && !isSpace(*p_))
            ++p_;
        return {s, std::size_t(p_ - s)};
    }

    bool expect(std::string_view word) { return token() == word; }

    // Past the next '\n' (or to the end).
    void skipLine()
    {
        const void* nl = std::memchr(p_, '\n', std::size_t(end_ - p_));
        p_ = nl ? static_cast<const char*>(nl) + 1 : end_;
    }

    // A whole token as a finite float, correctly rounded; false otherwise.
    bool number(float& value)
    {
        std::string_view t = token();
        if (!t.empty() && t[0] == '+')
            t.remove_prefix(1);
        if (t.empty())
            return false;
        const auto r = std::from_chars(t.data(), t.data() + t.size(), value);
        return r.ec == std::errc() && r.ptr == t.data() + t.size() && std::isfinite(value);
    }

    const char* position() const { return p_; }
    const char* end() const { return end_; }
    void seek(const char* p) { p_ = p; }

private:
    const char* p_;
    const char* end_;
};
