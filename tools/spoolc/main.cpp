// spoolc: compiles the text form of a spool stream to its binary form, or dumps a binary stream
// back to text.
//   spoolc [-o output] input.txt
//   spoolc --dump [-o output.txt] input.spl
// "-" reads standard input; without -o the result goes to standard output.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "tools/common/tool_input.h"
#include "tools/common/tool_output.h"
#include "tools/spoolc/spool_text.h"

namespace {

int Usage()
{
    std::fprintf(stderr, "usage: spoolc [-o output] input.txt\n       spoolc --dump [-o output.txt] input.spl\n");
    return 2;
}

// The output whole or not at all: a file is written beside its place and renamed into it.
bool WriteOutput(const std::string& name, const std::string& input, const void* data, size_t size, std::string* error)
{
    if (name.empty()) {
        if (std::fwrite(data, 1, size, stdout) == size && std::fflush(stdout) == 0) return true;
        *error = std::string("cannot write the standard output: ") + std::strerror(errno);
        return false;
    }
    const int inputFd = input == "-" ? -1 : open(input.c_str(), O_RDONLY | O_CLOEXEC);
    ToolOutput out;
    const bool opened = ToolOutputOpen(name, inputFd, &out, error);
    if (inputFd >= 0) close(inputFd);
    if (!opened) return false;
    if (std::fwrite(data, 1, size, out.file) != size) {
        *error = "cannot write " + name + ": " + std::strerror(errno);
        ToolOutputDiscard(&out);
        return false;
    }
    if (ToolOutputCommit(&out, error)) return true;
    *error = "cannot write " + name + ": " + error->substr(error->rfind(": ") + 2);
    return false;
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
    try {
        if (dump) {
            const std::string text = SpoolTextDump(data);
            WriteOutput(output, input, text.data(), text.size(), &error);
        } else {
            const std::vector<uint8_t> bytes = SpoolTextCompile(std::string(data.begin(), data.end()));
            WriteOutput(output, input, bytes.data(), bytes.size(), &error);
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
