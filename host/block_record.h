/* The block record: the per-block record through which the host and a level-2 plug-in exchange
 * everything. The host creates, fills and owns it; the plug-in reads and writes the fields it
 * needs and installs its methods in the method table.
 *
 * The layout is C so that any host and any plug-in compiler agree on it. */
#ifndef QUENVARITH_HOST_BLOCK_RECORD_H
#define QUENVARITH_HOST_BLOCK_RECORD_H

#include <stdint.h>

#include "vq.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct DxpBlockRecord DxpBlockRecord;

/* ---- Sizes block: 38 signed 32-bit words, reported word by word as the sizes vector ---- */

enum { DXP_SIZES_WORD_COUNT = 38 };

typedef enum DxpSizesWord {
  DXP_WORD_NUM_OUTPUT_PORTS = 2,
  DXP_WORD_NUM_INPUT_PORTS = 3,
  DXP_WORD_CALL_ARGUMENT = 4, /* port index or task id handed over by a flag call */
  DXP_WORD_NUM_SAMPLE_TIMES = 6,
  DXP_WORD_NUM_PARAMETERS_EXPECTED = 7,
  DXP_WORD_UNSIGNED_FIRST = 15, /* words 15 to 18 are reported as unsigned */
  DXP_WORD_UNSIGNED_LAST = 18,
  DXP_WORD_RECORD_VERSION = 19,
  DXP_WORD_OPTIONS = 23 /* optionWord, reported as unsigned */
} DxpSizesWord;

enum { DXP_RECORD_VERSION = 5200229 };

/* Number of sample times that says "each port carries its own". */
enum { DXP_PORT_BASED_SAMPLE_TIMES = -1 };

/* ---- Flag calls ---- */
/* The number a flag call carries in right-hand argument 4, naming the method it runs. */
typedef enum DxpFlag {
  DXP_FLAG_DECLARE_SAMPLE_TIMES = 101,
  DXP_FLAG_INITIALIZE_CONDITIONS = 102,
  DXP_FLAG_TIME_OF_NEXT_VAR_HIT = 103,
  DXP_FLAG_COMPUTE_OUTPUTS = 104,
  DXP_FLAG_IGNORED = 107, /* accepted, runs nothing */
  DXP_FLAG_ZERO_CROSSINGS = 108,
  DXP_FLAG_SET_WORK_WIDTHS = 111,
  DXP_FLAG_CHECK_PARAMETERS = 112,
  DXP_FLAG_SET_INPUT_PORT_DATA_TYPE = 113,
  DXP_FLAG_SET_OUTPUT_PORT_DATA_TYPE = 114,
  DXP_FLAG_SET_INPUT_PORT_WIDTH = 115,
  DXP_FLAG_SET_OUTPUT_PORT_WIDTH = 116,
  DXP_FLAG_START = 117,
  DXP_FLAG_PROCESS_PARAMETERS = 118,
  DXP_FLAG_SET_INPUT_PORT_COMPLEX_SIGNAL = 120,
  DXP_FLAG_SET_OUTPUT_PORT_COMPLEX_SIGNAL = 121,
  DXP_FLAG_SET_INPUT_PORT_SAMPLE_TIME = 122,
  DXP_FLAG_SET_OUTPUT_PORT_SAMPLE_TIME = 123,
  DXP_FLAG_SET_INPUT_PORT_DIMENSION_INFO = 126,
  DXP_FLAG_SET_OUTPUT_PORT_DIMENSION_INFO = 127,
  DXP_FLAG_SET_INPUT_PORT_FRAME_DATA = 128,
  DXP_FLAG_SET_DEFAULT_PORT_DIMENSION_INFO = 131,
  DXP_FLAG_SET_DEFAULT_PORT_DATA_TYPES = 132,
  DXP_FLAG_SET_DEFAULT_PORT_COMPLEX_SIGNALS = 133
} DxpFlag;

/* ---- flagWord bits ---- */
enum {
  DXP_FLAG_PORT_DIMENSION_INFO = 0x1, /* port slots take dimension records, not widths */
  DXP_FLAG_PORT_COUNTS_SET = 0x2,
  DXP_FLAG_SAMPLE_TIMES_PENDING = 0x800,
  DXP_FLAG_SAMPLE_TIMES_SET = 0x1000
};

/* ---- Port attribute bits ---- */
/* The frame flag is a 2-bit field: upper bit set means inherited (-1); otherwise the lower bit
 * gives frame-based (1) or sample-based (0). It sits at bit 3 on input ports and at bit 2 on
 * output ports. */
enum { DXP_INPUT_FRAME_SHIFT = 3, DXP_OUTPUT_FRAME_SHIFT = 2 };

