// Texts stored once, by id (see TextPool.h).
#include "lists/TextPool.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <utility>

// ---- TByteArena ------------------------------------------------------------

namespace {
constexpr std::size_t MaxLengthBytes = 5; // a 32-bit length, seven bits a byte
} // namespace

std::uint32_t TByteArena::Store(std::string_view Bytes) {
    if (Bytes.size() > UINT32_MAX)
        throw std::length_error("text too long for the list");
    const std::size_t need = Bytes.size() + MaxLengthBytes;
    std::size_t block = current_;
    std::size_t offset = used_;
    if (need > BlockSize) {
        // A text longer than a block gets one of its own; small ones go on where they were.
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(need));
        capacity_ += need;
        block = blocks_.size() - 1;
        offset = 0;
    } else if (used_ + need > blockSize_) {
        // Blocks start small (a list of a few masks keeps a few kilobytes) and
        // double up to the largest size a reference can address.
        blockSize_ = std::max(need, std::min(BlockSize, blockSize_ * 2));
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(blockSize_));
        capacity_ += blockSize_;
        current_ = block = blocks_.size() - 1;
        used_ = offset = 0;
    }
    if (block >= (std::size_t{1} << (32 - OffsetBits)))
        throw std::length_error("too many texts for the list");
    char* out = blocks_[block].get() + offset;
    std::size_t written = 0;
    auto length = static_cast<std::uint32_t>(Bytes.size());
    do {
        const auto low = static_cast<unsigned char>(length & 0x7F);
        length >>= 7;
        out[written++] = static_cast<char>(length ? (low | 0x80) : low);
    } while (length);
    if (!Bytes.empty())
        std::memcpy(out + written, Bytes.data(), Bytes.size());
    if (block == current_ && offset == used_)
        used_ += written + Bytes.size();
    return static_cast<std::uint32_t>(block << OffsetBits | offset);
}

std::string_view TByteArena::At(std::uint32_t Reference) const {
    const char* in = blocks_[Reference >> OffsetBits].get() + (Reference & (BlockSize - 1));
    std::uint32_t length = 0;
    unsigned shift = 0;
    unsigned char byte;
    do {
        byte = static_cast<unsigned char>(*in++);
        length |= static_cast<std::uint32_t>(byte & 0x7F) << shift;
        shift += 7;
    } while (byte & 0x80);
    return {in, length};
}

void TByteArena::Clear() {
    blocks_.clear();
    blocks_.shrink_to_fit();
    current_ = 0;
    used_ = blockSize_ = FirstBlockSize;
    capacity_ = 0;
}

// ---- TTextPool -------------------------------------------------------------

TTextPool::TTextPool(bool Interned) : interned_(Interned) {
    Clear();
}

void TTextPool::Clear() {
    texts_.Clear();
    keys_.Clear();
    std::vector<std::uint32_t>().swap(refs_);
    std::vector<std::uint32_t>().swap(slots_);
    std::vector<std::uint32_t>().swap(keyRefs_);
    std::vector<std::uint32_t>().swap(ranks_);
    refs_.push_back(texts_.Store({}));
    if (keyMaker_) {
        keyBuffer_.clear();
        keyMaker_({}, keyBuffer_);
        keyRefs_.push_back(keys_.Store(keyBuffer_));
    }
}

TTextPool::Id TTextPool::Find(std::string_view Text, std::size_t Hash) const {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t slot = Hash & mask;; slot = (slot + 1) & mask) {
        const std::uint32_t entry = slots_[slot];
        if (entry == 0)
            return EmptyId;
        if (this->Text(entry - 1) == Text)
            return entry - 1;
    }
}

void TTextPool::Grow() {
    // Half full at most, so that a lookup rarely looks past its first slot.
    std::vector<std::uint32_t> slots(std::max<std::size_t>(64, slots_.size() * 2));
    const std::size_t mask = slots.size() - 1;
    for (Id id = 1; id < refs_.size(); ++id) {
        std::size_t slot = std::hash<std::string_view>()(Text(id)) & mask;
        while (slots[slot])
            slot = (slot + 1) & mask;
        slots[slot] = id + 1;
    }
    slots_ = std::move(slots);
}

