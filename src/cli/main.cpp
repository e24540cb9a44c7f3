// falorengif-cli: the command-line front end (info, export, thumbs, sample, animate, sheet).

#include <QCoreApplication>

#include "cli.h"
#include "common/filepath.h"
#include "imaging/gdiplus.h"

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // Arguments are taken as bytes: a file name that is not UTF-8 must reach
    // the file system exactly as it was typed (common/filepath.h).
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << filepath::pathFromBytes(QByteArray(argv[i]));
    if (args.isEmpty())
        return cli::usageError(QStringLiteral("no command given"));
    const QString command = args.takeFirst();
    if (command == QLatin1String("-h") || command == QLatin1String("--help")
        || command == QLatin1String("help")) {
        cli::printUsage(false);
        return cli::ExitOk;
    }
    if (args.contains(QLatin1String("-h")) || args.contains(QLatin1String("--help"))) {
        cli::printUsage(false);
        return cli::ExitOk;
    }

    ImagingSession imaging;
    if (command == QLatin1String("info"))
        return cli::infoCommand(args);
    if (command == QLatin1String("export"))
        return cli::exportCommand(args);
    if (command == QLatin1String("thumbs"))
        return cli::thumbsCommand(args);
    if (command == QLatin1String("sample"))
        return cli::sampleCommand(args);
    if (command == QLatin1String("animate"))
        return cli::animateCommand(args);
    if (command == QLatin1String("sheet"))
        return cli::sheetCommand(args);
    return cli::usageError(QStringLiteral("unknown command: %1").arg(command));
}
