#include "FileResultMessage.h"

#include "AlarmText.h"
#include "FileErrorMessage.h"
#include "PanelMessageBox.h"
#include "StringIds.h"
#include "StringTable.h"

namespace {

void ShowNotFound(QWidget* parent, const QString& path)
{
    CPanelMessageBox box(FormatConnectionError(ConnectionErrorKind::NotFound, path),
                         BoxStyle::ExclamationOk, parent);
    box.SetCaption(BoxResult::Ok, LoadString(Str::Ok));
    box.exec();
}

} // namespace

bool ReportFileResult(QWidget* parent, const CFileResult& result)
{
    using Failure = CFileResult::Failure;
    switch (result.failure) {
    case Failure::None:
        return true;
    case Failure::NotFound:
        ShowNotFound(parent, result.path);
        break;
    case Failure::Open:
        ShowFileError(parent, result.error, result.path, FileOperation::Open);
        break;
    case Failure::Read:
        ShowFileError(parent, result.error, result.path, FileOperation::Read);
        break;
    case Failure::Write:
        ShowFileError(parent, result.error, result.path, FileOperation::Write);
        break;
    case Failure::BadFormat:
        ShowFileMessage(parent, LoadString(Str::FileBadFormat).arg(result.path));
        break;
    }
    return false;
}
