#include "CutDlg.h"

#include "CutDataSet.h"
#include "FileDialog.h"
#include "FileDialogFilter.h"
#include "FileErrorMessage.h"
#include "FileResultMessage.h"
#include "ImageButton.h"
#include "JobDlg.h"
#include "ModelingMachine.h"
#include "PanelAccess.h"
#include "ProgramPlacement.h"
#include "SleepInhibitor.h"
#include "StartLineQuestion.h"
#include "StringIds.h"
#include "StringTable.h"
#include "TestCutDlg.h"
#include "TextViewCtrl.h"
#include "ToolpathDlg.h"
#include "TravelQuestion.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QVBoxLayout>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <memory>
#include <vector>

namespace {

constexpr int UpArrowBitmap = 145;
constexpr int DownArrowBitmap = 146;
constexpr int ListLabel = -1;
constexpr int PreviewLabel = -2;
constexpr int ProgressSteps = 1000;

// The folder, or the file in it, that a list-file dialog starts at.
QString StartAt(const QByteArray& currentListFile)
{
    return currentListFile.isEmpty() ? QString() : QFile::decodeName(currentListFile);
}

} // namespace

CCutDlg::CCutDlg(CModelingMachine& machine, CPanelAccess* panel)
    : QDialog(panel ? panel->Window() : nullptr), m_machine(machine), m_panel(panel)
{
    setObjectName(QString::number(TemplateId));
    setWindowTitle(LoadCaption(TemplateId, 0));
    setAcceptDrops(true);

    m_fileList = new QListWidget(this);
    m_fileList->setObjectName(QString::number(FileListId));
    m_fileList->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_fileList->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_fileList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_preview = new CTextViewCtrl(this);
    m_preview->setObjectName(QString::number(PreviewId));
    m_preview->setMinimumSize(420, 160);

    auto* buttons = new QVBoxLayout;
    QPushButton* add = AddButton(AddId);
    QPushButton* remove = AddButton(DeleteId);
    QPushButton* removeAll = AddButton(DeleteAllId);
    for (QPushButton* button : {add, remove, removeAll})
        buttons->addWidget(button);
    auto* moves = new QHBoxLayout;
    m_moveUp = new CImageButton(this);
    m_moveUp->setObjectName(QString::number(MoveUpId));
    m_moveDown = new CImageButton(this);
    m_moveDown->setObjectName(QString::number(MoveDownId));
    moves->addWidget(m_moveUp);
    moves->addWidget(m_moveDown);
    buttons->addLayout(moves);
    buttons->addStretch();
    QPushButton* test = AddButton(TestId);
    auto* toolpath = new QPushButton(LoadString(Str::ToolpathCaption), this);
    toolpath->setObjectName(ToolpathName);
    toolpath->setAutoDefault(false);
    auto* startLine = new QPushButton(LoadString(Str::StartFromLineCaption), this);
    startLine->setObjectName(StartLineName);
    startLine->setAutoDefault(false);
    m_pauseCheck = new QCheckBox(LoadCaption(TemplateId, PauseId), this);
    m_pauseCheck->setObjectName(QString::number(PauseId));
    QPushButton* save = AddButton(SaveListId);
    QPushButton* view = AddButton(ViewListId);
    QPushButton* output = AddButton(OutputId);
    QPushButton* cancel = AddButton(CancelId);
    for (QWidget* widget : std::initializer_list<QWidget*>{test, toolpath, startLine, m_pauseCheck,
                                                           save, view, output, cancel})
        buttons->addWidget(widget);
    // The template's OK, hidden and unused. No button is the default: Enter or Return anywhere
    // in the dialog must not send the whole list to the machine; Output starts only when it is
    // clicked or, focused, pressed with Space, or by its mnemonic.
    AddButton(OkId)->hide();

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(LoadCaption(TemplateId, ListLabel), this), 0, 0);
    grid->addWidget(m_fileList, 1, 0);
    grid->addWidget(new QLabel(LoadCaption(TemplateId, PreviewLabel), this), 2, 0);
    grid->addWidget(m_preview, 3, 0);
    grid->addLayout(buttons, 0, 1, 4, 1);
    grid->setRowStretch(1, 1);
    grid->setRowStretch(3, 2);

    // The selection, not the current row: the current row changes before the selection does,
    // it does not change on a click on the row that is current already (a single entry), nor
    // when Ctrl+click deselects the entry.
    connect(m_fileList, &QListWidget::itemSelectionChanged, this, [this] { UpdateSelection(); });
    connect(add, &QPushButton::clicked, this, &CCutDlg::OnAdd);
    connect(remove, &QPushButton::clicked, this, &CCutDlg::OnDelete);
    connect(removeAll, &QPushButton::clicked, this, &CCutDlg::OnDeleteAll);
    connect(m_moveUp, &QPushButton::clicked, this, [this] { OnMove(-1); });
    connect(m_moveDown, &QPushButton::clicked, this, [this] { OnMove(1); });
    connect(test, &QPushButton::clicked, this, &CCutDlg::OnTest);
    connect(toolpath, &QPushButton::clicked, this, &CCutDlg::OnToolpath);
    connect(startLine, &QPushButton::clicked, this, &CCutDlg::OnStartFromLine);
    connect(m_pauseCheck, &QCheckBox::clicked, this,
            [this](bool checked) { m_pauseEachFile = checked; });
    connect(save, &QPushButton::clicked, this, &CCutDlg::OnSaveList);
    connect(view, &QPushButton::clicked, this, &CCutDlg::OnViewList);
    connect(output, &QPushButton::clicked, this, &CCutDlg::OnOutput);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

