#include "model/TypeUnitV4.h"

#include <cmath>

int RegisterCountOf(qint32 code)
{
  switch (code) {
    case RegTypeSINT16:
    case RegTypeUINT16:
    case RegTypeSINT32:
    case RegTypeUINT32:
    case RegTypeSINT48:
    case RegTypeUINT48:
    case RegTypeSINT64:
    case RegTypeUINT64:
    case RegTypeStatus:
    case RegTypePoint:
      return code & 0xFFFF;
    default:
      return 0;
  }
}

bool DecodeRegisters(qint32 code, const quint16* words, int count, double& value)
{
  const int needed = RegisterCountOf(code);
  if (needed == 0 || words == nullptr || count < needed)
    return false;
  quint64 raw = 0;
  for (int i = 0; i < needed; ++i)
    raw = (raw << 16) | words[i];
  switch (code) {
    case RegTypeSINT16:
      value = static_cast<qint16>(raw);
      break;
    case RegTypeSINT32:
      value = static_cast<qint32>(static_cast<quint32>(raw));
      break;
    case RegTypeSINT48:
      // Two's complement over 48 bits, the counterpart of UINT48.
      value = (raw & (quint64(1) << 47)) ? double(qint64(raw) - (qint64(1) << 48)) : double(raw);
      break;
    case RegTypeSINT64:
      value = double(static_cast<qint64>(raw));
      break;
    default:  // the unsigned types, status and point words
      value = double(raw);
      break;
  }
  return true;
}

qint32 ExceptionWordCode(qint32 code, quint16 word)
{
  return code == RegTypeUINT16 ? qint32(static_cast<qint16>(word)) : qint32(word);
}

bool PointDivisor(quint16 word, qint32& pointValue)
{
  if (word > 9)
    return false;
  qint32 divisor = 1;
  for (quint16 i = 0; i < word; ++i)
    divisor *= 10;
  pointValue = divisor;
  return true;
}

double ScaleValue(double raw, double multiplier, double divisor)
{
  double value = multiplier != 1.0 ? raw * multiplier : raw;
  if (divisor != 0.0)
    value /= divisor;
  return value;
}

void CheckLimits(double value, double min, double max, qint32& errCode)
{
  if (errCode != 0)
    return;
  if (value > max)
    errCode = ErrCodeAboveMax;
  if (!(value >= min))
    errCode = ErrCodeBelowMin;
}

// ---------------------------------------------------------------------------

TTypeV4::TTypeV4(qint32 id) : Id(id)
{
  AddError(std::make_unique<TErrorV4>(ErrCodeBelowMin, 0, QStringLiteral("! < MIN")));
  AddError(std::make_unique<TErrorV4>(ErrCodeAboveMax, 0, QStringLiteral("! > MAX")));
  AddError(std::make_unique<TErrorV4>(ErrCodeNoAnswer, 0, QStringLiteral("???")));
}

TTypeV4::~TTypeV4()
{
  // Lists free their items last to first; the index refers into Errors.
  m_errorIndex.clear();
  while (!m_errors.empty())
    m_errors.pop_back();
  while (!m_otherRegs.empty())
    m_otherRegs.pop_back();
  while (!m_outRegs.empty())
    m_outRegs.pop_back();
  while (!m_inRegs.empty())
    m_inRegs.pop_back();
}

int TTypeV4::AddInReg(std::unique_ptr<TPomRegV4> reg)
{
  if (reg)
    m_inRegs.push_back(std::move(reg));
  return 0;
}

int TTypeV4::AddOutReg(std::unique_ptr<TOutRegV4> reg)
{
  if (reg)
    m_outRegs.push_back(std::move(reg));
  return 0;
}

int TTypeV4::AddOtherReg(std::unique_ptr<TOtherRegV4> reg)
{
  if (reg)
    m_otherRegs.push_back(std::move(reg));
  return 0;
}

int TTypeV4::AddError(std::unique_ptr<TErrorV4> err)
{
  if (!err)
    return 0;
  err->Number = static_cast<qint32>(m_errors.size()) + 1;
  m_errorIndex[err->ErrCode] = err.get();
  m_errors.push_back(std::move(err));
  return 0;
}

namespace {

template <typename T>
const T* ItemAt(const std::vector<std::unique_ptr<T>>& list, int& cursor)
{
  ++cursor;
  if (cursor < 0 || size_t(cursor) >= list.size())
    return nullptr;
  return list[size_t(cursor)].get();
}

}  // namespace

const TPomRegV4* TTypeV4::FirstInReg(int& cursor) const
{
  cursor = -1;
  return NextInReg(cursor);
}

const TPomRegV4* TTypeV4::NextInReg(int& cursor) const
{
  return ItemAt(m_inRegs, cursor);
}

const TOutRegV4* TTypeV4::FirstOutReg(int& cursor) const
{
  cursor = -1;
  return NextOutReg(cursor);
}

const TOutRegV4* TTypeV4::NextOutReg(int& cursor) const
{
  return ItemAt(m_outRegs, cursor);
}

const TOtherRegV4* TTypeV4::FirstOtherReg(int& cursor) const
{
  cursor = -1;
  return NextOtherReg(cursor);
}

const TOtherRegV4* TTypeV4::NextOtherReg(int& cursor) const
{
  return ItemAt(m_otherRegs, cursor);
}

const TErrorV4* TTypeV4::FirstError(int& cursor) const
{
  cursor = -1;
  return NextError(cursor);
}

const TErrorV4* TTypeV4::NextError(int& cursor) const
{
  return ItemAt(m_errors, cursor);
}

const TErrorV4* TTypeV4::ErrorIndex(qint32 code) const
{
  const auto it = m_errorIndex.find(code);
  return it == m_errorIndex.end() ? nullptr : it->second;
}

const TErrorV4* TTypeV4::FindError(qint32 code, qint32 logId) const
{
  for (const auto& e : m_errors) {
    qint32 t = code;
    // The 0xFF / 0xFF00 patterns describe devices that report one bit pair per
    // channel; only the pair of this channel decides whether the entry applies.
    // The shift count wraps modulo 32, so LogIds outside 1..32 reuse the pairs.
    if (e->ErrCodeM_OR == 0xFF || e->ErrCodeM_OR == 0xFF00) {
      const quint32 mask = 0x101u << ((quint32(logId) - 1u) & 31u);
      t = static_cast<qint32>(quint32(code) & mask);
    }
    const qint32 v =
        (t >= 0 && t != ErrCodeNoValue && e->ErrCodeM_OR > 0) ? (e->ErrCodeM_OR | code) : code;
    if (v == e->ErrCode)
      return e.get();
  }
  return nullptr;
}
