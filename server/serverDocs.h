#pragma once

// The two documents a terminal asks for after log-on: the device type
// definitions and the installation's main definitions. They come from a
// folder (types.xml, main.xml), from the demonstration installation shipped
// with the program, or are generated for a synthetic installation of any
// size (load tests and benchmarks).

#include <QByteArray>
#include <QString>

struct TServerOptions;

struct TServerDocuments {
  QByteArray Types;
  QByteArray Main;
};

// The demonstration installation: "demo" beside the program when it is
// there (installed or build tree), otherwise the copy in the sources.
// Thread contract: any thread.
QString DefaultDemoDir();

// types.xml and main.xml of `dir`; false (with *error) when one is missing.
bool ReadServerDocuments(const QString& dir, TServerDocuments& docs, QString* error);

// One device type of `channels` inputs and `units` units of it, with groups of
// ten units each. Channel kinds (temperature, pressure, flow, level, power)
// take turns so charts and reports of a synthetic plant look like a real one.
// LogIds run 1 … units × channels in unit order.
TServerDocuments SyntheticDocuments(int units, int channels);

// Limits a synthetic installation stays within (LogIds and document size).
inline constexpr int kMaxSyntheticUnits = 10000;
inline constexpr int kMaxSyntheticChannels = 64;

// The documents the options ask for: synthetic, a folder, or the demo.
bool LoadServerDocuments(const TServerOptions& options, TServerDocuments& docs, QString* error);
