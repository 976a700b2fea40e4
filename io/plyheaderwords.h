#pragma once

#include <string_view>
#include <vector>

// The scalar types a PLY header may name and the words of a header line,
// shared by the native reader and the pre-check so both read a header alike.

struct PlyScalarType {
    int size = 0;
    bool isFloat = false;
    bool isSigned = false;
};

inline bool plyScalarType(std::string_view name, PlyScalarType& type)
{
    struct Named {
        const char* name;
        PlyScalarType type;
    };
    static const Named types[] = {
        {"char", {1, false, true}},    {"int8", {1, false, true}},    {"uchar", {1, false, false}},
        {"uint8", {1, false, false}},  {"short", {2, false, true}},   {"int16", {2, false, true}},
        {"ushort", {2, false, false}}, {"uint16", {2, false, false}}, {"int", {4, false, true}},
        {"int32", {4, false, true}},   {"uint", {4, false, false}},   {"uint32", {4, false, false}},
        {"float", {4, true, true}},    {"float32", {4, true, true}},  {"double", {8, true, true}},
        {"float64", {8, true, true}},
    };
    for (const Named& n : types)
        if (name == n.name) {
            type = n.type;
            return true;
        }
    return false;
}

// Words separated by blanks, tabs or a carriage return, into out (cleared
// first, so a caller's loop can reuse its capacity).
inline void plyWords(std::string_view line, std::vector<std::string_view>& out)
{
    out.clear();
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
            ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
            ++i;
        if (i > start)
            out.push_back(line.substr(start, i - start));
    }
}

inline std::vector<std::string_view> plyWords(std::string_view line)
{
    std::vector<std::string_view> out;
    plyWords(line, out);
    return out;
}
