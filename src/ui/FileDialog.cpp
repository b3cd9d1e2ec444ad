#include "FileDialog.h"

#include "FileDialogFilter.h"

#include <QFileDialog>

#include <utility>

namespace {

FileDialogRunner& ReplacedRunner()
{
    static FileDialogRunner runner;
    return runner;
}

FileDialogAnswer RunQFileDialog(QWidget* parent, const FileDialogRequest& request, bool own)
{
    QFileDialog dialog(parent, request.title, request.directory);
    if (own)
        dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilters(request.filters);
    if (!request.selectedFilter.isEmpty())
        dialog.selectNameFilter(request.selectedFilter);
    switch (request.mode) {
    case FileDialogRequest::Mode::OpenOne:
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        break;
    case FileDialogRequest::Mode::OpenMany:
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFiles);
        break;
    case FileDialogRequest::Mode::Save:
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setDefaultSuffix(request.defaultSuffix);
        if (request.suffixFromFilter) {
            const auto follow = [&dialog](const QString& filter) {
                dialog.setDefaultSuffix(FilterExtension(filter));
            };
            follow(dialog.selectedNameFilter());
            QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, follow);
        }
        break;
    }
    FileDialogAnswer answer;
    if (dialog.exec() == QDialog::Accepted) {
        answer.paths = dialog.selectedFiles();
        answer.selectedFilter = dialog.selectedNameFilter();
    }
    return answer;
}

} // namespace

FileDialogAnswer RunFileDialog(QWidget* parent, const FileDialogRequest& request)
{
    if (const FileDialogRunner& runner = ReplacedRunner())
        return runner(parent, request);
    return RunQFileDialog(parent, request, false);
}

FileDialogAnswer RunOwnFileDialog(QWidget* parent, const FileDialogRequest& request)
{
    return RunQFileDialog(parent, request, true);
}

FileDialogRunner SetFileDialogRunner(FileDialogRunner runner)
{
    return std::exchange(ReplacedRunner(), std::move(runner));
}
