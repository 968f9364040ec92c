#pragma once

// Device types: how a model of Modbus device identifies itself, which of its
// registers carry measured inputs and outputs, and which error codes it reports.
// Types are loaded once from the type definition document and never change
// afterwards, so every thread reads them without a lock.

#include <QString>
#include <QtGlobal>

#include <memory>
#include <unordered_map>
#include <vector>

// ---- register value type codes ----
// Low 16 bits: number of 16-bit registers; high 16 bits: the type number.
inline constexpr qint32 RegTypeSINT16 = 0x00001;
inline constexpr qint32 RegTypeUINT16 = 0x10001;
inline constexpr qint32 RegTypeSINT32 = 0x20002;
inline constexpr qint32 RegTypeUINT32 = 0x30002;
inline constexpr qint32 RegTypeSINT48 = 0x40003;
inline constexpr qint32 RegTypeUINT48 = 0x50003;
inline constexpr qint32 RegTypeSINT64 = 0x60004;
inline constexpr qint32 RegTypeUINT64 = 0x70004;
// Extra registers read together with a channel's value.
inline constexpr qint32 RegTypeStatus = 0xE0001;
inline constexpr qint32 RegTypePoint = 0xF0001;
// A type name the reader does not know.
inline constexpr qint32 RegTypeUnknown = -1;
// What an input keeps for an unknown name (code -1 with bits 4..7 cleared):
// it requests 15 registers and never decodes a number.
inline constexpr qint32 RegTypeUnknownIn = static_cast<qint32>(0xFFFFFF0Fu);

// Number of registers of a value type code (0 for codes that are not a type).
int RegisterCountOf(qint32 code);

// ---- error codes carried next to every value ----
inline constexpr qint32 ErrCodeValid = 0;
inline constexpr qint32 ErrCodeNoAnswer = -1;
inline constexpr qint32 ErrCodeCommError = -2;
inline constexpr qint32 ErrCodeBelowMin = -3;
inline constexpr qint32 ErrCodeAboveMax = -4;
inline constexpr qint32 ErrCodeGap = -5;
inline constexpr qint32 ErrCodeNoValue = 255;

// ---- pure decoding helpers (used by the channel state update) ----

// The number held by a value's registers, words in register-address order
// (most significant first). Decodes only when count is at least the code's
// register count; false (value untouched) for a short answer or a code that
// has no number (unknown type). Status and point words decode unsigned.
bool DecodeRegisters(qint32 code, const quint16* words, int count, double& value);

// Device error code from the word a device returns in place of a value. UINT16
// values take it signed, so 0x8000 and above become negative codes.
qint32 ExceptionWordCode(qint32 code, quint16 word);

// Point register word p gives the divisor 10^p and the channel's PointValue.
// Only p 0..9 is accepted: 10^10 no longer fits the 32-bit PointValue.
bool PointDivisor(quint16 word, qint32& pointValue);

double ScaleValue(double raw, double multiplier, double divisor);

// Limit check, applied only while errCode is 0. The "not (value >= min)" form
// is deliberate: NaN and values below an inverted range report -3.
void CheckLimits(double value, double min, double max, qint32& errCode);

// ---- definitions ----

// One measured input of a type. TInUnitV4 derives from it and copies its fields.
class TPomRegV4 {
 public:
  TPomRegV4() = default;
  TPomRegV4(const TPomRegV4&) = default;
  TPomRegV4& operator=(const TPomRegV4&) = default;
  virtual ~TPomRegV4() = default;

  qint32 IDReg = 0;
  quint32 Register = 0;  // Modbus address, always within 0..0xFFFF
  qint32 RegCount = 1;
  qint32 RegType = RegTypeSINT16;
  qint32 SpcFnc = 0;
  qint32 StatReg = -1;  // > 0: the status register is read with the value
  qint32 StatRegM = -1;
  double Multiplier = 1.0;
  QString Name;
  QString PhUnit;
  bool IsProgPoint = true;
  qint32 PointReg = -1;
  qint32 PointRegM = -1;
  qint32 PointValue = 1;
  bool CanChange = false;
};