typedef enum DxpFrameFlag {
  DXP_FRAME_INHERITED = -1,
  DXP_FRAME_NO = 0,
  DXP_FRAME_YES = 1
} DxpFrameFlag;

/* Decodes the frame flag held at `shift` in a port's attribute bits. */
static inline DxpFrameFlag dxpDecodeFrameFlag(uint32_t attributes, unsigned shift) {
  if (((attributes >> (shift + 1u)) & 1u) != 0u) return DXP_FRAME_INHERITED;
  return ((attributes >> shift) & 1u) != 0u ? DXP_FRAME_YES : DXP_FRAME_NO;
}

/* Encodes `flag` into the frame field at `shift`, keeping the other bits. */
static inline uint32_t dxpEncodeFrameFlag(uint32_t attributes, unsigned shift, DxpFrameFlag flag) {
  uint32_t field = 0u;
  if (flag == DXP_FRAME_INHERITED) field = 3u;
  if (flag == DXP_FRAME_YES) field = 1u;
  return (attributes & ~(3u << shift)) | (field << shift);
}

/* ---- Dimension records ---- */

typedef struct DxpDimsInfo {
  int32_t width;   /* -1 dynamic */
  int32_t numDims; /* -1 dynamic */
  int32_t* dims;   /* numDims sizes, rows first */
  int32_t reserved;
} DxpDimsInfo;

/* A port that is fully dynamic. */
static const DxpDimsInfo dxpDynamicDims = {-1, -1, 0, 0}; /* NOLINT(modernize-use-nullptr): C */

/* ---- Port records ---- */

typedef struct DxpInputPort {
  int32_t width; /* -1 while dynamic */
  int32_t directFeedthrough;
  int32_t dataType;
  int32_t complexity;
  const double* signal; /* width contiguous doubles */
  int32_t connected;
  uint32_t attributes;
  double sampleTime; /* -1.0 inherited */
  double offset;
  int32_t* dims;
  int32_t sampleTimeIndex;
  int32_t numDims;
} DxpInputPort;

typedef struct DxpOutputPort {
  int32_t width;
  int32_t dataType;
  int32_t complexity;
  double* signal; /* complex values as interleaved real and imaginary doubles */
  int32_t connected;
  uint32_t attributes;
  double sampleTime;
  double offset;
  int32_t* dims;
  int32_t sampleTimeIndex;
  int32_t numDims;
} DxpOutputPort;

typedef enum DxpComplexity { DXP_REAL = 0, DXP_COMPLEX = 1 } DxpComplexity;
typedef enum DxpDataType { DXP_TYPE_DOUBLE = 0, DXP_TYPE_INT32 = 6 } DxpDataType;

/* ---- Work vectors ---- */

enum { DXP_MAX_WORK_VECTORS = 8 };

typedef struct DxpWorkVector {
  int32_t width;
  int32_t dataType;   /* DxpDataType */
  int32_t complexity; /* DxpComplexity */
  void* data;         /* supplied by the host before the initial conditions */
} DxpWorkVector;

/* ---- Host operations held in the records (nonzero on success, 0 on failure) ---- */

typedef int32_t (*DxpSetNumPortsOp)(void* context, int32_t count);
typedef int32_t (*DxpSetNumWorkVectorsOp)(DxpBlockRecord* record, int32_t count);
typedef int32_t (*DxpSetPortDimsOp)(DxpBlockRecord* record, int32_t port,
                                    const DxpDimsInfo* dimsInfo);

/* ---- Simulation info record ---- */

enum { DXP_SIM_MODE_SIZES_ONLY = 1, DXP_MAJOR_TIME_STEP = 1 };

typedef struct DxpSimInfo {
  int32_t simMode;
  int32_t timeStepKind;
  const int32_t* sampleHits; /* one flag per task */
  DxpSetPortDimsOp setInputPortDimensionInfo;
  DxpSetPortDimsOp setOutputPortDimensionInfo;
  /* Argument slots, filled by the host before a flag call. */
  const DxpDimsInfo* argDimsInfo;
  int32_t argCallWord;
  double argSampleTime;
  double argOffset;
} DxpSimInfo;

/* ---- Method table ---- */

typedef void (*DxpMethod)(DxpBlockRecord* record);
typedef void (*DxpPortWordMethod)(DxpBlockRecord* record, int32_t port, int32_t word);
typedef void (*DxpPortDimsMethod)(DxpBlockRecord* record, int32_t port,
                                  const DxpDimsInfo* dimsInfo);
typedef void (*DxpPortSampleTimeMethod)(DxpBlockRecord* record, int32_t port, double sampleTime,
                                        double offset);
