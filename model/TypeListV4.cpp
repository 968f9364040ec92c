#include "model/TypeListV4.h"

#include <utility>

TTypeListV4::~TTypeListV4()
{
  // Last to first, as every list of the model frees its items.
  while (!m_types.empty())
    m_types.pop_back();
}

void TTypeListV4::Add(std::unique_ptr<TTypeV4> type)
{
  if (type)
    m_types.push_back(std::move(type));
}

void TTypeListV4::Append(TTypeListV4&& staged)
{
  if (&staged == this)
    return;
  AppendTypes(std::move(staged.m_types));
  staged.m_types.clear();
}

void TTypeListV4::AppendTypes(std::vector<std::unique_ptr<TTypeV4>> types)
{
  // Reserve first so that the moves below cannot fail half-way.
  m_types.reserve(m_types.size() + types.size());
  for (auto& type : types) {
    if (type)
      m_types.push_back(std::move(type));
  }
}

const TTypeV4* TTypeListV4::FindType(qint32 id) const
{
  const TTypeV4* fallback = nullptr;
  for (const auto& type : m_types) {
    if (type->Id == id)
      return type.get();
    if (!fallback && type->Id == 0)
      fallback = type.get();
  }
  return fallback;
}

TTypeV4* TTypeListV4::FindType(qint32 id)
{
  return const_cast<TTypeV4*>(std::as_const(*this).FindType(id));
}

const TTypeV4* TTypeListV4::FindTypeByMBusID(quint16 devId) const
{
  const TTypeV4* candidate = nullptr;
  for (const auto& type : m_types) {
    if (type->MBusIDM_ORA < 0) {
      if (qint32(devId) == type->MBusID)
        return type.get();
    } else {
      const quint32 mask = quint32(type->MBusIDM_ORA);
      const qint32 masked = static_cast<qint32>(((mask & 0xFFFFu) & devId) | (mask & 0xFFFF0000u));
      // The last masked match wins, so a document can narrow a general
      // entry by listing a more specific one after it.
      if (masked == type->MBusID)
        candidate = type.get();
    }
  }
  return candidate ? candidate : FindType(0);
}

TTypeV4* TTypeListV4::FindTypeByMBusID(quint16 devId)
{
  return const_cast<TTypeV4*>(std::as_const(*this).FindTypeByMBusID(devId));
}

const TTypeV4* TTypeListV4::FirstType(int& cursor) const
{
  cursor = -1;
  return NextType(cursor);
}

const TTypeV4* TTypeListV4::NextType(int& cursor) const
{
  ++cursor;
  if (cursor < 0 || size_t(cursor) >= m_types.size())
    return nullptr;
  return m_types[size_t(cursor)].get();
}

TTypeV4* TTypeListV4::FirstType(int& cursor)
{
  cursor = -1;
  return NextType(cursor);
}

TTypeV4* TTypeListV4::NextType(int& cursor)
{
  return const_cast<TTypeV4*>(std::as_const(*this).NextType(cursor));
}
