#include "args.h"

namespace cli {

ParsedArgs parseArgs(const QStringList &args, const QStringList &withValue,
                     const QStringList &flags)
{
    ParsedArgs out;
    bool onlyPositional = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (onlyPositional || !a.startsWith(QLatin1String("--"))) {
            out.positional << a;
            continue;
        }
        if (a == QLatin1String("--")) {
            onlyPositional = true;
            continue;
        }
        QString name = a.mid(2);
        QString value;
        bool hasValue = false;
        const int eq = name.indexOf(QLatin1Char('='));
        if (eq >= 0) {
            value = name.mid(eq + 1);
            name = name.left(eq);
            hasValue = true;
        }
        if (flags.contains(name)) {
            if (hasValue) {
                out.error = QStringLiteral("option --%1 takes no value").arg(name);
                return out;
            }
            out.flags << name;
            continue;
        }
        if (!withValue.contains(name)) {
            out.error = QStringLiteral("unknown option: %1").arg(a);
            return out;
        }
        if (!hasValue) {
            if (i + 1 >= args.size()) {
                out.error = QStringLiteral("option --%1 needs a value").arg(name);
                return out;
            }
            value = args[++i];
        }
        if (out.values.contains(name)) {
            out.error = QStringLiteral("option --%1 given twice").arg(name);
            return out;
        }
        out.values.insert(name, value);
    }
    return out;
}

bool parseIntIn(const QString &text, int low, int high, int *out)
{
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < low || v > high)
        return false;
    *out = v;
    return true;
}

} // namespace cli
