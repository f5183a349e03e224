#pragma once

#include <QString>

class DiagnosticLog;

// The frame-rate text read the way the C runtime's atof reads it after each UTF-16
// unit was cut to its low byte: "23.976" -> 23.976, "" or "N/A" -> 0.
double FrameRateNumber(const QString &frameRateText);

// Level option appended to an H.264 track: ":level=3.0" when the picture and frame
// rate fit the limits of H.264 level 3 (bounds inclusive), else the lowest level that
// holds them: ":level=3.1" up to 720p at 30 fps, ":level=4.0" for 1080p at 30 fps. The
// Nightly MP4Box takes the level without the dot (":level=30", ":level=40").
// Writes one line to the log when one is given.
QString ChooseLevelOption(int width, int height, const QString &frameRateText, bool forNightly,
                          DiagnosticLog *log = nullptr);
