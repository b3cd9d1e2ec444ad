// The test cut's stream mode against the simulator with instant motion: how many lines per
// second the dialog's own work (status read, receive counter, cursor and view, bulk write)
// could send, beside the rate its 100 ms poll allows (one line per poll). The dialog should be
// limited by its poll, never by its work: the ratio should stay well above 1.
//
//   test_cut_stream_bench [LINES]   (default 10000; needs QT_QPA_PLATFORM=offscreen without a
//                                    display)
#include "ControlPanelDlg.h"
#include "CutDataSet.h"
#include "ModelingMachine.h"
#include "SimulatorProcess.h"
#include "TestCutDlg.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <QTimerEvent>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

std::string Program(int lines)
{
    std::string text = "%\n";
    char line[64];
    for (int i = 1; i < lines; ++i) {
        std::snprintf(line, sizeof line, "G1 X%d.%03d Y%d F600\n", i % 50, i % 1000, i % 40);
        text += line;
    }
    return text;
}

bool WaitUntil(const std::function<bool()>& done, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    const int lines = argc > 1 ? std::max(10, std::atoi(argv[1])) : 10000;
    QApplication app(argc, argv);
    QTemporaryDir folder;
    const QByteArray path = folder.filePath("bench.nc").toLocal8Bit();
    std::ofstream(path.constData(), std::ios::binary) << Program(lines);

    CSimulatorProcess sim({"--instant-motion"});
    if (!sim.Start()) {
        std::fprintf(stderr, "the simulator did not start\n");
        return 1;
    }
    CModelingMachine machine;
    if (!machine.UseSimulator({})) {
        std::fprintf(stderr, "no connection to the simulator\n");
        return 1;
    }
    CControlPanelDlg panel(&machine);
    panel.show();
    CCutDataSet set;
    if (!set.AddFile(path).Ok())
        return 1;

    CTestCutDlg dialog(panel, set);
    double pollRate = 0;
    double workRate = 0;
    QTimer::singleShot(0, &dialog, [&] {
        // Stream on the dialog's own 100 ms poll for two seconds.
        dialog.Button(CTestCutDlg::StreamId)->click();
        const auto start = Clock::now();
        const int64_t first = set.GetLineIndex();
        WaitUntil([] { return false; }, 2000);
        pollRate = double(set.GetLineIndex() - first) /
                   std::chrono::duration<double>(Clock::now() - start).count();

        // The rest with a poll as often as the dialog can take one: its own work is the limit.
        const int64_t from = set.GetLineIndex();
        const auto begin = Clock::now();
        while (dialog.IsModeRunning()) {
            QTimerEvent tick(dialog.GetPollTimerId());
            QCoreApplication::sendEvent(&dialog, &tick);
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
        workRate = double(lines - from) / seconds;
        dialog.reject();
    });
    dialog.exec();
    machine.CloseMachine();

    const double allowed = 1000.0 / CTestCutDlg::PollIntervalMs;
    std::printf("lines                         %d\n", lines);
    std::printf("on the 100 ms poll            %8.1f lines/s (the poll allows %.0f)\n", pollRate,
                allowed);
    std::printf("limited by the dialog's work  %8.1f lines/s\n", workRate);
    std::printf("work rate / poll rate         %8.1f\n", workRate / allowed);
    return 0;
}
