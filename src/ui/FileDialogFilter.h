#pragma once

#include <QString>
#include <QStringList>

// The string table keeps file-dialog filters in the classic form "Description|patterns|...||"
// ("Output File List (*.ofl)|*.ofl||"). QFileDialog wants one "Description (pattern pattern)"
// per filter; this turns one into the other. Patterns separated by ';' become space-separated,
// and "*.*" becomes "*", so that "All" shows files without an extension too.
QStringList FileDialogFilters(const QString& classic);

// The extension a filter's first pattern names, without the dot ("Text file (*.txt)" gives
// "txt"); empty for a pattern of every file or with wildcards in its extension.
QString FilterExtension(const QString& filter);
