// mkvextract for the engine: "tracks SRC N:FILE ..." where N is the track number MediaInfo
// reports (mkvextract itself wants 0-based IDs). MPEG-4 Part 2 video, which mkvextract
// refuses, is written as AVI through ffmpeg; every other track still goes through mkvextract.
#include "common/FfmpegOutput.h"
#include "common/FileUtil.h"
#include "common/Process.h"
#include "common/WaveFile.h"
#include "mkvextract/MkvTracks.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Job {
    const MkvTrack *track;
    std::string file;
    bool existedBefore;
};

// mkvmerge keeps only the wanted video track, which ffmpeg then finds as its only video stream:
// ffmpeg's stream indexes need not match the track IDs.
int extractAsAvi(const std::string &source, const Job &job)
{
    const std::string tmp = adapt::createTempFile(job.file + ".", ".mkv");
    if (tmp.empty()) {
        std::fprintf(stderr, "Error: cannot create a temporary file beside '%s'.\n", job.file.c_str());
        return 2;
    }
    std::printf("Extracting track %d with the CodecID '%s' to the file '%s'. Container format: AVI\n",
        job.track->id, job.track->codecId.c_str(), job.file.c_str());
    std::fflush(stdout);
    int rc = adapt::run({adapt::systemTool("mkvmerge"), "-q", "-o", tmp, "--video-tracks",
        std::to_string(job.track->id), "--no-audio", "--no-subtitles", "--no-buttons", "--no-attachments",
        "--no-chapters", "--no-track-tags", "--no-global-tags", source});
    if (rc < 2)
        rc = adapt::runFfmpeg({"-hide_banner", "-loglevel", "error", "-stats", "-y", "-i", tmp, "-map", "0:v:0",
                                  "-c", "copy", "-f", "avi", job.file},
            job.file);
    else
        std::fprintf(stderr, "Error: could not isolate track %d of '%s'.\n", job.track->id, source.c_str());
    adapt::removeFile(tmp);
    return rc == 0 ? 0 : 2;
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    const std::string mkvextract = adapt::systemTool("mkvextract");

    // Old form "tracks SRC ...", or the current "SRC tracks ...".
    std::string source;
    std::size_t first = 0;
    if (args.size() >= 2 && args[0] == "tracks") {
        source = args[1];
        first = 2;
    } else if (args.size() >= 2 && args[1] == "tracks") {
        source = args[0];
        first = 2;
    } else {
        std::vector<std::string> passThrough{mkvextract};
        passThrough.insert(passThrough.end(), args.begin(), args.end());
        const int rc = adapt::run(passThrough);
        return rc < 0 ? 2 : rc;
    }

    // The track list is read in-process; mkvmerge is asked only about files the reader
    // does not take (not Matroska, or built in a way it does not expect).
    std::vector<MkvTrack> tracks;
    if (!readMkvTrackList(source, &tracks)) {
        std::string json;
        adapt::capture({adapt::systemTool("mkvmerge"), "-J", source}, &json, true);
        if (!readMkvTracks(json, &tracks)) {
            std::fprintf(stderr, "Error: '%s' could not be read as a Matroska file.\n", source.c_str());
            return 2;
        }
    }

    std::vector<std::string> options;
    std::vector<Job> viaMkvextract;
    std::vector<Job> viaFfmpeg;
    int result = 0;
    for (std::size_t i = first; i < args.size(); ++i) {
        long long number = 0;
        std::string file;
        if (!parseTrackSpec(args[i], &number, &file)) {
            options.push_back(args[i]);
            continue;
        }
        const MkvTrack *track = trackByNumber(tracks, number);
        if (!track) {
            std::fprintf(stderr, "Error: '%s' has no track number %lld.\n", source.c_str(), number);
            result = 2;
            continue;
        }
        Job job{track, file, adapt::fileExists(file)};
        (mkvextractRefuses(*track) ? viaFfmpeg : viaMkvextract).push_back(job);
    }
    if (viaMkvextract.empty() && viaFfmpeg.empty()) {
        std::fprintf(stderr, "Error: nothing to extract.\n");
        return 2;
    }

    if (!viaMkvextract.empty()) {
        std::vector<std::string> call{mkvextract, "tracks", source};
        call.insert(call.end(), options.begin(), options.end());
        for (const auto &job : viaMkvextract)
            call.push_back(std::to_string(job.track->id) + ":" + job.file);
        const int rc = adapt::run(call);
        if (rc < 0 || rc >= 2) {
            result = 2;
            for (const auto &job : viaMkvextract) {
                if (!job.existedBefore)
                    adapt::removeFile(job.file);
            }
        } else {
            result = std::max(result, rc);
            // mkvextract writes PCM as WAV with a JUNK chunk before "fmt "; the engine and the
            // downmix tool read only WAV files whose "fmt " comes first and "data" right after.
            for (const auto &job : viaMkvextract) {
                if (job.track->codecId.rfind("A_PCM/", 0) == 0)
                    adapt::makeWaveCanonical(job.file);
            }
        }
    }
    for (const auto &job : viaFfmpeg)
        result = std::max(result, extractAsAvi(source, job));
    return result;
}
