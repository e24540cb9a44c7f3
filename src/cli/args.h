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

// An option's whole number from `low` to `high`; false, leaving *out, otherwise.
bool parseIntIn(const QString &text, int low, int high, int *out);

} // namespace cli
