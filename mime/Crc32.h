#pragma once

#include <cstddef>
#include <cstdint>

namespace nimbra {

// CRC-32 of the IEEE polynomial (reflected 0xEDB88320, initial and final value all ones),
// the checksum yEnc carries in its "=yend" lines. Carry-less multiplication folds the bulk of
// the data when the processor has it; a sliced table does the rest and stands in otherwise.
class Crc32 {
public:
    enum class Path { Auto, Table, Folding };

    // The checksum of data following a run whose checksum was crc (0 for a fresh start), so
    // update(update(0, a), b) == update(0, a + b).
    static std::uint32_t update(std::uint32_t crc, const void* data, std::size_t length);

    // Chooses the path for later calls (for tests and the benchmark); a path the processor
    // cannot run falls back to the table. Not thread-safe against concurrent update().
    static void choose(Path path);
    static Path chosen();
    static bool foldingAvailable();
};

} // namespace nimbra