TTextPool::Id TTextPool::Add(std::string_view Text) {
    if (Text.empty())
        return EmptyId;
    std::size_t hash = 0;
    if (interned_) {
        hash = std::hash<std::string_view>()(Text);
        if (!slots_.empty())
            if (const Id found = Find(Text, hash); found != EmptyId)
                return found;
    }
    if (refs_.size() >= UINT32_MAX)
        throw std::length_error("too many texts for the list");
    const auto id = static_cast<Id>(refs_.size());
    refs_.push_back(texts_.Store(Text));
    if (keyMaker_) {
        keyBuffer_.clear();
        keyMaker_(Text, keyBuffer_);
        keyRefs_.push_back(keys_.Store(keyBuffer_));
    }
    if (interned_) {
        if ((refs_.size() + 1) * 2 > slots_.size())
            Grow(); // places the new id too
        else {
            const std::size_t mask = slots_.size() - 1;
            std::size_t slot = hash & mask;
            while (slots_[slot])
                slot = (slot + 1) & mask;
            slots_[slot] = id + 1;
        }
    }
    return id;
}

void TTextPool::SetKeyMaker(TKeyMaker Maker) {
    keyMaker_ = std::move(Maker);
    keys_.Clear();
    std::vector<std::uint32_t>().swap(keyRefs_);
    std::vector<std::uint32_t>().swap(ranks_);
    if (!keyMaker_)
        return;
    keyRefs_.reserve(refs_.size());
    for (Id id = 0; id < refs_.size(); ++id) {
        keyBuffer_.clear();
        keyMaker_(Text(id), keyBuffer_);
        keyRefs_.push_back(keys_.Store(keyBuffer_));
    }
}

std::string_view TTextPool::Key(Id Text) const {
    return keyMaker_ ? keys_.At(keyRefs_[Text]) : this->Text(Text);
}

const std::vector<std::uint32_t>& TTextPool::Ranks() const {
    if (ranks_.size() != refs_.size())
        ranks_ = RankByKeys(refs_.size(), [this](std::uint32_t Text) { return Key(Text); });
    return ranks_;
}

std::size_t TTextPool::MemoryBytes() const {
    return texts_.Capacity() + keys_.Capacity() +
           sizeof(std::uint32_t) *
               (refs_.capacity() + slots_.capacity() + keyRefs_.capacity() + ranks_.capacity());
}

// ---- Sorting by keys -------------------------------------------------------

namespace {
struct TSortItem {
    std::uint64_t Key;
    std::uint32_t Item;
    std::uint32_t More; // the item's key goes on past this chunk
};

// Ranges shorter than this are sorted by insertion: a radix pass costs 256
// counters however few the items are.
constexpr std::ptrdiff_t InsertionLimit = 48;

// Stable sort of [First, Last) by Key: least significant byte first, skipping
// the bytes every item shares. Buffer has room for as many items.
void RadixSort(TSortItem* First, TSortItem* Last, TSortItem* Buffer) {
    const std::ptrdiff_t count = Last - First;
    if (count < InsertionLimit) {
        for (TSortItem* i = First + 1; i < Last; ++i) {
            const TSortItem item = *i;
            TSortItem* j = i;
            for (; j > First && (j - 1)->Key > item.Key; --j)
                *j = *(j - 1);
            *j = item;
        }
        return;
    }
    std::vector<std::uint32_t> counts(8 * 256);
    for (const TSortItem* i = First; i < Last; ++i)
        for (unsigned byte = 0; byte < 8; ++byte)
            ++counts[byte * 256 + ((i->Key >> (8 * byte)) & 0xFF)];
    TSortItem* source = First;
    TSortItem* target = Buffer;
    for (unsigned byte = 0; byte < 8; ++byte) {
        std::uint32_t* bucket = &counts[byte * 256];
        if (bucket[(First->Key >> (8 * byte)) & 0xFF] == static_cast<std::uint32_t>(count))
            continue; // every item has the same byte here
        std::uint32_t sum = 0;
        for (unsigned value = 0; value < 256; ++value)
            sum += std::exchange(bucket[value], sum);
        for (const TSortItem* i = source; i < source + count; ++i)
            target[bucket[(i->Key >> (8 * byte)) & 0xFF]++] = *i;
        std::swap(source, target);
    }
    if (source != First)
        std::copy(source, source + count, First);
}

// Eight bytes of Key from Offset, as a big-endian number padded with zero bytes.
std::uint64_t Chunk(std::string_view Key, std::size_t Offset) {
    unsigned char bytes[8] = {};
    if (Offset < Key.size())
        std::memcpy(bytes, Key.data() + Offset, std::min<std::size_t>(8, Key.size() - Offset));
    std::uint64_t value = 0;
    for (unsigned char byte : bytes)
        value = value << 8 | byte;
    return value;
}

class TKeySorter {
public:
    TKeySorter(const std::function<std::string_view(std::uint32_t)>& KeyOf, std::size_t Count)
        : keyOf_(KeyOf), buffer_(Count), classStart_(Count) {}

