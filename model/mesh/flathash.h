#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

// Open-addressing hash map from a small key to a 32-bit value. The weld grid
// and the section graphs look up hundreds of thousands of keys per section;
// node-based maps spend most of that time allocating. Kept over Abseil's
// flat_hash_map, which was 10-20 % slower in section clean-up and 25-45 % in
// the repair program's read-back here (bench/RESULTS.md, "Hash map").
template <class Key, class Hash>
class FlatHashMap {
public:
    explicit FlatHashMap(std::size_t expected = 0) { rehash(capacityFor(expected)); }

    std::size_t size() const { return size_; }

    // Slot of key, inserting value first when the key is new. The second member
    // is true for a new key. The pointer stays valid until the next insertion.
    std::pair<std::uint32_t*, bool> tryEmplace(const Key& key, std::uint32_t value)
    {
        if ((size_ + 1) * 2 > keys_.size())
            rehash(keys_.size() * 2);
        std::size_t i = slotOf(key);
        while (used_[i]) {
            if (keys_[i] == key)
                return {&values_[i], false};
            i = (i + 1) & mask_;
        }
        used_[i] = 1;
        keys_[i] = key;
        values_[i] = value;
        ++size_;
        return {&values_[i], true};
    }

    const std::uint32_t* find(const Key& key) const
    {
        std::size_t i = slotOf(key);
        while (used_[i]) {
            if (keys_[i] == key)
                return &values_[i];
            i = (i + 1) & mask_;
        }
        return nullptr;
    }

private:
    static std::size_t capacityFor(std::size_t expected)
    {
        std::size_t c = 16;
        while (c < expected * 2)
            c *= 2;
        return c;
    }

    std::size_t slotOf(const Key& key) const { return std::size_t(Hash{}(key)) & mask_; }

    void rehash(std::size_t capacity)
    {
        std::vector<Key> oldKeys = std::move(keys_);
        std::vector<std::uint32_t> oldValues = std::move(values_);
        std::vector<unsigned char> oldUsed = std::move(used_);
        keys_.assign(capacity, Key{});
        values_.assign(capacity, 0);
        used_.assign(capacity, 0);
        mask_ = capacity - 1;
        size_ = 0;
        for (std::size_t i = 0; i < oldUsed.size(); ++i)
            if (oldUsed[i])
                tryEmplace(oldKeys[i], oldValues[i]);
    }

    std::vector<Key> keys_;
    std::vector<std::uint32_t> values_;
    std::vector<unsigned char> used_;
    std::size_t mask_ = 0;
    std::size_t size_ = 0;
};

// 64-bit finaliser (splitmix64): cell coordinates and node pairs are highly
// regular, so the low bits need mixing before masking.
inline std::uint64_t mixBits(std::uint64_t x)
{
    x ^= x >> 30;
    x *= 0xbf58476d1ce4e5b9ULL;
    x ^= x >> 27;
    x *= 0x94d049bb133111ebULL;
    x ^= x >> 31;
    return x;
}

struct MixHash {
    std::uint64_t operator()(std::uint64_t key) const { return mixBits(key); }
};

// Set of unordered node pairs, for "skip a second edge over the same pair".
class NodePairSet {
public:
    explicit NodePairSet(std::size_t expected = 0) : map_(expected) {}

    // True when the pair {a, b} was not in the set yet.
    bool insert(std::uint32_t a, std::uint32_t b)
    {
        const std::uint64_t key = a < b ? (std::uint64_t(a) << 32 | b) : (std::uint64_t(b) << 32 | a);
        return map_.tryEmplace(key, 0).second;
    }

private:
    FlatHashMap<std::uint64_t, MixHash> map_;
};
