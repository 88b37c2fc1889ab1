// The table of distinct pieces that PackInputs looks repeats up in: open
// addressing with linear probing over a fixed number of entries.
#include "mkpayload.h"

#include <libdeflate.h>

namespace mkpayload {

// Two checksums that libdeflate computes at memory speed; together with the
// size they rarely agree for different pieces, and PackInputs compares the
// bytes whenever they do.
std::uint64_t PieceHash(const unsigned char* data, std::size_t size) {
  std::uint64_t crc = libdeflate_crc32(0, data, size);
  return crc << 32 | libdeflate_adler32(1, data, size);
}

void InitRepeatTable(RepeatTable* table) {
  table->entries.assign(kRepeatTableSize, RepeatEntry{});
  table->used = 0;
}

long FindRepeat(const RepeatTable& table, std::uint64_t hash, std::size_t size) {
  const std::size_t mask = table.entries.size() - 1;
  for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
    const RepeatEntry& entry = table.entries[at];
    if (entry.size == 0) return -1;
    if (entry.hash == hash && entry.size == size) return static_cast<long>(at);
  }
}

long AddRepeat(RepeatTable* table, std::uint64_t hash, std::size_t size, std::uint64_t piece) {
  // A quarter stays free, so that every probe ends at a free entry soon.
  if (table->used >= kRepeatTableFill) return -1;
  const std::size_t mask = table->entries.size() - 1;
  std::size_t at = hash & mask;
  while (table->entries[at].size != 0) at = (at + 1) & mask;
  RepeatEntry& entry = table->entries[at];
  entry.hash = hash;
  entry.piece = piece;
  entry.size = static_cast<std::uint32_t>(size);
  entry.written = false;
  ++table->used;
  return static_cast<long>(at);
}

}  // namespace mkpayload
