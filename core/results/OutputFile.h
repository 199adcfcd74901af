#pragma once

// Every file the programs write goes through one of two writers, so that every output keeps
// the same promises: nothing of the user's is half-written, and a failure names the file and
// the system's reason.
//
// A whole file (a parameter file, a fitted data set, a fit table, a figure) is written with
// WriteWholeFile: to a temporary file beside it, synced, and renamed into place, so that a
// failure leaves the old file as it was.
//
// A stream (the t-s file, the run and study CSV tables, JSON lines) is a RecordFile: what
// reaches the file is whole records, and after a failed write the file is cut back to its
// last whole record and the message says what it holds. RecordStream puts a std::ostream in
// front of it for the writers that format into a stream.
//
// Before any of them starts, CheckOutputs (OutputPolicy.h) refuses outputs that would replace
// an input or each other.

#include "core/files/FileStatus.h"

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

namespace orvane {

// Writes bytes to path whole or not at all: through a temporary file in the same directory,
// put in path's place only when complete, so that a failed or killed save leaves an existing
// file as it was and no temporary file behind. A symbolic link is followed and stays a link;
// an existing file keeps its permission bits, and one the user may not write is not replaced.
// A writable file in a directory that refuses a temporary file or the replacement (a sticky
// directory, another user's file) is rewritten in place, its old bytes put back if a write
// fails. A character device or a pipe is written where it is, never replaced; a pipe nobody
// reads is refused (ENXIO) without waiting.
FileStatus WriteWholeFile(const std::string& path, std::string_view bytes);

// A stream of records into a file, buffered. Records reach the file whole: a full buffer hands
// out its whole records and keeps the one begun (only a record longer than the buffer goes out
// in parts), and flush() writes out the whole records buffered. The first failed write ends all
// writing: the file is cut back to its last whole record, or removed when it holds none, and
// status() says why and what the file holds.
class RecordFile {
public:
    // What a record is called in messages: {"step", "steps"}, {"line", "lines"}.
    struct Names {
        std::string_view one;
        std::string_view many;
    };
    static constexpr std::size_t kCapacity = 64 * 1024;
    // The most that reserve() hands out at once.
    static constexpr std::size_t kLongestReserve = 2048;

    explicit RecordFile(Names names);
    ~RecordFile();
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;

    // Creates or empties path. Only a regular file or a new name is written, and a character
    // device (/dev/null); a named pipe, socket, block device or directory is refused without
    // waiting for a reader and left as it is. A regular file is emptied only once it is known
    // to be one.
    FileStatus open(const std::string& path);
    // Standard output; it is never cut back or closed.
    void openStandardOutput();
    bool isOpen() const;
    // Where the records go: the path, or "standard output".
    const std::string& name() const { return m_name; }

    // Room for up to kLongestReserve bytes, then commit() its end; nullptr after a failure.
    char* reserve(std::size_t bytes);
    void commit(const char* end);
    // Any number of bytes.
    void append(std::string_view bytes);
    // The bytes appended so far end a whole record.
    void endRecord();
    // Writes out the whole records buffered; false after a failure.
    bool flush();
    // Writes out what is buffered and closes the file; the first failure of its life.
    FileStatus close();

    const FileStatus& status() const { return m_status; }
    bool ok() const { return m_status.ok(); }
    // Whole records on disk; after a failure, the records the file was cut back to.
    std::int64_t wholeRecords() const;

private:
    class Output;
    void writeFailed(int error);

    Names m_names;
    std::string m_name;
    std::unique_ptr<Output> m_output;
    FileStatus m_status;
    std::int64_t m_recordsOnDisk = 0;
};

// A std::ostream onto a RecordFile for text formats whose records are lines: Line for JSON
// lines, where every line break ends a record, CsvRecord for RFC 4180 CSV, where a line break
// inside a quoted field does not. The stream goes bad at the first failed write.
class RecordStream : public std::ostream {
public:
    enum class Ends { Line, CsvRecord };

    explicit RecordStream(Ends ends);
    ~RecordStream() override;

    // path "-" is standard output.
    FileStatus open(const std::string& path);
    FileStatus close();
    const FileStatus& status() const;
    const std::string& name() const;

private:
    class Buffer;
    std::unique_ptr<Buffer> m_buffer;
};

} // namespace orvane
