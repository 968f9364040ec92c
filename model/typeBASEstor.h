#pragma once

// Base of the device type readers: holds the list a load appends to.

#include <QByteArray>
#include <QString>

class TTypeListV4;

// A reader lives for one load. Thread contract: used by one thread at a time
// (the server-link thread); the target list is appended under its owner's lock.
class TtypeBASEstor {
 public:
  TtypeBASEstor() = default;
  TtypeBASEstor(const TtypeBASEstor&) = delete;
  TtypeBASEstor& operator=(const TtypeBASEstor&) = delete;
  virtual ~TtypeBASEstor() = default;

  // Appends the document's types to list: 0 on success; -1 with LastError()
  // set and list untouched on failure. Never throws.
  virtual int Load(const QByteArray& document, TTypeListV4& list) = 0;

  QString LastError() const { return m_lastError; }
  TTypeListV4* TypeList() const { return m_typeList; }

 protected:
  TTypeListV4* m_typeList = nullptr;
  QString m_lastError;
};