    // Sorts [First, Last) by the chunk at Level and deeper where needed; marks
    // the first item of each run of equal keys.
    void Sort(TSortItem* First, TSortItem* Last, std::size_t Level, TSortItem* Base) {
        const std::size_t offset = Level * 8;
        for (TSortItem* i = First; i < Last; ++i) {
            const std::string_view key = keyOf_(i->Item);
            i->Key = Chunk(key, offset);
            i->More = key.size() > offset + 8;
        }
        RadixSort(First, Last, buffer_.data() + (First - Base));
        for (TSortItem* run = First; run < Last;) {
            TSortItem* end = run + 1;
            bool more = run->More;
            for (; end < Last && end->Key == run->Key; ++end)
                more = more || end->More;
            // Keys hold no zero byte, so equal chunks with no key going on are equal keys.
            if (end - run > 1 && more)
                Sort(run, end, Level + 1, Base);
            else
                classStart_[run - Base] = 1;
            run = end;
        }
    }

    const std::vector<std::uint8_t>& ClassStarts() const { return classStart_; }

private:
    const std::function<std::string_view(std::uint32_t)>& keyOf_;
    std::vector<TSortItem> buffer_;
    std::vector<std::uint8_t> classStart_;
};
} // namespace

std::vector<std::uint32_t> RankByKeys(std::size_t Count,
                                      const std::function<std::string_view(std::uint32_t)>& KeyOf) {
    std::vector<std::uint32_t> ranks(Count);
    if (Count == 0)
        return ranks;
    std::vector<TSortItem> items(Count);
    for (std::size_t i = 0; i < Count; ++i)
        items[i].Item = static_cast<std::uint32_t>(i);
    TKeySorter sorter(KeyOf, Count);
    sorter.Sort(items.data(), items.data() + Count, 0, items.data());
    std::uint32_t rank = 0;
    for (std::size_t i = 0; i < Count; ++i) {
        if (i > 0 && sorter.ClassStarts()[i])
            ++rank;
        ranks[items[i].Item] = rank;
    }
    return ranks;
}

std::vector<int> OrderByKeys(std::vector<std::uint64_t> Keys) {
    const std::size_t count = Keys.size();
    std::vector<TSortItem> items(count);
    for (std::size_t i = 0; i < count; ++i)
        items[i] = {Keys[i], static_cast<std::uint32_t>(i), 0};
    std::vector<std::uint64_t>().swap(Keys); // before the buffer: a smaller peak
    std::vector<TSortItem> buffer(count);
    if (count > 0)
        RadixSort(items.data(), items.data() + count, buffer.data());
    std::vector<int> order(count);
    for (std::size_t i = 0; i < count; ++i)
        order[i] = static_cast<int>(items[i].Item);
    return order;
}
