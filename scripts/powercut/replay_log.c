// Reads the log that the kernel's log-writes device-mapper target keeps of every write to a device, and replays it
// onto a copy of the device's start image: the state a power cut after any single logged write would leave.
//
// Log layout (little endian): a super block in the first sector (magic, version, number of entries, sector size);
// each entry then takes one sector for its header (sector, sector count, flags, length of the mark text that follows
// the header) and, for a write, its data in the sectors after it. Sectors and counts are in units of that size.
//
// Usage: replay_log list LOG                 one line per entry: index, flags, sector, count, mark text
//        replay_log apply LOG DEVICE FROM TO  writes entries FROM..TO-1 onto DEVICE
//        replay_log snapshot NAME ORIGIN COW  a throw-away snapshot of ORIGIN (prints its /dev/dm-N)
//        replay_log remove NAME               removes that device again
// The two device-mapper calls are here because under emulation they cost a fraction of a dmsetup run, and they
// run once per checked state.
#define _FILE_OFFSET_BITS 64
#define _POSIX_C_SOURCE 200809L
#include <errno.h>
#include <fcntl.h>
#include <inttypes.h>
#include <linux/dm-ioctl.h>
#include <linux/fs.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>
#include <sys/types.h>
#include <unistd.h>

enum { LOG_FLUSH = 1, LOG_FUA = 2, LOG_DISCARD = 4, LOG_MARK = 8, LOG_METADATA = 16 };
static const uint64_t LOG_MAGIC = 0x6a736677736872ULL;

struct entry {
    uint64_t sector;
    uint64_t count;
    uint64_t flags;
    uint64_t textLength;
    char text[256];
    uint64_t dataOffset;  // where the data of a write starts in the log
};

struct log {
    int fd;
    uint64_t entries;
    uint32_t sectorSize;
    uint64_t next;  // log offset of the next entry's header
};

static void die(const char* what, const char* detail) {
    fprintf(stderr, "replay_log: %s%s%s\n", what, detail ? ": " : "", detail ? detail : "");
    exit(2);
}

static uint64_t le64(const unsigned char* p) {
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i) {
        value = (value << 8) | p[i];
    }
    return value;
}

static void readAt(int fd, void* buffer, size_t size, uint64_t offset) {
    size_t done = 0;
    while (done < size) {
        const ssize_t got = pread(fd, (char*)buffer + done, size - done, (off_t)(offset + done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            die("short read of the log", got < 0 ? strerror(errno) : "end of file");
        }
        done += (size_t)got;
    }
}

static void writeAt(int fd, const void* buffer, size_t size, uint64_t offset) {
    size_t done = 0;
    while (done < size) {
        const ssize_t put = pwrite(fd, (const char*)buffer + done, size - done, (off_t)(offset + done));
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            die("write to the device failed", put < 0 ? strerror(errno) : "no progress");
        }
        done += (size_t)put;
    }
}

static struct log openLog(const char* path) {
    struct log log;
    unsigned char super[32];
    log.fd = open(path, O_RDONLY);
    if (log.fd < 0) {
        die(path, strerror(errno));
    }
    readAt(log.fd, super, sizeof super, 0);
    if (le64(super) != LOG_MAGIC) {
        die(path, "no log super block (wrong magic)");
    }
    log.entries = le64(super + 16);
    log.sectorSize = (uint32_t)(le64(super + 24) & 0xffffffffu);  // a 32-bit field, then padding
    if (log.sectorSize < 512 || (log.sectorSize & (log.sectorSize - 1)) != 0) {
        die(path, "implausible sector size");
    }
    log.next = log.sectorSize;
    return log;
}

// Reads the header at log.next and moves past the entry's data.
static struct entry nextEntry(struct log* log) {
    struct entry entry;
    unsigned char header[32 + sizeof entry.text];
    readAt(log->fd, header, sizeof header, log->next);
    entry.sector = le64(header);
    entry.count = le64(header + 8);
    entry.flags = le64(header + 16);
    entry.textLength = le64(header + 24);
    if (entry.textLength >= sizeof entry.text || entry.textLength + 32 > log->sectorSize) {
        die("corrupt entry", "mark text longer than its sector");
    }
    memcpy(entry.text, header + 32, entry.textLength);
    entry.text[entry.textLength] = '\0';
    entry.dataOffset = log->next + log->sectorSize;
    // A discard carries no data in the log.
    const uint64_t dataSectors = (entry.flags & LOG_DISCARD) ? 0 : entry.count;
    log->next = entry.dataOffset + dataSectors * log->sectorSize;
    return entry;
}

