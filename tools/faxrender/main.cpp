// faxrender: plays the driver's host. It reads a spool file, puts the fax block built from its
// options into the job header, and renders the job through Rastrel and the fax output module to
// a fax job file.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

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
        output = (dot == std::string::npos || input.find('/', dot) != std::string::npos ? input : input.substr(0, dot)) + ".fax";
    }

    std::ifstream in(input, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "faxrender: cannot open the spool file %s: %s\n", input.c_str(), std::strerror(errno));
        return 1;
    }
    std::vector<uint8_t> spool((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string error;
    if (!keepBlob) {
        std::vector<uint8_t> bytes;
        if (!FaxBlockBuild(block, &bytes, &error) || !SpoolJobHeaderBlobSet(&spool, bytes, &error)) {
            std::fprintf(stderr, "faxrender: %s: %s\n", input.c_str(), error.c_str());
            return 1;
        }
    }
    if (settings.moduleFileName.empty()) settings.moduleFileName = FaxDefaultModulePath();
    settings.configuration = "pelvane";
    if (!config.empty()) settings.configuration += "," + config + "," + section;

    FILE* out = std::fopen(output.c_str(), "wb");
    if (out == nullptr) {
        std::fprintf(stderr, "faxrender: cannot create %s: %s\n", output.c_str(), std::strerror(errno));
        return 1;
    }
    int writeErrno = 0;
    settings.sink = [&](const uint8_t* bytes, uint32_t length) {
        if (std::fwrite(bytes, 1, length, out) == length) return true;
        writeErrno = errno;
        return false;
    };
    if (!quiet) {
        const size_t total = spool.size();
        settings.progress = [total](uint64_t read, uint64_t written) {
            std::fprintf(stderr, "faxrender: read %llu of %zu spool bytes, wrote %llu fax bytes\n",
                         static_cast<unsigned long long>(read), total, static_cast<unsigned long long>(written));
        };
    }
    const uint32_t result = FaxRender(spool, settings);
    const bool closed = std::fclose(out) == 0;
    if (writeErrno != 0 || !closed) {
        std::fprintf(stderr, "faxrender: writing %s failed: %s\n", output.c_str(),
                     std::strerror(writeErrno != 0 ? writeErrno : errno));
        return 1;
    }
    if (result != 0) {
        std::fprintf(stderr, "faxrender: rendering %s with %s failed: %s; %s holds what was written\n", input.c_str(),
                     settings.moduleFileName.c_str(), FaxRenderResultText(result).c_str(), output.c_str());
        return 1;
    }
    if (!quiet) std::fprintf(stderr, "faxrender: wrote %s\n", output.c_str());
    return 0;
}