CCutDlg::~CCutDlg() = default;

QPushButton* CCutDlg::AddButton(int id)
{
    auto* button = new QPushButton(LoadCaption(TemplateId, id), this);
    button->setObjectName(QString::number(id));
    button->setAutoDefault(false);
    return button;
}

std::string CCutDlg::JobName(int index, int count)
{
    return "Mildek " + std::to_string(index + 1) + "/" + std::to_string(count);
}

void CCutDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CCutDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!m_initialised) {
        m_initialised = true;
        OnInitDialog();
    }
}

void CCutDlg::OnInitDialog()
{
    m_preview->ShowLineNumbers(false);
    m_preview->SetScrollPastEnd(false);
    m_preview->SetFile(nullptr);
    RefreshList();
    m_moveUp->SetImage(UpArrowBitmap, 1);
    m_moveDown->SetImage(DownArrowBitmap, 1);
    m_list.LoadFromStore();
    RefreshList();
}

// --- the list and the selection --------------------------------------------------------------

void CCutDlg::RefreshList()
{
    const int row = SelectedRow();
    {
        const QSignalBlocker quiet(m_fileList);
        m_fileList->clear();
        for (const QByteArray& entry : m_list.GetEntries())
            m_fileList->addItem(COutputFileList::DisplayText(entry));
        if (row >= 0 && row < m_list.GetCount())
            m_fileList->setCurrentRow(row);
    }
    const bool any = m_list.GetCount() > 0;
    for (int id : {DeleteAllId, SaveListId, DeleteId})
        findChild<QPushButton*>(QString::number(id))->setEnabled(any);
    UpdateSelection();
}

int CCutDlg::SelectedRow() const
{
    const QList<QListWidgetItem*> selected = m_fileList->selectedItems();
    return selected.isEmpty() ? -1 : m_fileList->row(selected.first());
}

void CCutDlg::SelectRow(int row)
{
    const QSignalBlocker quiet(m_fileList);
    if (row < 0) {
        m_fileList->clearSelection();
        m_fileList->setCurrentRow(-1);
    } else {
        m_fileList->setCurrentRow(row);
    }
}

void CCutDlg::UpdateSelection()
{
    const int row = SelectedRow();
    m_moveUp->setEnabled(row > 0);
    m_moveDown->setEnabled(row >= 0 && row + 1 < m_list.GetCount());
    auto* test = findChild<QPushButton*>(QString::number(TestId));
    auto* toolpath = findChild<QPushButton*>(ToolpathName);
    auto* startLine = findChild<QPushButton*>(StartLineName);
    if (row >= 0) {
        const QByteArray entry = m_list.GetEntry(row);
        if (ReportFileResult(this, COutputFileList::CheckFileExists(entry)) && LoadPreview(entry) &&
            m_previewFile.IsNcCode()) {
            test->setEnabled(m_testAllowed);
            toolpath->setEnabled(true);
            startLine->setEnabled(true);
            m_preview->SetFile(&m_previewFile);
            return;
        }
    }
    test->setEnabled(false);
    toolpath->setEnabled(false);
    startLine->setEnabled(false);
    m_preview->SetFile(nullptr);
}

