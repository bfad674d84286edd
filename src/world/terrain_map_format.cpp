#include "world/terrain_map_format.h"

#include <cstring>
#include <string>
#include <unordered_map>

#include "engine/sys/files.h"
#include "engine/sys/loaded_files.h"

namespace terrainmap {

namespace {

uint32_t RowOffset(const uint8_t* map, uint32_t entry) {
    uint32_t v;
    std::memcpy(&v, map + 4u * entry, 4);
    return v;
}

}  // namespace

float TileScale(int numTiles) {
    if (numTiles == 4) return 2.0f;
    if (numTiles == 9) return 1.33333f;
    return 1.0f;
}

FormatCheck CheckMap(const void* map, size_t length) {
    if (!map || length < kRowTableBytes + 2)
        return x_RefuseInFile(
            map, "terrain map: missing or %zu bytes, shorter than its row table and one run", length);
    const auto* bytes = static_cast<const uint8_t*>(map);
    const size_t runBytes = length - kRowTableBytes;
    const uint8_t* runs = bytes + kRowTableBytes;
    // Rows share run lists (identical rows are written once): a list already walked whole is not walked
    // again. Kept by the offset's low bits; a slot starts with a value of other low bits (empty).
    uint32_t walked[64];
    for (uint32_t i = 0; i < 64; ++i) walked[i] = i ^ 1u;
    for (uint32_t entry = 0; entry < kRows; ++entry) {
        const uint32_t at = RowOffset(bytes, entry);
        if (walked[at & 63] == at) continue;
        const uint32_t cell = entry / kCellPositions, row = entry % kCellPositions;
        if (at > runBytes - 2)
            return x_RefuseInFile(map,
                                  "terrain map: cell %u row %u starts at %u, past the %zu bytes of run data",
                                  cell, row, at, runBytes);
        uint32_t total = runs[at];
        size_t p = at;
        while (total < kCellPositions - 1) {
            p += 2;
            if (p + 2 > runBytes)
                return x_RefuseInFile(map, "terrain map: cell %u row %u ends at column %u, short of 111",
                                      cell, row, total);
            total += runs[p];
        }
        walked[at & 63] = at;
    }
    return FormatCheck::Pass();
}

uint8_t CodeAt(const void* map, uint32_t x, uint32_t z) {
    const auto* bytes = static_cast<const uint8_t*>(map);
    const uint32_t cell = x / kCellPositions + kCellsAcross * (z / kCellPositions);
    const uint32_t c = x % kCellPositions;
    const uint8_t* p = bytes + kRowTableBytes + RowOffset(bytes, cell * kCellPositions + z % kCellPositions);
    uint32_t total = p[0];
    while (total < c) {
        p += 2;
        total += p[0];
    }
    return p[1];
}

std::vector<uint8_t> WriteMap(const std::vector<uint8_t>& codes) {
    if (codes.size() != size_t(kSide) * kSide) return {};
    std::vector<uint8_t> out(kRowTableBytes, 0);
    std::unordered_map<std::string, uint32_t> shared;
    std::string row;
    for (uint32_t entry = 0; entry < kRows; ++entry) {
        const uint32_t cell = entry / kCellPositions;
        const uint32_t z = (cell / kCellsAcross) * kCellPositions + entry % kCellPositions;
        const uint8_t* line = codes.data() + size_t(z) * kSide + (cell % kCellsAcross) * kCellPositions;
        row.clear();
        for (uint32_t c = 0; c < kCellPositions;) {
            uint32_t e = c + 1;
            while (e < kCellPositions && line[e] == line[c]) ++e;
            // The first pair also covers column 0.
            row.push_back(static_cast<char>(c == 0 ? e - 1 : e - c));
            row.push_back(static_cast<char>(line[c]));
            c = e;
        }
        auto [it, added] = shared.try_emplace(row, static_cast<uint32_t>(out.size() - kRowTableBytes));
        if (added) out.insert(out.end(), row.begin(), row.end());
        std::memcpy(out.data() + 4u * entry, &it->second, 4);
    }
    return out;
}

}  // namespace terrainmap
