#pragma once

// Register requests of an input channel state and the reader that fills them
// from the line.
//
// Every value state of an input channel owns a TRegGroups: a list of groups,
// each a list of register requests (TRegToAsk). The Modbus operation thread
// hands each group to a TAsk, which reads the group's registers as one
// contiguous span cut into requests of at most five registers and writes the
// answers back into the requests; the channel decoding then takes values and
// status from there. The data logger handler fills the same requests from
// downloaded logger memory instead.
//
// Thread contract: the request structures of a state are built when the state
// is created and afterwards read and written only by the thread that feeds
// that state (the Modbus operation thread, which also runs the logger
// download). TAsk belongs to the Modbus operation thread. Nothing here locks.

#include <QtGlobal>

#include <array>
#include <memory>
#include <vector>

class TMBMasterRTU;

// One register request: `Count` registers starting at `Register`, decoded as
// `Kind` (the register type code of the device type).
class TRegToAsk {
 public:
  TRegToAsk(quint16 reg, qint32 count, qint32 kind);

  // Set when values were filled in; the channel decoding clears the flag after
  // use so that a request the next read does not reach counts as unanswered.
  void MarkAnswered() { Answered = true; }
  void ClearAnswered() { Answered = false; }

  quint16 Register;
  qint32 Count;
  qint32 Kind;
  bool Answered = false;
  double Time = 0.0;            // days since 30 Dec 1899, local time
  std::vector<quint16> Values;  // `Count` registers in register order
  qint32 Status = 0;            // answer status (TMBAskStatus); 4 means valid
};

// A list of register requests read together; owns them.
class TRegGroup {
 public:
  explicit TRegGroup(qint32 number);
  TRegGroup(const TRegGroup&) = delete;
  TRegGroup& operator=(const TRegGroup&) = delete;

  // Appends a request; a negative count adds nothing and gives nullptr.
  TRegToAsk* AddReg(quint16 reg, qint32 count, qint32 kind);

  // Cursor iteration: FirstReg puts the cursor before the first request (-1)
  // and steps to it; both give nullptr past the end.
  TRegToAsk* FirstReg(int& cursor) const;
  TRegToAsk* NextReg(int& cursor) const;

  int Count() const { return static_cast<int>(m_regs.size()); }
  TRegToAsk* Reg(int index) const;

  const qint32 Number;  // sequence number within the owning TRegGroups

 private:
  std::vector<std::unique_ptr<TRegToAsk>> m_regs;
};

// The groups of one channel state; owns them.
class TRegGroups {
 public:
  TRegGroups() = default;
  TRegGroups(const TRegGroups&) = delete;
  TRegGroups& operator=(const TRegGroups&) = delete;

  // Creates a group numbered NextNumber, appends and returns it.
  TRegGroup* AddGroup();

  TRegGroup* FirstGroup(int& cursor) const;
  TRegGroup* NextGroup(int& cursor) const;

  // Every request of every group, group by group in order; empty groups are
  // passed over. The two cursors start at -1 like the single-level pairs.
  TRegToAsk* FirstReg(int& groupCursor, int& regCursor) const;
  TRegToAsk* NextReg(int& groupCursor, int& regCursor) const;

  // First request over all groups (in group order) whose Register equals
  // `reg`, or nullptr.
  TRegToAsk* FindReg(quint16 reg) const;

  int Count() const { return static_cast<int>(m_groups.size()); }

  qint32 NextNumber = 0;

 private:
  std::vector<std::unique_ptr<TRegGroup>> m_groups;
};

// Reads a group of register requests from one device.
class TAsk {
 public:
  static constexpr int BufferSize = 128;  // registers
  static constexpr int ChunkSize = 5;     // registers per Modbus request

  explicit TAsk(TMBMasterRTU* master);
  TAsk(const TAsk&) = delete;
  TAsk& operator=(const TAsk&) = delete;

  // Reads every request of `group` from the device at `address` and fills in
  // Values, Status, Time and the answered flag of each. Returns -1, and asks
  // nothing, when `group` is null or has no requests; otherwise 0.
  //
  // A request gets the first status other than mbASK_done among the chunks
  // that cover its registers, else mbASK_done; with mbANS_exception its
  // Values[0] is the device's error word. A request that cannot be read at all
  // (no registers, more than BufferSize registers, or reaching past register
  // 0xFFFF) gets mbASK_error without a Modbus request. A group whose span is
  // wider than the buffer is read request by request.
  int ReadGroup(quint8 address, TRegGroup* group);

  quint8 Address = 0;
  std::array<quint16, BufferSize> Buffer{};
  // Lowest and highest register of the last span read and its width. Kept in
  // int: register + count - 1 and the width of a full 16-bit range do not fit
  // 16 bits.
  int First = 0;
  int Last = -1;
  int Span = 0;
  TRegGroup* Group = nullptr;
  // First failing chunk status of the last read, else mbASK_done. Kept in int
  // so that an unknown (negative) status from the master is not folded into a
  // valid-looking code.
  int Status = 0;
  double Time = 0.0;
  TMBMasterRTU* const Master;  // not owned

 private:
  struct TChunk {
    int First;
    int Count;
    int Status;
    quint16 ErrorWord;
  };

  void ReadSpan(int first, int span, std::vector<TChunk>& chunks);
  void Distribute(TRegToAsk& req, int first, const std::vector<TChunk>& chunks);
  void Refuse(TRegToAsk& req);
};
