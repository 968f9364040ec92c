#include "app/appSettings.h"

std::unique_ptr<QSettings> UserSettings()
{
  return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                     QString::fromLatin1(kSettingsOrganisation));
}

std::unique_ptr<QSettings> SystemSettings()
{
  return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::SystemScope,
                                     QString::fromLatin1(kSettingsOrganisation));
}

bool ReadIntSetting(const QSettings& settings, const QString& name, int& value)
{
  const QVariant v = settings.value(name);
  if (!v.isValid())
    return false;
  bool ok = false;
  const int parsed = v.toInt(&ok);
  if (ok)
    value = parsed;
  return ok;
}