bool CCutDlg::LoadPreview(const QByteArray& path)
{
    // The image stays while the file is unchanged on disk: a list refresh or a selection
    // change reads a large file again only when it has changed. An image whose file was
    // rewritten under it is read again even when the size and time were kept, as it maps the
    // file and would show old and new contents mixed.
    struct stat info
    {
    };
    const bool known = ::stat(path.constData(), &info) == 0;
    if (known && m_previewLoaded && m_previewFile.GetPath() == path &&
        m_previewSize == int64_t(info.st_size) && m_previewTime.tv_sec == info.st_mtim.tv_sec &&
        m_previewTime.tv_nsec == info.st_mtim.tv_nsec && !m_previewFile.Changed())
        return true;
    // Another file: a large image is given back before the next one is read, so that two never
    // stand side by side.
    if (m_previewFile.GetCapacity() > KeptCapacity) {
        m_preview->SetFile(nullptr);
        m_previewFile.Release();
    }
    m_previewSize = known ? int64_t(info.st_size) : -1;
    m_previewTime = known ? info.st_mtim : timespec{};
    // A large file takes a moment; the status polling resumes as soon as it is in.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const CFileResult loaded = m_previewFile.Load(path);
    QApplication::restoreOverrideCursor();
    m_previewLoaded = ReportFileResult(this, loaded);
    return m_previewLoaded;
}

// --- the buttons ------------------------------------------------------------------------------

void CCutDlg::OnAdd()
{
    FileDialogRequest request;
    request.mode = FileDialogRequest::Mode::OpenMany;
    request.filters = FileDialogFilters(LoadString(Str::OutputFileFilter));
    const FileDialogAnswer answer = RunFileDialog(this, request);
    for (const QString& path : answer.paths) {
        ReportFileResult(this, m_list.MergeFile(QFile::encodeName(path)));
        RefreshList();
    }
}

void CCutDlg::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void CCutDlg::dropEvent(QDropEvent* event)
{
    for (const QUrl& url : event->mimeData()->urls()) {
        if (!url.isLocalFile())
            continue;
        ReportFileResult(this, m_list.MergeFile(QFile::encodeName(url.toLocalFile())));
        RefreshList();
    }
    event->acceptProposedAction();
}

void CCutDlg::OnDelete()
{
    const int row = SelectedRow();
    if (row < 0)
        return;
    m_list.Remove(row);
    // The entry now at the same place, or the new last one.
    SelectRow(std::min(row, m_list.GetCount() - 1));
    RefreshList();
}

void CCutDlg::OnDeleteAll()
{
    m_list.Clear();
    m_preview->SetFile(nullptr);
    RefreshList();
}

void CCutDlg::OnMove(int step)
{
    const int row = SelectedRow();
    const int target = row + step;
    if (row < 0 || target < 0 || target >= m_list.GetCount())
        return;
    const QByteArray entry = m_list.GetEntry(row);
    m_list.Remove(row);
    m_list.Insert(target, entry);
    {
        const QSignalBlocker quiet(m_fileList);
        delete m_fileList->takeItem(row);
        m_fileList->insertItem(target, COutputFileList::DisplayText(entry));
    }
    SelectRow(target);
    UpdateSelection();
}

void CCutDlg::OnSaveList()
{
    FileDialogRequest request;
    request.mode = FileDialogRequest::Mode::Save;
    request.filters = FileDialogFilters(LoadString(Str::ListFileFilter));
    request.directory = StartAt(m_currentListFile);
    request.defaultSuffix = QStringLiteral("ofl");
    const FileDialogAnswer answer = RunFileDialog(this, request);
    if (!answer.Accepted())
        return;
    QString chosen = answer.paths.first();
    // A name typed without an extension gets the list files' one.
    if (QFileInfo(chosen).suffix().isEmpty())
        chosen += QStringLiteral(".ofl");
    const QByteArray path = QFile::encodeName(chosen);
    if (ReportFileResult(this, m_list.WriteListFile(path)))
        m_currentListFile = path;
}

void CCutDlg::OnViewList()
{
    FileDialogRequest request;
    request.mode = FileDialogRequest::Mode::OpenOne;
    request.filters = FileDialogFilters(LoadString(Str::ListFileFilter));
    request.directory = StartAt(m_currentListFile);
    const FileDialogAnswer answer = RunFileDialog(this, request);
    if (answer.Accepted()) {
        const QByteArray path = QFile::encodeName(answer.paths.first());
        // A list file that opened is the current one, even when its format is bad.
        const CFileResult read = m_list.ReadListFile(path);
        if (read.Ok() || read.failure == CFileResult::Failure::BadFormat)
            m_currentListFile = path;
        ReportFileResult(this, read);
    }
    RefreshList();
}

