// The methods only the entry installs: three that have nothing to do and two that report what
// the block does not offer.
#pragma once

#include "host/block_record.h"

namespace quenvarith {

// Nothing to start: every method derives what it needs from the record when it runs.
void mdlStart(DxpBlockRecord* record);
// Nothing to cache: no method keeps a copy of a dialog parameter.
void mdlProcessParameters(DxpBlockRecord* record);
// The block has no variable sample time, nor zero crossings; each stores its message.
void reportNoVariableHit(DxpBlockRecord* record);
void reportNoZeroCrossings(DxpBlockRecord* record);

}  // namespace quenvarith