typedef void (*DxpOutputsMethod)(DxpBlockRecord* record, int32_t taskId);
typedef void (*DxpUnusedSlot)(void);

/* A port slot holds a width method or a dimension-info method; flagWord bit
 * DXP_FLAG_PORT_DIMENSION_INFO says which member is the one written. */
typedef union DxpPortSlot {
  DxpPortWordMethod width;
  DxpPortDimsMethod dimensionInfo;
} DxpPortSlot;

typedef struct DxpMethodTable {
  DxpMethod sizes;
  DxpUnusedSlot unused1;
  DxpUnusedSlot unused2;
  DxpPortSlot inputPortWidthOrDims;
  DxpPortSlot outputPortWidthOrDims;
  DxpPortWordMethod inputPortDataType;
  DxpPortWordMethod outputPortDataType;
  DxpMethod sampleTimes;
  DxpPortSampleTimeMethod inputPortSampleTime;
  DxpPortSampleTimeMethod outputPortSampleTime;
  DxpMethod workWidths;
  DxpUnusedSlot unused3;
  DxpMethod initialConditions;
  DxpMethod start;
  DxpMethod checkParameters;
  DxpMethod processParameters;
  DxpMethod timeOfNextVarHit;
  DxpOutputsMethod outputs;
  DxpUnusedSlot unused4;
  DxpUnusedSlot unused5;
  DxpMethod zeroCrossings;
  DxpMethod endOfRun;
  DxpPortWordMethod inputPortComplexSignal;
  DxpPortWordMethod outputPortComplexSignal;
} DxpMethodTable;

typedef struct DxpExtension {
  DxpPortWordMethod inputPortFrameData;
  DxpMethod defaultPortDimensionInfo;
  DxpMethod defaultPortDataTypes;
  DxpMethod defaultPortComplexSignals;
} DxpExtension;

/* ---- The record ---- */

typedef struct DxpErrorHolder {
  const char* errorStatus; /* first failure of the current call, NULL while none */
} DxpErrorHolder;

/* The dialog parameters a block of this record takes; the record holds one attribute word for
 * each. */
enum { DXP_NUM_DIALOG_PARAMETERS = 6, DXP_NUM_PARAMETER_ATTRIBUTES = DXP_NUM_DIALOG_PARAMETERS };

struct DxpBlockRecord {
  DxpErrorHolder localErrorHolder; /* the holder of a record that has no other */
  DxpErrorHolder* errorHolder;
  const char* blockName;
  const char* blockPath;

  int32_t sizes[DXP_SIZES_WORD_COUNT];
  uint32_t flagWord;

  DxpSetNumPortsOp setNumInputPorts;
  void* setNumInputPortsContext;
  DxpSetNumPortsOp setNumOutputPorts;
  void* setNumOutputPortsContext;
  DxpSetNumWorkVectorsOp setNumWorkVectors;

  DxpInputPort* inputPorts;
  DxpOutputPort* outputPorts;

  int32_t numParameters;
  const VqArray** parameters;
  uint32_t parameterAttributes[DXP_NUM_PARAMETER_ATTRIBUTES];

  int32_t numWorkVectors;
  DxpWorkVector workVectors[DXP_MAX_WORK_VECTORS];

  DxpSimInfo* simInfo;
  const int32_t* sampleTimeTaskIds; /* task id of each sample-time index */

  DxpMethodTable methods;
  DxpExtension* extension;
};

/* The record's error status, wherever its holder is. */
static inline const char* dxpGetErrorStatus(const DxpBlockRecord* record) {
  return record->errorHolder->errorStatus;
}
static inline void dxpSetErrorStatus(DxpBlockRecord* record, const char* message) {
  record->errorHolder->errorStatus = message;
}

static inline DxpFrameFlag dxpInputFrameFlag(const DxpInputPort* port) {
  return dxpDecodeFrameFlag(port->attributes, DXP_INPUT_FRAME_SHIFT);
}
static inline DxpFrameFlag dxpOutputFrameFlag(const DxpOutputPort* port) {
  return dxpDecodeFrameFlag(port->attributes, DXP_OUTPUT_FRAME_SHIFT);
}

/* True when the port whose sample-time index is `sampleTimeIndex` has a hit in this step. */
static inline int dxpPortHasHit(const DxpBlockRecord* record, int32_t sampleTimeIndex) {
  return record->simInfo->sampleHits[record->sampleTimeTaskIds[sampleTimeIndex]] != 0 ? 1 : 0;
}

/* The record reference a set-up call carries: a 2-row array holding the record's address and
 * this marker. */
static const double dxpRecordReferenceMarker = 5200229.0;

#ifdef __cplusplus
}
#endif

#endif
