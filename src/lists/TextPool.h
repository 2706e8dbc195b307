// The texts of a list, each stored once as bytes in large blocks and named by a
// small id: a row holds ids, not strings. Equal texts can share one id
// (interning), and each text can carry a sort key, made once when it arrives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Byte strings in blocks of up to 1 MiB, each named by a 32-bit reference
// (block and offset). Nothing is ever moved, so growing costs no copy of what
// is stored.
class TByteArena {
public:
    std::uint32_t Store(std::string_view Bytes);
    std::string_view At(std::uint32_t Reference) const;
    void Clear();
    // Bytes held in blocks, used or not.
    std::size_t Capacity() const { return capacity_; }

private:
    static constexpr unsigned OffsetBits = 20;
    static constexpr std::size_t BlockSize = std::size_t{1} << OffsetBits;
    static constexpr std::size_t FirstBlockSize = 2048;
    std::vector<std::unique_ptr<char[]>> blocks_;
    std::size_t current_ = 0; // the block that takes small strings
    std::size_t blockSize_ = FirstBlockSize;
    std::size_t used_ = FirstBlockSize; // full: the first text opens a block
    std::size_t capacity_ = 0;
};

class TTextPool {
public:
    using Id = std::uint32_t;
    // Id 0 is always the empty text.
    static constexpr Id EmptyId = 0;
    // Makes the sort key of a text: keys compare as unsigned bytes, and hold no
    // zero byte (a shorter key that is a prefix of a longer one goes first).
    using TKeyMaker = std::function<void(std::string_view Text, std::string& Key)>;

    // Interned: adding a text that is already there gives its id again.
    explicit TTextPool(bool Interned);

    Id Add(std::string_view Text);
    std::string_view Text(Id Text) const { return texts_.At(refs_[Text]); }
    std::size_t Count() const { return refs_.size(); }
    // Keeps no text but the empty one, and gives the memory back.
    void Clear();

    // From now on every text gets a key; texts already there get theirs now.
    // Without a key maker a text's bytes are its key.
    void SetKeyMaker(TKeyMaker Maker);
    bool HasKeys() const { return static_cast<bool>(keyMaker_); }
    std::string_view Key(Id Text) const;
    // Each text's place in key order: equal keys share a rank, and ranks run
    // from 0 without gaps. Made on demand and kept until a text is added.
    const std::vector<std::uint32_t>& Ranks() const;

    // Bytes the pool holds (blocks, ids, the intern table, keys, ranks).
    std::size_t MemoryBytes() const;

private:
    Id Find(std::string_view Text, std::size_t Hash) const;
    void Grow();

    bool interned_;
    TByteArena texts_;
    std::vector<std::uint32_t> refs_;  // per id: where its text is
    std::vector<std::uint32_t> slots_; // intern table, open addressing: id + 1, 0 free
    TKeyMaker keyMaker_;
    TByteArena keys_;
    std::vector<std::uint32_t> keyRefs_; // per id: where its key is
    std::string keyBuffer_;
    mutable std::vector<std::uint32_t> ranks_;
};

// Puts Count items in order of their keys (KeyOf(item)) and returns each item's
// rank: equal keys share a rank, ranks run from 0 without gaps. Keys are
// compared as unsigned bytes, eight at a time, only as deep as they differ.
std::vector<std::uint32_t> RankByKeys(std::size_t Count,
                                      const std::function<std::string_view(std::uint32_t)>& KeyOf);

// A stable order of Keys.size() items by ascending Keys[item]: Order[k] is the
// item that goes k-th; items with equal keys keep their order.
std::vector<int> OrderByKeys(std::vector<std::uint64_t> Keys);
