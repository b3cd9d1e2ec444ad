#include "StartLineQuestion.h"

#include "PanelMessageBox.h"
#include "StringIds.h"
#include "StringTable.h"

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
