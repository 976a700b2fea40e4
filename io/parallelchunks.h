#pragma once

#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

// Splits [begin, end) at line starts into one piece per hardware thread and
// runs parse(pieceIndex, pieceBegin, pieceEnd) on each in parallel. Small
// inputs stay on the calling thread.
template <class Parse>
std::size_t parseLinesInParallel(const char* begin, const char* end, Parse parse)
{
    constexpr std::size_t kMinPiece = std::size_t(4) << 20;
    const std::size_t size = std::size_t(end - begin);
    std::size_t pieces = std::max<std::size_t>(1, std::min<std::size_t>(std::thread::hardware_concurrency(),
                                                                        size / kMinPiece));
    std::vector<const char*> cuts{begin};
    for (std::size_t i = 1; i < pieces; ++i) {
        const char* p = std::max(begin + size * i / pieces, cuts.back());
        const void* nl = std::memchr(p, '\n', std::size_t(end - p));
        cuts.push_back(nl ? static_cast<const char*>(nl) + 1 : end);
    }
    cuts.push_back(end);
    pieces = cuts.size() - 1;
    std::vector<std::thread> threads;
    for (std::size_t i = 1; i < pieces; ++i)
        threads.emplace_back([&, i] { parse(i, cuts[i], cuts[i + 1]); });
    parse(0, cuts[0], cuts[1]);
    for (std::thread& t : threads)
        t.join();
    return pieces;
}
