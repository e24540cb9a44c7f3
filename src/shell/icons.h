#pragma once
// The namespace's one icon list: what SystemIconIndex indexes. Icons come from
// the desktop's icon theme, with drawn fallbacks when no theme is installed.
// GUI thread only (needs a QGuiApplication).

#include <QIcon>

namespace shell {

enum ShellIconIndex {
    IconFile = 0, IconFolder, IconFolderOpen, IconHome, IconDesktop, IconComputer, IconDrive,
    IconNetwork, IconTrash, IconCount
};

// The icon at `index` (an empty icon for an index outside the list).
QIcon shellIcon(int index);

} // namespace shell
