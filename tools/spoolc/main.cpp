// spoolc: compiles the text form of a spool stream to its binary form, or dumps a binary stream
// back to text.
//   spoolc [-o output] input.txt
//   spoolc --dump [-o output.txt] input.spl
// "-" reads standard input; without -o the result goes to standard output.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "tools/common/tool_input.h"
#include "tools/spoolc/spool_text.h"

namespace {

int Usage()
{
    std::fprintf(stderr, "usage: spoolc [-o output] input.txt\n       spoolc --dump [-o output.txt] input.spl\n");
    return 2;
}

bool WriteOutput(const std::string& name, const void* data, size_t size)
{
    if (name.empty()) return std::fwrite(data, 1, size, stdout) == size && std::fflush(stdout) == 0;
    FILE* out = std::fopen(name.c_str(), "wb");
    if (out == nullptr) return false;
    const bool written = std::fwrite(data, 1, size, out) == size;
    const int writeErrno = errno;
    const bool closed = std::fclose(out) == 0;
    if (!written) errno = writeErrno;
    return written && closed;
}

}  // namespace

int main(int argc, char** argv)
{
    bool dump = false;
    std::string input, output;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--dump") == 0) dump = true;
        else if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc) output = argv[++i];
        else if (argv[i][0] == '-' && argv[i][1] != '\0') return Usage();
        else if (input.empty()) input = argv[i];
        else return Usage();
    }
    if (input.empty()) return Usage();
    // A spool stream holds less than 2 GB; its text form at most about twice as much.
    std::vector<uint8_t> data;
    std::string error;
    if (!ToolInputRead(input, dump ? 0x7fffffffull : 0xffffffffull, &data, &error)) {
        std::fprintf(stderr, "spoolc: %s\n", error.c_str());
        return 1;
    }
    const std::string where = output.empty() ? "the standard output" : output;
    try {
        if (dump) {
            const std::string text = SpoolTextDump(data);
            if (!WriteOutput(output, text.data(), text.size())) error = "cannot write " + where + ": " + std::strerror(errno);
        } else {
            const std::vector<uint8_t> bytes = SpoolTextCompile(std::string(data.begin(), data.end()));
            if (!WriteOutput(output, bytes.data(), bytes.size())) error = "cannot write " + where + ": " + std::strerror(errno);
        }
    } catch (const SpoolError& e) {
        error = input + ": " + e.what();
    } catch (const std::bad_alloc&) {
        error = input + ": not enough memory";
    }
    if (!error.empty()) {
        std::fprintf(stderr, "spoolc: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
