#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jsondoc/jsondoc.h"
#include "logging/quarn_logger.h"
#include "updater/durable_file.h"

// The data set's block identifier, fixed for the unit's audio data set.
constexpr std::uint16_t AUDIO_DATASET_BLOCK_ID = 0x7100;

// One flashable block of the NAD component; System1_Version stays empty for a block that exists once.
struct NADVersionInfo {
    std::uint8_t BlockID;
    std::string System0_Version;
    std::string System1_Version;

    NADVersionInfo(std::uint8_t blockID, std::string system0Version)
        : BlockID(blockID), System0_Version(std::move(system0Version)) {}
    NADVersionInfo(std::uint8_t blockID, std::string system0Version, std::string system1Version)
        : BlockID(blockID), System0_Version(std::move(system0Version)), System1_Version(std::move(system1Version)) {}
};

struct GTOVersionInfo {
    std::uint8_t Active_System;
    std::string System0_Version;
    std::string System1_Version;
};

struct CMPVersionInfo {
    std::string IOC;
    std::string WUC;
    std::string HWVersion;
};

struct AudioDataSetVersionInfo {
    std::uint16_t BlockID;
    std::string Version;
    std::string DataSetName;
};

// The in-memory model of every version record of the version document: loaded and validated on construction,
// changed by one update, and written back as a whole document.
class RAROV_UpdateVersionInfo {
  public:
    // The logger is borrowed and must outlive the object; the path is copied. Whatever the document holds, the model
    // ends up usable, with defaults wherever the document was unusable or is missing.
    RAROV_UpdateVersionInfo(quarn_logger* logger, const std::string& versionFilePath);

    // False when the document is there but could not be opened or read (an I/O error, no permission): then the
    // model holds none of its versions and the document is never saved over.
    bool isVersionFileReadable() const { return !m_versionFileUnreadable; }

    // How the load went, for readers that must tell "nothing recorded yet" from a document that defaults stand in
    // for, wholly or in one section: the model alone cannot tell a rejected section from one never recorded.
    enum class Load { Whole, Missing, Damaged };
    Load loadOutcome() const { return m_loadOutcome; }

    // The records as loaded (and changed since), for readers that report them.
    const std::string& versionFilePath() const { return m_versionFilePath; }
    const std::vector<NADVersionInfo>& nadVersionInfo() const { return m_NADVersionInfo; }
    const GTOVersionInfo& gtoVersionInfo() const { return m_GTOVersionInfo; }
    const AudioDataSetVersionInfo& audioDataSetVersionInfo() const { return m_audioDataSetVersionInfo; }
    // The number of system copies the block table gives a block: 1 or 2, 0 for a block it does not list.
    static int systemCopies(int blockID);

    RAROV_UpdateVersionInfo(const RAROV_UpdateVersionInfo&) = delete;
    RAROV_UpdateVersionInfo& operator=(const RAROV_UpdateVersionInfo&) = delete;

    bool updateVersionforBlock(int BlockID, std::uint8_t SystemID, const std::string& versionFilePath);
    bool assignVersionInfo(NADVersionInfo& record, std::uint8_t SystemID, const std::string& version);
    bool updateAudioDatasetVersionInfo(const std::string& versionFilePath, const std::string& DataSetName);
    std::string getLatestVersionString(const std::string& versionFilePath);

    bool writeToFile();
    // The same save by a caller that holds the document's lock around its load, update and save: the lock is
    // released as soon as the document is on disk, so that other writers need not wait for the slow sync that follows.
    bool writeToFile(DocumentLock& heldLock);
    bool dumpJSONContent(const std::string& path, bool includeCMP);
    std::string returnVersionInfo(int blockID);
    AudioDataSetVersionInfo returnAudioDataSetVersionInfo();
    bool updateCMPVersionInfo(const std::string& IOC, const std::string& WUC, const std::string& HWVersion);
    bool updateGTOVersionInfo(unsigned int systemID, const std::string& version);

  private:
    void readVersionInfo_NAD();
    void readVersionInfo_GTO();
    void readVersionInfo_AudioDataset();
    bool isValidConfiguration(const jsondoc::Object& document);
    void setDefaultVersionInfo_NAD();
    void dumpVersionFile();
    jsondoc::Object buildDocument(bool includeCMP) const;
    bool refusesUnreadableDocument(const char* function);
    bool save(const std::string& path, bool includeCMP, DocumentLock* releasedOnceSaved);
    bool saveDocument(DocumentLock* releasedOnceSaved);

    quarn_logger* m_logger;
    std::string m_versionFilePath;
    jsondoc::Object m_versionInfoJSON;
    std::vector<NADVersionInfo> m_NADVersionInfo;
    GTOVersionInfo m_GTOVersionInfo;
    CMPVersionInfo m_CMPVersionInfo;
    AudioDataSetVersionInfo m_audioDataSetVersionInfo;
    bool m_versionFileUnreadable = false;
    Load m_loadOutcome = Load::Whole;
};