// One output of a type.
class TOutRegV4 {
 public:
  qint32 IDReg = 0;
  qint32 Register = 0;
  qint32 RegCount = 1;  // low 16 bits of RegType; outside 1..4 means unusable
  qint32 RegType = RegTypeSINT16;
  bool IfPoint = false;
  qint32 PointReg = -1;
  qint32 PointRegM = -1;  // negative: the point register is written from scratch
};

// One error description of a type.
class TErrorV4 {
 public:
  TErrorV4() = default;
  TErrorV4(qint32 errCode, qint32 errCodeM_OR, const QString& desc)
      : ErrCode(errCode), ErrCodeM_OR(errCodeM_OR), Desc(desc)
  {
  }

  qint32 Number = 0;  // position in the type's Errors, from 1; set by AddError
  qint32 ErrCode = 0;
  qint32 ErrCodeM_OR = -1;
  QString Desc;
};

// Reserved register family; nothing fills it, only its shape is kept.
class TValListElV4 {
 public:
  QString Name;
  quint16 Value = 0;
};

class TOtherRegV4 {
 public:
  qint32 Id = 0;
  QString Name;
  quint16 Register = 0;
  bool IsValList = false;  // ValList is used
  std::vector<std::unique_ptr<TValListElV4>> ValList;
  quint16 MinValue = 0;  // used without ValList
  quint16 MaxValue = 0;
};

// One device type. Thread contract: filled by the loading thread before it is
// published; afterwards read-only from any thread.
class TTypeV4 {
 public:
  // Create(id): the type with its three built-in errors ("! < MIN", "! > MAX", "???").
  explicit TTypeV4(qint32 id);
  static std::unique_ptr<TTypeV4> Create(qint32 id) { return std::make_unique<TTypeV4>(id); }
  TTypeV4(const TTypeV4&) = delete;
  TTypeV4& operator=(const TTypeV4&) = delete;
  ~TTypeV4();

  qint32 Id = 0;
  qint32 MBusID = -1;
  qint32 MBusIDM_ORA = -1;  // low 16 bits AND mask, high 16 bits OR pattern; -1 exact
  QString Name;

  // Each returns 0; the type takes ownership.
  int AddInReg(std::unique_ptr<TPomRegV4> reg);
  int AddOutReg(std::unique_ptr<TOutRegV4> reg);
  int AddOtherReg(std::unique_ptr<TOtherRegV4> reg);
  int AddError(std::unique_ptr<TErrorV4> err);  // sets Number, indexes by ErrCode

  // Iteration pairs: First sets cursor to -1 and calls Next; Next advances and
  // returns the item at the cursor, or null past the end.
  const TPomRegV4* FirstInReg(int& cursor) const;
  const TPomRegV4* NextInReg(int& cursor) const;
  const TOutRegV4* FirstOutReg(int& cursor) const;
  const TOutRegV4* NextOutReg(int& cursor) const;
  const TOtherRegV4* FirstOtherReg(int& cursor) const;
  const TOtherRegV4* NextOtherReg(int& cursor) const;
  const TErrorV4* FirstError(int& cursor) const;
  const TErrorV4* NextError(int& cursor) const;

  const std::vector<std::unique_ptr<TPomRegV4>>& InRegs() const { return m_inRegs; }
  const std::vector<std::unique_ptr<TOutRegV4>>& OutRegs() const { return m_outRegs; }
  const std::vector<std::unique_ptr<TOtherRegV4>>& OtherRegs() const { return m_otherRegs; }
  const std::vector<std::unique_ptr<TErrorV4>>& Errors() const { return m_errors; }

  // ErrorIndex: the last error added with this ErrCode, or null.
  const TErrorV4* ErrorIndex(qint32 code) const;

  // Description lookup for a value's error code; logId is the channel's LogId,
  // which selects the bit pair of the 0xFF / 0xFF00 patterns. Null when no
  // entry matches (callers then use the fixed descriptions).
  const TErrorV4* FindError(qint32 code, qint32 logId) const;

 private:
  std::vector<std::unique_ptr<TPomRegV4>> m_inRegs;
  std::vector<std::unique_ptr<TOutRegV4>> m_outRegs;
  std::vector<std::unique_ptr<TOtherRegV4>> m_otherRegs;
  std::vector<std::unique_ptr<TErrorV4>> m_errors;
  std::unordered_map<qint32, const TErrorV4*> m_errorIndex;  // not owning
};
