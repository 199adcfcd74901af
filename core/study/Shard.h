#pragma once

// A study larger than one machine, cut into N shards for a scheduler: shard K runs the K-th of
// N contiguous, disjoint parts of the same point or sample list, and the shards' outputs are
// merged back into the file one machine would have written, byte for byte.
//
// A shard writes what the whole study writes for its points (the CSV with the whole study's
// metadata and header; the JSON lines), and closes with one more record that says which shard
// it is and how many points it holds: the line "# shard,K/N" after the CSV's closing metadata,
// and a last JSON line {"program":…,"version":…,"shard":"K/N","study":…,"pointsDone":M,
// "complete":…}, where study is a fingerprint of the CSV's metadata and header, so that shards
// of different studies are told apart in JSON lines too.
// The merge checks that all N shards of one study are there, each complete and of the size its
// part must have, drops those records and writes the whole study's closing metadata.

#include "core/study/Study.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

struct Shard {
    int index = 1; // K, 1 … count
    int count = 1; // N

    bool operator==(const Shard&) const = default;
};

inline constexpr int kMaxShards = 100'000;

struct ShardParse {
    Shard shard;
    std::string error;
};
// Reads K/N, 1 ≤ K ≤ N ≤ kMaxShards.
ShardParse ParseShard(std::string_view text);

// The points of shard K of a list of total points: ⌊(K−1)·total/N⌋ ≤ k < ⌊K·total/N⌋.
PointRange ShardRange(std::int64_t total, Shard shard);

// The record that closes a shard's CSV, after StudyClosingLines.
std::string ShardCsvLine(Shard shard);
// The study's fingerprint: 16 hexadecimal digits of the 64-bit FNV-1a hash of the metadata and
// header its CSV begins with.
std::string StudyFingerprint(std::string_view csvHead);
// The last JSON line of a shard's JSON lines.
std::string ShardJsonLine(Shard shard, std::string_view fingerprint, std::int64_t pointsDone,
                          bool complete);

struct MergedShards {
    std::string text;  // the whole study's file
    std::string error; // names the shard file and what is wrong; empty when merged
};

// Merges the shards' files (all CSV or all JSON lines, any order); names are how messages
// call them.
MergedShards MergeShards(const std::vector<std::string>& texts,
                         const std::vector<std::string>& names);

} // namespace orvane
