#include "model/typeXMLstor.h"

#include "model/TypeListV4.h"
#include "model/TypeUnitV4.h"
#include "model/baseXMLstor.h"

#include <exception>

namespace {

qint32 IntChild(const TXmlElement& parent, QStringView name)
{
  return XmlInt(parent.RequiredChildText(name));
}

bool BoolChild(const TXmlElement& parent, QStringView name)
{
  return XmlBool(parent.RequiredChildText(name));
}

qint32 IntAttr(const TXmlElement& element, QStringView name)
{
  return XmlInt(element.RequiredAttr(name));
}

std::unique_ptr<TPomRegV4> ReadInUnit(const TXmlElement& e)
{
  auto reg = std::make_unique<TPomRegV4>();
  reg->IDReg = IntAttr(e, u"IDReg");
  reg->Name = e.RequiredChildText(u"Name");
  reg->PhUnit = e.RequiredChildText(u"PhUnit");

  const TXmlElement& regElement = e.RequiredChild(u"Reg");
  reg->Register = quint32(IntAttr(regElement, u"Register")) & 0xFFFFu;
  const qint32 code = TtypeXMLstor::RegTypeCode(regElement.RequiredChildText(u"RegType"));
  // Inputs take their register count from the low 4 bits; an unknown name
  // (-1) thus asks for 15 registers and never decodes.
  reg->RegCount = code & 0xF;
  reg->RegType = static_cast<qint32>(quint32(code) & ~0xF0u);
  const QString spcFnc = regElement.RequiredChildText(u"SpcFnc");
  bool ok = false;
  reg->SpcFnc = XmlStrictInt(spcFnc, &ok);
  if (!ok) {
    throw TXmlLoadError(QStringLiteral("SpcFnc \"%1\" of inUnit %2 is not an integer.")
                            .arg(spcFnc)
                            .arg(reg->IDReg));
  }

  const TXmlElement& status = e.RequiredChild(u"Status");
  reg->StatReg = IntAttr(status, u"StatReg");
  reg->StatRegM = IntChild(status, u"StatRegM");

  reg->Multiplier = XmlDecimal(e.RequiredChildText(u"Multiplier"));

  const TXmlElement& point = e.RequiredChild(u"Point");
  reg->IsProgPoint = BoolChild(point, u"IsProgPoint");
  reg->PointReg = IntChild(point, u"PointReg");
  reg->PointRegM = IntChild(point, u"PointRegM");
  reg->PointValue = IntChild(point, u"PointValue");
  reg->CanChange = BoolChild(point, u"CanChange");
  return reg;
}

std::unique_ptr<TOutRegV4> ReadOutUnit(const TXmlElement& e)
{
  auto reg = std::make_unique<TOutRegV4>();
  reg->IDReg = IntAttr(e, u"IDReg");
  const TXmlElement& regElement = e.RequiredChild(u"Reg");
  reg->Register = IntAttr(regElement, u"Register");
  // Outputs keep the code as it is; the acquisition side refuses an output
  // whose count is not 1..4, which includes the unknown code -1.
  reg->RegType = TtypeXMLstor::RegTypeCode(regElement.RequiredChildText(u"RegType"));
  reg->RegCount = reg->RegType & 0xFFFF;
  const TXmlElement& point = e.RequiredChild(u"Point");
  reg->IfPoint = BoolChild(point, u"IfPoint");
  reg->PointReg = IntChild(point, u"PointReg");
  reg->PointRegM = IntChild(point, u"PointRegM");
  return reg;
}

std::unique_ptr<TErrorV4> ReadError(const TXmlElement& e)
{
  auto err = std::make_unique<TErrorV4>();
  // IDErr is read for completeness only; AddError numbers entries by position.
  err->Number = e.HasAttr(u"IDErr") ? XmlInt(e.Attr(u"IDErr")) : -1;
  err->ErrCode = IntChild(e, u"ErrCode");
  err->ErrCodeM_OR = IntChild(e, u"ErrCodeM_OR");
  err->Desc = e.RequiredChildText(u"Desc");
  return err;
}

}  // namespace

TtypeXMLstor::TtypeXMLstor() = default;
TtypeXMLstor::~TtypeXMLstor() = default;

qint32 TtypeXMLstor::RegTypeCode(QStringView name)
{
  static const struct {
    const char16_t* Name;
    qint32 Code;
  } table[] = {
      {u"SINT16", RegTypeSINT16}, {u"UINT16", RegTypeUINT16}, {u"SINT32", RegTypeSINT32},
      {u"UINT32", RegTypeUINT32}, {u"SINT48", RegTypeSINT48}, {u"UINT48", RegTypeUINT48},
      {u"SINT64", RegTypeSINT64}, {u"UINT64", RegTypeUINT64},
  };
  for (const auto& entry : table) {
    if (name == QStringView(entry.Name))
      return entry.Code;
  }
  return RegTypeUnknown;
}

std::unique_ptr<TTypeV4> TtypeXMLstor::ReadDevice(const TXmlElement& device) const
{
  const QString idText = device.RequiredAttr(u"id");
  try {
    auto type = TTypeV4::Create(XmlInt(idText));
    type->MBusID = IntChild(device, u"MBusID");
    type->MBusIDM_ORA = IntChild(device, u"MBusIDM_ORA");
    type->Name = device.RequiredChildText(u"Name");
    for (const TXmlElement* in : device.Children(u"inUnit"))
      type->AddInReg(ReadInUnit(*in));
    for (const TXmlElement* out : device.Children(u"outUnit"))
      type->AddOutReg(ReadOutUnit(*out));
    if (const TXmlElement* errors = device.Child(u"Errors")) {
      for (const TXmlElement* err : errors->Children(u"Error"))
        type->AddError(ReadError(*err));
    }
    return type;
  } catch (const TXmlLoadError& e) {
    throw TXmlLoadError(QStringLiteral("Device %1: %2").arg(idText, e.Message()));
  }
}

int TtypeXMLstor::Load(const QByteArray& document, TTypeListV4& list)
{
  m_typeList = &list;
  m_lastError.clear();
  try {
    QString error;
    m_root = ParseXml(document, &error);
    if (!m_root) {
      m_lastError = error;
      return -1;
    }
    TTypeListV4 staged;
    for (const TXmlElement* device : m_root->Children(u"Device"))
      staged.Add(ReadDevice(*device));
    list.Append(std::move(staged));
    return 0;
  } catch (const TXmlLoadError& e) {
    m_lastError = e.Message();
  } catch (const std::exception& e) {
    // Out of memory on a huge but well-formed document: refused like any other.
    m_lastError = QString::fromLocal8Bit(e.what());
  }
  return -1;
}
