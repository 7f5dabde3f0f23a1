#include "app/show.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>
#include <vector>

#include "common/well_known_paths.h"
#include "jsondoc/jsondoc.h"
#include "updater/update_version_info.h"

namespace {

const char kUsage[] =
    "Usage: morvane BlockID SystemID Path_to_VersionFile              record a block's version\n"
    "       morvane BlockID SystemID Path_to_VersionFile DataSetName  record the audio data set's version\n"
    "       morvane --show[=json|shell|sw-versions]                   print what the version document records\n"
    "       morvane --help                                            print this text\n";

constexpr int kSchemaVersion = 1;

// A named value, most often a version slot: its name in the sw-versions form ("block4-system1") and in the shell
// form ("BLOCK4_SYSTEM1").
struct Slot {
    std::string name;
    const std::string& version;

    std::string shellName() const {
        std::string upper = name;
        for (char& c : upper) {
            c = c == '-' ? '_' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        return upper;
    }
};

// The placeholder, or nothing at all, where a version was never stored (an empty version never is).
bool isRecorded(const std::string& version) {
    return !version.empty() && version != EMPTY_VERSION;
}

// The NAD records in BlockID order, each block once: the first record of a block is the one updates change.
std::vector<const NADVersionInfo*> blocksInOrder(const RAROV_UpdateVersionInfo& records) {
    std::map<int, const NADVersionInfo*> first;
    for (const NADVersionInfo& record : records.nadVersionInfo()) {
        first.emplace(record.BlockID, &record);
    }
    std::vector<const NADVersionInfo*> blocks;
    for (const auto& entry : first) {
        blocks.push_back(entry.second);
    }
    return blocks;
}

// The slot 1 version of a block, if the block has one: the document keeps none for a block that exists once.
const std::string* secondCopy(const NADVersionInfo& block) {
    return RAROV_UpdateVersionInfo::systemCopies(block.BlockID) == 2 ? &block.System1_Version : nullptr;
}

// Every version slot, NAD blocks first, then the GTO's two.
std::vector<Slot> versionSlots(const RAROV_UpdateVersionInfo& records) {
    std::vector<Slot> slots;
    for (const NADVersionInfo* block : blocksInOrder(records)) {
        const std::string name = "block" + std::to_string(block->BlockID) + "-system";
        slots.push_back({name + "0", block->System0_Version});
        if (const std::string* second = secondCopy(*block)) {
            slots.push_back({name + "1", *second});
        }
    }
    slots.push_back({"gto-system0", records.gtoVersionInfo().System0_Version});
    slots.push_back({"gto-system1", records.gtoVersionInfo().System1_Version});
    return slots;
}

jsondoc::Value jsonVersion(const std::string& version) {
    return isRecorded(version) ? jsondoc::Value(version) : jsondoc::Value(nullptr);
}

std::string renderJson(const RAROV_UpdateVersionInfo& records) {
    jsondoc::Array nad;
    for (const NADVersionInfo* block : blocksInOrder(records)) {
        jsondoc::Object entry;
        entry << "BlockID" << jsondoc::Number(block->BlockID) << "System0_Version"
              << jsonVersion(block->System0_Version);
        if (const std::string* second = secondCopy(*block)) {
            entry << "System1_Version" << jsonVersion(*second);
        }
        nad << entry;
    }
    const GTOVersionInfo& gto = records.gtoVersionInfo();
    jsondoc::Object gtoEntry;
    gtoEntry << "Active_System" << jsondoc::Number(gto.Active_System) << "System0_Version"
             << jsonVersion(gto.System0_Version) << "System1_Version" << jsonVersion(gto.System1_Version);
    const AudioDataSetVersionInfo& audio = records.audioDataSetVersionInfo();
    const bool audioRecorded = isRecorded(audio.Version);
    jsondoc::Object audioEntry;
    audioEntry << "BlockID" << jsondoc::Number(audio.BlockID) << "DataSetName"
               << (audioRecorded ? jsondoc::Value(audio.DataSetName) : jsondoc::Value(nullptr)) << "Version"
               << jsonVersion(audio.Version);
    jsondoc::Object root;
    root << "Schema_Version" << jsondoc::Number(kSchemaVersion) << "Document" << records.versionFilePath()
         << "NAD_Version_Info" << nad << "GTO_Version_Info" << gtoEntry << "Audio_DataSet_Version_Info" << audioEntry;
    std::ostringstream text;
    text << root << '\n';
    return text.str();
}

// Single quotes keep every byte as it is, line feeds included; a quote closes them, is escaped and reopens them.
std::string shellQuoted(const std::string& value) {
    std::string quoted = "'";
    for (const char c : value) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

std::string renderShell(const RAROV_UpdateVersionInfo& records, quarn_logger& logger) {
    const AudioDataSetVersionInfo& audio = records.audioDataSetVersionInfo();
    const bool audioRecorded = isRecorded(audio.Version);
    const std::string schema = std::to_string(kSchemaVersion),
                      active = std::to_string(records.gtoVersionInfo().Active_System),
                      audioBlock = std::to_string(audio.BlockID), none;
    std::vector<Slot> fields{{"schema-version", schema}, {"document", records.versionFilePath()}};
    for (const Slot& slot : versionSlots(records)) {
        fields.push_back({slot.name, isRecorded(slot.version) ? slot.version : none});
    }
    fields.push_back({"gto-active-system", active});
    fields.push_back({"audio-dataset-blockid", audioBlock});
    fields.push_back({"audio-dataset-name", audioRecorded ? audio.DataSetName : none});
    fields.push_back({"audio-dataset-version", audioRecorded ? audio.Version : none});
    std::string text;
    for (const Slot& field : fields) {
        // No shell variable can hold a NUL byte; a value cut short there would be wrong without a word.
        if (field.version.find('\0') != std::string::npos) {
            logger.warn("%s(%s): Leaving out %s: its value holds a NUL byte", __func__, QUARN_LINE,
                        field.shellName().c_str());
            continue;
        }
        text += "MORVANE_" + field.shellName() + "=" + shellQuoted(field.version) + "\n";
    }
    return text;
}

// A name and a version separated by blanks, one pair a line: a version with a blank or a control byte in it would
// be read as something else.
bool fitsSwVersions(const std::string& version) {
    for (const char c : version) {
        if (static_cast<unsigned char>(c) <= ' ' || c == '\x7f') {
            return false;
        }
    }
    return true;
}

std::string renderSwVersions(const RAROV_UpdateVersionInfo& records, quarn_logger& logger) {
    std::vector<Slot> slots = versionSlots(records);
    slots.push_back({"audio-dataset", records.audioDataSetVersionInfo().Version});
    std::string text;
    for (const Slot& slot : slots) {
        if (!isRecorded(slot.version)) {
            continue;
        }
        if (!fitsSwVersions(slot.version)) {
            logger.warn("%s(%s): Leaving out %s: its version holds a blank or a control character", __func__,
                        QUARN_LINE, slot.name.c_str());
            continue;
        }
        text += slot.name + " " + slot.version + "\n";
    }
    return text;
}

// Control bytes (and the backslash) are shown as \xNN, so that a version cannot move a terminal's cursor or end
// the line.
std::string escaped(const std::string& value) {
    std::string text;
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < ' ' || byte == 0x7f || c == '\\') {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            text += escaped;
        } else {
            text += c;
        }
    }
    return text;
}

std::string readable(const std::string& version) {
    return isRecorded(version) ? escaped(version) : "(not recorded)";
}

std::string renderTable(const RAROV_UpdateVersionInfo& records) {
    std::ostringstream text;
    text << "Version document " << escaped(records.versionFilePath()) << "\n";
    for (const Slot& slot : versionSlots(records)) {
        text << "  " << slot.name << std::string(slot.name.size() < 16 ? 16 - slot.name.size() : 1, ' ')
             << readable(slot.version) << "\n";
    }
    const AudioDataSetVersionInfo& audio = records.audioDataSetVersionInfo();
    text << "  GTO active system " << static_cast<int>(records.gtoVersionInfo().Active_System) << "\n"
         << "  audio-dataset   " << readable(audio.Version);
    if (isRecorded(audio.Version)) {
        text << " (" << readable(audio.DataSetName) << ")";
    }
    text << "\n";
    return text.str();
}

int print(const std::string& text, quarn_logger& logger) {
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
        logger.error("%s(%s): Writing to the standard output failed(%s)", __func__, QUARN_LINE, std::strerror(errno));
        return 1;
    }
    return 0;
}

}  // namespace

