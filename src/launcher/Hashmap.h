#pragma once
// A map from text keys to values with a fixed number of buckets and chained entries. The launcher
// keeps its window registry in a TObjectHashMap of 2053 buckets, keyed by port name.
//
// Keys are UTF-16 texts compared exactly (case-sensitive). Each bucket is a chain in insertion order;
// a key occurs at most once. The map owns its entries and their key copies, never the values of a
// THashMap. Storing none (nullptr) under a key removes the key.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mirota {

// Hash of a key: a function from the key's UTF-16 code units to an unsigned 32-bit value.
using THashFunction = std::uint32_t (*)(std::u16string_view key);

// The map's default hash. For short keys this is Adler-32 over the 16-bit code units ("" -> 1,
// "abc" -> 0x024D0127); each sum is reduced at most once per code unit, so long runs of code units near
// U+FFFF give values that differ from Adler-32.
std::uint32_t DefaultHashFunction(std::u16string_view key);

// One entry of a bucket's chain.
struct TBucket {
    void* Data = nullptr;
    std::u16string Key;
    TBucket* Next = nullptr;
};

class THashMap {
public:
    explicit THashMap(int ABuckets);
    // AHashFunction may be nullptr: the map then uses DefaultHashFunction. A negative bucket count
    // gives a map of 0 buckets.
    THashMap(THashFunction AHashFunction, int ABuckets);
    virtual ~THashMap();

    THashMap(const THashMap&) = delete;
    THashMap& operator=(const THashMap&) = delete;

    // The value stored under key, or nullptr.
    virtual void* GetValue(std::u16string_view key) const;
    // Stores value under key, replacing an earlier value; nullptr removes the key. A map of 0 buckets
    // has no place for entries and ignores the store.
    virtual void SetValue(std::u16string_view key, void* value);
    // Destroys every entry; the bucket count stays.
    virtual void Clear();
    virtual bool Exists(std::u16string_view key) const;
    // SetValue(key, nullptr). Never destroys the value.
    virtual void Remove(std::u16string_view key);

    THashFunction HashFunction() const { return FHashFunction; }
    std::size_t BucketCount() const { return FBuckets.size(); }
    // Index of the bucket that holds key (hash modulo the bucket count); 0 for a map of 0 buckets.
    std::size_t BucketIndex(std::u16string_view key) const;
    // Number of entries, all buckets together.
    std::size_t Count() const { return FCount; }

    // Calls f(key, value) for every entry, bucket by bucket, each chain in insertion order. f must not
    // change the map.
    template <typename F> void ForEach(F&& f) const {
        for (const TBucket* head : FBuckets)
            for (const TBucket* e = head; e; e = e->Next)
                f(std::u16string_view(e->Key), e->Data);
    }

private:
    std::vector<TBucket*> FBuckets; // chain heads
    THashFunction FHashFunction;
    std::size_t FCount = 0;
};

// Base of the objects a TObjectHashMap holds; the map destroys them through this.
class TObject {
public:
    virtual ~TObject() = default;
};

// A THashMap whose values are objects. It destroys a value only when SetObject replaces it by a
// different object, and in Clear (also at destruction) when OwnsObjects is true. Remove never destroys.
// <windows.h> turns GetObject into GetObjectW (or GetObjectA); the map's own GetObject is declared
// under its name and answers under the other names too, whichever order the headers come in.
#if defined(_WIN32)
#pragma push_macro("GetObject")
#undef GetObject
#endif
class TObjectHashMap : public THashMap {
public:
    using THashMap::THashMap;
    ~TObjectHashMap() override;

    TObject* GetObject(std::u16string_view key) const;
#if defined(_WIN32)
    TObject* GetObjectW(std::u16string_view key) const {
        return GetObject(key);
    }
    TObject* GetObjectA(std::u16string_view key) const {
        return GetObject(key);
    }
#endif
    void SetObject(std::u16string_view key, TObject* object);
    void Clear() override;

    bool OwnsObjects() const {
        return FOwnsObjects;
    }
    void SetOwnsObjects(bool owns) {
        FOwnsObjects = owns;
    }

private:
    bool FOwnsObjects = false;
};
#if defined(_WIN32)
#pragma pop_macro("GetObject")
#endif

} // namespace mirota
