// The set-up call: argument checks, finding or building the block record, the name check,
// installing the method table, and the sizes vector.
#pragma once

#include <span>

#include "host/block_record.h"
#include "host/vq.h"

namespace quenvarith::entry {

// Checks the arguments, runs the sizes method on the host's record or on a local one, and
// stores the sizes vector in left-hand slot 1. Raises through dxpErrMsgTxt (and does not
// return) when an argument check or the name check fails.
void processSetupCall(int nlhs, VqArray* plhs[], int nrhs, const VqArray* prhs[]);

// The host's record when `argument` is a record reference (two rows, readable data, the marker
// as second element, a nonzero address), else null.
DxpBlockRecord* recordFromReference(const VqArray* argument);

// Stores the methods the block offers in the record's method table and marks the port slots
// as taking dimension records. Slots the block has no method for keep what they hold.
void installMethods(DxpBlockRecord* record);

// Adds the set-up mark to optionWord and writes the sizes block into `sizesVector`, every word
// as signed except words 15 to 18 and optionWord, which are unsigned.
void reportSizes(DxpBlockRecord* record, std::span<double, DXP_SIZES_WORD_COUNT> sizesVector);

}  // namespace quenvarith::entry
