#pragma once

#include "CutDataFile.h"
#include "NcHeightMap.h"
#include "NcInterpreter.h"
#include "ReliefView.h"
#include "ToolpathModel.h"

#include <QDialog>
#include <QImage>

#include <atomic>
#include <memory>
#include <optional>
#include <string_view>
#include <thread>

class CReliefView;
class CToolpathView;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QProgressBar;

// The toolpath window of one NC program: the path from above and from the side inside the
// machine's travel, its extents and run time, and the reader's warnings. The program is read
// and drawn on a worker thread while the window shows the progress and stays responsive;
// closing the window stops the worker. The test cut drives the highlighted line and the tool
// marker through SetHighlightedLine and SetToolPosition, and hears clicks through LineClicked.
//
// On request the window also shows the cut surface: the height map under the tool the user
// names (remembered in the panel's settings), computed by the same worker after the program is
// read, shaded in the top view and as a solid to turn on a tab of its own. Then the moves that
// would wreck the part (rapid moves through standing stock, cuts deeper than a depth given) are
// found in program order and listed; a click on one highlights its line like a click in a view.
class CToolpathDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CToolpathDlg(QWidget* parent = nullptr);
    ~CToolpathDlg() override;

    // Loads the file (errors are shown to the user and give false) and starts reading it.
    bool Open(const QByteArray& path, const CNcReadOptions& options);
    // The same for bytes in memory, under a name for the title.
    void OpenData(const QByteArray& name, std::string_view data, const CNcReadOptions& options);
    // The machine's travel and the origin of the coordinate system the panel shows, both in
    // machine coordinates: the travel is drawn relative to that origin.
    void SetTravel(const NcPoint& low, const NcPoint& high, const NcPoint& origin);
    void SetRapidSpeed(double mmPerMinute) { m_rapidSpeed = mmPerMinute; }

    // Shows a button that, once a line has been clicked, asks for the job from that line
    // through StartFromLineRequested.
    void OfferStartFromLine();

    void SetHighlightedLine(std::optional<uint32_t> line);
    void SetToolPosition(std::optional<NcPoint> position);

    bool IsReady() const { return m_model != nullptr; }
    const CToolpathModel* Model() const { return m_model.get(); }
    CToolpathView* TopView() const { return m_top; }
    CToolpathView* SideView() const { return m_side; }
    CReliefView* OrbitView() const { return m_orbit; }
    // The cut surface shown, when there is one.
    const CNcHeightMap* Relief() const { return m_relief ? &m_relief->map : nullptr; }

signals:
    void LineClicked(qint64 line);
    void StartFromLineRequested(qint64 line);

protected:
    // Closing the window stops a surface under way; showing it again starts it anew.
    void hideEvent(QHideEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // The cut surface of the program with what the worker made of it off the UI thread.
    struct CRelief
    {
        CNcHeightMap map;
        QImage shaded;
        CReliefSolid solid;
    };
    // The moves that would wreck the part, found after the surface is shown.
    struct CMoveCheck
    {
        std::vector<CNcDangerousMove> moves;
        uint64_t count = 0;
        bool complete = false;
    };
    enum class Job
    {
        None,
        Reading,
        Relief, // the surface on every core
        Check,  // then the moves, in program order
    };
    bool ReliefUnderWay() const { return m_job == Job::Relief || m_job == Job::Check; }

    void Start(const CNcReadOptions& options);
    void Poll();
    void Stop();
    void ShowSummary();
    QWidget* MakeReliefControls();
    void ExchangeReliefSettings(bool load);
    void ReliefChanged();
    void BeginReliefJob(Job job);
    void StartRelief();
    void FinishRelief();
    void StartCheck();
    void FinishCheck();
    void ClearRelief();
    void DangerClicked(QListWidgetItem* item);
    CNcHeightMapOptions ReliefOptions() const;

    CCutDataFile m_file;
    double m_rapidSpeed;
    std::thread m_worker;
    CNcProgress m_progress;
    std::atomic<int> m_stage{0};
    std::atomic<bool> m_done{false};
    Job m_job = Job::None;
    std::unique_ptr<CToolpathModel> m_built; // handed over by the worker when m_done is set
    std::unique_ptr<CRelief> m_builtRelief;  // the same for the cut surface
    std::unique_ptr<CRelief> m_relief;
    std::unique_ptr<CMoveCheck> m_builtCheck;
    QString m_reliefKey; // the choices the relief shown or under way was asked with
    // Shared with the travel check through the cache of read programs (NcPathCache).
    std::shared_ptr<const CToolpathModel> m_model;
    CNcReadOptions m_options;
    std::optional<uint32_t> m_line;
    qint64 m_clickedLine = -1;

    CToolpathView* m_top;
    CToolpathView* m_side;
    CReliefView* m_orbit;
    QCheckBox* m_reliefShow;
    QComboBox* m_tool;
    QDoubleSpinBox* m_diameter;
    QCheckBox* m_stockTopGiven;
    QDoubleSpinBox* m_stockTop;
    QDoubleSpinBox* m_cell;
    QDoubleSpinBox* m_maxDepth;
    QLabel* m_reliefInfo;
    QListWidget* m_dangers;
    QProgressBar* m_progressBar;
    QLabel* m_summary;
    QLabel* m_clicked;
    class QPushButton* m_startFromLine;
    QListWidget* m_warnings;
    class QTimer* m_poll;
};
