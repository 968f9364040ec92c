#pragma once

// The installation's device types in document order. Filled from the type
// definition document received from the server and not changed afterwards.

#include "model/TypeUnitV4.h"

#include <QtGlobal>

#include <memory>
#include <vector>

// Thread contract: the list has no lock of its own. Appending and reading must
// not overlap; the central configuration appends under its write lock, and
// types reached through the list are immutable once appended.
class TTypeListV4 {
 public:
  TTypeListV4() = default;
  TTypeListV4(const TTypeListV4&) = delete;
  TTypeListV4& operator=(const TTypeListV4&) = delete;
  ~TTypeListV4();

  // Appends one type; the list takes ownership.
  void Add(std::unique_ptr<TTypeV4> type);
  // Moves every type of a privately parsed list to the end of this one in one
  // step, so readers never see a half-loaded document. staged is left empty.
  void Append(TTypeListV4&& staged);
  void AppendTypes(std::vector<std::unique_ptr<TTypeV4>> types);

  int Count() const { return static_cast<int>(m_types.size()); }

  // First type with this Id; else the first with Id 0 (fallback type); else null.
  const TTypeV4* FindType(qint32 id) const;
  TTypeV4* FindType(qint32 id);

  // Identifies a device from the value it reports: an exact-comparison type
  // wins at once; among masked types the last match wins; else FindType(0).
  const TTypeV4* FindTypeByMBusID(quint16 devId) const;
  TTypeV4* FindTypeByMBusID(quint16 devId);

  // Iteration pair: First sets cursor to -1 and calls Next; Next advances and
  // returns the type at the cursor, or null past the end.
  const TTypeV4* FirstType(int& cursor) const;
  const TTypeV4* NextType(int& cursor) const;
  TTypeV4* FirstType(int& cursor);
  TTypeV4* NextType(int& cursor);

 private:
  std::vector<std::unique_ptr<TTypeV4>> m_types;
};
