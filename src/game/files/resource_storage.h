// Process-wide stores of loaded resources, one per kind; a resource's id is its index. Lookups outside
// the store give null, so a bad id from a file or a caller never reads past the table. The store owns
// only its table: the race's teardown disposes of the objects.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/sys/files.h"

template <typename T>
class CResourceStorage {
public:
    // One instance per kind, made on first use so that it exists whatever the order of static
    // construction (the engine heap sets itself up on first use too).
    static CResourceStorage<T>& instance();

    explicit CResourceStorage(uint32_t reserved = 0) : reservedSize(reserved) { data.reserve(reserved); }
    ~CResourceStorage() = default;
    CResourceStorage(const CResourceStorage&) = delete;
    CResourceStorage& operator=(const CResourceStorage&) = delete;

    T* get(int id) const {
        if (id < 0 || static_cast<size_t>(id) >= data.size()) return nullptr;
        return data[static_cast<size_t>(id)];
    }
    // Returns the new object's id.
    int add(T* object) {
        data.push_back(object);
        return static_cast<int>(data.size()) - 1;
    }
    int count() const { return static_cast<int>(data.size()); }
    // Deletes every stored object (null entries skipped) and empties the store: the race teardown.
    void deleteAll() {
        for (T* p : data) delete p;
        data.clear();
    }

    std::vector<T*> data;
    uint32_t reservedSize;
};

// The reserved capacity of each kind's store, given next to the kind (a specialization with `value`).
// There is no default: a file that used a store without seeing its kind's capacity would make the store
// with another capacity than the rest of the program, and which of the two the program ends up with
// would depend on how it is linked.
template <typename T>
struct CResourceStorageSize;

template <typename T>
CResourceStorage<T>& CResourceStorage<T>::instance() {
    static CResourceStorage<T>* store = new CResourceStorage<T>(CResourceStorageSize<T>::value);
    return *store;
}
