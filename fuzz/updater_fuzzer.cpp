// Runs the updater's whole path on an arbitrary version document and version file: load, one update, save, and a
// second load of what was saved. Checks, beyond "no crash":
// - a failed update writes nothing and does not sync;
// - the save succeeds, syncs once and leaves no temporary file behind;
// - the saved document loads again without a single message, and saving that gives the same bytes;
// - an update that succeeded is in the saved document, in the slot it was meant for.
//
// Input: a first line naming the update, as the command line does ("<BlockID> <SystemID>", or "A <DataSetName>"
// for the audio data set), then the version file, a line "%%", and the version document.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "jsondoc/jsondoc.h"
#include "tests/support/recording_logger.h"
#include "tests/support/temp_dir.h"
#include "updater/update_version_info.h"

namespace {

const char kSyncMessage[] = "%s(%s): Sync Successful";

void require(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "property violated: %s\n", what);
        std::abort();
    }
}

// One scratch directory for the whole run.
struct Scratch {
    Scratch() { require(!directory.path().empty(), "a scratch directory can be made"); }

    TempDir directory;
    const std::string document = directory / "VersionInfo.json";
    const std::string versionFile = directory / "version.json";
};

struct Input {
    std::string header;
    std::string versionFile;
    std::string document;
};

Input split(const std::string& data) {
    Input input;
    const auto lineEnd = data.find('\n');
    input.header = data.substr(0, lineEnd);
    if (lineEnd == std::string::npos) {
        return input;
    }
    const std::string rest = data.substr(lineEnd + 1);
    const auto separator = rest.find("\n%%\n");
    input.versionFile = rest.substr(0, separator);
    if (separator != std::string::npos) {
        input.document = rest.substr(separator + 4);
    }
    return input;
}

// The update the header names, read as the tool reads its arguments.
struct Update {
    bool audio = false;
    bool readable = true;
    std::string dataSetName;
    std::int32_t blockID = 0;
    std::uint8_t systemID = 0;
};

Update readHeader(const std::string& header) {
    Update update;
    if (header.compare(0, 2, "A ") == 0) {
        update.audio = true;
        update.dataSetName = header.substr(2);
        return update;
    }
    const auto blank = header.find(' ');
    const std::string first = header.substr(0, blank);
    const std::string second = blank == std::string::npos ? std::string() : header.substr(blank + 1);
    std::int32_t systemID = 0;
    update.readable =
        readDecimalArgument(first.c_str(), update.blockID) && readDecimalArgument(second.c_str(), systemID);
    update.systemID = static_cast<std::uint8_t>(systemID);
    return update;
}

bool apply(RAROV_UpdateVersionInfo& updater, const Update& update, const std::string& versionFile) {
    if (update.audio) {
        return updater.updateAudioDatasetVersionInfo(versionFile, update.dataSetName);
    }
    return update.readable && updater.updateVersionforBlock(update.blockID, update.systemID, versionFile);
}

// The version the update should store: the version file's "Version" string, read on its own.
std::string versionIn(const std::string& path) {
    std::ifstream file(path);
    jsondoc::Object content;
    if (!content.parse(file) || !content.has<jsondoc::String>("Version")) {
        return std::string();
    }
    return content.get<jsondoc::String>("Version");
}

// Whether the saved text holds the update: the audio record, or the slot of the first record of the block. A slot
// 1 of a block that exists once is refused, since the save has no place for it: the record then has no such slot.
bool holdsUpdate(const std::string& saved, const Update& update, const std::string& version) {
    jsondoc::Object document;
    require(document.parse(saved), "the saved document parses");
    if (update.audio) {
        const auto& audio = document.get<jsondoc::Object>("Audio_DataSet_Version_Info");
        return audio.get<jsondoc::String>("Version") == version &&
               audio.get<jsondoc::String>("DataSetName") == update.dataSetName;
    }
    const char* slot = update.systemID == 0 ? "System0_Version" : "System1_Version";
    for (const auto& element : document.get<jsondoc::Array>("NAD_Version_Info").elements()) {
        const auto& record = element.get<jsondoc::Object>();
        if (record.get<jsondoc::Number>("BlockID") == update.blockID) {
            return record.has<jsondoc::String>(slot) && record.get<jsondoc::String>(slot) == version;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Scratch scratch;
    const Input input = split(std::string(reinterpret_cast<const char*>(data), size));
    writeFile(scratch.document, input.document);
    writeFile(scratch.versionFile, input.versionFile);

    RecordingLogger log;
    RAROV_UpdateVersionInfo updater(&log, scratch.document);
    const Update update = readHeader(input.header);
    const bool updated = apply(updater, update, scratch.versionFile);
    const std::string version = versionIn(scratch.versionFile);
    require(!updated || !version.empty(), "only a version that is there is stored");
    require(readFile(scratch.document) == input.document, "loading and updating write nothing");
    require(log.countFormat(kSyncMessage) == 0, "loading and updating do not sync");

    require(updater.writeToFile(), "the document of a writable directory is saved");
    require(log.countFormat(kSyncMessage) == 1, "a save syncs once");
    require(TempDir::entries(scratch.directory.path()).size() == 2, "a save leaves no temporary file");
    const std::string saved = readFile(scratch.document);
    if (updated) {
        require(holdsUpdate(saved, update, version), "the saved document holds the update");
    }

    RecordingLogger reloadLog;
    RAROV_UpdateVersionInfo reloaded(&reloadLog, scratch.document);
    require(reloadLog.entries().empty(), "a saved document loads without a message");
    require(reloaded.writeToFile(), "a reloaded document is saved");
    require(readFile(scratch.document) == saved, "saving a reloaded document gives the same bytes");
    return 0;
}
