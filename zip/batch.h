#pragma once
// The batch add: entries deflated on several threads at once and written in order, so that
// the archive is the one single adds in the same order would write.

#include "zipassembler.h"

namespace zip {

class ZipAssembler;

ZipAssemblerResult addBatch(ZipAssembler &writer, ZipAssemblerEntry *entries, uint32_t count,
                            ZipAssemblerProgress progress, void *context);

} // namespace zip
