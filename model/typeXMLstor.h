#pragma once

// Reader of the type definition document sent by the measurement server.

#include "model/typeBASEstor.h"

#include <QStringView>
#include <QtGlobal>

#include <memory>

class TXmlElement;
class TTypeV4;

class TtypeXMLstor : public TtypeBASEstor {
 public:
  TtypeXMLstor();
  ~TtypeXMLstor() override;

  // Parses the whole document into a private list first and appends it to
  // list only when every Device was read, so a refused document leaves no
  // half-read types behind for the units to point at. The list is not cleared:
  // loading the same document twice doubles it.
  int Load(const QByteArray& document, TTypeListV4& list) override;

  // Value type name (case-sensitive) to its code; -1 for any other text.
  static qint32 RegTypeCode(QStringView name);

 private:
  std::unique_ptr<TTypeV4> ReadDevice(const TXmlElement& device) const;

  std::unique_ptr<TXmlElement> m_root;
};
