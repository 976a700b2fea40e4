// VTK 9.1's OBJ reader copies texture coordinates and normals by index
// without a range check (heap writes past the end), and once a file uses
// them it also reads positions by unchecked index. Plain position indices
// past the end are harmless: the cells are dropped after reading.

#include "io/bufferedfile.h"
#include "io/prechecks.h"
#include "io/textscan.h"

#include <cstdint>

namespace {

struct IndexUse {
    std::uint64_t defined = 0;   // elements of this kind in the file
    long long maxIndex = 0;      // largest 1-based absolute index used
    std::uint64_t maxLine = 0;   // line of that use
    void use(long long index, std::uint64_t line)
    {
        if (index > maxIndex) {
            maxIndex = index;
            maxLine = line;
        }
    }
    bool exceeded() const { return maxIndex > 0 && std::uint64_t(maxIndex) > defined; }
};

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

// One "v", "v/vt", "v//vn" or "v/vt/vn" reference starting at p.
const char* parseReference(const char* p, const char* end, long long out[3], bool present[3])
{
    present[0] = present[1] = present[2] = false;
    for (int k = 0; k < 3; ++k) {
        if (k > 0) {
            if (p == end || *p != '/')
                break;
            ++p;
        }
        const char* next = parseSaturatedInteger(p, end, out[k]);
        present[k] = next != p;
        p = next;
    }
    while (p != end && !isBlank(*p))
        ++p;
    return p;
}

} // namespace

bool precheckObj(const std::string& path, std::string* error)
{
    BufferedFile file(path);
    if (!file.isOpen())
        return true;
    IndexUse kinds[3]; // position, texture coordinate, normal
    bool usesAttributes = false;
    std::uint64_t lineNumber = 0;
    std::string_view line;
    while (file.nextLine(line)) {
        ++lineNumber;
        const char* p = line.data();
        const char* end = p + line.size();
        while (p != end && isBlank(*p))
            ++p;
        const char* commandEnd = p;
        while (commandEnd != end && !isBlank(*commandEnd))
            ++commandEnd;
        const std::string_view command(p, std::size_t(commandEnd - p));
        if (command == "v" || command == "vt" || command == "vn") {
            ++kinds[command.size() == 1 ? 0 : (command[1] == 't' ? 1 : 2)].defined;
            continue;
        }
        if (command != "f")
            continue;
        p = commandEnd;
        while (p != end) {
            while (p != end && isBlank(*p))
                ++p;
            if (p == end)
                break;
            long long index[3] = {0, 0, 0};
            bool present[3];
            p = parseReference(p, end, index, present);
            for (int k = 0; k < 3; ++k) {
                if (!present[k])
                    continue;
                usesAttributes = usesAttributes || k > 0;
                // Negative indices count back from the elements defined so
                // far and can never point past them.
                if (index[k] > 0)
                    kinds[k].use(index[k], lineNumber);
            }
        }
    }
    if (!usesAttributes)
        return true;
    static const char* const names[3] = {"vertex", "texture coordinate", "normal"};
    for (int k : {1, 2, 0}) {
        if (!kinds[k].exceeded())
            continue;
        if (error)
            *error = "Malformed OBJ file: the face on line " + std::to_string(kinds[k].maxLine) + " refers to "
                + names[k] + " " + std::to_string(kinds[k].maxIndex) + ", but the file defines only "
                + std::to_string(kinds[k].defined) + ".";
        return false;
    }
    return true;
}
