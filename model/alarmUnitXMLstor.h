#pragma once

// Alarm bindings of one alarm output, stored per output:
//
//   <alarmUnit id="3">
//     <alarms>
//       <alarm id="0">64</alarm>
//     </alarms>
//   </alarmUnit>
//
// The root carries the output's LogId; each alarm element the mode value the
// output shows while that alarm is active and unconfirmed. An output without
// bindings stores an empty text.
//
// Thread contract: any thread; the map must not change during the call.

#include "model/alarmXMLstor.h"

class TalarmUnitXMLstor : public TbaseXMLstor {
 public:
  static QString Write(qint32 outputLogId, const TalarmModeMap& alarmModes);
  // Replaces `alarmModes` with the document's bindings and sets `outputLogId`
  // from the root; an empty text clears the map and leaves the id. A repeated
  // alarm keeps its last mode. Modes are read in the 32-bit range of the
  // device outputs. -1, with both untouched, when the text is not a readable
  // alarm output document.
  static int Read(const QString& text, qint32& outputLogId, TalarmModeMap& alarmModes);
};
