// Peak memory of the Cut dialog previewing a large NC program, as a ratio to the file's size
// (target: under 1.2), with the time the preview took to appear.
//
//   cut_preview_bench [MEGABYTES]     (default 500)
//
// The program is written to the temporary folder and removed afterwards; the dialog's list is
// kept in a settings store of the benchmark's own name, emptied afterwards.
#include "CutDlg.h"
#include "ModelingMachine.h"
#include "TextViewCtrl.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QListWidget>
#include <QSettings>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

// Peak resident memory of the process so far, bytes.
double PeakRss()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) * 1024.0;
}

// Straight feed moves of about 20 bytes a line, the shape of CAM output.
void WriteProgram(const std::string& path, uint64_t bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        std::perror(path.c_str());
        std::exit(1);
    }
    std::vector<char> buffer(1 << 20);
    std::setvbuf(file, buffer.data(), _IOFBF, buffer.size());
    uint64_t written = uint64_t(std::fprintf(file, "%%\nG90 G21 G17\nG0 X0. Y0. Z5.\n"));
    for (uint64_t line = 0; written < bytes; ++line)
        written += uint64_t(std::fprintf(file, "G1 X%llu.%03d Y%d.%03d\n",
                                         (unsigned long long)(line % 200), int(line % 997),
                                         int(line / 200 % 150), int(line % 991)));
    std::fclose(file);
}

QSettings Store()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope,
                     QCoreApplication::organizationName(), QCoreApplication::applicationName());
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const uint64_t megabytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 500;
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName("Quenby Corporation");
    QCoreApplication::setApplicationName("zr40-cut-preview-bench");

    const std::string path = (QDir::tempPath() + "/cut_preview_bench.nc").toStdString();
    WriteProgram(path, megabytes << 20);
    const double size = double(QFileInfo(QString::fromStdString(path)).size());
    {
        QSettings store = Store();
        store.clear();
        store.setValue("OutputFiles/FileCount", 1);
        store.setValue("OutputFiles/File0", QByteArray::fromStdString(path));
    }

    CModelingMachine machine;
    const double before = PeakRss();
    double seconds = 0;
    int64_t lines = 0;
    {
        CCutDlg dialog(machine, nullptr);
        dialog.show();
        auto* list = dialog.findChild<QListWidget*>(QString::number(CCutDlg::FileListId));
        auto* preview = dialog.findChild<CTextViewCtrl*>(QString::number(CCutDlg::PreviewId));
        if (!list || !preview) {
            std::fprintf(stderr, "the Cut dialog has no list or preview\n");
            return 1;
        }
        const auto start = std::chrono::steady_clock::now();
        list->setCurrentRow(0);
        preview->repaint();
        QCoreApplication::processEvents();
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        lines = preview->GetFile() ? preview->GetFile()->LineCount() : -1;
    }
    const double peak = PeakRss();
    std::remove(path.c_str());
    Store().clear();

    std::printf("file               %.0f MB, %lld lines\n", size / 1e6, (long long)lines);
    std::printf("preview shown in   %.2f s\n", seconds);
    std::printf("peak RSS growth    %.0f MB\n", (peak - before) / 1e6);
    std::printf("ratio to file size %.3f (target under 1.2)\n", (peak - before) / size);
    return lines > 0 ? 0 : 1;
}
