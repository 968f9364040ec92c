#pragma once

// The server's own log: time-stamped lines on standard output, so an
// operator (or a script driving a test installation) can follow connections,
// log-ons and requests. Off until the program switches it on, so library
// users such as tests stay quiet.

#include <QString>

// Thread contract (both): any thread.
void SetServerLogEnabled(bool enabled);
void ServerLog(const QString& text);
