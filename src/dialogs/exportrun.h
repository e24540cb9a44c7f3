#pragma once
// The export run behind "分解图片": writes chosen frames of one GIF as picture
// files named folder + base name + "_" + frame number + extension, and reports
// which of them could not be written. No widgets: the dialog gathers the choices
// and shows the report.
//
// Threads: runExport is called on one thread (the GUI thread) and returns only
// when every file is written or has failed. Inside, frames are decoded in order
// on the calling thread and encoded on worker threads of a pool of its own; the
// workers get private copies of the frames and touch nothing else.

#include <QString>

#include <vector>

#include "imaging/exportnames.h"

struct ExportRequest {
    QString gifPath;       // the GIF whose frames are written
    QString folder;        // output folder, ending in "/" (exportFolder)
    int formatIndex = 0;   // index into exportFormats()
    // Which frames: every frame of the GIF, but at least the `listedFrames`
    // frames the list shows (a frame listed but gone from the file is a
    // failure); otherwise the positions in `frames` (from 0, ascending).
    bool allFrames = false;
    int listedFrames = 0;
    std::vector<int> frames;
};

struct ExportFailure {
    QString path;   // the file that was not written
    QString reason; // why, in words for the user
};

struct ExportResult {
    int attempted = 0;                 // files the run tried to write
    std::vector<ExportFailure> failures; // in frame order
};

// Writes the requested frames. A frame that cannot be selected or saved writes
// no file and is listed as a failure; an existing file is replaced only by a
// complete new one. Never throws.
ExportResult runExport(const ExportRequest &request);

// The text of the failure box: "共M个文件, 其中N个保存失败:", then the first
// failing file's path and its reason on the next lines. Empty when nothing failed.
QString exportFailureReport(const ExportResult &result);
