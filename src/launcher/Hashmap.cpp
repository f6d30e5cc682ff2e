#include "launcher/Hashmap.h"

#include <algorithm>

namespace mirota {

std::uint32_t DefaultHashFunction(std::u16string_view key) {
    // Signed 32-bit sums as in the original definition; unsigned arithmetic gives the same bits without
    // overflow being undefined, and the comparisons read the bits as signed.
    std::uint32_t a = 1;
    std::uint32_t b = 0;
    for (char16_t u : key) {
        a += u;
        b += a;
        if (static_cast<std::int32_t>(a) > 65521) a -= 65521;
        if (static_cast<std::int32_t>(b) > 65521) b -= 65521;
    }
    return (b << 16) | a;
}

THashMap::THashMap(int ABuckets) : THashMap(nullptr, ABuckets) {}

THashMap::THashMap(THashFunction AHashFunction, int ABuckets)
    : FBuckets(ABuckets > 0 ? static_cast<std::size_t>(ABuckets) : 0, nullptr),
      FHashFunction(AHashFunction ? AHashFunction : &DefaultHashFunction) {}

THashMap::~THashMap() {
    // A derived map has already run its own Clear in its destructor.
    THashMap::Clear();
}

std::size_t THashMap::BucketIndex(std::u16string_view key) const {
    if (FBuckets.empty()) return 0;
    return FHashFunction(key) % static_cast<std::uint32_t>(FBuckets.size());
}

void* THashMap::GetValue(std::u16string_view key) const {
    if (FBuckets.empty()) return nullptr;
    for (const TBucket* e = FBuckets[BucketIndex(key)]; e; e = e->Next)
        if (e->Key == key) return e->Data;
    return nullptr;
}

void THashMap::SetValue(std::u16string_view key, void* value) {
    if (FBuckets.empty()) return;
    TBucket** link = &FBuckets[BucketIndex(key)];
    while (*link && (*link)->Key != key)
        link = &(*link)->Next;
    TBucket* found = *link;
    if (found) {
        if (value) {
            found->Data = value;
        } else {
            *link = found->Next;
            delete found;
            --FCount;
        }
    } else if (value) {
        *link = new TBucket{value, std::u16string(key), nullptr};
        ++FCount;
    }
}

void THashMap::Clear() {
    for (TBucket*& head : FBuckets) {
        TBucket* e = head;
        head = nullptr;
        while (e) {
            TBucket* next = e->Next;
            delete e;
            e = next;
        }
    }
    FCount = 0;
}

bool THashMap::Exists(std::u16string_view key) const {
    return GetValue(key) != nullptr;
}

void THashMap::Remove(std::u16string_view key) {
    SetValue(key, nullptr);
}

TObjectHashMap::~TObjectHashMap() {
    Clear();
}

TObject* TObjectHashMap::GetObject(std::u16string_view key) const {
    return static_cast<TObject*>(GetValue(key));
}

void TObjectHashMap::SetObject(std::u16string_view key, TObject* object) {
    TObject* old = GetObject(key);
    if (old && old != object) delete old;
    SetValue(key, object);
}

void TObjectHashMap::Clear() {
    if (FOwnsObjects) {
        // Collect first: a value's destructor must not see a half-cleared map.
        std::vector<TObject*> values;
        ForEach([&](std::u16string_view, void* data) { values.push_back(static_cast<TObject*>(data)); });
        THashMap::Clear();
        // An object stored under several keys is destroyed once.
        std::sort(values.begin(), values.end());
        values.erase(std::unique(values.begin(), values.end()), values.end());
        for (TObject* o : values)
            delete o;
        return;
    }
    THashMap::Clear();
}

} // namespace mirota
