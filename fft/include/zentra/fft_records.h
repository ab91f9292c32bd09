// What the single- and double-precision transform records share: both own the
// same set of aligned tables, released in one way.
#pragma once

#include <zentra/primitive_runtime.h>

namespace zentra {

// Frees every table a record owns, then the record; a null record does nothing.
template <typename Record>
void ReleaseFftRecord(Record* record) {
  if (record == nullptr) return;
  void* owned[] = {record->bitReverseTable,    record->radixTwiddles,   record->blockTwiddles,
                   record->outerBlockTwiddles, record->spareTable1,     record->spareTable2,
                   record->levelTwiddles[0],   record->levelTwiddles[1], record->levelTwiddles[2],
                   record->levelCombineTwiddles[0], record->levelCombineTwiddles[1],
                   record->levelCombineTwiddles[2]};
  for (void* table : owned) FreeAligned(table);
  record->contextId = 0;
  FreeAligned(record);
}

}  // namespace zentra
