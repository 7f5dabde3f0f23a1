#include "updater/update_version_info.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>

#include "common/block_table.h"
#include "updater/durable_file.h"
#include "utils/fd_io.h"
#include "utils/file_utils.h"
#include "utils/process_utils.h"

// The fixed line tags ("75", "88", "135", ...) are these messages' identifiers, which the unit's log readers and the
// conformance checks match: they stay as they are wherever the lines move, unlike the QUARN_LINE tags of newer ones.

namespace {

const char kNADKey[] = "NAD_Version_Info";
const char kGTOKey[] = "GTO_Version_Info";
const char kAudioKey[] = "Audio_DataSet_Version_Info";
const char kCMPKey[] = "CMP_Version_Info";

// Document numbers are floating point; the model's ids are narrow unsigned integers. The fraction is dropped,
// the value is clamped to the unsigned 32-bit range, and the caller keeps the low bits it needs.
std::uint32_t toUnsigned32(jsondoc::Number number) {
    if (!(number > 0)) {
        return 0;
    }
    if (number >= 4294967295.0L) {
        return 4294967295u;
    }
    return static_cast<std::uint32_t>(number);
}

std::uint8_t toUnsigned8(jsondoc::Number number) {
    return static_cast<std::uint8_t>(toUnsigned32(number) & 0xFFu);
}

// The number of system copies the block table gives a block, 0 for one it does not hold.
int blockCopies(int blockID) {
    const auto copies = expectedBlockIDs.find(blockID);
    return copies == expectedBlockIDs.end() ? 0 : copies->second;
}

const char* stepAction(DurableFileStep step) {
    switch (step) {
        case DurableFileStep::Write:
            return "Writing the file stream";
        case DurableFileStep::Sync:
            return "Syncing the file stream";
        case DurableFileStep::Close:
            return "Closing the file stream";
        case DurableFileStep::Rename:
            return "Replacing the file";
        case DurableFileStep::SyncDirectory:
            return "Syncing the directory of the file";
        default:
            return "Saving the file";
    }
}

// Reads the whole file with the system's calls, so that a failure keeps its errno; 0 on success. Only a regular file
// is read: a FIFO would block the run (and every run waiting for its lock) until someone writes to it. The access time
// is left alone, so that a run which changes nothing writes nothing.
int readWholeFile(const std::string& path, std::string& content) {
    const int fd = openWithoutAccessTime(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    struct stat status;
    const int kind = ::fstat(fd, &status) != 0 ? errno
                     : S_ISREG(status.st_mode) ? 0
                     : S_ISDIR(status.st_mode) ? EISDIR
                                               : EINVAL;
    if (kind != 0) {
        ::close(fd);
        return kind;
    }
    const int error = readAll(fd, content);
    ::close(fd);
    return error;
}

}  // namespace

RAROV_UpdateVersionInfo::RAROV_UpdateVersionInfo(quarn_logger* logger, const std::string& versionFilePath)
    : m_logger(logger),
      m_versionFilePath(versionFilePath),
      m_GTOVersionInfo{0, EMPTY_VERSION, EMPTY_VERSION},
      m_CMPVersionInfo{EMPTY_VERSION, EMPTY_VERSION, EMPTY_VERSION},
      m_audioDataSetVersionInfo{AUDIO_DATASET_BLOCK_ID, EMPTY_VERSION, "------------"} {
    std::string content;
    const int error = readWholeFile(m_versionFilePath, content);
    // Defaults saved over a document that is there but could not be read would lose every version it holds.
    if (error != 0 && error != ENOENT) {
        m_logger->error("%s(%s): Reading the Version file(%s) failed(%s)", __func__, QUARN_LINE,
                        m_versionFilePath.c_str(), std::strerror(error));
        m_versionFileUnreadable = true;
        m_loadOutcome = Load::Damaged;
        setDefaultVersionInfo_NAD();
        return;
    }
    m_loadOutcome = error == ENOENT ? Load::Missing : Load::Damaged;  // until every section has passed
    // The bytes are already in memory: parsed from them, as a stream of them would be.
    if (error != 0 || !m_versionInfoJSON.parse(content)) {
        m_logger->error("%s(%s): Error in reading the Version file", __func__, "75");
        m_NADVersionInfo.clear();
        setDefaultVersionInfo_NAD();
        return;
    }
    if (!isValidConfiguration(m_versionInfoJSON)) {
        m_logger->error("%s(%s): Invalid Configuration file found. Dumping the contents...", __func__, "88");
        m_NADVersionInfo.clear();
        setDefaultVersionInfo_NAD();
        dumpVersionFile();
        return;
    }
    m_loadOutcome = Load::Whole;
    readVersionInfo_NAD();
    readVersionInfo_GTO();
    readVersionInfo_AudioDataset();
}

bool RAROV_UpdateVersionInfo::isValidConfiguration(const jsondoc::Object& document) {
    return document.has<jsondoc::Array>(kNADKey) &&
           document.get<jsondoc::Array>(kNADKey).size() == expectedBlockIDs.size() &&
           document.has<jsondoc::Object>(kGTOKey);
}

void RAROV_UpdateVersionInfo::dumpVersionFile() {
    m_loadOutcome = Load::Damaged;  // every rejected section is dumped
    printFileContentByPath(m_logger, m_versionFilePath);
}

void RAROV_UpdateVersionInfo::readVersionInfo_NAD() {
    for (const jsondoc::Value& element : m_versionInfoJSON.get<jsondoc::Array>(kNADKey).elements()) {
        if (element.is<jsondoc::Object>()) {
            const jsondoc::Object& record = element.get<jsondoc::Object>();
            if (record.has<jsondoc::Number>("BlockID") && record.has<jsondoc::String>("System0_Version")) {
                const std::uint8_t blockID = toUnsigned8(record.get<jsondoc::Number>("BlockID"));
                const std::string& system0 = record.get<jsondoc::String>("System0_Version");
                if (record.has<jsondoc::String>("System1_Version")) {
                    m_NADVersionInfo.emplace_back(blockID, system0, record.get<jsondoc::String>("System1_Version"));
                } else {
                    m_NADVersionInfo.emplace_back(blockID, system0);
                }
                continue;
            }
        }
        m_logger->error("%s(%s): Invalid NAD Information. Dumping the contents...", __func__, "135");
        dumpVersionFile();
        m_NADVersionInfo.clear();
        setDefaultVersionInfo_NAD();
        return;
    }
}

void RAROV_UpdateVersionInfo::readVersionInfo_GTO() {
    const jsondoc::Object& record = m_versionInfoJSON.get<jsondoc::Object>(kGTOKey);
    if (!record.has<jsondoc::String>("System0_Version") || !record.has<jsondoc::String>("System1_Version") ||
        !record.has<jsondoc::Number>("Active_System")) {
        m_logger->error("%s(%s): Invalid GTO Information. Dumping the contents...", __func__, "162");
        dumpVersionFile();
        return;
    }
    m_GTOVersionInfo.Active_System = toUnsigned8(record.get<jsondoc::Number>("Active_System"));
    m_GTOVersionInfo.System0_Version = record.get<jsondoc::String>("System0_Version");
    m_GTOVersionInfo.System1_Version = record.get<jsondoc::String>("System1_Version");
}

void RAROV_UpdateVersionInfo::readVersionInfo_AudioDataset() {
    if (m_versionInfoJSON.has<jsondoc::Object>(kAudioKey)) {
        const jsondoc::Object& record = m_versionInfoJSON.get<jsondoc::Object>(kAudioKey);
        if (record.has<jsondoc::Number>("BlockID") && record.has<jsondoc::String>("Version") &&
            record.has<jsondoc::String>("DataSetName")) {
            // Compared as the number stands in the document: 28928.5 is not the data set's block.
            const jsondoc::Number blockID = record.get<jsondoc::Number>("BlockID");
            if (blockID == m_audioDataSetVersionInfo.BlockID) {
                m_audioDataSetVersionInfo.Version = record.get<jsondoc::String>("Version");
                m_audioDataSetVersionInfo.DataSetName = record.get<jsondoc::String>("DataSetName");
                return;
            }
            m_logger->error("%s(%s): Expected BlockID(%x) but got BlockID(%x)", __func__, "194",
                            static_cast<unsigned>(m_audioDataSetVersionInfo.BlockID),
                            static_cast<unsigned>(toUnsigned32(blockID)));
        }
    }
    m_logger->error("%s(%s): Invalid Audio DataSet Information. Dumping the contents...", __func__, "201");
    dumpVersionFile();
}

void RAROV_UpdateVersionInfo::setDefaultVersionInfo_NAD() {
    for (const auto& entry : expectedBlockIDs) {
        const auto blockID = static_cast<std::uint8_t>(entry.first);
        if (entry.second == 1) {
            m_NADVersionInfo.emplace_back(blockID, EMPTY_VERSION);
        } else {
            m_NADVersionInfo.emplace_back(blockID, EMPTY_VERSION, EMPTY_VERSION);
        }
    }
}

bool RAROV_UpdateVersionInfo::assignVersionInfo(NADVersionInfo& record, std::uint8_t SystemID,
                                                const std::string& version) {
    switch (SystemID) {
        case 0:
            record.System0_Version = version;
            return true;
        case 1:
            // The save writes no second slot for a block that exists once: the version would never reach the file.
            if (blockCopies(record.BlockID) == 2) {
                record.System1_Version = version;
                return true;
            }
            [[fallthrough]];
        default:
            m_logger->error("%s(%s): Invalid SystemID = %d", __func__, "230", static_cast<int>(SystemID));
            return false;
    }
}

bool RAROV_UpdateVersionInfo::updateVersionforBlock(int BlockID, std::uint8_t SystemID,
                                                    const std::string& versionFilePath) {
    m_logger->verbose("%s(%s): Called for blockID = 0x%x", __func__, "245", static_cast<unsigned>(BlockID));
    for (auto& record : m_NADVersionInfo) {
        if (record.BlockID != BlockID) {
            continue;
        }
        const std::string version = getLatestVersionString(versionFilePath);
        if (version.empty()) {
            m_logger->error("%s(%s): The Version Information file %s contains an empty version", __func__, "265",
                            versionFilePath.c_str());
            return false;
        }
        return assignVersionInfo(record, SystemID, version);
    }
    m_logger->error("%s(%s): The received blockID: %d is not present in the set of expected blockID's", __func__, "272",
                    BlockID);
    return false;
}

bool RAROV_UpdateVersionInfo::updateAudioDatasetVersionInfo(const std::string& versionFilePath,
                                                            const std::string& DataSetName) {
    const std::string version = getLatestVersionString(versionFilePath);
    if (version.empty()) {
        m_logger->error("%s(%s): The Version Information file %s contains an empty version", __func__, "319",
                        versionFilePath.c_str());
        return false;
    }
    m_audioDataSetVersionInfo.Version = version;
    m_audioDataSetVersionInfo.DataSetName = DataSetName;
    return true;
}

std::string RAROV_UpdateVersionInfo::getLatestVersionString(const std::string& versionFilePath) {
    std::string content;
    jsondoc::Object versionFile;
    if (readWholeFile(versionFilePath, content) != 0 || !versionFile.parse(content)) {
        m_logger->error("%s(%s): Invalid Config file and completeVersionFilePath = %s", __func__, "352",
                        versionFilePath.c_str());
        return std::string();
    }
    if (versionFile.has<jsondoc::String>("Version")) {
        return versionFile.get<jsondoc::String>("Version");
    }
    m_logger->error("%s(%s): There is no valid version string", __func__, "345");
    return std::string();
}

jsondoc::Object RAROV_UpdateVersionInfo::buildDocument(bool includeCMP) const {
    jsondoc::Object root;

    jsondoc::Array nad;
    jsondoc::Object record;
    for (const auto& info : m_NADVersionInfo) {
        record.reset();
        record << "BlockID" << jsondoc::Number(info.BlockID) << "System0_Version" << info.System0_Version;
        if (blockCopies(info.BlockID) == 2) {
            record << "System1_Version" << info.System1_Version;
        }
        nad << record;
    }
    root << kNADKey << nad;

    jsondoc::Object gto;
    gto << "Active_System" << jsondoc::Number(m_GTOVersionInfo.Active_System) << "System0_Version"
        << m_GTOVersionInfo.System0_Version << "System1_Version" << m_GTOVersionInfo.System1_Version;
    root << kGTOKey << gto;

    jsondoc::Object audio;
    audio << "BlockID" << jsondoc::Number(m_audioDataSetVersionInfo.BlockID) << "Version"
          << m_audioDataSetVersionInfo.Version << "DataSetName" << m_audioDataSetVersionInfo.DataSetName;
    root << kAudioKey << audio;

    if (includeCMP) {
        jsondoc::Object cmp;
        cmp << "IOC" << m_CMPVersionInfo.IOC << "WUC" << m_CMPVersionInfo.WUC << "HWVersion"
            << m_CMPVersionInfo.HWVersion;
        root << kCMPKey << cmp;
    }
    return root;
}

// Defaults saved over a document that is there but could not be read would lose every version it holds, and a
// complete copy written from them would report none.
bool RAROV_UpdateVersionInfo::refusesUnreadableDocument(const char* function) {
    if (m_versionFileUnreadable) {
        m_logger->error("%s(%s): Keeping the unreadable Version file(%s) as it is", function, QUARN_LINE,
                        m_versionFilePath.c_str());
    }
    return m_versionFileUnreadable;
}

bool RAROV_UpdateVersionInfo::dumpJSONContent(const std::string& path, bool includeCMP) {
    return save(path, includeCMP, nullptr);
}

// dumpJSONContent, releasing the caller's lock once the file is on disk.
bool RAROV_UpdateVersionInfo::save(const std::string& path, bool includeCMP, DocumentLock* releasedOnceSaved) {
    const char* const function = "dumpJSONContent";
    if (refusesUnreadableDocument(function)) {
        return false;
    }
    std::ostringstream text;  // a fresh stream: default precision and notation, as the document has always had
    text << buildDocument(includeCMP);

    const DurableFileResult saved = replaceFileDurably(path, text.str());
    if (saved.failedStep == DurableFileStep::Open) {
        m_logger->error("%s(%s): Opening the file stream(%s) failed(%s)...!", function, "462", path.c_str(),
                        std::strerror(saved.error));
        return false;
    }
    if (!saved) {
        m_logger->error("%s(%s): %s(%s) failed(%s)...!", function, QUARN_LINE, stepAction(saved.failedStep),
                        saved.resolvedPath.c_str(), std::strerror(saved.error));
        return false;
    }
    if (releasedOnceSaved != nullptr) {
        releasedOnceSaved->release();
    }
    runSync(m_logger);
    return true;
}

bool RAROV_UpdateVersionInfo::writeToFile() {
    return saveDocument(nullptr);
}

bool RAROV_UpdateVersionInfo::writeToFile(DocumentLock& heldLock) {
    return saveDocument(&heldLock);
}

bool RAROV_UpdateVersionInfo::saveDocument(DocumentLock* releasedOnceSaved) {
    const char* const function = "writeToFile";
    if (refusesUnreadableDocument(function)) {
        return false;
    }
    const bool result = save(m_versionFilePath, false, releasedOnceSaved);
    if (!result) {
        m_logger->error("%s(%s): Dumping JSON Content to '%s' file failed", function, "473", m_versionFilePath.c_str());
    }
    return result;
}

std::string RAROV_UpdateVersionInfo::returnVersionInfo(int blockID) {
    for (const auto& record : m_NADVersionInfo) {
        if (record.BlockID != blockID) {
            continue;
        }
        const int copies = blockCopies(blockID);
        if (copies == 0) {
            return ZERO_VERSION;
        }
        if (copies == 2) {
            return record.System0_Version == record.System1_Version ? record.System0_Version : ZERO_VERSION;
        }
        return record.System0_Version;
    }
    m_logger->error("%s(%s): The received blockID: %d is not present in the set of expected blockID's", __func__, "503",
                    blockID);
    return ZERO_VERSION;
}

int RAROV_UpdateVersionInfo::systemCopies(int blockID) {
    return blockCopies(blockID);
}

AudioDataSetVersionInfo RAROV_UpdateVersionInfo::returnAudioDataSetVersionInfo() {
    return m_audioDataSetVersionInfo;
}

bool RAROV_UpdateVersionInfo::updateCMPVersionInfo(const std::string& IOC, const std::string& WUC,
                                                   const std::string& HWVersion) {
    if (refusesUnreadableDocument(__func__)) {
        return false;
    }
    m_CMPVersionInfo.IOC = IOC;
    m_CMPVersionInfo.WUC = WUC;
    m_CMPVersionInfo.HWVersion = HWVersion;
    return dumpJSONContent(COMPLETE_VERSION_INFO_FILE, true);
}

bool RAROV_UpdateVersionInfo::updateGTOVersionInfo(unsigned int systemID, const std::string& version) {
    if (refusesUnreadableDocument(__func__)) {
        return false;
    }
    m_GTOVersionInfo.Active_System = static_cast<std::uint8_t>(systemID & 0xFFu);
    if (systemID != 0) {
        m_GTOVersionInfo.System1_Version = version;
    } else {
        m_GTOVersionInfo.System0_Version = version;
    }
    const bool saved = writeToFile();
    // The complete copy is only ever refreshed here, never created; it is refreshed even when the document was not.
    if (!fileExists(COMPLETE_VERSION_INFO_FILE)) {
        return false;
    }
    return dumpJSONContent(COMPLETE_VERSION_INFO_FILE, true) && saved;
}