void CCutDlg::OnOutput()
{
    ReportFileResult(this, m_list.SaveToStore());
    const int count = m_list.GetCount();
    std::vector<QByteArray> sent;
    for (int i = 0; i < count; ++i) {
        const QByteArray entry = m_list.GetEntry(i);
        if (m_pauseEachFile) {
            QMessageBox question(QMessageBox::Information, QApplication::applicationDisplayName(),
                                 LoadString(Str::NextCuttingData) + QLatin1Char('\n') +
                                     COutputFileList::DisplayText(entry),
                                 QMessageBox::Ok | QMessageBox::Cancel, this);
            question.setObjectName(QStringLiteral("NextCuttingData"));
            if (question.exec() != QMessageBox::Ok)
                continue;
        }
        if (!ReportFileResult(this, COutputFileList::CheckFileExists(entry)))
            break;
        // The travel check reads the program from the preview's image: the one already loaded
        // when this file is the one previewed, else this file read into it in its place.
        const TravelAnswer travel = ConfirmTravelBeforeOutput(
            entry, m_previewFile, [this](const QByteArray& path) { return LoadPreview(path); },
            m_machine, m_panel, this);
        if (travel == TravelAnswer::Skip)
            continue;
        if (travel == TravelAnswer::Stop || !SendFile(entry, JobName(i, count)))
            break;
        sent.push_back(entry);
    }
    // The job window follows what was handed over; it stays when this dialog closes.
    if (m_panel && !sent.empty()) {
        MachineSettings settings;
        CNcReadOptions options;
        if (m_machine.GetMachineSettings(settings))
            options = ReadOptionsFrom(settings);
        CJobDlg::Open(*m_panel, sent, options);
    }
    accept();
}

bool CCutDlg::SendFile(const QByteArray& path, const std::string& jobName, const QByteArray& shown)
{
    // The hand-over runs here, on the user-interface thread. A slow one (a large file to the
    // spooler) reports each piece: after about a second a progress window with the file's name
    // appears, and the windows keep painting meanwhile. User input waits until it is done. The
    // computer stays awake throughout: a suspend would drop the link mid-file.
    const CSleepInhibitGuard awake;
    QProgressDialog progress(this);
    progress.setObjectName(QStringLiteral("OutputProgress"));
    progress.setWindowTitle(QApplication::applicationDisplayName());
    const QByteArray& named = shown.isEmpty() ? path : shown;
    progress.setLabelText(QFile::decodeName(named.mid(named.lastIndexOf('/') + 1)));
    progress.setCancelButton(nullptr);
    progress.setRange(0, ProgressSteps);
    progress.setMinimumDuration(ProgressDelayMs);
    progress.setWindowModality(Qt::WindowModal);
    progress.setAutoReset(false);
    const auto report = [&progress](int64_t done, int64_t total) {
        if (total > 0)
            progress.setValue(int(std::min<int64_t>(done, total) * ProgressSteps / total));
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    };
    int openError = 0;
    const bool sent = m_machine.SendFile(path.toStdString(), jobName, &openError, report);
    progress.reset();
    if (!sent && openError != 0)
        ShowFileError(this, openError, COutputFileList::DisplayText(path), FileOperation::Open);
    return sent;
}

// The toolpath of the selected NC-code file in a window of its own, placed in the machine's
// travel by the origin the panel shows; the Cut dialog stays usable beside it.
void CCutDlg::OnToolpath()
{
    const int row = SelectedRow();
    if (row < 0)
        return;
    MachineSettings settings;
    CNcReadOptions options;
    if (m_machine.GetMachineSettings(settings))
        options = ReadOptionsFrom(settings);
    const QByteArray entry = m_list.GetEntry(row);
    auto* window = new CToolpathDlg(this);
    window->setAttribute(Qt::WA_DeleteOnClose);
    if (!window->Open(entry, options)) {
        delete window;
        return;
    }
    // A clicked line of the path is shown in the preview while it previews that program, and
    // can be the start of a job.
    connect(window, &CToolpathDlg::LineClicked, this, [this, entry](qint64 line) {
        if (m_previewLoaded && m_previewFile.GetPath() == entry)
            m_preview->SetHighlightLine(line);
    });
    window->OfferStartFromLine();
    connect(window, &CToolpathDlg::StartFromLineRequested, this,
            [this, entry](qint64 line) { StartFromLine(entry, line); });
    AxisTriple low, high;
    if (m_machine.GetMoveRange(low, high))
        window->SetTravel(low, high, m_panel ? m_panel->GetCurrentOrigin() : AxisTriple{});
    window->show();
}

