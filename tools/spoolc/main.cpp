// spoolc: compiles the text form of a spool stream to its binary form, or dumps a binary stream
// back to text. The text is compiled in memory; a dump is written as it is read.
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

// The dump, read from the input and written to the output a piece at a time: a dump is two to six
// times the size of its input, and neither is held whole.
bool DumpWrite(const std::string& name, const std::string& input, std::string* error)
{
    bool regular = false;
    uint64_t size = 0;
    int fd = ToolInputOpen(input, &regular, &size, error);
    if (fd < 0) return false;
    ToolOutput out;
    out.file = stdout;
    if (!name.empty() && !ToolOutputOpen(name, input == "-" ? -1 : fd, &out, error)) {
        close(fd);
        return false;
    }
    // A pipe is kept in a temporary file first: a record cut by the end of the input is told by
    // its size, so the dump must know where the input ends before it writes the record.
    // A spool stream holds less than 2 GB.
    FILE* in = ToolInputSeekable(input, 0x7fffffffull, &fd, &size, error) ? fdopen(fd, "rb") : nullptr;
    if (in == nullptr) {
        if (fd >= 0) {
            *error = "cannot read " + input + ": " + std::strerror(errno);
            close(fd);
        }
        if (!name.empty()) ToolOutputDiscard(&out);
        return false;
    }
    struct Files {
        FILE* in;
        FILE* out;
        int readError;
    } files{in, out.file, 0};
    const SpoolDumpSource source{&files,
                                 [](void* context, uint8_t* to, size_t n) {
                                     auto* f = static_cast<Files*>(context);
                                     if (std::fread(to, 1, n, f->in) == n) return true;
                                     f->readError = std::ferror(f->in) ? errno : EIO;  // shorter than it was
                                     return false;
                                 },
                                 size};
    const SpoolDumpSink sink{&files, [](void* context, const char* text, size_t n) {
                                 return std::fwrite(text, 1, n, static_cast<Files*>(context)->out) == n;
                             }};
    const bool dumped = SpoolTextDumpStream(source, sink);
    const int writeError = errno;
    std::fclose(in);
    if (!dumped && files.readError != 0) {
        *error = "cannot read " + input + ": " + std::strerror(files.readError);
        if (!name.empty()) ToolOutputDiscard(&out);
        return false;
    }
    if (name.empty()) {
        if (dumped && std::fflush(stdout) == 0) return true;
        *error = std::string("cannot write the standard output: ") + std::strerror(dumped ? errno : writeError);
        return false;
    }
    if (!dumped) {
        *error = "cannot write " + name + ": " + std::strerror(writeError);
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
    std::string error;
    if (dump) {
        try {
            if (DumpWrite(output, input, &error)) return 0;
        } catch (const std::bad_alloc&) {
            error = input + ": not enough memory";
        }
        std::fprintf(stderr, "spoolc: %s\n", error.c_str());
        return 1;
    }
    std::vector<uint8_t> data;
    if (!ToolInputRead(input, 0xffffffffull, &data, &error)) {
        std::fprintf(stderr, "spoolc: %s\n", error.c_str());
        return 1;
    }
    try {
        const std::vector<uint8_t> bytes = SpoolTextCompile(std::string(data.begin(), data.end()));
        WriteOutput(output, input, bytes.data(), bytes.size(), &error);
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
