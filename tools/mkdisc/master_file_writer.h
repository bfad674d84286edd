// Builds a packed master file in memory (layout in game/files/master_file_format.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class MasterFileWriter {
public:
    // Starts a new label: the sub-files added from now on belong to it.
    void beginLabel();
    // Appends a sub-file; returns its index.
    int add(const std::vector<uint8_t>& bytes);
    int add(const void* data, size_t size);
    int subFileCount() const { return static_cast<int>(subFiles_.size()); }
    std::vector<uint8_t> build() const;

private:
    std::vector<std::vector<uint8_t>> subFiles_;
    std::vector<uint32_t> labelFirst_;
};
