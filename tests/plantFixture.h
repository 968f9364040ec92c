#pragma once

// The test plant: the fixture type definitions and, on request, the fixture
// main definitions, loaded into a configuration as the server link does it.

#include "app/cmdParms.h"
#include "model/DevListV4.h"
#include "model/TypeListV4.h"
#include "storage/mainDBxml.h"

#include <QFile>
#include <QtGlobal>

inline QByteArray ReadFixture(const QString& relative)
{
  QFile file(QStringLiteral(DRAVOLUX_TESTS_ROOT "/") + relative);
  if (!file.open(QIODevice::ReadOnly))
    qFatal("missing fixture %s", qPrintable(relative));
  return file.readAll();
}

struct TConfig {
  TcmdParms Cmd;
  TTypeListV4 Types;
  TMainDBParamsV4 Params{&Types, &Cmd};
  explicit TConfig(bool withMainDefinitions = false)
  {
    QString error;
    if (Params.LoadTypeDocument(ReadFixture("model/data/types.xml"), &error) != 0)
      qFatal("types fixture refused: %s", qPrintable(error));
    TmainDB store;
    if (withMainDefinitions &&
        store.LoadDocument(Params, ReadFixture("storage/data/main.xml")) != 0)
      qFatal("main fixture refused: %s", qPrintable(store.LastError()));
  }
};
