#include "app/translation.h"

#include <QCoreApplication>

QString Tr(const char* english)
{
  return QCoreApplication::translate("dravolux", english);
}
