#pragma once

#include "CutDataFile.h"
#include "NcInterpreter.h"
#include "ToolpathModel.h"

#include <QDialog>

#include <atomic>
#include <memory>
#include <optional>
#include <string_view>
#include <thread>

class CToolpathView;
class QLabel;
class QListWidget;
class QProgressBar;

// The toolpath window of one NC program: the path from above and from the side inside the
// machine's travel, its extents and run time, and the reader's warnings. The program is read
// and drawn on a worker thread while the window shows the progress and stays responsive;
// closing the window stops the worker. The test cut drives the highlighted line and the tool
// marker through SetHighlightedLine and SetToolPosition, and hears clicks through LineClicked.
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

signals:
    void LineClicked(qint64 line);
    void StartFromLineRequested(qint64 line);

private:
    void Start(const CNcReadOptions& options);
    void Poll();
    void Stop();
    void ShowSummary();

    CCutDataFile m_file;
    double m_rapidSpeed;
    std::thread m_worker;
    CNcProgress m_progress;
    std::atomic<int> m_stage{0};
    std::atomic<bool> m_done{false};
    std::unique_ptr<CToolpathModel> m_built; // handed over by the worker when m_done is set
    // Shared with the travel check through the cache of read programs (NcPathCache).
    std::shared_ptr<const CToolpathModel> m_model;
    CNcReadOptions m_options;
    std::optional<uint32_t> m_line;
    qint64 m_clickedLine = -1;

    CToolpathView* m_top;
    CToolpathView* m_side;
    QProgressBar* m_progressBar;
    QLabel* m_summary;
    QLabel* m_clicked;
    class QPushButton* m_startFromLine;
    QListWidget* m_warnings;
    class QTimer* m_poll;
};
