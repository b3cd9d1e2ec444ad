// The user-interface helpers that the fuzzed output-layer sources call, reduced to what needs
// no window: messages are dropped and texts are their ids. Only the fuzz targets link these.
#include "FileErrorMessage.h"
#include "StringTable.h"

QString LoadString(int id)
{
    return QString::number(id);
}

void ShowFileError(QWidget*, int, const QString&, FileOperation) {}
