#pragma once

// Alarm bindings of one input channel, stored with the channel:
//
//   <errors>
//     <error id="4"><alarm>0</alarm><alarm>2</alarm></error>
//   </errors>
//
// A channel without bindings stores an empty text rather than an empty root,
// so an unbound channel costs nothing in the store.
//
// Thread contract: any thread.

#include "model/alarmXMLstor.h"

class TinUnitAlarmXMLstor : public TbaseXMLstor {
 public:
  static QString Write(const TalarmMaker& maker);
  // Replaces the bindings of `maker` with those of the document; an empty text
  // clears them. A repeated alarm in one list is bound once. -1, with `maker`
  // untouched, when the text is not a readable bindings document.
  static int Read(const QString& text, TalarmMaker& maker);
};
