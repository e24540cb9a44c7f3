#pragma once
// The export run's outcome in the export dialog's words (Chinese): the reason
// for one failed file, the failure box's text and the text after a cancelled
// run. Plain functions; any thread.

#include <QString>

#include "core/exportrun.h"

// Why one file was not written, as one sentence ending in "。".
QString exportFailureReason(const ExportFailure &failure);

// "共M个文件, 其中N个保存失败:", then the first failing file's path and its
// reason on the next lines. Empty when nothing failed.
QString exportFailureReport(const ExportResult &result);

// "已取消: 已保存N个文件, 其余M个文件未保存。"
QString exportCancelledText(const ExportResult &result);
