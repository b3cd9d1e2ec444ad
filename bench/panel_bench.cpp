// The panel's own cost on a ready simulator, each figure measured in a fresh panel process:
// - start-up: from starting the process to the first live read-out of the position (the X value
//   shows a number), through the program's own start-up (machine search, reservation, panel);
// - idle: processor time of the panel process per second of wall time over a span with nothing
//   to do but its status poll;
// - moving: the same while the axes move inside WaitWhileMoving (the nested wait of every
//   operation that moves the axes).
// A spinning wait would show as 1.0 (a whole core); the target is under 0.02.
//
//   panel_bench [IDLE_SECONDS [STARTS]]   (default 30 and 5; needs QT_QPA_PLATFORM=offscreen
//                                          without a display)
#include "ApplicationDialogs.h"
#include "ColorLabel.h"
#include "CommandLine.h"
#include "ControlPanelApp.h"
#include "ControlPanelDlg.h"
#include "ModelingMachine.h"
#include "SimulatorProcess.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// Axis speed of the simulator and the move measured: 100 mm at 10 mm/s.
constexpr const char* AxisSpeed = "10000";
constexpr int32_t MoveMicrometres = 100000;

double Seconds(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

bool ShowsAPosition(CControlPanelDlg& panel)
{
    const QString text = static_cast<CColorLabel*>(panel.GetControl(PanelId::ValueX))->GetText();
    bool number = false;
    text.trimmed().toDouble(&number);
    return number;
}

// Processor time per wall second while work() runs.
double CpuShare(const std::function<void()>& work, double& wall)
{
    const double cpu0 = Seconds(CLOCK_PROCESS_CPUTIME_ID);
    const double wall0 = Seconds(CLOCK_MONOTONIC);
    work();
    wall = Seconds(CLOCK_MONOTONIC) - wall0;
    return (Seconds(CLOCK_PROCESS_CPUTIME_ID) - cpu0) / wall;
}

// The panel process: the program's start-up on the simulator; once the read-out shows the
// position, prints the monotonic time, then (with idle seconds) the two shares, and ends.
int RunPanel(int argc, char** argv, int idleSeconds)
{
    QApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zr40-panel-bench"));
    StartupOptions options;
    options.simulatorFirst = true;
    CControlPanelApp app(
        [] { return std::make_unique<CModelingMachine>(); },
        [&](CModelingMachine& machine) {
            CApplicationDialogs dialogs;
            CControlPanelDlg panel(&machine);
            panel.SetDialogs(&dialogs);
            QTimer watch;
            QObject::connect(&watch, &QTimer::timeout, &panel, [&] {
                if (!ShowsAPosition(panel))
                    return;
                watch.stop();
                std::printf("readout %.6f\n", Seconds(CLOCK_MONOTONIC));
                std::fflush(stdout);
                if (idleSeconds > 0) {
                    double wall = 0;
                    const double idle = CpuShare(
                        [&] {
                            QEventLoop loop;
                            QTimer::singleShot(idleSeconds * 1000, &loop, &QEventLoop::quit);
                            loop.exec();
                        },
                        wall);
                    std::printf("idle %.5f %.1f\n", idle, wall);
                    bool ended = false;
                    const double moving = CpuShare(
                        [&] {
                            if (panel.MoveRelative({MoveMicrometres, 0, 0}, 0))
                                ended = panel.WaitWhileMoving();
                        },
                        wall);
                    std::printf("moving %.5f %.1f %d\n", moving, wall, ended ? 1 : 0);
                }
                panel.close();
            });
            watch.start(1);
            panel.exec();
        },
        options);
    return app.InitInstance();
}

// Starts this program as a panel process and collects its lines.
std::vector<std::string> RunChild(const char* self, int idleSeconds, double& started)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return {};
    started = Seconds(CLOCK_MONOTONIC);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        close(pipeFds[0]);
        close(pipeFds[1]);
        const std::string seconds = std::to_string(idleSeconds);
        execl(self, self, "--panel", seconds.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeFds[1]);
    std::string output;
    char buffer[256];
    ssize_t count;
    while ((count = read(pipeFds[0], buffer, sizeof buffer)) > 0)
        output.append(buffer, static_cast<size_t>(count));
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = output.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(output.substr(start, end - start));
    return lines;
}

std::string Field(const std::vector<std::string>& lines, const char* key)
{
    for (const std::string& line : lines)
        if (line.rfind(key, 0) == 0)
            return line.substr(std::strlen(key) + 1);
    return {};
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 2 && std::strcmp(argv[1], "--panel") == 0)
        return RunPanel(argc, argv, std::atoi(argv[2]));

    const int idleSeconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    const int starts = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    // Private lock files and settings, so that a panel of this computer's user is not met.
    char lockTemplate[] = "/tmp/zr40-bench-locks-XXXXXX";
    char configTemplate[] = "/tmp/zr40-bench-config-XXXXXX";
    if (!mkdtemp(lockTemplate) || !mkdtemp(configTemplate))
        return 1;
    setenv("ZR40_LOCK_DIR", lockTemplate, 1);
    setenv("XDG_CONFIG_HOME", configTemplate, 1);

    CSimulatorProcess simulator({"--speed", AxisSpeed});
    if (!simulator.Start()) {
        std::fprintf(stderr, "the simulator did not start\n");
        return 1;
    }
    std::vector<double> startUps;
    for (int i = 0; i < starts; ++i) {
        double started = 0;
        const std::string readout = Field(RunChild("/proc/self/exe", 0, started), "readout");
        if (readout.empty()) {
            std::fprintf(stderr, "start %d showed no read-out\n", i + 1);
            return 1;
        }
        startUps.push_back(std::atof(readout.c_str()) - started);
    }
    std::sort(startUps.begin(), startUps.end());
    std::printf("start-up to the first live read-out: median %.0f ms (min %.0f, max %.0f, %d "
                "starts)\n",
                startUps[startUps.size() / 2] * 1000, startUps.front() * 1000,
                startUps.back() * 1000, starts);

    double started = 0;
    const std::vector<std::string> lines = RunChild("/proc/self/exe", idleSeconds, started);
    double idle = 0, idleWall = 0, moving = 0, movingWall = 0;
    int ended = 0;
    if (std::sscanf(Field(lines, "idle").c_str(), "%lf %lf", &idle, &idleWall) != 2 ||
        std::sscanf(Field(lines, "moving").c_str(), "%lf %lf %d", &moving, &movingWall, &ended) !=
            3) {
        std::fprintf(stderr, "the panel process gave no figures\n");
        return 1;
    }
    std::printf("idle: %.4f of a core over %.1f s (%.2f %%)\n", idle, idleWall, idle * 100);
    std::printf("axes moving inside WaitWhileMoving: %.4f of a core over %.1f s (%.2f %%)%s\n",
                moving, movingWall, moving * 100, ended ? "" : " (the wait did not end normally)");
    std::printf("target: under 0.02 in both\n");
    const std::string command =
        std::string("rm -rf '") + lockTemplate + "' '" + configTemplate + "'";
    return std::system(command.c_str()) == 0 && idle < 0.02 && moving < 0.02 ? 0 : 2;
}
