// The entry's fixed texts. Each is a constant array, so that the record's error status can hold
// a pointer to it and every use of a text is the same object.
#pragma once

#include <string_view>

namespace quenvarith::entry {

// The name the block is compiled under, and the name a host loads the plug-in file under.
inline constexpr char kModuleName[] = "quenvarith";
// A block compiled under this name accepts a plug-in file of any name.
inline constexpr char kReservedName[] = "pellumar_only_plugin";
// Compared with a terminating zero included, so that only an exact match counts.
inline constexpr bool kSkipsNameCheck = std::string_view(kModuleName) == kReservedName;

// Every raised message is formatted into a buffer of this size; longer texts are cut.
inline constexpr int kMessageBufferSize = 256;

// The %s of the argument-check messages.
inline constexpr char kBanner[] = "DXP level2 plug-in \"quenvarith\"";
inline constexpr char kTooFewRightHandFormat[] =
    "%s must be called with at least 4 right hand arguments";
inline constexpr char kTooManyLeftHandFormat[] = "%s called with too many left hand arguments";
inline constexpr char kFlagNotIntegerFormat[] =
    "The 4th right hand argument, FLAG, passed to %s must be an integer";
inline constexpr char kInvalidSetupFlagFormat[] = "Invalid flag passed to %s";
inline constexpr char kNameMismatchFormat[] =
    "Plug-in name mismatch. Name in source is \"#define PLUGIN_NAME %s\", whereas name of the "
    "plug-in DXP file is \"%s\". The source needs to be updated";

inline constexpr char kNoVariableHitMessage[] =
    "To have a variable sample time, you must define MDL_GET_TIME_OF_NEXT_VAR_HIT and add a "
    "mdlGetTimeOfNextVarHit routine";
inline constexpr char kNoZeroCrossingsMessage[] =
    "To have nonsampled zero crossings, you must define MDL_ZERO_CROSSINGS and have a "
    "mdlZeroCrossings routine";
inline constexpr char kInvalidFlagMessage[] = "Invalid flag encountered in pellumar";

}  // namespace quenvarith::entry