void CCutDlg::OnStartFromLine()
{
    const int row = SelectedRow();
    if (row < 0)
        return;
    const QByteArray entry = m_list.GetEntry(row);
    if (!LoadPreview(entry))
        return;
    QInputDialog question(this);
    question.setObjectName(StartLineInputName);
    question.setWindowTitle(LoadString(Str::StartFromLineTitle));
    question.setInputMode(QInputDialog::IntInput);
    // Line numbers as the preview and the toolpath window show them, from 1.
    const int last = int(std::min<int64_t>(m_previewFile.LineCount(), INT_MAX));
    question.setLabelText(LoadString(Str::StartFromLineQuestion).arg(last));
    question.setIntRange(1, std::max(last, 1));
    question.setIntValue(1);
    if (question.exec() != QDialog::Accepted)
        return;
    StartFromLine(entry, question.intValue() - 1);
}

bool CCutDlg::StartFromLine(const QByteArray& path, int64_t line)
{
    if (line < 0 || !ReportFileResult(this, COutputFileList::CheckFileExists(path)) ||
        !LoadPreview(path))
        return false;
    MachineSettings settings;
    CNcReadOptions options;
    if (m_machine.GetMachineSettings(settings))
        options = ReadOptionsFrom(settings);
    const std::optional<CNcStartLine> asked =
        AskStartLine(m_previewFile, options, uint64_t(line), this);
    if (!asked)
        return false;
    const CNcStartLine& start = *asked;
    const char* data = m_previewFile.LineCount() > 0 ? m_previewFile.LineText(0).data() : "";
    const auto size = uint64_t(m_previewFile.GetLength());
    // The job's moves lie within the whole program's: its lead-in rises no higher than the
    // program did and travels to a point of it. The whole program's travel check therefore
    // covers the job, and costs nothing when the toolpath window has read it.
    if (ConfirmTravel(m_previewFile, m_machine, m_panel, this) != TravelAnswer::Send)
        return false;
    // The job goes out through the same hand-over as a listed file: the link takes files, so
    // it is written to a private file in the run-time folder. The job window follows that file
    // and removes it when it closes for good; without one it goes once handed over (the spooler
    // and the simulator have read it by then).
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    auto job = std::make_unique<QTemporaryFile>(
        QStringLiteral("%1/%2-from-line-%3-XXXXXX.nc")
            .arg(folder, QFileInfo(QFile::decodeName(path)).completeBaseName())
            .arg(line + 1));
    const auto write = [&job](std::string_view bytes) {
        return job->write(bytes.data(), qint64(bytes.size())) == qint64(bytes.size());
    };
    if (!job->open() || !write(start.leadIn) || !write(NcStartLineRest(start, data, size)) ||
        !job->flush()) {
        ShowFileError(this, job->error() == QFileDevice::OpenError ? EACCES : EIO, job->fileName(),
                      FileOperation::Write);
        return false;
    }
    // One job, named as a list of this one file would name it; its progress names the program.
    const QByteArray jobPath = QFile::encodeName(job->fileName());
    const bool sent = SendFile(jobPath, JobName(0, 1), path);
    if (sent && m_panel) {
        CJobDlg* window = CJobDlg::Open(*m_panel, {jobPath}, options);
        window->ShowProgramLines(
            uint32_t(std::count(start.leadIn.begin(), start.leadIn.end(), '\n')),
            uint32_t(start.line));
        job.release()->setParent(window);
    }
    accept();
    return sent;
}

void CCutDlg::OnTest()
{
    ReportFileResult(this, m_list.SaveToStore());
    CCutDataSet set;
    for (const QByteArray& entry : m_list.GetEntries())
        if (!ReportFileResult(this, set.AddFile(entry)))
            return;
    hide();
    RunTestCut(set);
    show();
}

void CCutDlg::RunTestCut(CCutDataSet& set)
{
    if (!m_panel)
        return;
    CTestCutDlg testCut(*m_panel, set, m_panel->Window());
    testCut.exec();
}

void RunCutDialog(CPanelAccess& panel)
{
    CModelingMachine& machine = *panel.GetMachine();
    machine.SetSpindleRotation(0);
    MachineSettings settings;
    const bool read = machine.GetMachineSettings(settings);
    CCutDlg dialog(machine, &panel);
    dialog.SetTestAllowed(read && settings.commandSet == 1);
    dialog.exec();
}
