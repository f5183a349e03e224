#pragma once

#include <string>
#include <vector>

// One track of a Matroska file as mkvmerge -J describes it.
struct MkvTrack {
    int id = -1; // mkvextract's 0-based track ID
    long long number = -1; // the file's track number, which MediaInfo reports as "ID"
    std::string type; // "video", "audio", "subtitles"
    std::string codecId; // e.g. "V_MPEG4/ISO/ASP"
};

// Reads the track list straight from a Matroska file: the EBML header and the Tracks element
// (found by walking the Segment's top-level elements, or through the SeekHead when clusters
// come first). IDs are the track entries' 0-based order, as mkvmerge and mkvextract count
// them. False when the file is not Matroska or holds anything the reader does not expect
// (the caller then asks mkvmerge).
bool readMkvTrackList(const std::string &path, std::vector<MkvTrack> *tracks);

// Reads the tracks from mkvmerge's JSON identification. False when the text is no such
// report or mkvmerge did not recognise the file.
bool readMkvTracks(const std::string &json, std::vector<MkvTrack> *tracks);

// The track with the given track number, or nullptr.
const MkvTrack *trackByNumber(const std::vector<MkvTrack> &tracks, long long number);

// MPEG-4 Part 2 video in native Matroska form, which mkvextract refuses to extract (and then
// extracts none of the other tracks of the call either).
bool mkvextractRefuses(const MkvTrack &track);

// Splits a track spec "N:FILE" (the file name may hold colons). False when it is none.
bool parseTrackSpec(const std::string &arg, long long *number, std::string *file);
