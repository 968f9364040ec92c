#pragma once

// The list of recently used measurement servers, kept in the user settings as
// the value "TCPpath": every entry in double quotes (inner quotes doubled),
// separated by ";". The separator is split at every ";" without regard to the
// quoting, as the other programs of the installation write and read it that way.

#include <QString>
#include <QStringList>

// "" (and entries that are empty after unquoting) give no entries.
QStringList ParseServerPaths(const QString& value);
// An empty list gives "".
QString BuildServerPaths(const QStringList& paths);
// Puts a non-empty text first; an entry already equal to it (host names are
// case-insensitive) is removed, so the list never holds the same server twice.
void MoveToTop(QStringList& paths, const QString& text);

// Through UserSettings(); a missing value gives an empty list.
QStringList LoadServerPaths();
// Always writes the value (creating it when missing) and returns what was written.
QString SaveServerPaths(const QStringList& paths);

inline constexpr char kServerPathsValue[] = "TCPpath";
