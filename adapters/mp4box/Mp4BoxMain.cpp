#include "Mp4BoxMain.h"

#include "Extraction.h"
#include "Muxer.h"
#include "ScratchSpace.h"

#include <cstdio>

namespace mp4box {

int mp4boxMain(int argc, char **argv, LevelForm form)
{
    ScratchSpace::installSignalHandlers();
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "-h" || args[0] == "-help") {
        std::fprintf(stderr,
            "MP4Box (Marbleway adapter on ffmpeg and mkvmerge)\n"
            "  -raw ID SRC -out FILE        track ID of an MP4 as a bare stream\n"
            "  -aviraw video AVI -out NAME  the AVI's video in NAME_video.h264\n"
            "  -ttxt ID SRC -out NAME       text track ID as timed-text XML in NAME_ID_text.ttxt\n"
            "  -ttxt FILE.srt               SRT to timed-text XML, FILE.ttxt\n"
            "  [-ipod] -add FILE[#video|#audio|#trackID=N][:fps=R][:level=%s][:delay=MS][:lang=LL]\n"
            "        [:layout=WxHxXxY][:hdlr=sbtl][:group=N][:disable] ... [-par 1=N:D] DEST.mp4\n",
            form == LevelForm::Idc ? "31" : "3.1");
        return 1;
    }
    CommandLine cmd;
    std::string error;
    if (!parseCommandLine(args, &cmd, &error))
        return fail(error);
    switch (cmd.command) {
    case Command::Raw:
        return extractRawTrack(cmd);
    case Command::AviRaw:
        return extractAviStream(cmd);
    case Command::TtxtTrack:
        return dumpTextTrack(cmd);
    case Command::TtxtFile:
        return convertSrt(cmd);
    case Command::Mux:
        return runMux(cmd, form);
    }
    return 1;
}

} // namespace mp4box
