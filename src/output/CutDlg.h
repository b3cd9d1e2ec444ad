#pragma once

#include "CutDataFile.h"
#include "OutputFileList.h"

#include <QDialog>

#include <cstdint>
#include <ctime>

class CCutDataSet;
class CPanelAccess;
class CImageButton;
class CModelingMachine;
class CTextViewCtrl;
class QCheckBox;
class QListWidget;
class QPushButton;

// The Cut dialog: the user assembles the output file list, previews an NC-code file, keeps
// lists in list files, and sends every listed file to the machine as one job each. It ends
// with Accepted when an output job ran (whatever its outcome), Rejected on Cancel. The list is
// read from the settings store when the dialog opens and written back only by Output and
// Test ....
class CCutDlg : public QDialog
{
    Q_OBJECT

public:
    static constexpr int TemplateId = 144;
    enum ControlId
    {
        FileListId = 1094,
        PreviewId = 1095,
        AddId = 1096,
        DeleteId = 1097,
        DeleteAllId = 1098,
        MoveUpId = 1099,
        MoveDownId = 1100,
        TestId = 1101,
        PauseId = 1102,
        SaveListId = 1103,
        ViewListId = 1104,
        OutputId = 1105,
        OkId = 1,
        CancelId = 2,
    };
    // The "Toolpath..." button, added beside the template's controls.
    static constexpr const char* ToolpathName = "Toolpath";
    // The "Start from Line..." button below it, and the question for the line's number.
    static constexpr const char* StartLineName = "StartFromLine";
    static constexpr const char* StartLineInputName = "StartLineInput";
    // A hand-over taking longer than this shows the progress window.
    static constexpr int ProgressDelayMs = 1000;
    // A preview image larger than this is given back when another entry is selected.
    static constexpr int64_t KeptCapacity = int64_t(16) << 20;

    // panel: the owner, for the test cut; may be null where no test cut is run.
    CCutDlg(CModelingMachine& machine, CPanelAccess* panel);
    ~CCutDlg() override;

    // Set before the dialog is shown when the machine interprets NC code.
    void SetTestAllowed(bool allowed) { m_testAllowed = allowed; }
    const COutputFileList& GetList() const { return m_list; }
    const QByteArray& GetCurrentListFile() const { return m_currentListFile; }

    // The job name of entry index (0-based) of count.
    static std::string JobName(int index, int count);

protected:
    void showEvent(QShowEvent* event) override;
    // Enter and Return do nothing here (see the constructor).
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // Runs the test cut on the set; the Cut dialog is hidden meanwhile.
    virtual void RunTestCut(CCutDataSet& set);

private:
    void OnInitDialog();
    void RefreshList();
    void UpdateSelection();
    // The selected file's image in the preview file, read again only when the file has changed
    // on disk; false when it cannot be loaded (the user has been told).
    bool LoadPreview(const QByteArray& path);
    int SelectedRow() const;
    void SelectRow(int row);
    void OnAdd();
    void OnDelete();
    void OnDeleteAll();
    void OnMove(int step);
    void OnSaveList();
    void OnViewList();
    void OnOutput();
    void OnTest();
    void OnToolpath();
    void OnStartFromLine();
    // Builds the job that starts the program of `path` at line index `line`, shows its lead-in
    // for confirmation and hands it over as one job; a line that cannot be joined is refused
    // with the reason. True when the job was handed over.
    bool StartFromLine(const QByteArray& path, int64_t line);
    // Hands one file to the machine, with the progress window for a slow hand-over, which
    // names `shown` (the file's own path when empty).
    bool SendFile(const QByteArray& path, const std::string& jobName, const QByteArray& shown = {});
    QPushButton* AddButton(int id);

    CModelingMachine& m_machine;
    CPanelAccess* m_panel;
    COutputFileList m_list;
    CCutDataFile m_previewFile;
    // What the preview file was loaded from: it holds the file's image while these still hold.
    bool m_previewLoaded = false;
    int64_t m_previewSize = -1;
    timespec m_previewTime{};
    QByteArray m_currentListFile;
    bool m_testAllowed = false;
    bool m_pauseEachFile = false;
    bool m_initialised = false;

    QListWidget* m_fileList;
    CTextViewCtrl* m_preview;
    CImageButton* m_moveUp;
    CImageButton* m_moveDown;
    QCheckBox* m_pauseCheck;
};

// The Cut button of the panel: stops the spindle, reads the machine's settings and runs the Cut
// dialog modally, with the test cut allowed when the machine interprets NC code.
void RunCutDialog(CPanelAccess& panel);
