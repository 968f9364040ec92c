#include "app/serverPaths.h"

#include "app/appSettings.h"

namespace {
const QChar kQuote = QLatin1Char('"');
const QString kDoubledQuote = QStringLiteral("\"\"");
}  // namespace

QStringList ParseServerPaths(const QString& value)
{
  QStringList paths;
  const QStringList parts = value.split(QLatin1Char(';'));
  for (QString part : parts) {
    if (part.startsWith(kQuote))
      part.remove(0, 1);
    if (part.endsWith(kQuote))
      part.chop(1);
    part.replace(kDoubledQuote, QString(kQuote));
    if (!part.isEmpty())
      paths.append(part);
  }
  return paths;
}

QString BuildServerPaths(const QStringList& paths)
{
  QStringList quoted;
  quoted.reserve(paths.size());
  for (QString path : paths) {
    path.replace(kQuote, kDoubledQuote);
    quoted.append(kQuote + path + kQuote);
  }
  return quoted.join(QLatin1Char(';'));
}

void MoveToTop(QStringList& paths, const QString& text)
{
  if (text.isEmpty())
    return;
  paths.removeIf([&text](const QString& path) {
    return path.compare(text, Qt::CaseInsensitive) == 0;
  });
  paths.prepend(text);
}

QStringList LoadServerPaths()
{
  return ParseServerPaths(UserSettings()->value(QLatin1String(kServerPathsValue)).toString());
}

QString SaveServerPaths(const QStringList& paths)
{
  const QString value = BuildServerPaths(paths);
  auto settings = UserSettings();
  settings->setValue(QLatin1String(kServerPathsValue), value);
  settings->sync();
  return value;
}
