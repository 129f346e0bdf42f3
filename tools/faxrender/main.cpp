// faxrender: plays the driver's host. It reads a spool file, puts the fax block built from its
// options into the job header, and renders the job through Rastrel and the fax output module to
// a fax job file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/profile.h"
#include "tools/common/tool_input.h"
#include "tools/common/tool_output.h"
#include "tools/faxrender/fax_block.h"
#include "tools/faxrender/fax_host.h"

namespace {

void Usage(FILE* to)
{
    std::fprintf(to,
                 "usage: faxrender [options] job.spl\n"
                 "  -o FILE            the fax job file (default: job.fax beside the spool file's name)\n"
                 "  -n NUMBER          a fax number; repeat for more (at most 50)\n"
                 "  -r XxY             resolution in dpi (default 204x196)\n"
                 "  -d COUNT           documents the fax job spans (default 1)\n"
                 "  --contrast N       -50..50 (default 0)\n"
                 "  --brightness N     -50..50 (default 0)\n"
                 "  --keep-blob        leave the job header's blob as the spool file has it\n"
                 "  --module FILE      the output module (default: libpelvane.so beside librastrel.so)\n"
                 "  --config FILE      the module's configuration file\n"
                 "  --section NAME     its section (default: default)\n"
                 "  --forward-only     give the engine no seek callback\n"
                 "  --producer         a producer thread writes the spool while the engine reads it\n"
                 "  --band-memory N    the engine's band budget in bytes (default: the engine's)\n"
                 "  -q                 no progress messages\n");
}

bool ParseInt(const char* text, long low, long high, int* value)
{
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < low || v > high) return false;
    *value = static_cast<int>(v);
    return true;
}

struct FdCloser {
    int fd;
    ~FdCloser() { close(fd); }
};

// The module gets its configuration file and section inside one text split at commas, and opens
// what it cannot read as "use the defaults" without a word. So everything that would go wrong
// there is found here first; *path receives the absolute path the module is given.
bool ConfigurationCheck(const std::string& file, const std::string& section, std::string* path, std::string* error)
{
    if (file.find(',') != std::string::npos || section.find(',') != std::string::npos) {
        *error = "the configuration file \"" + file + "\" and section \"" + section +
                 "\" cannot hold a comma: the module's configuration text separates its items with commas";
        return false;
    }
    // Without blocking: a FIFO would wait for a writer forever; it is refused below as not a
    // regular file.
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0) {
        *error = "cannot read the configuration file " + file + ": " + std::strerror(errno);
        if (fd >= 0) close(fd);
        return false;
    }
    close(fd);
    if (!S_ISREG(st.st_mode)) {
        *error = "cannot read the configuration file " + file + ": " +
                 (S_ISDIR(st.st_mode) ? std::strerror(EISDIR) : "not a regular file");
        return false;
    }
    char* absolute = realpath(file.c_str(), nullptr);
    *path = absolute ? absolute : file;
    std::free(absolute);
    if (path->size() >= 260) {
        *error = "the configuration file's path " + *path + " is longer than the module can open (259 characters)";
        return false;
    }
    std::vector<char> names(1 << 16);
    const DWORD length =
        GetPrivateProfileStringA(nullptr, nullptr, "", names.data(), static_cast<DWORD>(names.size()), path->c_str());
    for (size_t at = 0; at < length && names[at] != '\0'; at += std::strlen(&names[at]) + 1)
        if (strcasecmp(&names[at], section.c_str()) == 0) return true;
    *error = "the configuration file " + file + " has no section [" + section + "]";
    return false;
}

uint64_t FilePosition(uint64_t n, uint64_t streamHead, uint64_t fileHead, uint64_t streamSize)
{
    if (streamSize != 0 && n > streamSize) n = streamSize;
    return n >= streamHead ? n - streamHead + fileHead : n;
}

// The engine counts bytes in the stream it was fed, whose job header carries the fax block built
// here instead of the file's own: a position behind that header is moved back by the difference,
// so that "at byte N" names the place in the user's file.
// A position past the stream's end (streamSize, 0: not known), which the engine reaches when it
// skips a record that claims more than the stream holds, is told as the end of the file.
std::string FilePositions(const std::string& text, uint64_t streamHead, uint64_t fileHead, uint64_t streamSize)
{
    static const std::string kAt = "at byte ";
    std::string out;
    size_t from = 0;
    for (size_t at = text.find(kAt); at != std::string::npos; at = text.find(kAt, from)) {
        size_t end = at + kAt.size();
        uint64_t n = 0;
        while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end])) && n < (uint64_t{1} << 40))
            n = n * 10 + static_cast<uint64_t>(text[end++] - '0');
        out.append(text, from, at + kAt.size() - from);
        if (end == at + kAt.size()) {
            from = end;
            continue;
        }
        out += std::to_string(FilePosition(n, streamHead, fileHead, streamSize));
        from = end;
    }
    out.append(text, from, std::string::npos);
    return out;
}