static void apply(const struct log* log, const struct entry* entry, int device) {
    static unsigned char buffer[1 << 20];
    const uint64_t total = entry->count * log->sectorSize;
    const uint64_t target = entry->sector * log->sectorSize;
    if (entry->flags & LOG_DISCARD) {
        // A discarded range may read back as anything; zeroes are the harshest common answer.
        memset(buffer, 0, sizeof buffer);
    }
    for (uint64_t done = 0; done < total;) {
        const size_t chunk = total - done < sizeof buffer ? (size_t)(total - done) : sizeof buffer;
        if (!(entry->flags & LOG_DISCARD)) {
            readAt(log->fd, buffer, chunk, entry->dataOffset + done);
        }
        writeAt(device, buffer, chunk, target + done);
        done += chunk;
    }
}

static uint64_t number(const char* text) {
    char* end = NULL;
    errno = 0;
    const unsigned long long value = strtoull(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0') {
        die("not a number", text);
    }
    return value;
}

struct dmRequest {
    struct dm_ioctl header;
    struct dm_target_spec target;
    char parameters[512];
};

static void deviceMapper(unsigned long command, struct dmRequest* request, const char* name) {
    request->header.version[0] = DM_VERSION_MAJOR;
    request->header.data_size = sizeof *request;
    request->header.data_start = offsetof(struct dmRequest, target);
    snprintf(request->header.name, sizeof request->header.name, "%s", name);
    const int control = open("/dev/mapper/control", O_RDWR);
    if (control < 0 || ioctl(control, command, request) != 0) {
        die("device-mapper request failed", strerror(errno));
    }
    close(control);
}

static void createSnapshot(const char* name, const char* origin, const char* cow) {
    uint64_t bytes = 0;
    const int fd = open(origin, O_RDONLY);
    if (fd < 0 || ioctl(fd, BLKGETSIZE64, &bytes) != 0) {
        die(origin, strerror(errno));
    }
    close(fd);
    struct dmRequest request;
    memset(&request, 0, sizeof request);
    deviceMapper(DM_DEV_CREATE, &request, name);
    memset(&request, 0, sizeof request);
    request.header.target_count = 1;
    request.target.length = bytes / 512;
    request.target.next = sizeof request.target + sizeof request.parameters;
    snprintf(request.target.target_type, sizeof request.target.target_type, "snapshot");
    // Not persistent: the exception store starts empty each time, whatever the COW device holds.
    snprintf(request.parameters, sizeof request.parameters, "%s %s N 8", origin, cow);
    deviceMapper(DM_TABLE_LOAD, &request, name);
    memset(&request, 0, sizeof request);
    deviceMapper(DM_DEV_SUSPEND, &request, name);  // without the suspend flag: resume, making the table live
    printf("/dev/dm-%u\n", minor((dev_t)request.header.dev));
}

int main(int argc, char** argv) {
    if (argc == 5 && strcmp(argv[1], "snapshot") == 0) {
        createSnapshot(argv[2], argv[3], argv[4]);
        return 0;
    }
    if (argc == 3 && strcmp(argv[1], "remove") == 0) {
        struct dmRequest request;
        memset(&request, 0, sizeof request);
        deviceMapper(DM_DEV_REMOVE, &request, argv[2]);
        return 0;
    }
    if (argc == 3 && strcmp(argv[1], "list") == 0) {
        struct log log = openLog(argv[2]);
        for (uint64_t i = 0; i < log.entries; ++i) {
            const struct entry entry = nextEntry(&log);
            char flags[8] = "-----";
            const char letters[] = "FUDMm";
            for (int bit = 0; bit < 5; ++bit) {
                if (entry.flags & (1u << bit)) {
                    flags[bit] = letters[bit];
                }
            }
            printf("%" PRIu64 " %s %" PRIu64 " %" PRIu64 " %s\n", i, flags, entry.sector, entry.count,
                   entry.textLength ? entry.text : "-");
        }
        return 0;
    }
    if (argc == 6 && strcmp(argv[1], "apply") == 0) {
        struct log log = openLog(argv[2]);
        const uint64_t from = number(argv[4]);
        const uint64_t to = number(argv[5]);
        if (from > to || to > log.entries) {
            die("entry range outside the log", argv[5]);
        }
        const int device = open(argv[3], O_WRONLY);
        if (device < 0) {
            die(argv[3], strerror(errno));
        }
        for (uint64_t i = 0; i < to; ++i) {
            const struct entry entry = nextEntry(&log);
            if (i >= from && entry.count > 0) {
                apply(&log, &entry, device);
            }
        }
        if (fsync(device) != 0 || close(device) != 0) {
            die(argv[3], strerror(errno));
        }
        return 0;
    }
    fprintf(stderr, "usage: replay_log list LOG | apply LOG DEVICE FROM TO | snapshot NAME ORIGIN COW | remove NAME\n");
    return 2;
}
