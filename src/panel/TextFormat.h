#pragma once

#include <QString>
#include <QVariantList>

// Fills a template of the string table the way printf would: "%s" takes the next argument as
// text, "%d" (with an optional zero flag and width, as in "%03d") takes it as an integer, "%%"
// is a percent sign. The conversion is done here rather than by a printf of the template itself,
// so that a translated template with a missing or extra specifier can never read an argument
// that is not there: a missing argument gives an empty field, an extra one is ignored.
QString FormatTemplate(const QString& format, const QVariantList& args);
