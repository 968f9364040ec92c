#include "model/DevListV4.h"

#include "app/cmdParms.h"

TMainDBParamsV4::TMainDBParamsV4(TTypeListV4* typeList, const TcmdParms* cmdParms)
    : TypeList(typeList),
      CmdParms(cmdParms),
      BasesDir(cmdParms != nullptr ? cmdParms->BasesDir : TcmdParms::DefaultBasesDir())
{
}

TMainDBParamsV4::~TMainDBParamsV4() = default;

void TMainDBParamsV4::StopStore() {}
