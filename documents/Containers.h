#pragma once
// The program's own containers: a range-checked growable array with hooks for new and
// dropped elements, its owning kind for pointers, the integer array, a holder that
// creates its object on first use, and an intrusive ring of nodes.

#include "platform/Exception.h"
#include "platform/SysUtils.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <utility>

[[noreturn]] inline void RaiseIndexError(int index)
{
    throw Exception("Выход индекса за пределы диапазона (" + IntToStr(index) + ")");
}

[[noreturn]] inline void RaiseCountError(int count)
{
    throw Exception("Задано неверное число элементов (" + IntToStr(count) + ")");
}

// A growable array in one contiguous block. Its capacity is the count rounded up to a
// multiple of the step N, so an array that grows one element at a time reallocates only
// on every N-th element; an empty array holds no storage. New elements start
// value-initialised (zero for numbers and pointers), then pass through InitItems;
// dropped elements pass through FreeItems first. Every error leaves the array as it was.
template <typename T, int N>
class TArray {
    static_assert(N >= 1, "the capacity step is at least 1");

public:
    TArray() = default;
    // An array holding a copy of count elements from data.
    TArray(const T* data, int count)
    {
        SetCount(count);
        std::copy(data, data + count, FItems.get());
    }
    virtual ~TArray() = default;

    TArray(const TArray&) = delete;
    TArray& operator=(const TArray&) = delete;

    int Count() const { return FCount; }
    int Capacity() const { return FCapacity; }
    // The first element of the block; null while the array is empty.
    T* ItemsPtr() { return FItems.get(); }
    const T* ItemsPtr() const { return FItems.get(); }

    void SetCount(int count);

    void CheckIndex(int index) const
    {
        if (index < 0 || index >= FCount)
            RaiseIndexError(index);
    }
    T& At(int index)
    {
        CheckIndex(index);
        return FItems[index];
    }
    const T& At(int index) const
    {
        CheckIndex(index);
        return FItems[index];
    }
    void Set(int index, T value)
    {
        CheckIndex(index);
        FItems[index] = std::move(value);
    }

    // Appends the value; returns its index.
    int Add(T value)
    {
        SetCount(FCount + 1);
        FItems[FCount - 1] = std::move(value);
        return FCount - 1;
    }
    // Inserts the value at index (0 to Count), moving the later elements up.
    void Insert(int index, T value)
    {
        if (index < 0 || index > FCount)
            RaiseIndexError(index);
        SetCount(FCount + 1);
        std::rotate(FItems.get() + index, FItems.get() + FCount - 1, FItems.get() + FCount);
        FItems[index] = std::move(value);
    }
    // Removes the element at index, moving the later ones down. The element is dropped
    // as by shrinking: through FreeItems, so an owning array deletes it.
    void Delete(int index)
    {
        CheckIndex(index);
        T* first = FItems.get();
        std::rotate(first + index, first + index + 1, first + FCount);
        try {
            SetCount(FCount - 1);
        } catch (...) {
            std::rotate(first + index, first + FCount - 1, first + FCount);
            throw;
        }
    }

protected:
    // Prepares the elements from `from` to Count - 1 after the array has grown.
    virtual void InitItems(int /*from*/) {}
    // Releases the elements from `from` to Count - 1 before they are dropped.
    virtual void FreeItems(int /*from*/) {}

private:
    std::unique_ptr<T[]> FItems;
    int FCount = 0;
    int FCapacity = 0;

    // The count rounded up to the step; -1 when that does not fit an int.
    static int CapacityFor(int count)
    {
        const int64_t rounded = (static_cast<int64_t>(count) + N - 1) / N * N;
        return rounded > INT_MAX ? -1 : static_cast<int>(rounded);
    }
};

