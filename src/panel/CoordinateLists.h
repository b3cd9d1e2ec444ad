#pragma once

#include <QString>

#include <vector>

// The entries of the panel's two coordinate-system lists for a command set (-1 not read, 0 ZML-1,
// 1 NC code, 2 both), in the order they are shown; each entry carries its coordinate-system
// number (0 machine, 1 user, 2 EXOFS, 3..8 G54..G59).
struct CoordinateEntry
{
    QString text;
    int number;
};
using CoordinateEntries = std::vector<CoordinateEntry>;

// The list of the coordinate system shown (1170): Machine first, then User unless the machine
// takes NC code only, then G54..G59 and EXOFS when it takes NC code.
CoordinateEntries ShownSystemEntries(int commandSet);
// The list of the coordinate system whose origin is set (1171): the same without Machine.
CoordinateEntries OriginSystemEntries(int commandSet);

// Index of the first entry carrying number; the first entry when none does; -1 when the list is
// empty.
int SelectEntryIndex(const CoordinateEntries& entries, int number);
