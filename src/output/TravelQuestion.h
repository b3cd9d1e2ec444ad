#pragma once

#include "NcInterpreter.h"
#include "NcPath.h"
#include "NcReader.h"
#include "NcTravel.h"

#include <QString>

#include <cstdint>
#include <functional>

class CCutDataFile;
class CPanelAccess;
class CModelingMachine;
class QByteArray;
class QWidget;

// The extents on the machine of the program of a file image, read a slice at a time: each
// Step reads about SliceBytes of the image into a small path of its own, adds that path's
// extents and drops it. No copy of the whole program is ever held, and the caller keeps its
// windows working between slices.
class CTravelScan
{
public:
    static constexpr int64_t SliceBytes = 1 << 20;

    // panel: where the origins come from (the machine's zero without one).
    CTravelScan(const CCutDataFile& file, const CNcReadOptions& options, CPanelAccess* panel,
                int64_t sliceBytes = SliceBytes);
    bool Done() const { return m_cursor.done; }
    void Step();
    int64_t BytesRead() const { return m_cursor.p - m_cursor.begin; }
    const CNcExtents& Extents() const { return m_extents; }

private:
    CNcReadCursor m_cursor;
    CPanelAccess* m_panel;
    int64_t m_sliceBytes;
    CNcOrigins m_origins;
    CNcExtents m_extents;
    // Where the last move so far ended (in the system of the cursor's last move).
    bool m_moved = false;
    NcPoint m_before;
};

// A travel check taking longer than this shows its progress, with Cancel.
constexpr int TravelProgressDelayMs = 500;
constexpr int TravelProgressSteps = 1000;

// The question asked before an NC program that leaves the machine's travel is sent: the file's
// name and, for each axis and side it leaves, by how much.
QString TravelQuestionText(const QString& name, const CNcTravelCheck& check);

// The program of a cutting-data file image (empty for an empty file).
CNcPath ReadFileProgram(const CCutDataFile& file, const CNcReadOptions& options);

// Asks in the panel message box (Yes / No, exclamation) whether to send a program that leaves
// the travel; true for Yes.
bool AskSendOutsideTravel(const QString& name, const CNcTravelCheck& check, QWidget* parent);

enum class TravelAnswer
{
    Send, // it fits, the user said Yes, it is no NC code, or the machine cannot tell its travel
    Skip, // the user said No: this file is not sent, the job goes on
    Stop, // the file could not be loaded (the user has been told): the job ends here
};

// Whether a file starts as NC code does (the first byte after the empty lines is "%" or "("),
// tested on its first bytes; a file that cannot be read counts as no NC code.
bool StartsAsNcCode(const QByteArray& path);

// Brings a file's image into the image given to ConfirmTravelBeforeOutput: true when it is
// there (already, or loaded now); false when it cannot be loaded (the user has been told).
using ImageLoader = std::function<bool(const QByteArray& path)>;

// Before the output job sends a file: an NC-code file whose program leaves the machine's travel
// from the panel's current origin (the machine's zero without a panel) is sent only when the
// user agrees. ZML-1 files are sent as they are. The check works on image, which load fills:
// the caller's own image of the file where it has one, so that no second copy is made.
TravelAnswer ConfirmTravelBeforeOutput(const QByteArray& path, CCutDataFile& image,
                                       const ImageLoader& load, CModelingMachine& machine,
                                       CPanelAccess* panel, QWidget* parent);
// The same for a file already in memory (the test cut's files): Send or Skip.
TravelAnswer ConfirmTravel(const CCutDataFile& file, CModelingMachine& machine, CPanelAccess* panel,
                           QWidget* parent);
