#pragma once

// Modbus RTU master as seen by the objects that talk to devices. Only what the
// register reader needs is declared so far; the serial master implements this
// interface, and tests put a scripted fake in its place.

#include <QtGlobal>

// Answer status of a request. The numbers are those of the external RTU
// master library and are compared as plain integers by every caller, so the
// enumeration is unscoped and based on int.
enum TMBAskStatus : int {
  mbASK_notExist = 0,
  mbASK_pending = 1,
  mbASK_processing = 2,
  mbASK_retry = 3,
  mbASK_done = 4,     // the values are in the buffer
  mbASK_timeout = 5,  // no answer
  mbASK_error = 6,
  mbANS_crcError = 7,
  mbANS_ok = 8,         // write confirmed
  mbANS_exception = 9,  // the device answered with an exception
  // Name for every other number, negative ones included; the library never
  // returns 10 itself, so the value only serves as a marker.
  mbStat_Unknown = 10
};

// Thread contract: the Modbus operation thread owns the master and is the only
// caller, one blocking request at a time; implementations need no locking.
class TMBMasterRTU {
 public:
  virtual ~TMBMasterRTU() = default;

  // Reads `count` holding registers starting at `reg` from the device at
  // `address`, blocking until the answer or the time-out. Returns the answer
  // status: with mbASK_done `values` holds `count` register values in register
  // order; with mbANS_exception values[0] holds the device's exception/error
  // word and the rest is undefined; with any other status nothing in `values`
  // may be trusted. `values` must have room for `count` registers.
  virtual int AskForWaitHoldRegisters(quint8 address, quint16 reg, quint16 count,
                                      quint16* values) = 0;
};
