#include "core/study/Shard.h"

#include "core/results/JsonText.h"
#include "core/study/StudyWriters.h"

#include <algorithm>
#include <charconv>

namespace orvane {

namespace {

constexpr std::string_view kCsvLineEnd = "\r\n";
constexpr std::string_view kCsvShardPrefix = "# shard,";

std::optional<std::int64_t> wholeNumber(std::string_view text) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::vector<std::string_view> lines(std::string_view text, std::string_view end) {
    std::vector<std::string_view> result;
    while (!text.empty()) {
        const std::size_t at = text.find(end);
        if (at == std::string_view::npos) {
            result.push_back(text); // an unterminated last line: refused by the callers
            break;
        }
        result.push_back(text.substr(0, at + end.size()));
        text.remove_prefix(at + end.size());
    }
    return result;
}

// One shard's file taken apart.
struct ShardFile {
    Shard shard;
    std::string head; // CSV: the metadata and header row; JSON lines: empty
    std::vector<std::string_view> rows;
    std::string error;
};

ShardFile readCsv(std::string_view text) {
    ShardFile file;
    const std::vector<std::string_view> all = lines(text, kCsvLineEnd);
    std::size_t k = 0;
    while (k < all.size() && all[k].starts_with("#")) {
        file.head += all[k++];
    }
    if (k == all.size()) {
        file.error = "no header row";
        return file;
    }
    file.head += all[k++];
    while (k < all.size() && !all[k].starts_with("#")) {
        file.rows.push_back(all[k++]);
    }
    const std::vector<std::string_view> closing(all.begin() + std::ptrdiff_t(k), all.end());
    if (closing.size() != 3 || !closing[2].starts_with(kCsvShardPrefix) ||
        !closing[2].ends_with(kCsvLineEnd)) {
        file.error = "it does not end with a shard record (# shard,K/N): it is not a shard's CSV, "
                     "or it was cut short";
        return file;
    }
    const std::string_view shard = closing[2].substr(
        kCsvShardPrefix.size(), closing[2].size() - kCsvShardPrefix.size() - kCsvLineEnd.size());
    const ShardParse parse = ParseShard(shard);
    if (!parse.error.empty()) {
        file.error = "its shard record is damaged: " + parse.error;
        return file;
    }
    file.shard = parse.shard;
    const std::int64_t rows = std::int64_t(file.rows.size());
    if (std::string(closing[0]) + std::string(closing[1]) != StudyClosingLines(rows, rows)) {
        file.error = "the shard was stopped or its rows do not match its closing count";
    }
    return file;
}

ShardFile readJsonLines(std::string_view text) {
    ShardFile file;
    std::vector<std::string_view> all = lines(text, "\n");
    if (all.empty() || !all.back().ends_with("\n")) {
        file.error = "it does not end with a whole line";
        return file;
    }
    const std::string_view last = all.back();
    all.pop_back();
    file.rows = std::move(all);
    const std::size_t at = last.find(",\"shard\":\"");
    if (at == std::string_view::npos) {
        file.error = "its last line is not a shard record: it is not a shard's JSON lines, or it "
                     "was cut short";
        return file;
    }
    const std::size_t from = at + 10;
    const std::size_t quote = last.find('"', from);
    const ShardParse parse = ParseShard(last.substr(from, quote - from));
    const std::size_t study = last.find(",\"study\":\"");
    if (quote == std::string_view::npos || !parse.error.empty() ||
        study == std::string_view::npos) {
        file.error = "its shard record is damaged";
        return file;
    }
    file.shard = parse.shard;
    file.head = last.substr(study + 10, 16);
    if (last != ShardJsonLine(file.shard, file.head, std::int64_t(file.rows.size()), true)) {
        file.error = "the shard was stopped, was written by another version, or its lines do "
                     "not match its count";
    }
    return file;
}

} // namespace

ShardParse ParseShard(std::string_view text) {
    ShardParse parse;
    const std::size_t slash = text.find('/');
    const std::optional<std::int64_t> k =
        slash == std::string_view::npos ? std::nullopt : wholeNumber(text.substr(0, slash));
    const std::optional<std::int64_t> n =
        slash == std::string_view::npos ? std::nullopt : wholeNumber(text.substr(slash + 1));
    if (!k || !n || *n < 1 || *n > kMaxShards || *k < 1 || *k > *n) {
        parse.error = "a shard is K/N with 1 ≤ K ≤ N ≤ " + std::to_string(kMaxShards) + ", not " +
                      std::string(text.substr(0, 40));
        return parse;
    }
    parse.shard = {int(*k), int(*n)};
    return parse;
}

PointRange ShardRange(std::int64_t total, Shard shard) {
    // total ≤ 10⁶ and N ≤ 10⁵: the products fit in 64 bits.
    return {(shard.index - 1) * total / shard.count, shard.index * total / shard.count};
}

std::string ShardCsvLine(Shard shard) {
    return CsvMetadataLine("shard",
                           std::to_string(shard.index) + "/" + std::to_string(shard.count));
}

std::string StudyFingerprint(std::string_view csvHead) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const char c : csvHead) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
    }
    char digits[17] = {};
    for (int k = 15; k >= 0; --k, hash >>= 4) {
        digits[k] = "0123456789abcdef"[hash & 0xf];
    }
    return digits;
}

