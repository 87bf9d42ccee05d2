// CTavmArray<T>: an array kept in a doubly linked chain of fixed-capacity blocks,
// with a cursor on the block used last. Every list that crosses between the
// rendering library and the studio (sprites, sizes, tracks, polygon points) is one.
//
// Sequential reads cost one step per block thanks to the cursor, which also means
// that a read moves the cursor: one array must not be read from two threads at once.
// Element values are never destroyed by the array; owners of heap pointers free them.
#pragma once

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>

template <class T>
struct CTavmArrayBlock {
    CTavmArrayBlock* pPrev;
    T* pData;        // capacity × sizeof(T) bytes, allocated on its own
    uint16_t nUsed;  // the leading nUsed slots hold elements
    CTavmArrayBlock* pNext;
};

template <class T>
class CTavmArray {
    static_assert(std::is_trivially_copyable<T>::value, "elements are moved as raw bytes");

public:
    typedef CTavmArrayBlock<T> Block;

    explicit CTavmArray(uint16_t nBlockSize)
        : m_nCurBase(-1), m_nCount(0), m_nBlockSize(nBlockSize), m_nSpare(0), m_nWastePercent(10),
          m_pCurBlock(nullptr), m_pFirstBlock(nullptr), m_pLastBlock(nullptr)
    {
    }

    virtual ~CTavmArray() { FreeChain(); }

    CTavmArray(const CTavmArray&) = delete;
    CTavmArray& operator=(const CTavmArray&) = delete;

    // True when the chain holds at least a whole block of spare slots and those
    // beyond one block exceed the waste percentage of the element count.
    virtual bool IsWasteful() const
    {
        return m_nSpare >= m_nBlockSize &&
               int64_t(m_nWastePercent) * m_nCount < (int64_t(m_nSpare) - m_nBlockSize) * 100;
    }

    // Frees every block and its storage; the header is left as it was, so only
    // RemoveAll and the destructor call it.
    virtual void FreeBlocks() { FreeChain(); }

    int Add(const T& value)
    {
        if (m_nBlockSize == 0 || m_nCount == INT32_MAX)
            return -1;
        if (!m_pFirstBlock) {
            Block* b = NewBlock();
            if (!b)
                return -1;
            b->pData[0] = value;
            b->nUsed = 1;
            m_nCount = 1;
            m_pFirstBlock = m_pLastBlock = m_pCurBlock = b;
            m_nCurBase = 0;
            m_nSpare = m_nBlockSize - 1u;
            return 0;
        }
        if (m_pLastBlock->nUsed == m_nBlockSize) {
            Block* b = NewBlock();
            if (!b)
                return -1;
            b->pPrev = m_pLastBlock;
            m_pLastBlock->pNext = b;
            m_pLastBlock = b;
            m_nSpare += m_nBlockSize;
        }
        m_pLastBlock->pData[m_pLastBlock->nUsed++] = value;
        ++m_nCount;
        --m_nSpare;
        m_pCurBlock = m_pLastBlock;
        m_nCurBase = m_nCount - m_pLastBlock->nUsed;
        return m_nCount - 1;
    }

    // No bounds check: callers guarantee i < GetSize().
    T GetAt(uint32_t i) { return ElementAt(i); }

    T& ElementAt(uint32_t i)
    {
        assert(i < uint32_t(m_nCount));
        int32_t base = 0;
        Block* b = Locate(i, base);
        return b->pData[i - uint32_t(base)];
    }

    int SetAt(uint32_t i, const T& value)
    {
        if (i >= uint32_t(m_nCount))
            return 0;
        ElementAt(i) = value;
        return 1;
    }

    int InsertAt(uint32_t i, const T& value)
    {
        if (i > uint32_t(m_nCount))
            return -1;
        if (i == uint32_t(m_nCount))
            return Add(value);
        if (m_nCount == INT32_MAX)
            return -1;
        int32_t base = 0;
        Block* b = Locate(i, base);
        const uint32_t slot = i - uint32_t(base);
        if (b->nUsed == m_nBlockSize) {
            // Split: the elements from the slot onwards move to a new block after b.
            Block* n = NewBlock();
            if (!n)
                return -1;
            const uint32_t moved = b->nUsed - slot;
            std::memcpy(static_cast<void*>(n->pData), b->pData + slot, moved * sizeof(T));
            n->nUsed = static_cast<uint16_t>(moved);
            b->pData[slot] = value;
            b->nUsed = static_cast<uint16_t>(slot + 1);
            n->pPrev = b;
            n->pNext = b->pNext;
            if (b->pNext)
                b->pNext->pPrev = n;
            else
                m_pLastBlock = n;
            b->pNext = n;
            m_nSpare += m_nBlockSize - 1u;
        } else {
            std::memmove(static_cast<void*>(b->pData + slot + 1), b->pData + slot, (b->nUsed - slot) * sizeof(T));
            b->pData[slot] = value;
            ++b->nUsed;
            --m_nSpare;
        }
        ++m_nCount;
        if (IsWasteful())
            Compact();
        return int(i);
    }

    int RemoveAt(uint32_t i)
    {
        if (i >= uint32_t(m_nCount))
            return 0;
        int32_t base = 0;
        Block* b = Locate(i, base);
        --m_nCount;
        if (b->nUsed == 1) {
            Unlink(b);
            // Locate left the cursor on b, which is gone.
            m_pCurBlock = m_pFirstBlock;
            m_nCurBase = m_pFirstBlock ? 0 : -1;
            FreeBlock(b);
            m_nSpare -= m_nBlockSize - 1u;
            return 1;
        }
        const uint32_t slot = i - uint32_t(base);
        std::memmove(static_cast<void*>(b->pData + slot), b->pData + slot + 1, (b->nUsed - slot - 1) * sizeof(T));
        --b->nUsed;
        ++m_nSpare;
        if (IsWasteful())
            Compact();
        return 1;
    }