std::optional<ShowForm> showFormOf(int argc, char** argv) {
    static const std::map<std::string, ShowForm> forms{{"--show", ShowForm::Table},
                                                       {"--show=json", ShowForm::Json},
                                                       {"--show=shell", ShowForm::Shell},
                                                       {"--show=sw-versions", ShowForm::SwVersions},
                                                       {"--help", ShowForm::Help}};
    if (argc != 2) {
        return std::nullopt;
    }
    const auto form = forms.find(argv[1]);
    return form == forms.end() ? std::nullopt : std::optional<ShowForm>(form->second);
}

int runShow(ShowForm form, quarn_logger& logger, const std::string& documentPath) {
    if (form == ShowForm::Help) {
        return print(kUsage, logger);
    }
    const RAROV_UpdateVersionInfo records(&logger, documentPath);
    const auto outcome = records.loadOutcome();
    if (outcome == RAROV_UpdateVersionInfo::Load::Damaged) {
        return kShowDocumentDamaged;  // the loader has logged why
    }
    std::string text;
    switch (form) {
        case ShowForm::Json:
            text = renderJson(records);
            break;
        case ShowForm::Shell:
            text = renderShell(records, logger);
            break;
        case ShowForm::SwVersions:
            text = renderSwVersions(records, logger);
            break;
        default:
            text = renderTable(records);
            break;
    }
    const int printed = print(text, logger);
    return printed != 0 ? printed : outcome == RAROV_UpdateVersionInfo::Load::Missing ? kShowNothingRecorded : 0;
}
