#include "AlarmText.h"

#include "StringIds.h"
#include "StringTable.h"
#include "TextFormat.h"

namespace {

QString ProductAndDetail(int templateId, const QString& detail)
{
    return FormatTemplate(LoadString(templateId), {LoadString(Str::Product), detail});
}

} // namespace

QString FormatErrorLine(const QString& message, int number)
{
    return FormatTemplate(LoadString(Str::ErrorLine), {message, number});
}

QString FormatConnectionError(int kind, const QString& name)
{
    switch (kind) {
    case ConnectionErrorKind::NoMachine:
        return FormatErrorLine(LoadString(Str::NoMachine), 2);
    case ConnectionErrorKind::NoResponse:
        return FormatErrorLine(LoadString(Str::NoResponse), 1);
    case ConnectionErrorKind::NotFound:
        return FormatErrorLine(FormatTemplate(LoadString(Str::NotFoundTemplate), {name}), 12);
    default:
        return FormatErrorLine(LoadString(Str::UnknownError), 999);
    }
}

QString FormatEmergencyStop(int code)
{
    int detail = Str::FatalUnknown;
    int templateId = Str::EmergencyStopTemplate;
    int number = 997;
    switch (code) {
    case 1:
        detail = Str::XLimit;
        number = 3;
        break;
    case 2:
        detail = Str::YLimit;
        number = 4;
        break;
    case 4:
        detail = Str::ZLimit;
        number = 5;
        break;
    case 134:
        detail = Str::MachineLeaned;
        templateId = Str::LeanedTemplate;
        number = 6;
        break;
    case 135:
        detail = Str::NvramFailed;
        number = 8;
        break;
    case 165:
        detail = Str::ControllerMissing;
        templateId = Str::ControllerTemplate;
        number = 7;
        break;
    default:
        break;
    }
    return FormatErrorLine(ProductAndDetail(templateId, LoadString(detail)), number);
}

QString FormatCommandError(int code, int kind)
{
    if (kind == CommandErrorKind::Paused) {
        switch (code) {
        case 147:
        case 148:
        case 149:
            return FormatErrorLine(ProductAndDetail(Str::PausedCommandSetTemplate,
                                                    FormatTemplate(LoadString(Str::CommandErrorIn),
                                                                   {LoadString(Str::Zml1)})),
                                   9);
        case 150:
        case 151:
        case 152:
            return FormatErrorLine(ProductAndDetail(Str::PausedCommandSetTemplate,
                                                    FormatTemplate(LoadString(Str::CommandErrorIn),
                                                                   {LoadString(Str::NcCode)})),
                                   9);
        case SpindleOverloadError:
            return FormatErrorLine(ProductAndDetail(Str::SpindleOverloadPausedTemplate,
                                                    LoadString(Str::SpindleOverload)),
                                   10);
        default:
            return FormatErrorLine(
                ProductAndDetail(Str::PausedTemplate, LoadString(Str::CommandError)), 998);
        }
    }
    if (kind == CommandErrorKind::NotPaused) {
        if (code == SpindleOverloadError)
            return FormatErrorLine(
                FormatTemplate(LoadString(Str::SpindleStopped), {LoadString(Str::SpindleOverload)}),
                11);
        return FormatErrorLine(ProductAndDetail(Str::PausedShort, LoadString(Str::CommandError)),
                               998);
    }
    return FormatErrorLine(QString(), code);
}