template <typename T, int N>
void TArray<T, N>::SetCount(int count)
{
    const int capacity = count < 0 ? -1 : CapacityFor(count);
    if (capacity < 0)
        RaiseCountError(count);
    if (count == FCount)
        return;

    // The new block is allocated before anything changes, so a failure leaves the array intact.
    std::unique_ptr<T[]> storage;
    const bool reallocate = capacity != FCapacity;
    if (reallocate && capacity > 0)
        storage.reset(new T[capacity]());

    const int oldCount = FCount;
    if (oldCount > count)
        FreeItems(count);
    if (reallocate) {
        std::move(FItems.get(), FItems.get() + std::min(oldCount, count), storage.get());
        FItems = std::move(storage);
        FCapacity = capacity;
    }
    FCount = count;
    if (oldCount < count) {
        // Slots kept from an earlier, longer count still hold their old values.
        std::fill(FItems.get() + oldCount, FItems.get() + count, T());
        InitItems(oldCount);
    }
}

// An array of pointers that owns its items: dropped items are deleted (through their
// virtual destructors), new slots are null, and destroying the array deletes what it
// still holds. Its storage always has the exact capacity; N takes no part in it.
template <typename T, int N = 1>
class TPtrArray : public TArray<T, 1> {
    static_assert(std::is_pointer_v<T>, "TPtrArray holds pointers");

public:
    TPtrArray() = default;
    ~TPtrArray() override { this->SetCount(0); }

protected:
    void InitItems(int from) override
    {
        for (int i = from; i < this->Count(); ++i)
            this->ItemsPtr()[i] = nullptr;
    }
    void FreeItems(int from) override
    {
        for (int i = from; i < this->Count(); ++i)
            delete std::exchange(this->ItemsPtr()[i], nullptr);
    }
};

// The step-1 array of int32: column maps, widths, offsets and the like.
class TIntArray : public TArray<int32_t, 1> {
public:
    using TArray::TArray;
    TIntArray() = default;
    // A copy of the other array; empty when there is none.
    explicit TIntArray(const TIntArray* other)
    {
        if (other) {
            SetCount(other->Count());
            std::copy(other->ItemsPtr(), other->ItemsPtr() + other->Count(), ItemsPtr());
        }
    }
};

// Holds one object, created by the holder's own Create on the first Get and deleted on
// Reset. When Create fails the holder stays empty, and the next Get tries again.
template <typename T>
class TSmartPtr {
public:
    TSmartPtr() = default;
    virtual ~TSmartPtr() { Reset(); }

    TSmartPtr(const TSmartPtr&) = delete;
    TSmartPtr& operator=(const TSmartPtr&) = delete;

    T* Get()
    {
        if (!p)
            p = Create();
        return p;
    }
    void Reset() { delete std::exchange(p, nullptr); }

protected:
    virtual T* Create() = 0;

private:
    T* p = nullptr;
};

// A node of a circular doubly linked list. The head is a node built around its owner's
// value; every other node links itself in before the head, that is at the tail, so a
// walk from the head's Next back to the head meets the nodes in the order they were
// linked. A node unlinks itself when it is destroyed. The values are not owned.
template <typename T>
class TChainLink {
public:
    explicit TChainLink(T* value) : FValue(value) {}
    TChainLink(TChainLink* head, T* value) : FValue(value) { Link(head); }
    ~TChainLink() { Unlink(); }

    TChainLink(const TChainLink&) = delete;
    TChainLink& operator=(const TChainLink&) = delete;

    TChainLink* Next() const { return FNext; }
    TChainLink* Prev() const { return FPrev; }
    T* Value() const { return FValue; }

    // Moves the node to the tail of the head's ring (out of any ring it was in).
    void Link(TChainLink* head)
    {
        if (head == this)
            return;
        Unlink();
        FPrev = head->FPrev;
        FNext = head;
        head->FPrev->FNext = this;
        head->FPrev = this;
    }

private:
    TChainLink* FNext = this;
    TChainLink* FPrev = this;
    T* FValue;

    void Unlink()
    {
        FNext->FPrev = FPrev;
        FPrev->FNext = FNext;
        FNext = FPrev = this;
    }
};
