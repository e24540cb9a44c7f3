// Expanding a folder with 10,000 subfolders in the folder tree: the time of
// one expandItem (listing, one node per subfolder with its name, icon and
// expand button, sorting), median of five runs. A plain timing program:
//
//     QT_QPA_PLATFORM=offscreen bench/shelltree_bench [count]
//
// The folders are made in a temporary folder, which is also HOME, so nothing
// of the real home is read.

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "controls/shell/shelltreeview.h"

int main(int argc, char **argv)
{
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path() + QStringLiteral("/.local/share")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + QStringLiteral("/.config")));
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10000;
    const QString big = home.path() + QStringLiteral("/big");
    QDir().mkpath(big);
    for (int i = 0; i < count; ++i)
        QDir(big).mkdir(QStringLiteral("folder %1").arg(i));
    for (int i = 0; i < count; i += 7)
        QDir(big).mkdir(QStringLiteral("folder %1/sub").arg(i));

    std::vector<double> runs;
    for (int run = 0; run < 5; ++run) {
        TShellTreeView tree;
        tree.setRoot(home.path());
        tree.Loaded();
        tree.resize(250, 600);
        tree.show();
        QTreeWidgetItem *root = tree.topLevelItem(0);
        QTreeWidgetItem *node = nullptr;
        for (int i = 0; i < root->childCount(); ++i)
            if (root->child(i)->text(0) == QLatin1String("big"))
                node = root->child(i);
        if (!node)
            return 1;
        QElapsedTimer timer;
        timer.start();
        tree.expandItem(node);
        QCoreApplication::processEvents();
        runs.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (node->childCount() != count) {
            std::fprintf(stderr, "expected %d children, got %d\n", count, node->childCount());
            return 1;
        }
    }
    std::sort(runs.begin(), runs.end());
    std::printf("expand %d subfolders: median %.1f ms (min %.1f, max %.1f)\n", count, runs[2], runs.front(),
                runs.back());
    return runs[2] < 1000.0 ? 0 : 2;
}
