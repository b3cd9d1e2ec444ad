#include "StartLineQuestion.h"

#include "CutDataFile.h"
#include "PanelMessageBox.h"
#include "StringIds.h"
#include "StringTable.h"

#include <QApplication>
#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>

#include <atomic>
#include <thread>

namespace {

constexpr int kStartLineProgressSteps = 1000;

} // namespace

QString StartLineRefusalText(const CNcStartLine& start, uint64_t lastLine)
{
    const qulonglong chosen = start.line + 1;
    const qulonglong cause = start.cause + 1;
    switch (start.refusal) {
    case NcStartRefusal::InsideArc:
        return LoadString(Str::StartInsideArc).arg(chosen).arg(cause);
    case NcStartRefusal::InsideCycle:
        return LoadString(Str::StartInsideCycle).arg(chosen).arg(cause);
    case NcStartRefusal::UnknownStart:
        return LoadString(Str::StartUnknown).arg(chosen).arg(cause);
    case NcStartRefusal::PastEnd:
        return LoadString(Str::StartPastEnd).arg(chosen).arg(qulonglong(lastLine + 1));
    case NcStartRefusal::None:
    case NcStartRefusal::Cancelled:
        break;
    }
    return {};
}

QString StartLineConfirmText(const CNcStartLine& start, std::string_view joinText)
{
    while (!joinText.empty() && (joinText.back() == '\n' || joinText.back() == '\r'))
        joinText.remove_suffix(1);
    return LoadString(Str::StartFromLineConfirm)
        .arg(QString::fromStdString(start.leadIn))
        .arg(qulonglong(start.line + 1))
        .arg(QString::fromUtf8(joinText.data(), qsizetype(joinText.size())));
}

bool ConfirmStartLine(const CNcStartLine& start, std::string_view joinText, QWidget* parent)
{
    CPanelMessageBox box(StartLineConfirmText(start, joinText), BoxStyle::OkCancel, parent);
    return box.exec() == BoxResult::Ok;
}

CNcStartLine BuildStartLineWithProgress(const char* data, uint64_t size,
                                        const CNcReadOptions& options, uint64_t line,
                                        const QString& name, QWidget* parent)
{
    CNcProgress progress;
    CNcStartLine start;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        start = BuildNcStartLine(data, size, options, line, std::nullopt, &progress);
        done.store(true, std::memory_order_release);
    });
    QProgressDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("StartLineProgress"));
    dialog.setWindowTitle(QApplication::applicationDisplayName());
    dialog.setLabelText(name);
    dialog.setRange(0, kStartLineProgressSteps);
    dialog.setMinimumDuration(500);
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setAutoReset(false);
    dialog.setAutoClose(false);
    QEventLoop wait;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &wait, [&] {
        if (done.load(std::memory_order_acquire)) {
            wait.quit();
            return;
        }
        const uint64_t total = std::max<uint64_t>(progress.total.load(), 1);
        dialog.setValue(
            int(std::min(progress.done.load(), total) * kStartLineProgressSteps / total));
        if (dialog.wasCanceled())
            progress.cancel = true;
    });
    tick.start(50);
    wait.exec();
    // The loop also ends when the application quits: the worker then gives up at once.
    if (!done.load(std::memory_order_acquire))
        progress.cancel = true;
    worker.join();
    return start;
}

std::optional<CNcStartLine> AskStartLine(const CCutDataFile& file, const CNcReadOptions& options,
                                         uint64_t line, QWidget* parent)
{
    const char* data = file.LineCount() > 0 ? file.LineText(0).data() : "";
    CNcStartLine start = BuildStartLineWithProgress(data, uint64_t(file.GetLength()), options, line,
                                                    file.GetDisplayName(), parent);
    if (start.refusal == NcStartRefusal::Cancelled)
        return std::nullopt;
    if (!start.Ok()) {
        const uint64_t lastLine = uint64_t(std::max<int64_t>(file.LineCount() - 1, 0));
        CPanelMessageBox refusal(StartLineRefusalText(start, lastLine), BoxStyle::ExclamationOk,
                                 parent);
        refusal.exec();
        return std::nullopt;
    }
    if (!ConfirmStartLine(start, file.LineText(int64_t(line)), parent))
        return std::nullopt;
    return start;
}
