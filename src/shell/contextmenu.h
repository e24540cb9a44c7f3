#pragma once
// The context menu of one namespace item: 打开, 剪切, 复制, 粘贴, 删除, 重命名,
// 新建文件夹, 复制路径, 属性, offered only where they apply. Verbs that touch the
// disk are checked again when invoked, so they never run for virtual items,
// trash entries or mount points. GUI thread only (uses the clipboard).

#include "shell/shellapi.h"

#include <memory>

namespace shell {

class FolderBase;

// Command offsets and their verb strings.
enum MenuVerb : unsigned {
    VerbOpen, VerbCut, VerbCopy, VerbPaste, VerbDelete, VerbRename, VerbNewFolder, VerbCopyPath,
    VerbProperties, VerbCount
};
const char *verbString(MenuVerb verb);

// The menu for `item` (a one-item list, empty for the folder itself) inside `folder`.
std::shared_ptr<IContextMenu2> makeContextMenu(std::shared_ptr<FolderBase> folder, IdListPtr item);

} // namespace shell
