// Arbitrary bytes as a data-set file. The reader either refuses them with a message that names
// the file, or gives a data set whose texts the writer stores and the reader gives back
// unchanged.

#include "bench/fuzz/FuzzCheck.h"
#include "core/files/DataSetFile.h"

#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    orvane::DataSet read;
    read.comment = "untouched";
    const orvane::FileStatus status = orvane::ParseDataSetFile(bytes, "fuzz.orv", read);
    if (!status.ok()) {
        FUZZ_CHECK(status.failure == orvane::FileFailure::NotDataSet);
        FUZZ_CHECK(status.message.starts_with("\"fuzz.orv\""));
        FUZZ_CHECK(read.comment == "untouched");
        return 0;
    }
    std::string written;
    FUZZ_CHECK(orvane::FormatDataSetFile(read, written).ok());
    FUZZ_CHECK(orvane::LooksLikeDataSetFile(written));
    orvane::DataSet again;
    FUZZ_CHECK(orvane::ParseDataSetFile(written, "again.orv", again).ok());
    FUZZ_CHECK(again == read);
    return 0;
}