std::string ShardJsonLine(Shard shard, std::string_view fingerprint, std::int64_t pointsDone,
                          bool complete) {
    return "{" + JsonProgramKeys() + ",\"shard\":\"" + std::to_string(shard.index) + "/" +
           std::to_string(shard.count) + "\",\"study\":\"" + std::string(fingerprint) +
           "\",\"pointsDone\":" + std::to_string(pointsDone) +
           ",\"complete\":" + (complete ? "true" : "false") + "}\n";
}

MergedShards MergeShards(const std::vector<std::string>& texts,
                         const std::vector<std::string>& names) {
    MergedShards merged;
    if (texts.empty()) {
        merged.error = "no shard files given";
        return merged;
    }
    const bool csv = texts.front().starts_with("#");
    std::vector<ShardFile> files;
    for (std::size_t f = 0; f < texts.size(); ++f) {
        const std::string where = "\"" + names[f] + "\": ";
        if (texts[f].starts_with("#") != csv) {
            merged.error = where + "the shards must all be CSV or all JSON lines";
            return merged;
        }
        files.push_back(csv ? readCsv(texts[f]) : readJsonLines(texts[f]));
        if (!files.back().error.empty()) {
            merged.error = where + files.back().error;
            return merged;
        }
        const Shard shard = files.back().shard;
        if (shard.count != files.front().shard.count) {
            merged.error = where + "it is a shard of " + std::to_string(shard.count) +
                           " parts, \"" + names.front() + "\" of " +
                           std::to_string(files.front().shard.count);
            return merged;
        }
        if (files.back().head != files.front().head) {
            merged.error = where + "its metadata differ from those of \"" + names.front() +
                           "\": it is a shard of another study";
            return merged;
        }
        for (std::size_t g = 0; g < f; ++g) {
            if (files[g].shard == shard) {
                merged.error = where + "shard " + std::to_string(shard.index) +
                               " is given twice (also \"" + names[g] + "\")";
                return merged;
            }
        }
    }
    const int count = files.front().shard.count;
    if (int(files.size()) != count) {
        std::string missing;
        for (int k = 1; k <= count && missing.size() < 60; ++k) {
            if (std::none_of(files.begin(), files.end(),
                             [k](const ShardFile& file) { return file.shard.index == k; })) {
                missing += (missing.empty() ? "" : ", ") + std::to_string(k);
            }
        }
        merged.error = "shards missing of " + std::to_string(count) + ": " + missing;
        return merged;
    }
    std::sort(files.begin(), files.end(),
              [](const ShardFile& a, const ShardFile& b) { return a.shard.index < b.shard.index; });
    std::int64_t total = 0;
    for (const ShardFile& file : files) {
        total += std::int64_t(file.rows.size());
    }
    for (const ShardFile& file : files) {
        if (ShardRange(total, file.shard).size() != std::int64_t(file.rows.size())) {
            merged.error = "shard " + std::to_string(file.shard.index) + "/" +
                           std::to_string(count) + " holds " + std::to_string(file.rows.size()) +
                           " points where a part of " + std::to_string(total) + " holds " +
                           std::to_string(ShardRange(total, file.shard).size());
            return merged;
        }
    }
    merged.text = csv ? files.front().head : std::string();
    for (const ShardFile& file : files) {
        for (const std::string_view row : file.rows) {
            merged.text += row;
        }
    }
    if (csv) {
        merged.text += StudyClosingLines(total, total);
    }
    return merged;
}

} // namespace orvane
