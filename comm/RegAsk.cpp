#include "comm/RegAsk.h"

#include "app/dateTimeDouble.h"
#include "comm/MBMaster.h"

#include <QDateTime>

#include <algorithm>

namespace {

// The reading time in the program's date-time form (local wall clock).
double NowAsDayCount()
{
  const QDateTime now = QDateTime::currentDateTime();
  return DateTimeToDouble(now.date(), now.time());
}

// A request that has no registers, does not fit the buffer, or runs past the
// last register address cannot be asked for; the size test comes first so the
// end register cannot overflow.
bool IsReadable(const TRegToAsk& req)
{
  return req.Count > 0 && req.Count <= TAsk::BufferSize &&
         static_cast<int>(req.Register) + req.Count - 1 <= 0xFFFF;
}

}  // namespace

// ---- TRegToAsk ----

TRegToAsk::TRegToAsk(quint16 reg, qint32 count, qint32 kind)
    : Register(reg), Count(count), Kind(kind), Values(static_cast<size_t>(std::max(count, 0)), 0)
{
}

// ---- TRegGroup ----

TRegGroup::TRegGroup(qint32 number) : Number(number) {}

TRegToAsk* TRegGroup::AddReg(quint16 reg, qint32 count, qint32 kind)
{
  if (count < 0)
    return nullptr;
  m_regs.push_back(std::make_unique<TRegToAsk>(reg, count, kind));
  return m_regs.back().get();
}

TRegToAsk* TRegGroup::FirstReg(int& cursor) const
{
  cursor = -1;
  return NextReg(cursor);
}

TRegToAsk* TRegGroup::NextReg(int& cursor) const
{
  if (cursor < Count())
    ++cursor;
  return Reg(cursor);
}

TRegToAsk* TRegGroup::Reg(int index) const
{
  if (index < 0 || index >= Count())
    return nullptr;
  return m_regs[static_cast<size_t>(index)].get();
}

// ---- TRegGroups ----

TRegGroup* TRegGroups::AddGroup()
{
  m_groups.push_back(std::make_unique<TRegGroup>(NextNumber));
  ++NextNumber;
  return m_groups.back().get();
}

TRegGroup* TRegGroups::FirstGroup(int& cursor) const
{
  cursor = -1;
  return NextGroup(cursor);
}

TRegGroup* TRegGroups::NextGroup(int& cursor) const
{
  if (cursor < Count())
    ++cursor;
  if (cursor < 0 || cursor >= Count())
    return nullptr;
  return m_groups[static_cast<size_t>(cursor)].get();
}

TRegToAsk* TRegGroups::FirstReg(int& groupCursor, int& regCursor) const
{
  groupCursor = -1;
  regCursor = -1;
  return NextReg(groupCursor, regCursor);
}

TRegToAsk* TRegGroups::NextReg(int& groupCursor, int& regCursor) const
{
  if (groupCursor < 0) {
    groupCursor = 0;
    regCursor = -1;
  }
  while (groupCursor < Count()) {
    const TRegGroup& group = *m_groups[static_cast<size_t>(groupCursor)];
    if (TRegToAsk* req = group.NextReg(regCursor))
      return req;
    ++groupCursor;
    regCursor = -1;
  }
  return nullptr;
}

TRegToAsk* TRegGroups::FindReg(quint16 reg) const
{
  int g = -1;
  int r = -1;
  for (TRegToAsk* req = FirstReg(g, r); req; req = NextReg(g, r)) {
    if (req->Register == reg)
      return req;
  }
  return nullptr;
}

// ---- TAsk ----

TAsk::TAsk(TMBMasterRTU* master) : Master(master) {}

int TAsk::ReadGroup(quint8 address, TRegGroup* group)
{
  Address = address;
  Group = group;
  First = 0;
  Last = -1;
  Span = 0;
  if (!group || group->Count() == 0)
    return -1;

  Time = NowAsDayCount();
  Status = mbASK_done;
  // A failed chunk must not hand on values of an earlier read as if they were
  // fresh, so every read starts from a zeroed buffer.
  Buffer.fill(0);

  std::vector<TRegToAsk*> readable;
  int first = 0x10000;
  int last = -1;
  int cursor = -1;
  for (TRegToAsk* req = group->FirstReg(cursor); req; req = group->NextReg(cursor)) {
    if (!IsReadable(*req)) {
      Refuse(*req);
      continue;
    }
    readable.push_back(req);
    first = std::min(first, static_cast<int>(req->Register));
    last = std::max(last, static_cast<int>(req->Register) + req->Count - 1);
  }
  if (readable.empty())
    return 0;
  First = first;
  Last = last;
  Span = last - first + 1;

  std::vector<TChunk> chunks;
  if (Span <= BufferSize) {
    ReadSpan(First, Span, chunks);
    for (TRegToAsk* req : readable)
      Distribute(*req, First, chunks);
    return 0;
  }
  // A status register far from the value register makes the span wider than
  // the buffer. Each request fits on its own, so such a group is read request
  // by request instead of being refused; the gap is not read at all.
  for (TRegToAsk* req : readable) {
    Buffer.fill(0);
    chunks.clear();
    ReadSpan(req->Register, req->Count, chunks);
    Distribute(*req, req->Register, chunks);
  }
  return 0;
}

void TAsk::ReadSpan(int first, int span, std::vector<TChunk>& chunks)
{
  for (int pos = 0; pos < span; pos += ChunkSize) {
    const int count = std::min(ChunkSize, span - pos);
    quint16* values = Buffer.data() + pos;
    const int status =
        Master ? Master->AskForWaitHoldRegisters(Address, static_cast<quint16>(first + pos),
                                                 static_cast<quint16>(count), values)
               : static_cast<int>(mbASK_error);
    quint16 errorWord = 0;
    if (status != mbASK_done) {
      if (status == mbANS_exception)
        errorWord = values[0];
      // Whatever a failed answer left in the buffer is not register content.
      std::fill(values, values + count, quint16(0));
      if (Status == mbASK_done)
        Status = status;
    }
    chunks.push_back({first + pos, count, status, errorWord});
    // A failed chunk does not stop the following ones: the other requests of
    // the group may still be answered.
  }
}

void TAsk::Distribute(TRegToAsk& req, int first, const std::vector<TChunk>& chunks)
{
  // Each request takes the first failure among the chunks that cover its own
  // registers. Giving every request the status of the last chunk would let a
  // request whose chunk timed out pass as valid when a later chunk answered.
  const int lo = req.Register;
  const int hi = lo + req.Count - 1;
  int status = mbASK_done;
  quint16 errorWord = 0;
  for (const TChunk& chunk : chunks) {
    if (chunk.Status != mbASK_done && chunk.First <= hi && chunk.First + chunk.Count - 1 >= lo) {
      status = chunk.Status;
      errorWord = chunk.ErrorWord;
      break;
    }
  }
  const auto from = Buffer.begin() + (lo - first);
  req.Values.assign(from, from + req.Count);
  // The channel decoding reads the device's error word from the first value
  // of an exception answer, whichever chunk of the request carried it.
  if (status == mbANS_exception)
    req.Values[0] = errorWord;
  req.Status = status;
  req.Time = Time;
  req.MarkAnswered();
}

void TAsk::Refuse(TRegToAsk& req)
{
  req.Values.assign(static_cast<size_t>(std::max(req.Count, 0)), 0);
  req.Status = mbASK_error;
  req.Time = Time;
  req.MarkAnswered();
  if (Status == mbASK_done)
    Status = mbASK_error;
}
