#pragma once
// Describes the user's machine for the analytics events: operating-system
// tag, processor and display adapters. Processor and adapter values are read
// once and cached for the rest of the run. GUI thread only (no locks).

#include <QString>
#include <QStringList>

// One of "Windows_XP", "Windows_7", "Windows_8", "Windows_8.1", "Windows_10",
// "Unknown".
void osShortName(QString& result);

// Fills the processor's name, vendor id, logical processor count and clock in
// MHz; returns true. Cached once a non-empty model has been read.
bool cpuInfo(QString& model, QString& vendor, int& count, int& mhz);

// Appends the display adapters' descriptions in enumeration order; leaves the
// list as it was when none can be enumerated.
void dxgiAdapterNames(QStringList& result);
