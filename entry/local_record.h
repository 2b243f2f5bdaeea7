// The local record: the block record a set-up call builds when the host passed none, so that
// the block can be asked for its sizes outside a simulation.
#pragma once

#include <cstdint>

#include "host/block_record.h"
#include "host/vq.h"

namespace quenvarith::entry {

// A zero-filled record in host memory for a sizes-only call, its error holder itself, named
// after the module, with right-hand arguments 5 onward as its dialog parameters and the local
// port-count operations. It has no methods and no other host operations.
DxpBlockRecord* createLocalRecord(int nrhs, const VqArray* prhs[]);

// The local record's port-count operations; `context` is the record. A negative count fails
// (returns 0) and changes nothing; otherwise the count is stored, the ports allocated and 1
// returned.
int32_t localSetNumInputPorts(void* context, int32_t count);
int32_t localSetNumOutputPorts(void* context, int32_t count);

}  // namespace quenvarith::entry
