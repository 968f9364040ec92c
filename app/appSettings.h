#pragma once

// Persistent settings under the organisation "Dravolux_Soft" (one key, values
// stored directly in it, as the names are shared with the installation's
// other programs). User scope holds the window placement, "DontShowErrors"
// and "TCPpath"; system scope is read-only and holds "lang".
// Tests redirect the files with QSettings::setPath().

#include <QSettings>

#include <memory>

inline constexpr char kSettingsOrganisation[] = "Dravolux_Soft";

std::unique_ptr<QSettings> UserSettings();
std::unique_ptr<QSettings> SystemSettings();

// Reads an integer value; false (and value untouched) when missing or not an integer.
bool ReadIntSetting(const QSettings& settings, const QString& name, int& value);