// What the engine and the module logged during the call, one line each.
void CausePrint(const std::string& cause)
{
    size_t start = 0;
    while (start < cause.size()) {
        size_t end = cause.find('\n', start);
        if (end == std::string::npos) end = cause.size();
        if (end > start) std::fprintf(stderr, "faxrender: %.*s\n", static_cast<int>(end - start), cause.data() + start);
        start = end + 1;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    FaxBlockOptions block;
    FaxRenderSettings settings;
    std::string input, output, config, section = "default";
    bool keepBlob = false;
    bool quiet = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const auto next = [&](const char* what) -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "faxrender: %s needs %s\n", a.c_str(), what);
                std::exit(2);
            }
            return argv[++i];
        };
        int value = 0;
        if (a == "-h" || a == "--help") {
            Usage(stdout);
            return 0;
        } else if (a == "-o") {
            output = next("a file name");
        } else if (a == "-n") {
            block.numbers.emplace_back(next("a fax number"));
        } else if (a == "-r") {
            const std::string r = next("XxY");
            const size_t x = r.find('x');
            if (x == std::string::npos || !ParseInt(r.substr(0, x).c_str(), 1, 32767, &block.dpiX) ||
                !ParseInt(r.substr(x + 1).c_str(), 1, 32767, &block.dpiY)) {
                std::fprintf(stderr, "faxrender: resolution \"%s\" is not XxY with 1 to 32767 dpi each\n", r.c_str());
                return 2;
            }
        } else if (a == "-d") {
            if (!ParseInt(next("a count"), 1, 65535, &value)) {
                std::fprintf(stderr, "faxrender: -d needs a count of 1 to 65535\n");
                return 2;
            }
            block.expectedDocuments = static_cast<uint32_t>(value);
        } else if (a == "--contrast" || a == "--brightness") {
            if (!ParseInt(next("a value"), -50, 50, &value)) {
                std::fprintf(stderr, "faxrender: %s needs a value of -50 to 50\n", a.c_str());
                return 2;
            }
            (a == "--contrast" ? block.contrast : block.brightness) = value;
        } else if (a == "--keep-blob") {
            keepBlob = true;
        } else if (a == "--module") {
            settings.moduleFileName = next("a file name");
        } else if (a == "--config") {
            config = next("a file name");
        } else if (a == "--section") {
            section = next("a name");
        } else if (a == "--forward-only") {
            settings.feed = FaxFeed::ForwardOnly;
        } else if (a == "--producer") {
            // The producer publishes each page it has written through a spool-progress record, so
            // the engine waits on the record's event for pages not yet written.
            settings.feed = FaxFeed::Producer;
            settings.progressRecord = true;
        } else if (a == "--band-memory") {
            if (!ParseInt(next("a byte count"), 1, 0x7fffffff, &value)) {
                std::fprintf(stderr, "faxrender: --band-memory needs a byte count of 1 to 2147483647\n");
                return 2;
            }
            settings.options.bandMemory = static_cast<uint32_t>(value);
        } else if (a == "-q") {
            quiet = true;
        } else if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "faxrender: unknown option %s\n", a.c_str());
            Usage(stderr);
            return 2;
        } else if (input.empty()) {
            input = a;
        } else {
            std::fprintf(stderr, "faxrender: more than one spool file given\n");
            return 2;
        }
    }
    if (input.empty()) {
        Usage(stderr);
        return 2;
    }
    if (output.empty()) {
        const size_t dot = input.rfind('.');
        output =
            (dot == std::string::npos || input.find('/', dot) != std::string::npos ? input : input.substr(0, dot)) +
            ".fax";
    }

    std::string error;
    bool regular = false;
    uint64_t size = 0;
    const int fd = ToolInputOpen(input, &regular, &size, &error);
    struct stat inStat {};
    if (fd < 0 || fstat(fd, &inStat) != 0) {
        std::fprintf(stderr, "faxrender: %s\n", error.c_str());
        return 1;
    }
    const FdCloser closeInput{fd};
    // A cancelled job must never take the place of the spool file it came from.
    struct stat outStat {};
    if (stat(output.c_str(), &outStat) == 0 && outStat.st_dev == inStat.st_dev && outStat.st_ino == inStat.st_ino) {
        std::fprintf(stderr, "faxrender: the output %s is the spool file itself; name another one with -o\n",
                     output.c_str());
        return 1;
    }

    FaxSpoolInput spool;
    uint64_t fileHead = 0, streamHead = 0;  // the head's bytes in the file and as fed to the engine
    spool.fd = fd;
    spool.regular = regular;
    if (!keepBlob) {
        std::vector<uint8_t> bytes;
        if (!SpoolHeadRead(fd, &spool.head, &error)) {
            std::fprintf(stderr, "faxrender: %s: %s\n", input.c_str(), error.c_str());
            return 1;
        }
        fileHead = spool.head.size();
        if (!FaxBlockBuild(block, &bytes, &error) || !SpoolJobHeaderBlobSet(&spool.head, bytes, &error)) {
            std::fprintf(stderr, "faxrender: %s: %s\n", input.c_str(), error.c_str());
            return 1;
        }
        streamHead = spool.head.size();
    }
    if (spool.regular) {
        const off_t consumed = lseek(fd, 0, SEEK_CUR);
        spool.restOffset = static_cast<uint64_t>(consumed);
        spool.restSize = size - spool.restOffset;
    }
    if (settings.moduleFileName.empty()) settings.moduleFileName = FaxDefaultModulePath();
    settings.configuration = "pelvane";
    if (!config.empty()) {
        std::string path;
        if (!ConfigurationCheck(config, section, &path, &error)) {
            std::fprintf(stderr, "faxrender: %s\n", error.c_str());
            return 1;
        }
        settings.configuration += "," + path + "," + section;
    }

    // The job goes to a file beside the output and takes its place only when it is whole: a full
    // disk or a job the engine refused leaves no partial fax file behind.
    ToolOutput target;
    if (!ToolOutputOpen(output, fd, &target, &error)) {
        std::fprintf(stderr, "faxrender: %s\n", error.c_str());
        return 1;
    }
    FILE* out = target.file;
    int writeErrno = 0;
    uint64_t written = 0;
    std::string tail;  // the job's last bytes, to see whether it ends with the cancel line
    settings.sink = [&](const uint8_t* bytes, uint32_t length) {
        written += length;
        tail.append(reinterpret_cast<const char*>(bytes), length);
        if (tail.size() > 256) tail.erase(0, tail.size() - 256);
        if (std::fwrite(bytes, 1, length, out) == length) return true;
        writeErrno = errno;
        return false;
    };
    if (!quiet) {
        // In the file's own bytes, and never past its end.
        const uint64_t streamSize = spool.regular ? spool.head.size() + spool.restSize : 0;
        const std::string total =
            spool.regular ? " of " + std::to_string(FilePosition(streamSize, streamHead, fileHead, streamSize)) : "";
        settings.progress = [total, streamHead, fileHead, streamSize](uint64_t read, uint64_t written) {
            std::fprintf(stderr, "faxrender: read %llu%s spool bytes, wrote %llu fax bytes\n",
                         static_cast<unsigned long long>(FilePosition(read, streamHead, fileHead, streamSize)),
                         total.c_str(), static_cast<unsigned long long>(written));
        };
    }
    std::string cause;
    const uint32_t result = FaxRender(spool, settings, &cause);
    if (writeErrno != 0) {
        ToolOutputDiscard(&target);
        std::fprintf(stderr, "faxrender: writing %s failed: %s\n", output.c_str(), std::strerror(writeErrno));
        return 1;
    }
    // A failed job is kept only when the module ended it with the cancel line: the printer then
    // knows to drop it. Anything less (nothing at all, a refused preamble) is no fax job.
    static const std::string kCancel = "@PJL SET JOBSTATUS = CANCEL\r\n";
    const bool cancelled =
        tail.size() >= kCancel.size() && tail.compare(tail.size() - kCancel.size(), kCancel.size(), kCancel) == 0;
    const bool keep = written != 0 && (result == 0 || cancelled);
    if (!keep) {
        ToolOutputDiscard(&target);
    } else if (!ToolOutputCommit(&target, &error)) {
        std::fprintf(stderr, "faxrender: %s\n", error.c_str());
        return 1;
    }
    CausePrint(FilePositions(cause, streamHead, fileHead, spool.regular ? spool.head.size() + spool.restSize : 0));
    if (result != 0 && !keep) {
        std::fprintf(stderr, "faxrender: rendering %s with %s failed: %s; no fax job was written to %s\n",
                     input.c_str(), settings.moduleFileName.c_str(), FaxRenderResultText(result).c_str(),
                     output.c_str());
        return 1;
    }
    if (result != 0) {
        std::fprintf(stderr, "faxrender: rendering %s with %s failed: %s; %s holds what was written\n", input.c_str(),
                     settings.moduleFileName.c_str(), FaxRenderResultText(result).c_str(), output.c_str());
        return 1;
    }
    // The engine makes no pass for a job of no copies and calls that a success; nobody asked for
    // an empty fax job, though.
    if (written == 0) {
        std::fprintf(stderr, "faxrender: no page was written to %s: the job gave the fax module nothing to send%s\n",
                     output.c_str(),
                     SpoolJobHeaderCopies(spool.head) == 0 ? " (its job header asks for 0 copies)" : "");
        return 1;
    }
    if (!quiet) std::fprintf(stderr, "faxrender: wrote %s\n", output.c_str());
    return 0;
}
