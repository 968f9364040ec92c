#pragma once

// The alarm definitions document.
//
//   <alarms maxID="1">
//     <alarm id="0"><name>…</name><desc>…</desc></alarm>
//     …
//   </alarms>
//
// maxID keeps ids of deleted alarms from being given out again once the
// definitions are read back. Writers produce indented UTF-8 text with the XML
// prolog and decimal integers; characters XML cannot hold (control characters
// other than tab and line ends) are dropped so the document stays readable,
// and a CR comes back as LF. Readers follow the rules of every other document
// of the installation (model/baseXMLstor.h): repeated elements by exact name,
// single elements and attributes in any letter case, integers also in
// hexadecimal.
//
// Thread contract: any thread. Each Write uses its own short-lived writer
// object; the lists it reads are copied under their own locks.

#include "model/alarms.h"
#include "model/baseXMLstor.h"

#include <QByteArray>
#include <QString>
#include <QXmlStreamWriter>

#include <memory>

class TalarmXMLstor : public TbaseXMLstor {
 public:
  static QString Write(const TalarmsList& alarms);
  // Rebuilds `alarms` from a definitions document: the list is cleared (with
  // its alarm states), the alarms are added in document order and MaxId is
  // raised to maxID. An alarm the list refuses (empty or repeated name,
  // repeated id) is left out. -1, with the list untouched, when the text is
  // not a readable definitions document.
  static int Read(const QString& text, TalarmsList& alarms);
};
