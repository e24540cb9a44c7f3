#pragma once
// Argument splitting shared by the commands: positional arguments and
// "--name value" / "--name=value" options, each option at most once.

#include <QMap>
#include <QString>
#include <QStringList>

namespace cli {

struct ParsedArgs {
    QStringList positional;
    QMap<QString, QString> values; // option name without dashes -> value
    QStringList flags;             // options without a value
    QString error;                 // set when the arguments do not parse
};

// `withValue` names the options that take a value, `flags` those that do not.
ParsedArgs parseArgs(const QStringList &args, const QStringList &withValue,
                     const QStringList &flags);

} // namespace cli