    int GetSize() const { return m_nCount; }

    void RemoveAll()
    {
        if (!m_pFirstBlock)
            return;
        FreeBlocks();
        m_pFirstBlock = m_pLastBlock = m_pCurBlock = nullptr;
        m_nCurBase = -1;
        m_nCount = 0;
        m_nSpare = 0;
    }

    // Moves elements towards the front until every block but the last is full,
    // freeing the blocks that empty on the way. Element order is kept.
    void Compact()
    {
        for (Block* b = m_pFirstBlock; b; b = b->pNext) {
            while (b->nUsed < m_nBlockSize && b->pNext) {
                Block* donor = b->pNext;
                const uint32_t take = std::min<uint32_t>(m_nBlockSize - b->nUsed, donor->nUsed);
                std::memcpy(static_cast<void*>(b->pData + b->nUsed), donor->pData, take * sizeof(T));
                b->nUsed = static_cast<uint16_t>(b->nUsed + take);
                if (take == donor->nUsed) {
                    Unlink(donor);
                    FreeBlock(donor);
                } else {
                    std::memmove(static_cast<void*>(donor->pData), donor->pData + take,
                                 (donor->nUsed - take) * sizeof(T));
                    donor->nUsed = static_cast<uint16_t>(donor->nUsed - take);
                }
            }
        }
        m_pCurBlock = m_pFirstBlock;
        m_nCurBase = m_pFirstBlock ? 0 : -1;
        m_nSpare = m_pLastBlock ? m_nBlockSize - uint32_t(m_pLastBlock->nUsed) : 0;
    }

    // Read-only views of the chain, for owners that check their lists.
    uint16_t GetBlockSize() const { return m_nBlockSize; }
    uint32_t GetSpare() const { return m_nSpare; }
    int32_t GetCursorBase() const { return m_nCurBase; }
    const Block* GetCursorBlock() const { return m_pCurBlock; }
    const Block* GetFirstBlock() const { return m_pFirstBlock; }
    const Block* GetLastBlock() const { return m_pLastBlock; }

protected:
    int32_t m_nCurBase;          // index of the first element of the cursor block; -1 when empty
    int32_t m_nCount;            // number of elements
    uint16_t m_nBlockSize;       // elements per block; 0 makes every insertion fail
    uint32_t m_nSpare;           // slots in all blocks minus the count
    uint8_t m_nWastePercent;     // threshold of IsWasteful
    Block* m_pCurBlock;          // holds element m_nCurBase
    Block* m_pFirstBlock;
    Block* m_pLastBlock;

private:
    Block* NewBlock()
    {
        Block* b = new (std::nothrow) Block{nullptr, nullptr, 0, nullptr};
        if (!b)
            return nullptr;
        b->pData = static_cast<T*>(::operator new(size_t(m_nBlockSize) * sizeof(T), std::nothrow));
        if (!b->pData) {
            delete b;
            return nullptr;
        }
        return b;
    }

    static void FreeBlock(Block* b)
    {
        ::operator delete(static_cast<void*>(b->pData));
        delete b;
    }

    void FreeChain()
    {
        Block* b = m_pFirstBlock;
        while (b) {
            Block* next = b->pNext;
            FreeBlock(b);
            b = next;
        }
    }

    void Unlink(Block* b)
    {
        if (b->pPrev)
            b->pPrev->pNext = b->pNext;
        else
            m_pFirstBlock = b->pNext;
        if (b->pNext)
            b->pNext->pPrev = b->pPrev;
        else
            m_pLastBlock = b->pPrev;
    }

    // Finds the block holding element i (< count), moves the cursor there and
    // returns it with the index of its first element in `base`.
    Block* Locate(uint32_t i, int32_t& base)
    {
        Block* b = m_pCurBlock;
        int64_t cb = m_nCurBase;
        if (!b) {
            b = m_pFirstBlock;
            cb = 0;
        }
        const int64_t idx = i;
        if (idx < cb) {
            if (2 * idx < cb) {
                b = m_pFirstBlock;
                cb = 0;
                while (idx >= cb + b->nUsed) {
                    cb += b->nUsed;
                    b = b->pNext;
                }
            } else {
                while (cb > idx) {
                    b = b->pPrev;
                    cb -= b->nUsed;
                }
            }
        } else if (idx >= cb + b->nUsed) {
            const int64_t lastBase = int64_t(m_nCount) - m_pLastBlock->nUsed;
            if (idx - (cb + b->nUsed) <= lastBase - idx) {
                do {
                    cb += b->nUsed;
                    b = b->pNext;
                } while (idx >= cb + b->nUsed);
            } else {
                b = m_pLastBlock;
                cb = lastBase;
                while (cb > idx) {
                    b = b->pPrev;
                    cb -= b->nUsed;
                }
            }
        }
        m_pCurBlock = b;
        m_nCurBase = static_cast<int32_t>(cb);
        base = m_nCurBase;
        return b;
    }
};

// Reads an array front to back along its block chain without moving its cursor, so
// that threads which only read may share one array (GetAt moves the cursor).
template <class T>
class CTavmArrayReader {
public:
    explicit CTavmArrayReader(const CTavmArray<T>* array) : block_(array ? array->GetFirstBlock() : nullptr) {}

    // The next element into value; false at the end.
    bool Next(T& value)
    {
        while (block_ && index_ >= block_->nUsed) {
            block_ = block_->pNext;
            index_ = 0;
        }
        if (!block_)
            return false;
        value = block_->pData[index_++];
        return true;
    }

private:
    const CTavmArrayBlock<T>* block_;
    uint32_t index_ = 0;
};
